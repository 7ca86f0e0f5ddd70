#include "discovery/UEPseudoLANGameServer.h"
#include "tests/support/NetNamespace.h"

#include <gtest/gtest.h>

namespace
{
    using Bytes = std::vector<uint8_t>;

    juce::String hex (const Bytes& bytes)
    {
        return juce::String::toHexString (bytes.data(), (int) bytes.size());
    }

    // The layout is pinned byte for byte in PacketWriterTests;
    // here the fields that vary per interface are checked where the layout puts them.
    void expectAdvertisement (const Bytes& packet, const SessionNonce& nonce,
                              const juce::IPAddress& address, const char* addressOctets)
    {
        const auto name = juce::SystemStats::getComputerName();
        const auto n = (size_t) name.getNumBytesAsUTF8();
        ASSERT_EQ (packet.size(), 122 + 2 * n);

        const juce::Uuid serverId (packet.data() + 16);
        EXPECT_EQ (hex (packet), hex (makeSessionAdvertisement (nonce, serverId, name, address, 9001).bytes));
        EXPECT_EQ (hex (Bytes (packet.begin() + 8, packet.begin() + 16)), hex (Bytes (nonce.begin(), nonce.end())));
        EXPECT_EQ (hex (Bytes (packet.begin() + (long) (88 + 2 * n), packet.begin() + (long) (92 + 2 * n))),
                   addressOctets);
    }
}

// The responder here uses the system's own interface list: inside a namespace of
// the test's making that is lo plus two veth pairs, never the host's interfaces.
TEST (ResponderInNamespace, BroadcastsOnEachInterfaceWithItsOwnAddress)
{
    sx::test::NetNamespace ns;

    if (! ns.isValid())
        GTEST_SKIP() << "no private network namespace: " << ns.getError();

    ASSERT_TRUE (ns.bringUpLoopback()) << ns.getError();

    if (! ns.addVethPair ("sxa", "sxa-peer", "192.168.1.20/24"))
        GTEST_SKIP() << "no veth interfaces: " << ns.getError();

    ASSERT_TRUE (ns.addVethPair ("sxb", "sxb-peer", "10.0.0.5/8")) << ns.getError();

    sx::test::DatagramCapture capture (ns);
    ASSERT_TRUE (capture.isOpen());

    const sx::test::NetNamespace::Scope inside (ns);
    ASSERT_TRUE (inside.isActive());

    UEPseudoLANGameServer responder;
    ASSERT_TRUE (responder.bound);
    responder.startThread (juce::Thread::Priority::low);

    Bytes query (40, 0);
    query[0] = 12;
    query[6] = 'S';
    query[7] = 'Q';
    const SessionNonce nonce { 0xDE, 0xAD, 0xBE, 0xEF, 0x01, 0x02, 0x03, 0x04 };
    std::copy (nonce.begin(), nonce.end(), query.begin() + 8);

    juce::DatagramSocket sender;
    ASSERT_EQ (sender.write ("127.0.0.1", 14001, query.data(), (int) query.size()), (int) query.size());

    // Each advertisement shows up leaving its own interface and again arriving on the peer end.
    // On lo only the query may pass: loopback's own "broadcast address" is 127.0.0.1.
    std::vector<sx::test::CapturedDatagram> sent, arrived;

    while (auto datagram = capture.next (14001, sent.size() == 2 && arrived.size() == 2 ? 300 : 3000))
    {
        if (datagram->interfaceName == "lo")
            EXPECT_EQ (datagram->payload, query) << "an advertisement on loopback";
        else
            (datagram->outgoing ? sent : arrived).push_back (*datagram);
    }

    ASSERT_EQ (sent.size(), 2u);
    ASSERT_EQ (arrived.size(), 2u);

    EXPECT_EQ (sent[0].interfaceName, "sxa");
    EXPECT_EQ (sent[0].destination.toString(), "192.168.1.255");
    EXPECT_EQ (sent[1].interfaceName, "sxb");
    EXPECT_EQ (sent[1].destination.toString(), "10.255.255.255");

    expectAdvertisement (sent[0].payload, nonce, juce::IPAddress (192, 168, 1, 20), "c0 a8 01 14");
    expectAdvertisement (sent[1].payload, nonce, juce::IPAddress (10, 0, 0, 5), "0a 00 00 05");
    EXPECT_EQ (hex (Bytes (sent[0].payload.begin() + 16, sent[0].payload.begin() + 32)),
               hex (Bytes (sent[1].payload.begin() + 16, sent[1].payload.begin() + 32))) << "one serverId";

    EXPECT_NE (arrived[0].interfaceName, arrived[1].interfaceName);

    for (const auto& datagram : arrived)
    {
        const auto& original = datagram.interfaceName == "sxa-peer" ? sent[0] : sent[1];
        EXPECT_TRUE (datagram.interfaceName == "sxa-peer" || datagram.interfaceName == "sxb-peer") << datagram.interfaceName;
        EXPECT_EQ (datagram.destinationPort, 14001);
        EXPECT_EQ (datagram.sourcePort, 14001) << "sent from the responder's own socket";
        EXPECT_EQ (datagram.payload, original.payload);
    }
}
