// One datagram on the discovery port, as the responder's thread handles it: at most
// 1023 bytes read into a 1024-byte buffer, the query test, and for a query the answer.
#include "discovery/PacketWriter.h"

#include <sanitizer/asan_interface.h>

#include <algorithm>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput (const uint8_t* data, size_t size)
{
    static uint8_t buffer[1024];
    static const juce::Uuid serverId;

    const auto numRead = std::min<size_t> (size, 1023);
    ASAN_UNPOISON_MEMORY_REGION (buffer, sizeof (buffer));
    std::copy (data, data + numRead, buffer);

    // What the read did not fill is left over from earlier datagrams: never to be looked at.
    ASAN_POISON_MEMORY_REGION (buffer + numRead, sizeof (buffer) - numRead);

    if (isSessionQuery ((int) numRead, buffer))
    {
        const auto nonce = getSessionNonce (buffer);
        const auto answer = makeSessionAdvertisement (nonce, serverId, "Studio-Mac", juce::IPAddress (10, 77, 1, 1), 9001);

        if (answer.hasOverflowed() || ! std::equal (nonce.begin(), nonce.end(), answer.getBytes().begin() + 8))
            std::abort();
    }

    return 0;
}
