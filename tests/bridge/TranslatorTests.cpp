#include "bridge/OSCTranslator.h"
#include "bridge/OSCVocabulary.h"
#include "tests/support/InMemoryMidiPorts.h"

#include <gtest/gtest.h>

#include <limits>

namespace
{
using Bytes = std::vector<std::uint8_t>;
using Blocks = std::vector<sx::test::InMemoryMidiPortSystem::SentBlock>;

class TranslatorTest : public ::testing::Test
{
protected:
    /** Sends one message and returns the MIDI messages that reached the virtual source. */
    std::vector<Bytes> translate (const juce::OSCMessage& message)
    {
        ports.clearSentBlocks();
        translator->oscMessageReceived (message);
        return messagesAtVirtualSource();
    }

    std::vector<Bytes> messagesAtVirtualSource() const
    {
        std::vector<Bytes> result;
        for (const auto& block : ports.getSentBlocks (virtualMidiPortName))
            result.insert (result.end(), block.messages.begin(), block.messages.end());
        return result;
    }

    /** The single three-byte message a packet produced, or an empty vector. */
    Bytes single (const juce::OSCMessage& message)
    {
        const auto out = translate (message);
        return out.size() == 1 ? out.front() : Bytes {};
    }

    sx::test::InMemoryMidiPortSystem ports;
    std::unique_ptr<OSCTranslator> translator = std::make_unique<OSCTranslator> (ports);
};

juce::OSCMessage noteOn (juce::OSCArgument channel, juce::OSCArgument note, juce::OSCArgument velocity)
{
    juce::OSCMessage m ("/sxc/midi/note/on");
    m.addArgument (channel);
    m.addArgument (note);
    m.addArgument (velocity);
    return m;
}

} // namespace

//==============================================================================
TEST_F (TranslatorTest, NoteOnVelocityIsScaledRoundedHalfToEvenAndClamped)
{
    const struct { float velocity; int expected; } cases[] = {
        { 1.0f, 127 }, { 0.5f, 64 }, { 0.1f, 13 }, { 1.5f, 127 }, { -0.2f, 0 }, { 0.0f, 0 },
        { 0.0039f, 0 }, { 0.004f, 1 },
        // Beyond the int range roundToInt is meaningless: these must still clamp.
        { 1.0e30f, 127 }, { -1.0e30f, 0 },
        { std::numeric_limits<float>::infinity(), 127 },
        { -std::numeric_limits<float>::infinity(), 0 },
        { std::numeric_limits<float>::quiet_NaN(), 0 },
    };

    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.velocity);
        EXPECT_EQ (single (noteOn (1, 60, c.velocity)), (Bytes { 0x90, 0x3c, (std::uint8_t) c.expected }));
    }
}

TEST_F (TranslatorTest, ArgumentsOfTheWrongTypeReadAsZero)
{
    EXPECT_EQ (single (noteOn (1, 60, 100)), (Bytes { 0x90, 0x3c, 0x00 }));                 // int velocity
    EXPECT_EQ (single (noteOn (3.0f, 60, 1.0f)), (Bytes { 0x90, 0x3c, 0x7f }));              // float channel
    EXPECT_EQ (single (noteOn (juce::String ("5"), 60, 1.0f)), (Bytes { 0x90, 0x3c, 0x7f }));
    EXPECT_EQ (single (noteOn (2, 60.0f, 1.0f)), (Bytes { 0x91, 0x00, 0x7f }));              // float note
    EXPECT_EQ (single (juce::OSCMessage ("/sxc/midi/cc", 1, 7, 99.0f)), (Bytes { 0xb0, 0x07, 0x00 }));
}

TEST_F (TranslatorTest, ChannelsMapToStatusNibbles)
{
    const struct { int channel; std::uint8_t nibble; } cases[] = {
        { 1, 0 }, { 2, 1 }, { 10, 9 }, { 16, 15 }, { 0, 0 }, { -1, 0 },
        { std::numeric_limits<int>::min(), 0 }, { 17, 15 }, { 1000, 15 }, { std::numeric_limits<int>::max(), 15 },
    };

    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.channel);
        EXPECT_EQ (single (noteOn (c.channel, 60, 1.0f)).at (0), 0x90 | c.nibble);
        EXPECT_EQ (single (juce::OSCMessage ("/sxc/midi/note/off", c.channel, 60)).at (0), 0x80 | c.nibble);
        EXPECT_EQ (single (juce::OSCMessage ("/sxc/midi/cc", c.channel, 1, 2)).at (0), 0xb0 | c.nibble);
    }
}

