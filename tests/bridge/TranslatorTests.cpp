#include "bridge/OSCTranslator.h"
#include "bridge/OSCVocabulary.h"
#include "tests/support/InMemoryMidiPorts.h"

#include <gtest/gtest.h>

#include <limits>

namespace
{
using Bytes = std::vector<std::uint8_t>;
using Messages = std::vector<Bytes>;
using floats = std::numeric_limits<float>;
using ints = std::numeric_limits<int>;

class TranslatorTest : public ::testing::Test
{
protected:
    /** The MIDI one message put out at the virtual source. */
    Messages translate (const juce::OSCMessage& message)
    {
        ports.clearSentBlocks();
        translator.oscMessageReceived (message);

        Messages result;
        for (const auto& block : ports.getSentBlocks (virtualMidiPortName))
            result.insert (result.end(), block.messages.begin(), block.messages.end());
        return result;
    }

    sx::test::InMemoryMidiPortSystem ports;
    OSCTranslator translator { ports };
};

juce::OSCMessage noteOn (juce::OSCArgument channel, juce::OSCArgument note, juce::OSCArgument velocity)
{
    return { "/sxc/midi/note/on", channel, note, velocity };
}
} // namespace

TEST_F (TranslatorTest, MessagesBecomeExactMidiBytes)
{
    const struct { juce::OSCMessage message; Messages expected; } cases[] = {
        // Velocity: scaled, rounded half to even, clamped (also where rounding is meaningless).
        { noteOn (1, 60, 1.0f),    { { 0x90, 60, 127 } } },
        { noteOn (1, 60, 0.5f),    { { 0x90, 60, 64 } } },
        { noteOn (1, 60, 0.1f),    { { 0x90, 60, 13 } } },
        { noteOn (1, 60, 0.004f),  { { 0x90, 60, 1 } } },
        { noteOn (1, 60, 0.0039f), { { 0x90, 60, 0 } } },
        { noteOn (1, 60, 1.5f),    { { 0x90, 60, 127 } } },
        { noteOn (1, 60, -0.2f),   { { 0x90, 60, 0 } } },
        { noteOn (1, 60, 1.0e30f), { { 0x90, 60, 127 } } },
        { noteOn (1, 60, -1.0e30f), { { 0x90, 60, 0 } } },
        { noteOn (1, 60, floats::infinity()),  { { 0x90, 60, 127 } } },
        { noteOn (1, 60, -floats::infinity()), { { 0x90, 60, 0 } } },
        { noteOn (1, 60, floats::quiet_NaN()), { { 0x90, 60, 0 } } },
        // Channels clamp to 1..16 in the status nibble.
        { noteOn (16, 60, 1.0f),         { { 0x9f, 60, 127 } } },
        { noteOn (0, 60, 1.0f),          { { 0x90, 60, 127 } } },
        { noteOn (ints::min(), 60, 1.0f), { { 0x90, 60, 127 } } },
        { noteOn (ints::max(), 60, 1.0f), { { 0x9f, 60, 127 } } },
        { { "/sxc/midi/note/off", 10, 60 }, { { 0x89, 60, 0 } } },
        { { "/sxc/midi/cc", -1, 7, 100 },   { { 0xb0, 7, 100 } } },
        { { "/sxc/midi/cc", 17, 7, 100 },   { { 0xbf, 7, 100 } } },
        // Data bytes keep their low seven bits.
        { noteOn (1, 200, 1.0f),                { { 0x90, 72, 127 } } },
        { noteOn (1, -1, 1.0f),                 { { 0x90, 0x7f, 127 } } },
        { { "/sxc/midi/note/off", 1, 128 + 64 }, { { 0x80, 64, 0 } } },
        { { "/sxc/midi/cc", 16, 130, -128 },     { { 0xbf, 2, 0 } } },
        // Arguments of the wrong type read as zero.
        { noteOn (1, 60, 100),                      { { 0x90, 60, 0 } } },
        { noteOn (3.0f, 60, 1.0f),                  { { 0x90, 60, 127 } } },
        { noteOn (juce::String ("5"), 60, 1.0f),    { { 0x90, 60, 127 } } },
        { noteOn (2, 60.0f, 1.0f),                  { { 0x91, 0, 127 } } },
        { { "/sxc/midi/cc", 1, 7, 99.0f },          { { 0xb0, 7, 0 } } },
        // Components past the last one examined are ignored; the framework drops empty ones.
        { { "/sxc/midi/cc/extra", 1, 7, 100 },       { { 0xb0, 7, 100 } } },
        { { "/sxc/midi/note/on/x/y", 1, 60, 1.0f },  { { 0x90, 60, 127 } } },
        { { "/sxc//midi/cc/", 1, 7, 100 },           { { 0xb0, 7, 100 } } },
        // Only the exact argument counts produce MIDI.
        { { "/sxc/midi/note/on", 1, 60 }, {} },
        { { "/sxc/midi/note/on", 1, 60, 1.0f, 4 }, {} },
        { { "/sxc/midi/note/off", 1, 60, 1.0f }, {} },
        { { "/sxc/midi/note/off", 1 }, {} },
        { { "/sxc/midi/cc", 1, 7 }, {} },
        { { "/sxc/midi/cc", 1, 7, 8, 9 }, {} },
    };

    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.message.getAddressPattern().toString() + " " + juce::String (&c - cases));
        EXPECT_EQ (translate (c.message), c.expected);
    }
}

