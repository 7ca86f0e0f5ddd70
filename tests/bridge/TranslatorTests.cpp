#include "bridge/OSCTranslator.h"
#include "bridge/OSCVocabulary.h"
#include "tests/support/InMemoryMidiPorts.h"

#include <gtest/gtest.h>

#include <limits>

namespace
{
using Messages = std::vector<std::vector<std::uint8_t>>;
using floats = std::numeric_limits<float>;
} // namespace

TEST (Translator, MessagesBecomeExactMidiBytes)
{
    sx::test::InMemoryMidiPortSystem ports;
    OSCTranslator translator (ports);

    // Everything one message puts out at the virtual source.
    const auto translate = [&] (const juce::OSCMessage& message)
    {
        ports.clearSentBlocks();
        translator.oscMessageReceived (message);
        Messages result;
        for (const auto& block : ports.getSentBlocks())
            result.insert (result.end(), block.messages.begin(), block.messages.end());
        return result;
    };
    const auto on = [] (juce::OSCArgument c, juce::OSCArgument n, juce::OSCArgument v) { return juce::OSCMessage ("/sxc/midi/note/on", c, n, v); };

    const struct { juce::OSCMessage message; Messages expected; } cases[] = {
        // Velocity: scaled, rounded, clamped (also where rounding is meaningless).
        { on (1, 60, 1.0f),    { { 0x90, 60, 127 } } },
        { on (1, 60, 0.5f),    { { 0x90, 60, 64 } } },
        { on (1, 60, 0.1f),    { { 0x90, 60, 13 } } },
        { on (1, 60, 0.004f),  { { 0x90, 60, 1 } } },
        { on (1, 60, 1.0e30f), { { 0x90, 60, 127 } } },
        { on (1, 60, -1.0e30f), { { 0x90, 60, 0 } } },
        { on (1, 60, floats::infinity()),  { { 0x90, 60, 127 } } },
        { on (1, 60, floats::quiet_NaN()), { { 0x90, 60, 0 } } },
        // Channels clamp to 1..16 in the status nibble; data bytes keep their low seven bits.
        { on (0, 60, 1.0f),                      { { 0x90, 60, 127 } } },
        { { "/sxc/midi/note/off", 10, 128 + 64 }, { { 0x89, 64, 0 } } },
        { { "/sxc/midi/cc", 17, 130, -128 },     { { 0xbf, 2, 0 } } },
        { on (1, 200, 1.0f),                     { { 0x90, 72, 127 } } },
        // Arguments of the wrong type read as zero.
        { on (1, 60, 100),                { { 0x90, 60, 0 } } },
        { on (2, 60.0f, 1.0f),            { { 0x91, 0, 127 } } },
        { { "/sxc/midi/cc", 1, 7, 99.0f }, { { 0xb0, 7, 0 } } },
        // Components past the last one examined are ignored; the framework drops empty ones.
        { { "/sxc/midi/cc/extra", 1, 7, 100 }, { { 0xb0, 7, 100 } } },
        { { "/sxc//midi/cc/", 1, 7, 100 },     { { 0xb0, 7, 100 } } },
        // Only the exact argument counts produce MIDI.
        { { "/sxc/midi/note/on", 1, 60 }, {} },   { { "/sxc/midi/note/on", 1, 60, 1.0f, 4 }, {} },
        { { "/sxc/midi/note/off", 1 }, {} },      { { "/sxc/midi/note/off", 1, 60, 1.0f }, {} },
        { { "/sxc/midi/cc", 1, 7 }, {} },         { { "/sxc/midi/cc", 1, 7, 8, 9 }, {} },
    };

    for (const auto& c : cases)
        EXPECT_EQ (translate (c.message), c.expected) << c.message.getAddressPattern().toString() << " case " << (&c - cases);

    for (const auto* address : { "/SXC/midi/note/on", "/sxc/MIDI/note/on", "/sxc/midi/Note/on", "/sxc/midi/note/ON",
                                 "/sxc/midi/CC", "/sxc/dmx/midi/note/on", "/sxc/ableton/midi/cc", "/sxc/settings/midi/cc",
                                 "/sxc", "/sxc/midi", "/sxc/midi/note", "/sxc/midi/ccc", "/sxc/midi/note/onn",
                                 "/other/sxc/midi/note/on", "/sxc/midi/*/on" })
        EXPECT_TRUE (translate ({ address, 1, 60, 1.0f }).empty()) << address;
}

TEST (Translator, EachPacketIsSentOnceAndLeavesTheBufferEmpty)
{
    sx::test::InMemoryMidiPortSystem ports;
    OSCTranslator translator (ports);
    auto& manager = translator.getMidiDeviceManager();
    juce::OSCBundle bundle;
    bundle.addElement (juce::OSCMessage ("/sxc/midi/note/on", 1, 60, 1.0f));
    bundle.addElement (juce::OSCMessage ("/sxc/settings", 1));

    // With nothing open the MIDI is discarded, not carried into the next packet.
    manager.setMidiOutputDeviceEnabled (virtualMidiPortName, false, true);
    translator.oscBundleReceived (bundle);
    manager.setMidiOutputDeviceEnabled (virtualMidiPortName, true, true);

    translator.oscMessageReceived ({ "/sxc/midi/note/off", 1, 61 });
    translator.oscBundleReceived (juce::OSCBundle());
    translator.oscMessageReceived ({ "/sxc/ableton/tempo", 120.0f });
    translator.oscBundleReceived (bundle);

    const auto blocks = ports.getSentBlocks();
    ASSERT_EQ (blocks.size(), 2u);
    EXPECT_EQ (blocks[0].messages, (Messages { { 0x80, 61, 0 } }));
    EXPECT_EQ (blocks[1].messages, (Messages { { 0x90, 60, 127 } }));
}
