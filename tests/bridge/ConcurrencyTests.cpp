// The receiver thread sends MIDI while the message thread opens and closes outputs. Run under
// ThreadSanitizer by scripts/sanitize; in a plain build it still catches torn blocks and
// crashes from an output destroyed mid-send.
#include "bridge/OSCTranslator.h"
#include "bridge/OSCVocabulary.h"
#include "tests/support/InMemoryMidiPorts.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

TEST (Concurrency, ReceiverThreadSendsWhileTheMessageThreadTogglesOutputs)
{
    sx::test::InMemoryMidiPortSystem ports;
    for (auto* name : { "A", "B", "C" })
        ports.addOutput (name);

    // Checked as they are sent rather than recorded: tens of thousands go out.
    const std::vector<std::uint8_t> expected { 0x90, 60, 127, 0xb0, 1, 2, 0x80, 60, 0 };
    std::atomic<int> blocksSent { 0 }, tornBlocks { 0 };
    ports.setRecording (false);
    ports.onBlockSent = [&] (const juce::String&, const juce::MidiBuffer& buffer)
    {
        std::vector<std::uint8_t> bytes;
        for (const auto meta : buffer)
            bytes.insert (bytes.end(), meta.data, meta.data + meta.numBytes);
        ++blocksSent;
        tornBlocks += bytes != expected ? 1 : 0;
    };

    OSCTranslator translator (ports);
    auto& manager = translator.getMidiDeviceManager();
    juce::OSCBundle bundle;
    bundle.addElement (juce::OSCMessage ("/sxc/midi/note/on", 1, 60, 1.0f));
    bundle.addElement (juce::OSCMessage ("/sxc/midi/cc", 1, 1, 2));
    bundle.addElement (juce::OSCMessage ("/sxc/midi/note/off", 1, 60));

    // Stands in for the receiver thread without a socket, so the lock is contended hard.
    std::atomic<bool> stop { false };
    std::thread receiverThread ([&] { while (! stop) translator.oscBundleReceived (bundle); });

    // Every output, the virtual source included, in a shifting pattern, until the other
    // thread has really been sending for a while (bounded in time).
    const auto deadline = juce::Time::getMillisecondCounter() + 10000;

    for (int round = 0; round < 2000 || (blocksSent < 20000 && juce::Time::getMillisecondCounter() < deadline); ++round)
    {
        manager.setMidiOutputDeviceEnabled (juce::String::charToString ((juce::juce_wchar) ('A' + round % 3)), (round / 3) % 2 == 0, false);
        if (round % 7 == 0)
            manager.setMidiOutputDeviceEnabled (virtualMidiPortName, (round / 7) % 2 == 1, true);
    }

    stop = true;
    receiverThread.join();
    EXPECT_GT (blocksSent.load(), 0);
    EXPECT_EQ (tornBlocks.load(), 0);
}
