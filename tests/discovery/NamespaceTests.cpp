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
    ASSERT_TRUE (capture.isOpen());
    const sx::test::NetNamespace::Scope inside (ns);
    ASSERT_TRUE (inside.isActive());

    UEPseudoLANGameServer responder;
    ASSERT_TRUE (responder.bound);
    responder.startThread (juce::Thread::Priority::low);

    const SessionNonce nonce { 0xDE, 0xAD, 0xBE, 0xEF, 0x01, 0x02, 0x03, 0x04 };
    std::vector<uint8_t> query { 12, 0, 0, 0, 0, 0, 'S', 'Q', 0xDE, 0xAD, 0xBE, 0xEF, 0x01, 0x02, 0x03, 0x04 };
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

    struct Expected { const char* interfaceName; const char* destination; juce::IPAddress address; };
    const Expected expected[] = { { "sxa", "192.168.1.255", { 192, 168, 1, 20 } },   // carries C0 A8 01 14
                                  { "sxb", "10.255.255.255", { 10, 0, 0, 5 } } };    // carries 0A 00 00 05

    for (size_t i = 0; i < sent.size(); ++i)
    {
        EXPECT_EQ (sent[i].interfaceName, expected[i].interfaceName);
        EXPECT_EQ (sent[i].destination.toString(), expected[i].destination);
        EXPECT_EQ (sent[i].payload, makeSessionAdvertisement (nonce, serverId, juce::SystemStats::getComputerName(),
                                                              expected[i].address, 9001).bytes);
    }
}