TEST_F (TranslatorTest, DataBytesKeepTheLowSevenBits)
{
    EXPECT_EQ (single (noteOn (1, 128, 1.0f)), (Bytes { 0x90, 0x00, 0x7f }));
    EXPECT_EQ (single (noteOn (1, 200, 1.0f)), (Bytes { 0x90, 72, 0x7f }));
    EXPECT_EQ (single (noteOn (1, -1, 1.0f)), (Bytes { 0x90, 0x7f, 0x7f }));
    EXPECT_EQ (single (juce::OSCMessage ("/sxc/midi/note/off", 1, 128 + 64)), (Bytes { 0x80, 64, 0x00 }));
    EXPECT_EQ (single (juce::OSCMessage ("/sxc/midi/cc", 1, 255, 255)), (Bytes { 0xb0, 0x7f, 0x7f }));
    EXPECT_EQ (single (juce::OSCMessage ("/sxc/midi/cc", 16, 130, -128)), (Bytes { 0xbf, 2, 0 }));
}

TEST_F (TranslatorTest, OnlyTheExactArgumentCountsProduceMidi)
{
    EXPECT_TRUE (translate (juce::OSCMessage ("/sxc/midi/note/on", 1, 60)).empty());
    EXPECT_TRUE (translate (juce::OSCMessage ("/sxc/midi/note/on", 1, 60, 1.0f, 4)).empty());
    EXPECT_TRUE (translate (juce::OSCMessage ("/sxc/midi/note/on")).empty());
    EXPECT_TRUE (translate (juce::OSCMessage ("/sxc/midi/note/off", 1, 60, 1.0f)).empty());
    EXPECT_TRUE (translate (juce::OSCMessage ("/sxc/midi/note/off", 1)).empty());
    EXPECT_TRUE (translate (juce::OSCMessage ("/sxc/midi/cc", 1, 7)).empty());
    EXPECT_TRUE (translate (juce::OSCMessage ("/sxc/midi/cc", 1, 7, 8, 9)).empty());

    EXPECT_EQ (single (juce::OSCMessage ("/sxc/midi/note/off", 3, 60)), (Bytes { 0x82, 0x3c, 0x00 }));
}

TEST_F (TranslatorTest, AddressesOutsideTheVocabularyProduceNothing)
{
    const char* const ignored[] = {
        "/SXC/midi/note/on", "/sxc/MIDI/note/on", "/sxc/midi/Note/on", "/sxc/midi/note/ON", "/sxc/midi/CC",
        "/sxc", "/sxc/midi", "/sxc/midi/note", "/sxc/midi/notes/on", "/sxc/midi/ccc", "/sxc/midi/note/onn",
        "/sxc/dmx/midi/note/on", "/sxc/ableton/midi/cc", "/sxc/settings/midi/note/on", "/sxc/other",
        "/other/sxc/midi/note/on", "/midi/note/on", "/sxc/midi/*/on", "/sxc/midi/note/o?", "/*/midi/cc",
    };

    for (const auto* address : ignored)
    {
        SCOPED_TRACE (address);
        EXPECT_TRUE (translate (juce::OSCMessage (address, 1, 60, 1.0f)).empty());
        EXPECT_TRUE (translate (juce::OSCMessage (address, 1, 60)).empty());
    }
}

TEST_F (TranslatorTest, ComponentsAfterTheLastOneExaminedAreIgnored)
{
    EXPECT_EQ (single (juce::OSCMessage ("/sxc/midi/cc/extra", 1, 7, 100)), (Bytes { 0xb0, 7, 100 }));
    EXPECT_EQ (single (juce::OSCMessage ("/sxc/midi/note/on/x/y", 1, 60, 1.0f)), (Bytes { 0x90, 60, 127 }));
    EXPECT_EQ (single (juce::OSCMessage ("/sxc/midi/note/off/more", 1, 60)), (Bytes { 0x80, 60, 0 }));

    // The framework drops empty components and a trailing slash, so these are the plain addresses.
    EXPECT_EQ (single (juce::OSCMessage ("/sxc//midi/cc/", 1, 7, 100)), (Bytes { 0xb0, 7, 100 }));
}

