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

    const SessionNonce exampleNonce { 0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77, 0x88 };
    const juce::IPAddress exampleAddress (192, 168, 1, 20);

    juce::Uuid exampleServerId()
    {
        const auto raw = fromHex ("0F1E2D3C4B5A4978A695B4C3D2E1F000");
        return juce::Uuid (raw.data());
    }

    const Bytes studioMacAdvertisement = fromHex (
        "0C 01 00 00 27 0F 53 52 11 22 33 44 55 66 77 88"
        "0F 1E 2D 3C 4B 5A 49 78 A6 95 B4 C3 D2 E1 F0 00"
        "00 00 00 0A 53 74 75 64 69 6F 2D 4D 61 63 00 00"
        "00 0A 53 74 75 64 69 6F 2D 4D 61 63 00 00 00 00"
        "00 00 00 64 00 00 00 20 30 66 31 65 32 64 33 63"
        "34 62 35 61 34 39 37 38 61 36 39 35 62 34 63 33"
        "64 32 65 31 66 30 30 30 00 00 00 04 C0 A8 01 14"
        "00 00 23 29 00 00 00 64 00 00 00 00 01 01 00 00"
        "01 00 01 01 00 00 00 00 00 00 00 00 00 00");

    Bytes advertiseWithName (const juce::String& name)
    {
        return makeSessionAdvertisement (exampleNonce, exampleServerId(), name, exampleAddress, 9001).bytes;
    }

    // The "Studio-Mac" advertisement with its two name strings (bytes 32 to 59) replaced.
    Bytes exampleWithNameBytes (const Bytes& nameBytes)
    {
        const auto n = (uint8_t) nameBytes.size();
        Bytes expected (studioMacAdvertisement.begin(), studioMacAdvertisement.begin() + 32);

        for (int copy = 0; copy < 2; ++copy)
        {
            expected.insert (expected.end(), { 0, 0, 0, n });
            expected.insert (expected.end(), nameBytes.begin(), nameBytes.end());
        }

        expected.insert (expected.end(), studioMacAdvertisement.begin() + 60, studioMacAdvertisement.end());
        return expected;
    }
}

TEST (SessionAdvertisement, MatchesAKnownPacketByteForByte)
{
    const auto packet = makeSessionAdvertisement (exampleNonce, exampleServerId(), "Studio-Mac", exampleAddress, 9001);

    EXPECT_FALSE (packet.overflow);
    EXPECT_EQ (packet.maxSize, 1024);
    ASSERT_EQ (packet.bytes.size(), 142u);
    EXPECT_EQ (packet.bytes, studioMacAdvertisement);
}

TEST (SessionAdvertisement, CountsTheNameInUtf8Bytes)
{
    const auto zoe = juce::String (juce::CharPointer_UTF8 ("Zo\xc3\xab-Mac"));
    ASSERT_EQ (zoe.length(), 7);

    const auto packet = advertiseWithName (zoe);
    ASSERT_EQ (packet.size(), 138u);
    EXPECT_EQ (packet, exampleWithNameBytes (fromHex ("5A 6F C3 AB 2D 4D 61 63")));
}

TEST (SessionAdvertisement, EmptyNameLeavesTwoZeroLengths)
{
    const auto packet = advertiseWithName ({});
    ASSERT_EQ (packet.size(), 122u);
    EXPECT_EQ (packet, exampleWithNameBytes ({}));
}

TEST (SessionAdvertisement, ServerIdTextIsTheLowercaseHexOfAVersion4Id)
{
    for (int i = 0; i < 20; ++i)
    {
        const juce::Uuid id;
        const auto packet = makeSessionAdvertisement (exampleNonce, id, {}, exampleAddress, 9001).bytes;

        // With an empty name the text's length sits at 48 and its digits at 52.
        ASSERT_EQ (Bytes (packet.begin() + 48, packet.begin() + 52), fromHex ("00000020"));
        const juce::String text (reinterpret_cast<const char*> (packet.data() + 52), 32);

        EXPECT_TRUE (text.containsOnly ("0123456789abcdef")) << text;
        EXPECT_EQ (text, juce::String::toHexString (packet.data() + 16, 16, 0));
        EXPECT_EQ (text[12], '4') << text;
        EXPECT_TRUE (juce::String ("89ab").containsChar (text[16])) << text;
        EXPECT_EQ (packet[16 + 6] >> 4, 4);
        EXPECT_EQ (packet[16 + 8] >> 6, 2);
    }
}

TEST (PacketWriter, RefusesEveryWriteAfterTheFirstThatDoesNotFit)
{
    PacketWriter six (6);
    six.writeByte (12);
    six.writeByte (1);
    six.writeInt32 (9999);
    EXPECT_EQ (six.bytes, fromHex ("0C 01 00 00 27 0F"));
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

TEST (PacketWriter, WritesBlocksWholeOrNotAtAll)
{
    PacketWriter writer (9);
    writer.writeInt32 (-2).writeInt32 (0x01020304);
    EXPECT_EQ (writer.bytes, fromHex ("FF FF FF FE 01 02 03 04"));

    const uint8_t block[] = { 0xAA, 0xBB };
    writer.writeBytes (block, sizeof (block));
    EXPECT_EQ (writer.bytes.size(), 8u);
    EXPECT_TRUE (writer.overflow);

    PacketWriter huge (4);
    huge.writeBytes (block, std::numeric_limits<size_t>::max());
    EXPECT_TRUE (huge.bytes.empty());
    EXPECT_TRUE (huge.overflow);
}

TEST (PacketWriter, StringLengthCanLandWithoutItsText)
{
    PacketWriter writer (8);
    writer.writeString ("hello");
    EXPECT_EQ (writer.bytes, fromHex ("00 00 00 05"));
    EXPECT_TRUE (writer.overflow);

    PacketWriter exact (9);
    exact.writeString ("hello");
    EXPECT_EQ (exact.bytes, fromHex ("00 00 00 05 68 65 6C 6C 6F"));
    EXPECT_FALSE (exact.overflow);
}

TEST (SessionQuery, AcceptsOnlyTheProtocolByteAndTagAtLength32OrMore)
{
    Bytes query (1023, 0);
    query[0] = 12;
    query[6] = 'S';
    query[7] = 'Q';

    EXPECT_TRUE (isSessionQuery (32, query.data()));
    EXPECT_TRUE (isSessionQuery (1023, query.data()));
    EXPECT_FALSE (isSessionQuery (31, query.data()));
    EXPECT_FALSE (isSessionQuery (0, query.data()));
    EXPECT_FALSE (isSessionQuery (-1, query.data()));

    std::fill (query.begin() + 1, query.begin() + 6, 0xFF);
    EXPECT_TRUE (isSessionQuery (32, query.data())) << "bytes 1 to 5 are not examined";

    for (const auto& [offset, value] : std::vector<std::pair<int, uint8_t>> { { 0, 11 }, { 0, 13 }, { 7, 'R' }, { 6, 's' }, { 7, 'q' } })
    {
        auto wrong = query;
        wrong[(size_t) offset] = value;
        EXPECT_FALSE (isSessionQuery (32, wrong.data())) << "byte " << offset << " = " << (int) value;
    }
}
