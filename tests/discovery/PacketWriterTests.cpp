#include "discovery/PacketWriter.h"
#include "platform/ComputerName.h"

#include <gtest/gtest.h>

#include <sched.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <thread>

namespace
{
    using Bytes = std::vector<uint8_t>;

    Bytes fromHex (const char* hex)
    {
        juce::MemoryBlock block;
        block.loadFromHexString (hex);
        return { block.begin(), block.end() };
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

    for (const std::string name : { "Studio-Mac", "Zo\xc3\xab-Mac", "" })   // the second: 7 characters, 8 bytes
    {
        Bytes expected (example.begin(), example.begin() + 32);

        for (int copy = 0; copy < 2; ++copy)
        {
            expected.insert (expected.end(), { 0, 0, 0, (uint8_t) name.size() });
            expected.insert (expected.end(), name.begin(), name.end());
        }

        expected.insert (expected.end(), example.begin() + 60, example.end());
        EXPECT_EQ (makeSessionAdvertisement (nonce, serverId, juce::String::fromUTF8 (name.c_str()),
                                             juce::IPAddress (192, 168, 1, 20), 9001).getBytes(), expected) << name;
    }
}

TEST (PacketWriter, AWriteThatDoesNotFitEndsTheWriting)
{
    for (const auto& [maxSize, expected] : { std::pair<int, const char*> { 6, "0C 01 00 00 27 0F" }, { 4, "0C 01" } })
    {
        PacketWriter writer (maxSize);
        writer.writeByte (12);
        writer.writeByte (1);
        writer.writeInt32 (9999);
        writer.writeByte (0x53);   // would fit in four, but comes after a write that did not
        EXPECT_EQ (writer.getBytes(), fromHex (expected));
        EXPECT_TRUE (writer.hasOverflowed());
    }
}

TEST (SessionAdvertisement, ComputerNameDropsItsLastLocalDomain)
{
    const std::pair<const char*, const char*> cases[] { { "Studio-Mac.local", "Studio-Mac" }, { "Studio.LOCAL", "Studio" },
                                                        { "a.local.b.Local", "a.local.b" }, { "locality", "locality" }, { "", "" } };
    for (const auto& [host, name] : cases)
        EXPECT_EQ (sx::platform::withoutLocalDomain (host), name) << host;
}

// The host name's own UTF-8 is what both the advertisement and the instructions carry; a
// host name that is not well-formed UTF-8 is read as Latin-1. Each name is set in a UTS
// namespace of a thread of the test's own, so the machine's name is never touched.
TEST (SessionAdvertisement, ComputerNameIsTheHostNamesUTF8)
{
    const std::pair<const char*, const char*> cases[] { { "Zo\xc3\xab-Mac", "Zo\xc3\xab-Mac" },
                                                        { "Zo\xc3\xab-Mac.local", "Zo\xc3\xab-Mac" },
                                                        { "Zo\xeb-Mac", "Zo\xc3\xab-Mac" },                   // Latin-1
                                                        { "\xed\xa0\x80", "\xc3\xad\xc2\xa0\xc2\x80" } };   // a lone surrogate
    for (const auto& [host, expected] : cases)
    {
        juce::String name, error;

        std::thread ([&, h = host]
        {
            if (::unshare (CLONE_NEWUTS) != 0 || ::sethostname (h, std::strlen (h)) != 0)
                error = std::strerror (errno);
            else
                name = sx::platform::getComputerName();
        }).join();

        if (error.isNotEmpty())
            GTEST_SKIP() << "no UTS namespace to name the host in: " << error;

        EXPECT_EQ (name.toStdString(), expected) << host;

        const auto length = std::strlen (expected);
        const auto advertisement = makeSessionAdvertisement ({}, juce::Uuid(), name, juce::IPAddress (192, 168, 1, 20), 9001).getBytes();
        ASSERT_EQ (advertisement.size(), 122 + 2 * length) << host;
        EXPECT_EQ (Bytes (advertisement.begin() + 32, advertisement.begin() + 36 + (long) length),
                   fromHex ((juce::String ("000000") + juce::String::toHexString ((int) length).paddedLeft ('0', 2)
                              + juce::String::toHexString (expected, (int) length, 0)).toRawUTF8())) << host;
    }
}
