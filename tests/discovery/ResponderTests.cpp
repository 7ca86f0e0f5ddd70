#include "discovery/UEPseudoLANGameServer.h"
#include "tests/support/DiscoveryPeer.h"

#include <gtest/gtest.h>

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

// Each test hands the responder a made-up interface list whose broadcast address
// is on loopback, so that it never answers on the machine's real interfaces.
namespace
{
    using Bytes = std::vector<uint8_t>;

    const juce::IPAddress broadcast (127, 255, 255, 255), second (127, 0, 0, 2), third (127, 0, 0, 3);

    std::atomic<int> interfaceLookups { 0 };   // one per query answered

    struct LoopbackEnvironment final : NetworkEnvironment
    {
        explicit LoopbackEnvironment (juce::Array<juce::IPAddress> list) : addresses (std::move (list)) {}

        juce::String getComputerName() override    { return "Studio-Mac"; }
        juce::Array<IPv4Interface> getIPv4Interfaces() override
        {
            ++interfaceLookups;
            juce::Array<IPv4Interface> interfaces;
            for (const auto& address : addresses)
                interfaces.add ({ address, broadcast });
            return interfaces;
        }

        const juce::Array<juce::IPAddress> addresses;
    };

    std::unique_ptr<UEPseudoLANGameServer> makeResponder (juce::Array<juce::IPAddress> addresses)
    {
        return std::make_unique<UEPseudoLANGameServer> (std::make_unique<LoopbackEnvironment> (std::move (addresses)));
    }

    /** A query with this nonce, and optionally some of its bytes replaced. */
    Bytes makeQuery (uint8_t nonceByte, size_t size = 32, size_t offset = 0, const char* replacement = "")
    {
        auto query = sx::test::makeSessionQuery (nonceByte, size);
        std::copy (replacement, replacement + std::strlen (replacement), query.begin() + (long) offset);
        return query;
    }

    void send (const Bytes& datagram)   { sx::test::sendToResponder (datagram); }

    Bytes advertisement (uint8_t nonceByte, const juce::Uuid& serverId, const juce::IPAddress& address, int port)
    {
        SessionNonce nonce;
        nonce.fill (nonceByte);
        return makeSessionAdvertisement (nonce, serverId, "Studio-Mac", address, port).getBytes();
    }

    /** Receives the responder's broadcasts; its idle loop wakes about every 1.2 s. */
    struct Listener : sx::test::AdvertisementListener
    {
        Listener() : AdvertisementListener (broadcast.toString())  { EXPECT_TRUE (bound); }
    };
}

TEST (Responder, AnswersOnlyQueriesOncePerNonLoopbackAddressInOrderWithTheCurrentPort)
{
    auto responder = makeResponder ({ second, juce::IPAddress::local(), third });
    ASSERT_TRUE (responder->isBound());
    Listener listener;

    // Queued before the thread starts, so all are read in order in one go; only the last is a
    // query, its bytes 1 to 5 not being examined.
    for (const auto& datagram : { makeQuery (0x01, 31), makeQuery (0x01, 32, 0, "\x0B"), makeQuery (0x01, 32, 6, "SR"),
                                  makeQuery (0x01, 32, 6, "sq"), advertisement (0x01, juce::Uuid(), third, 9001),
                                  makeQuery (0xA1, 32, 1, "\xFF\xFF\xFF\xFF\xFF") })
        send (datagram);

    responder->startThread (juce::Thread::Priority::low);

    const auto first = listener.receive();
    ASSERT_GE (first.size(), 32u);
    const juce::Uuid serverId (first.data() + 16);
    EXPECT_EQ (first, advertisement (0xA1, serverId, second, 9001));
    EXPECT_EQ (listener.receive(), advertisement (0xA1, serverId, third, 9001));
    EXPECT_EQ ((serverId.getRawData()[6] & 0xf0) | (serverId.getRawData()[8] >> 6), 0x42) << "a version-4, variant-2 id";

    // A second query, of 1500 bytes (read only in part), after the port changed.
    responder->setAdvertisedPort (9002);
    send (makeQuery (0xB2, 1500));
    EXPECT_EQ (listener.receive(), advertisement (0xB2, serverId, second, 9002));
    EXPECT_EQ (listener.receive(), advertisement (0xB2, serverId, third, 9002));
    EXPECT_TRUE (listener.receive (300).empty()) << "one advertisement per address and query";
}

TEST (Responder, LoopbackAloneGetsNoAnswerAndDestroyingStopsPromptly)
{
    auto start = juce::Time::getMillisecondCounterHiRes();
    makeResponder ({});
    EXPECT_LT (juce::Time::getMillisecondCounterHiRes() - start, 100.0) << "made and destroyed, never started";

    auto responder = makeResponder ({ juce::IPAddress::local() });
    Listener listener;
    const auto lookupsBefore = interfaceLookups.load();
    responder->startThread (juce::Thread::Priority::low);
    send (makeQuery (0x11));

    for (int i = 0; i < 300 && interfaceLookups == lookupsBefore; ++i)
        juce::Thread::sleep (10);

    ASSERT_EQ (interfaceLookups, lookupsBefore + 1) << "the query was never read";
    EXPECT_TRUE (listener.receive (300).empty());

    // By now the thread most likely sits in its idle wait, the longest one.
    start = juce::Time::getMillisecondCounterHiRes();
    responder.reset();
    EXPECT_LT (juce::Time::getMillisecondCounterHiRes() - start, 1000.0);
}

TEST (Responder, PortHeldExclusivelyLeavesItUnboundAndSilent)
{
    // JUCE's sockets share the port only with sockets that ask to as well; this one does not.
    const int holder = ::socket (AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    sockaddr_in address { AF_INET, htons (14001), {}, {} };
    ASSERT_EQ (::bind (holder, (sockaddr*) &address, sizeof (address)), 0) << "UDP 14001 is in use by another program";

    auto responder = makeResponder ({ second });
    EXPECT_FALSE (responder->isBound());
    responder->startThread (juce::Thread::Priority::low);
    send (makeQuery (0x21));
    juce::Thread::sleep (500);

    // Bound to every address, the holder would see any advertisement; it sees only the query.
    uint8_t buffer[64];
    EXPECT_EQ (::recv (holder, buffer, sizeof (buffer), MSG_DONTWAIT), 32);
    EXPECT_EQ (::recv (holder, buffer, sizeof (buffer), MSG_DONTWAIT), -1);
    ::close (holder);
}
