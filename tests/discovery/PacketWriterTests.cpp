#include "discovery/PacketWriter.h"

#include <gtest/gtest.h>

namespace
{
    using Bytes = std::vector<uint8_t>;

    Bytes fromHex (const char* hex)
    {
        juce::MemoryBlock block;
        block.loadFromHexString (hex);
        const auto* data = static_cast<const uint8_t*> (block.getData());
        return { data, data + block.getSize() };
    }
}

// The worked example, and the same packet with its two name strings (bytes 32 to 59) replaced.
TEST (SessionAdvertisement, MatchesKnownPacketsByteForByte)
{
    const auto example = fromHex (
        "0C 01 00 00 27 0F 53 52 11 22 33 44 55 66 77 88"
        "0F 1E 2D 3C 4B 5A 49 78 A6 95 B4 C3 D2 E1 F0 00"
        "00 00 00 0A 53 74 75 64 69 6F 2D 4D 61 63 00 00"
        "00 0A 53 74 75 64 69 6F 2D 4D 61 63 00 00 00 00"
        "00 00 00 64 00 00 00 20 30 66 31 65 32 64 33 63"
        "34 62 35 61 34 39 37 38 61 36 39 35 62 34 63 33"
        "64 32 65 31 66 30 30 30 00 00 00 04 C0 A8 01 14"
        "00 00 23 29 00 00 00 64 00 00 00 00 01 01 00 00"
        "01 00 01 01 00 00 00 00 00 00 00 00 00 00");

    const SessionNonce nonce { 0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77, 0x88 };
    const juce::Uuid serverId (fromHex ("0F1E2D3C4B5A4978A695B4C3D2E1F000").data());

    struct Case { juce::String name; const char* nameHex; size_t size; };
    const Case cases[] = {
        { "Studio-Mac", "53 74 75 64 69 6F 2D 4D 61 63", 142 },
        { juce::String (juce::CharPointer_UTF8 ("Zo\xc3\xab-Mac")), "5A 6F C3 AB 2D 4D 61 63", 138 },  // 7 characters, 8 bytes
        { {}, "", 122 },
    };

    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.size);
        const auto name = fromHex (c.nameHex);
        Bytes expected (example.begin(), example.begin() + 32);

        for (int copy = 0; copy < 2; ++copy)
        {
            expected.insert (expected.end(), { 0, 0, 0, (uint8_t) name.size() });
            expected.insert (expected.end(), name.begin(), name.end());
        }

        expected.insert (expected.end(), example.begin() + 60, example.end());

        const auto packet = makeSessionAdvertisement (nonce, serverId, c.name, juce::IPAddress (192, 168, 1, 20), 9001);
        EXPECT_FALSE (packet.overflow);
        ASSERT_EQ (packet.bytes.size(), c.size);
        EXPECT_EQ (packet.bytes, expected);
    }
}

TEST (PacketWriter, AWriteThatDoesNotFitEndsTheWriting)
{
    PacketWriter six (6);
    six.writeByte (12);
    six.writeByte (1);
    six.writeInt32 (9999);
    EXPECT_FALSE (six.overflow);
    six.writeByte (0x53);
    EXPECT_EQ (six.bytes, fromHex ("0C 01 00 00 27 0F"));
    EXPECT_TRUE (six.overflow);

    PacketWriter four (4);
    four.writeByte (12);
    four.writeInt32 (9999);
    four.writeByte (1);
    EXPECT_EQ (four.bytes, fromHex ("0C"));
    EXPECT_TRUE (four.overflow);
}
