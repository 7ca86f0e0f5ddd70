#pragma once

#include <juce_core/juce_core.h>

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

/** A size-limited, big-endian writer for discovery datagrams.

    A write either fits whole or changes nothing; the first write that does not fit
    sets overflow, and from then on every write is refused, so the bytes are always
    a clean prefix of what was asked for.
*/
class PacketWriter final
{
public:
    explicit PacketWriter (int maxSizeToUse) noexcept;

    PacketWriter (PacketWriter&&) noexcept = default;
    PacketWriter& operator= (PacketWriter&&) noexcept = default;

    void writeByte (uint8_t b);
    PacketWriter& writeInt32 (int32_t v);
    void writeBytes (const void* data, size_t numBytes);

    /** Writes the UTF-8 byte count, then the text. The count can land without the
        text when only the count fits.
    */
    void writeString (const juce::String& text);

    /** Everything written so far. */
    const std::vector<uint8_t>& getBytes() const noexcept     { return bytes; }

    /** True once a write did not fit. */
    bool hasOverflowed() const noexcept                       { return overflow; }

private:
    bool reserve (size_t numBytes) noexcept;

    int maxSize;
    std::vector<uint8_t> bytes;
    bool overflow = false;

    JUCE_DECLARE_NON_COPYABLE (PacketWriter)
};

//==============================================================================
/** The 8 bytes of a session query that every advertisement answering it echoes. */
using SessionNonce = std::array<uint8_t, 8>;

/** True when a datagram of numBytesRead bytes (-1 or 0 when nothing was read) is a
    session query: at least 32 bytes, protocol byte 12 and the tag "SQ" at bytes 6-7.
*/
bool isSessionQuery (int numBytesRead, const uint8_t* buffer) noexcept;

/** The nonce of a datagram that isSessionQuery() accepted. */
SessionNonce getSessionNonce (const uint8_t* query) noexcept;

/** Builds the advertisement of one IPv4 interface, in a writer of 1024 bytes. */
PacketWriter makeSessionAdvertisement (const SessionNonce& nonce,
                                       const juce::Uuid& serverId,
                                       const juce::String& computerName,
                                       const juce::IPAddress& interfaceAddress,
                                       int advertisedPort);
