#pragma once

#include <juce_core/juce_core.h>

#include <sys/socket.h>

#include <cstdint>
#include <vector>

/*  The VR app's side of LAN discovery, for tests and benchmarks that drive the responder:
    it sends session queries to 127.0.0.1:14001 and hears the advertisements broadcast back.
*/
namespace sx::test
{

/** A session query of `size` bytes whose nonce is eight times `nonceByte`. */
inline std::vector<uint8_t> makeSessionQuery (uint8_t nonceByte, size_t size = 32)
{
    std::vector<uint8_t> query { 12, 0, 0, 0, 0, 0, 'S', 'Q' };
    query.resize (size);
    std::fill (query.begin() + 8, query.begin() + 16, nonceByte);
    return query;
}

inline bool sendToResponder (const std::vector<uint8_t>& datagram)
{
    return juce::DatagramSocket().write ("127.0.0.1", 14001, datagram.data(), (int) datagram.size()) == (int) datagram.size();
}

/** Hears what is broadcast to one broadcast address, port 14001: bound to that address, it
    never takes the queries meant for the responder. Its buffer holds thousands of advertisements. */
struct AdvertisementListener
{
    explicit AdvertisementListener (const juce::String& broadcastAddress)
        : bound (socket.bindToPort (14001, broadcastAddress))
    {
        const int bufferSize = 8 << 20;     // forced past the system's limit where the caller is root
        ::setsockopt (socket.getRawSocketHandle(), SOL_SOCKET, SO_RCVBUFFORCE, &bufferSize, sizeof (bufferSize));
    }

    /** The next datagram, or nothing after timeoutMs. */
    std::vector<uint8_t> receive (int timeoutMs = 3000)
    {
        std::vector<uint8_t> buffer (2048);
        const auto size = socket.waitUntilReady (true, timeoutMs) == 1 ? socket.read (buffer.data(), 2048, false) : 0;
        buffer.resize ((size_t) juce::jmax (0, size));
        return buffer;
    }

    juce::DatagramSocket socket;
    const bool bound;
};

} // namespace sx::test
