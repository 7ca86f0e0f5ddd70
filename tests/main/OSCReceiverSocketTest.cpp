#include "bridge/OSCReceiverSocket.h"
#include "tests/main/PortHolder.h"

#include <gtest/gtest.h>

#include <fstream>
#include <thread>

namespace juce
{
    bool dispatchNextMessageOnSystemQueue (bool returnIfNoPendingMessages);   // the Linux message loop's step
}

using namespace sx::test;

namespace
{
    struct Recorder : juce::OSCReceiver::Listener<juce::OSCReceiver::MessageLoopCallback>
    {
        void oscMessageReceived (const juce::OSCMessage& message) override
        {
            offMessageThread = offMessageThread || ! juce::MessageManager::existsAndIsCurrentThread();
            addresses.add (message.getAddressPattern().toString());
        }

        void oscBundleReceived (const juce::OSCBundle& bundle) override   { addresses.add ("bundle of " + juce::String (bundle.size())); }

        /** Runs the message loop until that many have arrived or 3 s pass. */
        void pumpUntil (int count)
        {
            for (const auto deadline = juce::Time::getMillisecondCounter() + 3000;
                 addresses.size() < count && juce::Time::getMillisecondCounter() < deadline;)
                if (! juce::dispatchNextMessageOnSystemQueue (true))
                    juce::Thread::sleep (1);
        }

        juce::StringArray addresses;
        bool offMessageThread = false;
    };
}

TEST (OSCReceiverSocket, PortHeldByAnotherProcessFailsAndTheFallbackReceivesOnAFreePort)
{
    // Another copy of the application, then a plain framework receiver (address reuse on).
    for (const auto* mode : { "app", "juce" })
    {
        SCOPED_TRACE (mode);
        const auto port = findFreePort();
        PortHolder other (port, mode);
        ASSERT_TRUE (other.isHolding());

        Recorder recorder;
        OSCReceiverSocket socket;
        juce::OSCReceiver receiver;
        receiver.addListener (&recorder);
        EXPECT_FALSE (socket.connect (receiver, port));
        EXPECT_EQ (socket.getBoundPort(), -1);

        ASSERT_TRUE (socket.connect (receiver, 0));
        const auto fallback = socket.getBoundPort();
        EXPECT_GT (fallback, 0);
        EXPECT_NE (fallback, port);

        juce::OSCSender sender;
        EXPECT_TRUE (sender.connect ("127.0.0.1", fallback) && sender.send ("/to/fallback"));
        recorder.pumpUntil (1);
        EXPECT_EQ (recorder.addresses, juce::StringArray ("/to/fallback"));
        socket.disconnect (receiver);
    }
}

TEST (OSCReceiverSocket, ReportsTheReceiveBufferTheSystemGranted)
{
    OSCReceiverSocket socket;
    juce::OSCReceiver receiver;
    ASSERT_TRUE (socket.connect (receiver, 0));

    // Linux caps the request at rmem_max and reports it doubled.
    int rmemMax = 0;
    std::ifstream ("/proc/sys/net/core/rmem_max") >> rmemMax;
    EXPECT_EQ (socket.getReceiveBufferSize(), 2 * std::min (OSCReceiverSocket::defaultReceiveBufferBytes, rmemMax));
    socket.disconnect (receiver);
    EXPECT_EQ (socket.getReceiveBufferSize(), -1);
}

TEST (OSCMessageLoopRelay, DeliversInOrderOnTheMessageThreadKeepingTheNewestWhenBehind)
{
    Recorder recorder;
    OSCMessageLoopRelay relay (recorder, 200);
    juce::StringArray expected;

    // From another thread, as the receiver thread sends; this thread is the message
    // thread, so nothing is delivered until it runs the loop.
    const auto relayFromAnotherThread = [&] (int first, int last)
    {
        std::thread ([&] {
            for (int i = first; i < last; ++i)
            {
                relay.oscMessageReceived (juce::OSCMessage ("/m/" + juce::String (i)));
                expected.add ("/m/" + juce::String (i));

                if (i == 950)
                {
                    juce::OSCBundle bundle;
                    bundle.addElement (juce::OSCMessage ("/inner"));
                    relay.oscBundleReceived (bundle);
                    expected.add ("bundle of 1");
                }
            }
        }).join();
    };

    relayFromAnotherThread (0, 1000);
    expected.removeRange (0, expected.size() - 200);
    recorder.pumpUntil (200);
    EXPECT_EQ (recorder.addresses, expected);
    EXPECT_EQ (relay.getNumDropped(), 801);

    // Once the batch timer has found the queue empty, what comes next must still arrive.
    for (int i = 0; i < 50; ++i)
        if (! juce::dispatchNextMessageOnSystemQueue (true))
            juce::Thread::sleep (1);

    relayFromAnotherThread (1000, 1150);
    recorder.pumpUntil (350);
    EXPECT_EQ (recorder.addresses, expected);
    EXPECT_EQ (relay.getNumDropped(), 801);
    EXPECT_FALSE (recorder.offMessageThread);
}