TEST_F (TranslatorTest, AddressesOutsideTheVocabularyProduceNothing)
{
    for (const auto* address : { "/SXC/midi/note/on", "/sxc/MIDI/note/on", "/sxc/midi/Note/on", "/sxc/midi/note/ON",
                                 "/sxc/midi/CC", "/sxc/dmx/midi/note/on", "/sxc/ableton/midi/cc", "/sxc/settings/midi/cc",
                                 "/sxc", "/sxc/midi", "/sxc/midi/note", "/sxc/midi/ccc", "/sxc/midi/note/onn",
                                 "/other/sxc/midi/note/on", "/sxc/midi/*/on" })
    {
        SCOPED_TRACE (address);
        EXPECT_TRUE (translate ({ address, 1, 60, 1.0f }).empty());
        EXPECT_TRUE (translate ({ address, 1, 60 }).empty());
    }
}

TEST_F (TranslatorTest, NestedBundlesGoOutAsOneBlockPerOutput)
{
    for (auto* name : { "Synth A", "Synth B" })
    {
        ports.addOutput (name);
        translator.getMidiDeviceManager().setMidiOutputDeviceEnabled (name, true, false);
    }

    juce::OSCBundle deepest, inner, outer;
    deepest.addElement (juce::OSCMessage ("/sxc/midi/note/off", 1, 62));
    inner.addElement (juce::OSCMessage ("/sxc/midi/cc", 2, 1, 64));
    inner.addElement (juce::OSCMessage ("/sxc/dmx/x", 1, 2, 3));
    inner.addElement (deepest);
    outer.addElement (noteOn (1, 60, 1.0f));
    outer.addElement (noteOn (1, 64, 0.5f));
    outer.addElement (inner);

    translator.oscBundleReceived (outer);

    const auto blocks = ports.getSentBlocks();
    ASSERT_EQ (blocks.size(), 3u);
    EXPECT_EQ (blocks[0].portName, virtualMidiPortName);
    EXPECT_EQ (blocks[1].portName, "Synth A");
    EXPECT_EQ (blocks[2].portName, "Synth B");

    for (const auto& block : blocks)
        EXPECT_EQ (block.messages, (Messages { { 0x90, 60, 127 }, { 0x90, 64, 64 }, { 0xb1, 1, 64 }, { 0x80, 62, 0 } }));
}

TEST_F (TranslatorTest, EachPacketIsSentOnceAndLeavesTheBufferEmpty)
{
    auto& manager = translator.getMidiDeviceManager();
    juce::OSCBundle bundle;
    bundle.addElement (noteOn (1, 60, 1.0f));
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