//==============================================================================
TEST_F (TranslatorTest, NestedBundlesGoOutAsOneBlockPerOutput)
{
    ports.addOutput ("Synth A");
    ports.addOutput ("Synth B");
    translator->getMidiDeviceManager().setMidiOutputDeviceEnabled ("Synth A", true, false);
    translator->getMidiDeviceManager().setMidiOutputDeviceEnabled ("Synth B", true, false);

    juce::OSCBundle inner;
    inner.addElement (juce::OSCMessage ("/sxc/midi/cc", 2, 1, 64));
    inner.addElement (juce::OSCMessage ("/sxc/dmx/x", 1, 2, 3));        // ignored inside a bundle too

    juce::OSCBundle deepest;
    deepest.addElement (juce::OSCMessage ("/sxc/midi/note/off", 1, 62));
    inner.addElement (deepest);

    juce::OSCBundle outer;
    outer.addElement (noteOn (1, 60, 1.0f));
    outer.addElement (noteOn (1, 64, 0.5f));
    outer.addElement (inner);

    ports.clearSentBlocks();
    translator->oscBundleReceived (outer);

    const std::vector<Bytes> expected { { 0x90, 60, 127 }, { 0x90, 64, 64 }, { 0xb1, 1, 64 }, { 0x80, 62, 0 } };
    const auto blocks = ports.getSentBlocks();

    ASSERT_EQ (blocks.size(), 3u);
    EXPECT_EQ (blocks[0].portName, virtualMidiPortName);
    EXPECT_EQ (blocks[1].portName, "Synth A");
    EXPECT_EQ (blocks[2].portName, "Synth B");

    for (const auto& block : blocks)
        EXPECT_EQ (block.messages, expected);
}

TEST_F (TranslatorTest, PacketsWithoutMidiSendNothing)
{
    juce::OSCBundle emptyBundle;
    juce::OSCBundle ignoredOnly;
    ignoredOnly.addElement (juce::OSCMessage ("/sxc/settings", 1));

    translator->oscBundleReceived (emptyBundle);
    translator->oscBundleReceived (ignoredOnly);
    translator->oscMessageReceived (juce::OSCMessage ("/sxc/ableton/tempo", 120.0f));

    EXPECT_TRUE (ports.getSentBlocks().empty());
}

TEST_F (TranslatorTest, WithNoOutputOpenMidiIsDiscardedAndTheNextPacketStartsEmpty)
{
    translator->getMidiDeviceManager().setMidiOutputDeviceEnabled (virtualMidiPortName, false, true);
    ASSERT_TRUE (translator->getMidiDeviceManager().midiOutputs.empty());

    juce::OSCBundle bundle;
    bundle.addElement (noteOn (1, 60, 1.0f));
    bundle.addElement (noteOn (1, 61, 1.0f));
    translator->oscBundleReceived (bundle);
    translator->oscMessageReceived (noteOn (1, 62, 1.0f));

    translator->getMidiDeviceManager().setMidiOutputDeviceEnabled (virtualMidiPortName, true, true);
    EXPECT_EQ (translate (noteOn (1, 63, 1.0f)), (std::vector<Bytes> { { 0x90, 63, 127 } }));
}

TEST_F (TranslatorTest, EachPacketIsSentOnlyOnce)
{
    translator->oscMessageReceived (noteOn (1, 60, 1.0f));
    translator->oscMessageReceived (juce::OSCMessage ("/sxc/midi/note/off", 1, 60));
    translator->oscMessageReceived (juce::OSCMessage ("/nothing"));

    const auto blocks = ports.getSentBlocks();
    ASSERT_EQ (blocks.size(), 2u);
    EXPECT_EQ (blocks[0].messages, (std::vector<Bytes> { { 0x90, 60, 127 } }));
    EXPECT_EQ (blocks[1].messages, (std::vector<Bytes> { { 0x80, 60, 0 } }));
}

TEST_F (TranslatorTest, LargeBundlesAreSentWhole)
{
    juce::OSCBundle bundle;
    for (int i = 0; i < 600; ++i)   // 600 three-byte events overflow the reserved 1000 bytes
        bundle.addElement (juce::OSCMessage ("/sxc/midi/cc", 1, i, i));

    ports.clearSentBlocks();
    translator->oscBundleReceived (bundle);

    const auto blocks = ports.getSentBlocks();
    ASSERT_EQ (blocks.size(), 1u);
    ASSERT_EQ (blocks[0].messages.size(), 600u);
    EXPECT_EQ (blocks[0].messages[599], (Bytes { 0xb0, 599 & 0x7f, 599 & 0x7f }));
}
