#include "bridge/OSCDatagramReceiver.h"
#include "bridge/OSCTranslator.h"
#include "bridge/OSCVocabulary.h"
#include "tests/bridge/OscBytes.h"
#include "tests/support/InMemoryMidiPorts.h"

#include <gtest/gtest.h>

#include <atomic>

namespace osc = sx::test::osc;

// Hand-built datagrams over 127.0.0.1 into a real receiver with the translator registered
// as the application registers it.
TEST (ReceiverEndToEnd, DatagramsBecomeMidiAndMalformedPacketsNeverReachTheTranslator)
{
    sx::test::InMemoryMidiPortSystem ports;
    ports.addOutput ("Synth A");
    OSCTranslator translator (ports);
    translator.getMidiDeviceManager().setMidiOutputDeviceEnabled ("Synth A", true, false);

    juce::DatagramSocket receiveSocket (false), sendSocket (false);
    ASSERT_TRUE (receiveSocket.bindToPort (0, "127.0.0.1"));
    std::atomic<int> formatErrors { 0 };
    OSCDatagramReceiver receiver;
    receiver.addListener (&translator);
    receiver.registerFormatErrorHandler ([&] (const char*, int) { ++formatErrors; });
    ASSERT_TRUE (receiver.connectToSocket (receiveSocket));

    const auto note = osc::message ("/sxc/midi/note/on", { 1, 60, 1.0f });
    auto truncated = note, unsupportedType = osc::message ("/sxc/midi/cc", { 1, 2, 3 });
    truncated.resize (truncated.size() - 4);
    unsupportedType[19] = 'x';                  // ",iii" -> ",iix"
    auto oversizedElement = osc::bundle ({ note }), brokenSecondElement = osc::bundle ({ note, note });
    oversizedElement[19] = 0xff;                // the element's size field
    brokenSecondElement.resize (brokenSecondElement.size() - 6);

    const std::vector<osc::Bytes> datagrams {
        note, { '/', 's', 'x', 'c' }, truncated, unsupportedType, oversizedElement, brokenSecondElement,  // 5 malformed
        { '/', 's', 'x' },                      // shorter than any packet: dropped unseen
        // One block per output and packet, however deep the nesting; non-MIDI elements skipped.
        osc::bundle ({ osc::message ("/sxc/midi/note/on", { 1, 60, 0.5f }), osc::message ("/sxc/midi/note/on", { 1, 64, 0.1f }),
                       osc::bundle ({ osc::message ("/sxc/dmx/x", { 1 }), osc::message ("/sxc/midi/cc", { 1, 64, 127 }),
                                      osc::bundle ({ osc::message ("/sxc/midi/note/off", { 3, 62 }) }) }) }),
        osc::message ("/sxc/midi/note/off", { 2, 60 }) };

    for (const auto& d : datagrams)
        ASSERT_EQ (sendSocket.write ("127.0.0.1", receiveSocket.getBoundPort(), d.data(), (int) d.size()), (int) d.size());

    for (int i = 0; i < 400 && ports.getSentBlocks ("Synth A").size() < 3; ++i)
        juce::Thread::sleep (5);

    for (const auto& port : { virtualMidiPortName, juce::String ("Synth A") })
    {
        const auto blocks = ports.getSentBlocks (port);
        ASSERT_EQ (blocks.size(), 3u) << port;
        EXPECT_EQ (blocks[0].messages, (std::vector<osc::Bytes> { { 0x90, 60, 127 } }));
        EXPECT_EQ (blocks[1].messages, (std::vector<osc::Bytes> { { 0x90, 60, 64 }, { 0x90, 64, 13 }, { 0xb0, 64, 127 }, { 0x82, 62, 0 } }));
        EXPECT_EQ (blocks[2].messages, (std::vector<osc::Bytes> { { 0x81, 60, 0 } }));
    }

    EXPECT_EQ (formatErrors.load(), 5);
}
