#include "bridge/OSCReceiverSocket.h"

#include <gtest/gtest.h>

#include <thread>

namespace juce
{
    // The Linux message loop's own dispatch step.
    bool dispatchNextMessageOnSystemQueue (bool returnIfNoPendingMessages);
}

namespace
{
    struct Recorder : juce::OSCReceiver::Listener<juce::OSCReceiver::MessageLoopCallback>
    {
        void oscMessageReceived (const juce::OSCMessage& message) override
        {
            offMessageThread = offMessageThread || ! juce::MessageManager::existsAndIsCurrentThread();
            addresses.add (message.getAddressPattern().toString());
        }

        void oscBundleReceived (const juce::OSCBundle& bundle) override
        {
            addresses.add ("bundle of " + juce::String (bundle.size()));
        }

        juce::StringArray addresses;
        bool offMessageThread = false;
    };

    /** Runs the message loop until the recorder holds that many entries or 3 s pass. */
    void pumpUntil (const Recorder& recorder, int count)
    {
        const auto deadline = juce::Time::getMillisecondCounter() + 3000;

        while (recorder.addresses.size() < count && juce::Time::getMillisecondCounter() < deadline)
            if (! juce::dispatchNextMessageOnSystemQueue (true))
                juce::Thread::sleep (1);
    }

    /** Sends /m/first .. /m/last-1 from another thread, as the receiver thread would. */
    void sendFromReceiverThread (OSCMessageLoopRelay& relay, int first, int last)
    {
        std::thread ([&] {
            for (int i = first; i < last; ++i)
                relay.oscMessageReceived (juce::OSCMessage ("/m/" + juce::String (i)));
        }).join();
    }
}

TEST (OSCMessageLoopRelay, DeliversEverythingOnTheMessageThreadInArrivalOrder)
{
    Recorder recorder;
    OSCMessageLoopRelay relay (recorder, 10000);

    std::thread ([&] {
        for (int i = 0; i < 3000; ++i)
        {
            relay.oscMessageReceived (juce::OSCMessage ("/m/" + juce::String (i)));

            if (i == 1500)
            {
                juce::OSCBundle bundle;
                bundle.addElement (juce::OSCMessage ("/inner"));
                relay.oscBundleReceived (bundle);
            }

            if (i % 500 == 0)
                juce::Thread::sleep (15);   // quiet spells in between
        }
    }).join();

    pumpUntil (recorder, 3001);
    ASSERT_EQ (recorder.addresses.size(), 3001);
    EXPECT_FALSE (recorder.offMessageThread);
    EXPECT_EQ (relay.getNumDropped(), 0);

    juce::StringArray expected;
    for (int i = 0; i < 3000; ++i)
    {
        expected.add ("/m/" + juce::String (i));
        if (i == 1500)
            expected.add ("bundle of 1");
    }
    EXPECT_EQ (recorder.addresses, expected);
}

TEST (OSCMessageLoopRelay, KeepsTheNewestWhileTheMessageThreadIsHeldUpAndWakesAgainAfter)
{
    Recorder recorder;
    OSCMessageLoopRelay relay (recorder, 200);

    // This test's thread is the message thread: nothing is delivered while it waits.
    sendFromReceiverThread (relay, 0, 1000);
    pumpUntil (recorder, 200);

    ASSERT_EQ (recorder.addresses.size(), 200);
    EXPECT_EQ (recorder.addresses[0], "/m/800");
    EXPECT_EQ (recorder.addresses[199], "/m/999");
    EXPECT_EQ (relay.getNumDropped(), 800);

    // Let the batch timer find the queue empty, then a lone message must still arrive.
    for (int i = 0; i < 50; ++i)
        if (! juce::dispatchNextMessageOnSystemQueue (true))
            juce::Thread::sleep (1);

    sendFromReceiverThread (relay, 1000, 1001);
    pumpUntil (recorder, 201);
    ASSERT_EQ (recorder.addresses.size(), 201);
    EXPECT_EQ (recorder.addresses[200], "/m/1000");
}
