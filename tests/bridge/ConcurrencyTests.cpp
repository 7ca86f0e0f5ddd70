/*  The receiver thread sends MIDI while the message thread opens and closes outputs.
    Run under ThreadSanitizer by scripts/sanitize; in a plain build it still catches
    torn blocks and crashes from an output destroyed mid-send.
*/
#include "bridge/OSCTranslator.h"
#include "bridge/OSCVocabulary.h"
#include "tests/bridge/OscBytes.h"
#include "tests/support/InMemoryMidiPorts.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

namespace
{
namespace osc = sx::test::osc;
using Bytes = std::vector<std::uint8_t>;

const std::vector<Bytes> bundleMidi { { 0x90, 60, 127 }, { 0xb0, 1, 2 }, { 0x80, 60, 0 } };

juce::OSCBundle makeBundle()
{
    juce::OSCBundle inner;
    inner.addElement (juce::OSCMessage ("/sxc/midi/note/off", 1, 60));

    juce::OSCBundle bundle;
    bundle.addElement (juce::OSCMessage ("/sxc/midi/note/on", 1, 60, 1.0f));
    bundle.addElement (juce::OSCMessage ("/sxc/midi/cc", 1, 1, 2));
    bundle.addElement (inner);
    return bundle;
}

/** Opens and closes every output, the virtual source included, in a shifting pattern. */
void toggleOutputs (MidiDeviceManager& manager, int round)
{
    static const char* const names[] = { "A", "B", "C" };
    const auto* name = names[round % 3];
    const bool open = (round / 3) % 2 == 0;

    manager.setMidiOutputDeviceEnabled (name, open, false);

    if (round % 7 == 0)
        manager.setMidiOutputDeviceEnabled (virtualMidiPortName, (round / 7) % 2 == 1, true);
}

class ConcurrencyTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        for (auto* name : { "A", "B", "C" })
            ports.addOutput (name);

        // Checked as they are sent rather than recorded: the hammering test sends millions.
        ports.setRecording (false);
        ports.onBlockSent = [this] (const juce::String&, const juce::MidiBuffer& buffer)
        {
            std::vector<Bytes> messages;
            for (const auto meta : buffer)
                messages.emplace_back (meta.data, meta.data + meta.numBytes);

            ++blocksSent;
            if (messages != bundleMidi)
                ++tornBlocks;
        };
    }

    void expectOnlyWholeBlocks() const
    {
        EXPECT_GT (blocksSent.load(), 0);
        EXPECT_EQ (tornBlocks.load(), 0);
    }

    sx::test::InMemoryMidiPortSystem ports;
    std::atomic<int> blocksSent { 0 }, tornBlocks { 0 };
    std::unique_ptr<OSCTranslator> translator = std::make_unique<OSCTranslator> (ports);
};

} // namespace

TEST_F (ConcurrencyTest, ReceiverThreadSendsWhileTheMessageThreadTogglesOutputs)
{
    juce::DatagramSocket receiveSocket (false), sendSocket (false);
    ASSERT_TRUE (receiveSocket.bindToPort (0, "127.0.0.1"));

    juce::OSCReceiver receiver ("JUCE OSC server");
    receiver.addListener (translator.get());
    ASSERT_TRUE (receiver.connectToSocket (receiveSocket));

    const auto datagram = osc::bundle ({ osc::message ("/sxc/midi/note/on", { 1, 60, 1.0f }),
                                         osc::message ("/sxc/midi/cc", { 1, 1, 2 }),
                                         osc::bundle ({ osc::message ("/sxc/midi/note/off", { 1, 60 }) }) });
    std::atomic<bool> stop { false };

    std::thread sender ([&] {
        while (! stop)
        {
            sendSocket.write ("127.0.0.1", receiveSocket.getBoundPort(), datagram.data(), (int) datagram.size());
            std::this_thread::sleep_for (std::chrono::microseconds (50));
        }
    });

    const auto deadline = juce::Time::getMillisecondCounter() + 10000;

    while (blocksSent == 0 && juce::Time::getMillisecondCounter() < deadline)
        std::this_thread::sleep_for (std::chrono::milliseconds (1));

    for (int round = 0; round < 400; ++round)
    {
        toggleOutputs (translator->getMidiDeviceManager(), round);
        std::this_thread::sleep_for (std::chrono::microseconds (200));
    }

    stop = true;
    sender.join();
    receiver.disconnect();
    receiver.removeListener (translator.get());

    expectOnlyWholeBlocks();
}

TEST_F (ConcurrencyTest, BackToBackSendsWhileOutputsToggle)
{
    const auto bundle = makeBundle();
    std::atomic<bool> stop { false };

    // Stands in for the receiver thread without a socket, so the lock is contended hard.
    std::thread receiverThread ([&] {
        while (! stop)
            translator->oscBundleReceived (bundle);
    });

    // Toggles until the other thread has really been sending for a while (bounded in time).
    const auto deadline = juce::Time::getMillisecondCounter() + 10000;

    for (int round = 0; round < 2000 || (blocksSent < 20000 && juce::Time::getMillisecondCounter() < deadline); ++round)
        toggleOutputs (translator->getMidiDeviceManager(), round);

    stop = true;
    receiverThread.join();

    expectOnlyWholeBlocks();
}
