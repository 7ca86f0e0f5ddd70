#include "discovery/UEPseudoLANGameServer.h"
#include "platform/ComputerName.h"
#include "tests/support/DiscoveryPeer.h"
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

// Answering used to list every interface again for each address, at a cost that grew with the
// cube of their number: seconds at 1,500 addresses, so a stop during an answer (a quit, a
// rebind) outlasted stopThread's 2 s and the thread was killed. Each address still gets its own
// advertisement, and a stop during an answer now ends the thread by itself.
TEST (ResponderInNamespace, ManyAddressesEachAnsweredAndAStopDuringAnAnswerIsServed)
{
    sx::test::NetNamespace ns;

    if (! ns.isValid() || ! ns.bringUpLoopback())
        GTEST_SKIP() << "no private network namespace: " << ns.getError();

    const auto addresses = ns.addVethPairWithAddresses ("sxa", "sxa-peer", 1500);
    ASSERT_EQ (addresses.size(), 1500) << ns.getError();
    const sx::test::NetNamespace::Scope inside (ns);
    ASSERT_TRUE (inside.isActive());

    sx::test::AdvertisementListener listener ("10.1.255.255");
    ASSERT_TRUE (listener.bound);

    UEPseudoLANGameServer responder;
    ASSERT_TRUE (responder.isBound());
    responder.startThread (juce::Thread::Priority::low);

    ASSERT_TRUE (sx::test::sendToResponder (sx::test::makeSessionQuery (0x5A)));
    SessionNonce nonce;
    nonce.fill (0x5A);
    const auto name = sx::platform::getComputerName();
    auto first = listener.receive();
    ASSERT_GE (first.size(), 32u);
    const juce::Uuid serverId (first.data() + 16);

    for (int i = 0; i < addresses.size(); ++i)
    {
        const auto datagram = i == 0 ? first : listener.receive();
        ASSERT_EQ (datagram, makeSessionAdvertisement (nonce, serverId, name, addresses[i], 9001).getBytes()) << "address " << i;
    }

    // Stopped as soon as the next answer has begun to go out. The responder's socket also hears
    // its own 1,500 broadcasts, and a query that arrives while they fill its buffer is dropped;
    // the VR app then simply asks again, and so does this test.
    first.clear();

    for (int attempt = 0; attempt < 20 && first.empty(); ++attempt)
    {
        ASSERT_TRUE (sx::test::sendToResponder (sx::test::makeSessionQuery (0x6B)));

        do
            first = listener.receive (250);
        while (first.size() > 8 && first[8] != 0x6B);
    }

    ASSERT_FALSE (first.empty()) << "no query was answered";
    EXPECT_TRUE (responder.stopThread (2000)) << "the thread had to be killed";
}
