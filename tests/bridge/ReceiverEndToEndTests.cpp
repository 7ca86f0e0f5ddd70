#include "bridge/OSCTranslator.h"
#include "bridge/OSCVocabulary.h"
#include "tests/bridge/OscBytes.h"
#include "tests/support/InMemoryMidiPorts.h"

#include <gtest/gtest.h>

#include <atomic>

namespace
{
namespace osc = sx::test::osc;
using Bytes = std::vector<std::uint8_t>;

/*  A real OSC receiver on 127.0.0.1 with the translator registered as the application
    registers it, fed with hand-built datagrams from a second socket.
*/
class ReceiverTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE (receiveSocket.bindToPort (0, "127.0.0.1"));
        port = receiveSocket.getBoundPort();

        ports.addOutput ("Synth A");
        translator.getMidiDeviceManager().setMidiOutputDeviceEnabled ("Synth A", true, false);

        receiver.addListener (&translator);
        receiver.registerFormatErrorHandler ([this] (const char*, int) { ++formatErrors; });
        ASSERT_TRUE (receiver.connectToSocket (receiveSocket));
    }

    void TearDown() override
    {
        receiver.disconnect();
        receiver.removeListener (&translator);
    }

    void send (const Bytes& datagram)
    {
        ASSERT_EQ (sendSocket.write ("127.0.0.1", port, datagram.data(), (int) datagram.size()), (int) datagram.size());
    }

    /** Waits (bounded) until the virtual source has received at least n blocks. */
    std::vector<sx::test::InMemoryMidiPortSystem::SentBlock> waitForBlocks (size_t n)
    {
        for (int i = 0; i < 400; ++i)
        {
            auto blocks = ports.getSentBlocks (virtualMidiPortName);
            if (blocks.size() >= n)
                return blocks;
            juce::Thread::sleep (5);
        }

        return ports.getSentBlocks (virtualMidiPortName);
    }

    sx::test::InMemoryMidiPortSystem ports;
    OSCTranslator translator { ports };
    juce::DatagramSocket receiveSocket { false }, sendSocket { false };
    juce::OSCReceiver receiver { "JUCE OSC server" };
    std::atomic<int> formatErrors { 0 };
    int port = 0;
};

const Bytes sentinel = osc::message ("/sxc/midi/cc", { 16, 127, 1 });
const std::vector<Bytes> sentinelMidi { { 0xbf, 0x7f, 0x01 } };

} // namespace

TEST_F (ReceiverTest, DatagramsBecomeMidiAtEveryOutput)
{
    send (osc::message ("/sxc/midi/note/on", { 1, 60, 1.0f }));
    send (osc::message ("/sxc/midi/note/off", { 2, 60 }));
    send (osc::message ("/sxc/midi/note/on", { 10, 36, 100 }));      // int velocity reads as 0
    send (osc::message ("/sxc/dmx/note/on", { 1, 60, 1.0f }));
    send (osc::message ("/sxc/midi/cc", { 1, 7, "loud" }));          // string value reads as 0

    const auto blocks = waitForBlocks (4);
    ASSERT_EQ (blocks.size(), 4u);
    EXPECT_EQ (blocks[0].messages, (std::vector<Bytes> { { 0x90, 60, 127 } }));
    EXPECT_EQ (blocks[1].messages, (std::vector<Bytes> { { 0x81, 60, 0 } }));
    EXPECT_EQ (blocks[2].messages, (std::vector<Bytes> { { 0x99, 36, 0 } }));
    EXPECT_EQ (blocks[3].messages, (std::vector<Bytes> { { 0xb0, 7, 0 } }));

    EXPECT_EQ (ports.getSentBlocks ("Synth A").size(), 4u);
    EXPECT_EQ (formatErrors.load(), 0);
}

TEST_F (ReceiverTest, ANestedBundleArrivesAsOneBlock)
{
    send (osc::bundle ({ osc::message ("/sxc/midi/note/on", { 1, 60, 0.5f }),
                         osc::message ("/sxc/midi/note/on", { 1, 64, 0.1f }),
                         osc::bundle ({ osc::message ("/sxc/midi/cc", { 1, 64, 127 }) }) }));

    const auto blocks = waitForBlocks (1);
    ASSERT_EQ (blocks.size(), 1u);
    EXPECT_EQ (blocks[0].messages, (std::vector<Bytes> { { 0x90, 60, 64 }, { 0x90, 64, 13 }, { 0xb0, 64, 127 } }));

    const auto atHardware = ports.getSentBlocks ("Synth A");
    ASSERT_EQ (atHardware.size(), 1u);
    EXPECT_EQ (atHardware[0].messages, blocks[0].messages);
}

TEST_F (ReceiverTest, MalformedPacketsNeverReachTheTranslator)
{
    const auto goodNote = osc::message ("/sxc/midi/note/on", { 1, 60, 1.0f });

    auto truncatedArguments = goodNote;
    truncatedArguments.resize (truncatedArguments.size() - 4);

    auto unsupportedType = osc::message ("/sxc/midi/cc", { 1, 2, 3 });
    unsupportedType[std::string ("/sxc/midi/cc").size() + 4 /* padding */ + 3] = 'x';   // ",iii" -> ",iix"

    auto oversizedElement = osc::bundle ({ goodNote });
    oversizedElement[19] = 0xff;   // the element's size field

    auto brokenSecondElement = osc::bundle ({ goodNote, goodNote });
    brokenSecondElement.resize (brokenSecondElement.size() - 6);

    const std::vector<Bytes> malformed {
        { '/', 's', 'x', 'c' },                         // no string terminator
        truncatedArguments,
        unsupportedType,
        oversizedElement,
        brokenSecondElement,                            // a good note first does not save it
        { 'h', 'e', 'l', 'l', 'o', ' ', 'o', 's', 'c', 0, 0, 0 },
    };

    for (const auto& packet : malformed)
        send (packet);

    send ({ '/', 's', 'x' });   // shorter than any OSC packet: dropped unseen
    send (sentinel);

    const auto blocks = waitForBlocks (1);
    ASSERT_EQ (blocks.size(), 1u);
    EXPECT_EQ (blocks[0].messages, sentinelMidi);
    EXPECT_EQ (formatErrors.load(), (int) malformed.size());
}
