#include "discovery/UEPseudoLANGameServer.h"
#include "tests/support/NetNamespace.h"

#include <gtest/gtest.h>

// The responder uses the system's own interface list here: inside a namespace of
// the test's making that is lo plus two veth pairs, never the host's interfaces.
TEST (ResponderInNamespace, BroadcastsOnEachInterfaceWithItsOwnAddress)
{
    sx::test::NetNamespace ns;

    if (! ns.isValid() || ! ns.bringUpLoopback() || ! ns.addVethPair ("sxa", "sxa-peer", "192.168.1.20/24"))
        GTEST_SKIP() << "no private network namespace with veth interfaces: " << ns.getError();

    ASSERT_TRUE (ns.addVethPair ("sxb", "sxb-peer", "10.0.0.5/8")) << ns.getError();
    sx::test::DatagramCapture capture (ns);
    const sx::test::NetNamespace::Scope inside (ns);
    ASSERT_TRUE (capture.isOpen() && inside.isActive());

    UEPseudoLANGameServer responder;
    ASSERT_TRUE (responder.isBound());
    responder.startThread (juce::Thread::Priority::low);

    const SessionNonce nonce { 0xDE, 0xAD, 0xBE, 0xEF, 0x01, 0x02, 0x03, 0x04 };
    std::vector<uint8_t> query { 12, 0, 0, 0, 0, 0, 'S', 'Q' };
    query.insert (query.end(), nonce.begin(), nonce.end());
    query.resize (40);
    juce::DatagramSocket sender;
    ASSERT_EQ (sender.write ("127.0.0.1", 14001, query.data(), (int) query.size()), (int) query.size());

    // Each advertisement shows up leaving its interface (and again, ignored here, arriving
    // on the peer end); on lo only the query may pass.
    std::vector<sx::test::CapturedDatagram> sent;

    while (auto datagram = capture.next (14001, sent.size() == 2 ? 300 : 3000))
    {
        if (datagram->interfaceName == "lo")
            EXPECT_EQ (datagram->payload, query) << "an advertisement on loopback";
        else if (datagram->outgoing)
            sent.push_back (*datagram);
    }

    ASSERT_EQ (sent.size(), 2u);
    ASSERT_GE (sent[0].payload.size(), 32u);
    const juce::Uuid serverId (sent[0].payload.data() + 16);
    const auto advertisement = [&] (const juce::IPAddress& address)
    {
        return makeSessionAdvertisement (nonce, serverId, juce::SystemStats::getComputerName(), address, 9001).getBytes();
    };

    // To each interface's broadcast address, carrying its own address (C0 A8 01 14, 0A 00 00 05).
    EXPECT_EQ (sent[0].interfaceName + " " + sent[0].destination.toString(), "sxa 192.168.1.255");
    EXPECT_EQ (sent[0].payload, advertisement ({ 192, 168, 1, 20 }));
    EXPECT_EQ (sent[1].interfaceName + " " + sent[1].destination.toString(), "sxb 10.255.255.255");
    EXPECT_EQ (sent[1].payload, advertisement ({ 10, 0, 0, 5 }));
}
