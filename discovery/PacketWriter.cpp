#include "discovery/PacketWriter.h"

PacketWriter::PacketWriter (int maxSizeToUse) noexcept
    : maxSize (maxSizeToUse)
{
}

bool PacketWriter::reserve (size_t numBytes) noexcept
{
    // Compared as room left rather than size + n, so a huge n cannot wrap around.
    const auto limit = (size_t) juce::jmax (0, maxSize);

    if (! overflow && bytes.size() <= limit && numBytes <= limit - bytes.size())
        return true;

    overflow = true;
    return false;
}

void PacketWriter::writeByte (uint8_t b)
{
    if (reserve (1))
        bytes.push_back (b);
}

PacketWriter& PacketWriter::writeInt32 (int32_t v)
{
    if (reserve (4))
    {
        const auto u = (uint32_t) v;

        for (int shift = 24; shift >= 0; shift -= 8)
            bytes.push_back ((uint8_t) (u >> shift));
    }

    return *this;
}

void PacketWriter::writeBytes (const void* data, size_t numBytes)
{
    if (reserve (numBytes))
    {
        const auto* first = static_cast<const uint8_t*> (data);
        bytes.insert (bytes.end(), first, first + numBytes);
    }
}

void PacketWriter::writeString (const juce::String& text)
{
    const auto numBytes = text.getNumBytesAsUTF8();

    writeInt32 ((int32_t) numBytes);
    writeBytes (text.toRawUTF8(), numBytes);
}

//==============================================================================
bool isSessionQuery (int numBytesRead, const uint8_t* buffer) noexcept
{
    return numBytesRead >= 32
        && buffer[0] == 12
        && buffer[6] == 'S'
        && buffer[7] == 'Q';
}

SessionNonce getSessionNonce (const uint8_t* query) noexcept
{
    SessionNonce nonce;
    std::copy (query + 8, query + 16, nonce.begin());
    return nonce;
}

PacketWriter makeSessionAdvertisement (const SessionNonce& nonce,
                                       const juce::Uuid& serverId,
                                       const juce::String& computerName,
                                       const juce::IPAddress& interfaceAddress,
                                       int advertisedPort)
{
    PacketWriter packet (1024);

    packet.writeByte (12);
    packet.writeByte (1);
    packet.writeInt32 (9999);
    packet.writeByte ('S');
    packet.writeByte ('R');

    packet.writeBytes (nonce.data(), nonce.size());
    packet.writeBytes (serverId.getRawData(), 16);

    packet.writeString (computerName);
    packet.writeString (computerName);

    packet.writeInt32 (0).writeInt32 (100);
    packet.writeString (serverId.toString());

    const uint8_t octets[] = { interfaceAddress.address[0], interfaceAddress.address[1],
                               interfaceAddress.address[2], interfaceAddress.address[3] };
    packet.writeInt32 (4);
    packet.writeBytes (octets, sizeof (octets));

    packet.writeInt32 (advertisedPort).writeInt32 (100).writeInt32 (0);

    static constexpr uint8_t flags[] = { 1, 1, 0, 0, 1, 0, 1, 1, 0, 0 };

    for (const auto flag : flags)
        packet.writeByte (flag);

    packet.writeInt32 (0).writeInt32 (0);
    return packet;
}
