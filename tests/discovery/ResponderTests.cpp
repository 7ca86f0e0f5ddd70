#include "discovery/UEPseudoLANGameServer.h"

#include <gtest/gtest.h>

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

// Every address here is on loopback: the responder must never answer on the
// machine's real interfaces, so each test hands it a made-up interface list.
namespace
{
    using Bytes = std::vector<uint8_t>;

    struct Interface
    {
        juce::IPAddress address, broadcast;
    };

    struct LoopbackEnvironment final : NetworkEnvironment
    {
        explicit LoopbackEnvironment (std::vector<Interface> list, std::atomic<int>* queriesAnswered = nullptr)
            : interfaces (std::move (list)), answered (queriesAnswered)
        {
            for (const auto& i : interfaces)
                if (i.address.address[0] != 127 || i.broadcast.address[0] != 127)
                    std::abort();   // a slip here would broadcast on a real network
        }

        juce::String getComputerName() override     { return "Studio-Mac"; }

        juce::Array<juce::IPAddress> getIPv4Addresses() override
        {
            if (answered != nullptr)
                ++*answered;

            juce::Array<juce::IPAddress> addresses;

            for (const auto& i : interfaces)
                addresses.add (i.address);

            return addresses;
        }

        juce::IPAddress getInterfaceBroadcastAddress (const juce::IPAddress& address) override
        {
            for (const auto& i : interfaces)
                if (i.address == address)
                    return i.broadcast;

            return {};
        }

        std::vector<Interface> interfaces;
        std::atomic<int>* answered;
    };

    const juce::IPAddress loopbackBroadcast (127, 255, 255, 255);

    std::unique_ptr<UEPseudoLANGameServer> makeResponder (std::vector<Interface> interfaces,
                                                          std::atomic<int>* queriesAnswered = nullptr)
    {
        return std::make_unique<UEPseudoLANGameServer> (
            std::make_unique<LoopbackEnvironment> (std::move (interfaces), queriesAnswered));
    }

    /** A plain socket on UDP 14001, optionally sharing the port the way JUCE's sockets do. */
    struct PortHolder
    {
        explicit PortHolder (bool shareable)
        {
            const int one = 1;

            if (shareable)
                ::setsockopt (fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof (one));

            sockaddr_in address {};
            address.sin_family = AF_INET;
            address.sin_port = htons (14001);
            holds = ::bind (fd, (sockaddr*) &address, sizeof (address)) == 0;
        }

        ~PortHolder()    { ::close (fd); }

        const int fd = ::socket (AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        bool holds = false;
    };

    /** Receives what is sent to one loopback address on port 14001. */
    struct Listener
    {
        explicit Listener (const juce::IPAddress& address)
        {
            EXPECT_TRUE (socket.bindToPort (14001, address.toString())) << address.toString();
        }

        std::optional<Bytes> receive (int timeoutMs)
        {
            if (socket.waitUntilReady (true, timeoutMs) != 1)
                return std::nullopt;

            Bytes buffer (2048);
            const auto size = socket.read (buffer.data(), (int) buffer.size(), false);
            buffer.resize ((size_t) juce::jmax (0, size));
            return buffer;
        }

        juce::DatagramSocket socket;
    };

    Bytes makeQuery (uint8_t nonceByte, size_t size = 32)
    {
        Bytes query (size, 0);
        query[0] = 12;
        query[6] = 'S';
        query[7] = 'Q';
        std::fill (query.begin() + 8, query.begin() + 16, nonceByte);
        return query;
    }

    void sendToResponder (const Bytes& datagram)
    {
        juce::DatagramSocket sender;
        ASSERT_EQ (sender.write ("127.0.0.1", 14001, datagram.data(), (int) datagram.size()), (int) datagram.size());
    }

    SessionNonce nonceOf (uint8_t nonceByte)
    {
        SessionNonce nonce;
        nonce.fill (nonceByte);
        return nonce;
    }

    juce::Uuid serverIdOf (const Bytes& advertisement)
    {
        return advertisement.size() >= 32 ? juce::Uuid (advertisement.data() + 16) : juce::Uuid::null();
    }

    // The layout itself is pinned byte for byte in PacketWriterTests; here each
    // datagram must be the advertisement of the right address, nonce and port.
    void expectAdvertisement (const std::optional<Bytes>& received, uint8_t nonceByte,
                              const juce::IPAddress& address, int port, const juce::Uuid& serverId)
    {
        ASSERT_TRUE (received.has_value()) << "no advertisement for " << address.toString();
        const auto expected = makeSessionAdvertisement (nonceOf (nonceByte), serverId, "Studio-Mac", address, port).bytes;
        EXPECT_EQ (juce::String::toHexString (received->data(), (int) received->size()),
                   juce::String::toHexString (expected.data(), (int) expected.size()))
            << "advertisement for " << address.toString();
    }

    bool waitFor (const std::atomic<int>& counter, int value, int timeoutMs)
    {
        const auto end = juce::Time::getMillisecondCounter() + (juce::uint32) timeoutMs;

        while (counter < value && juce::Time::getMillisecondCounter() < end)
            juce::Thread::sleep (10);

        return counter >= value;
    }

    constexpr int answerTimeoutMs = 3000;   // the idle loop wakes about every 1.2 s
    constexpr int silenceMs = 300;

    class Responder : public ::testing::Test
    {
    protected:
        void SetUp() override
        {
            ASSERT_TRUE (PortHolder (false).holds)
                << "UDP port 14001 is in use by another program on this machine; these tests need it free";
        }
    };
}

TEST_F (Responder, AnswersEveryNonLoopbackAddressInOrderWithTheCurrentPort)
{
    const juce::IPAddress second (127, 0, 0, 2), third (127, 0, 0, 3), fourth (127, 0, 0, 4);
    const juce::IPAddress thirdsBroadcast (127, 0, 0, 13);

    auto responder = makeResponder ({ { second, loopbackBroadcast },
                                      { juce::IPAddress::local(), loopbackBroadcast },
                                      { third, thirdsBroadcast },
                                      { fourth, loopbackBroadcast } });
    ASSERT_TRUE (responder->bound);
    ASSERT_EQ (responder->advertisedPort, 9001);

    Listener broadcasts (loopbackBroadcast), thirdsListener (thirdsBroadcast);
    responder->startThread (juce::Thread::Priority::low);

    sendToResponder (makeQuery (0xA1));
    const auto first = broadcasts.receive (answerTimeoutMs);
    const auto serverId = serverIdOf (first.value_or (Bytes {}));
    expectAdvertisement (first, 0xA1, second, 9001, serverId);
    expectAdvertisement (broadcasts.receive (answerTimeoutMs), 0xA1, fourth, 9001, serverId);
    expectAdvertisement (thirdsListener.receive (answerTimeoutMs), 0xA1, third, 9001, serverId);

    EXPECT_EQ (serverId.getRawData()[6] >> 4, 4) << "a version-4 id";
    EXPECT_EQ (serverId.getRawData()[8] >> 6, 2);

    responder->advertisedPort = 9002;
    sendToResponder (makeQuery (0xB2));
    expectAdvertisement (broadcasts.receive (answerTimeoutMs), 0xB2, second, 9002, serverId);
    expectAdvertisement (broadcasts.receive (answerTimeoutMs), 0xB2, fourth, 9002, serverId);
    expectAdvertisement (thirdsListener.receive (answerTimeoutMs), 0xB2, third, 9002, serverId);

    // The broadcasts reached the responder's own socket too: answering them would go on forever.
    EXPECT_FALSE (broadcasts.receive (silenceMs).has_value());
    EXPECT_FALSE (thirdsListener.receive (0).has_value());
}

TEST_F (Responder, DropsWhatIsNotAQueryAndReadsAtMost1023Bytes)
{
    auto responder = makeResponder ({ { juce::IPAddress (127, 0, 0, 2), loopbackBroadcast } });
    ASSERT_TRUE (responder->bound);
    Listener broadcasts (loopbackBroadcast);

    // Queued before the thread starts, so all are read in order in one go.
    sendToResponder (makeQuery (0x01, 31));
    sendToResponder ({});

    auto protocol11 = makeQuery (0x02), tagSR = makeQuery (0x03), tagLowerSq = makeQuery (0x04);
    protocol11[0] = 11;
    tagSR[7] = 'R';
    tagLowerSq[6] = 's';
    tagLowerSq[7] = 'q';

    for (const auto& datagram : { protocol11, tagSR, tagLowerSq })
        sendToResponder (datagram);

    sendToResponder (makeSessionAdvertisement (nonceOf (0x05), juce::Uuid(), "Other", juce::IPAddress (127, 0, 0, 9), 9001).bytes);

    auto anyBytes1To5 = makeQuery (0x06);
    std::fill (anyBytes1To5.begin() + 1, anyBytes1To5.begin() + 6, 0xFF);
    sendToResponder (anyBytes1To5);
    sendToResponder (makeQuery (0x07, 1500));

    responder->startThread (juce::Thread::Priority::low);

    const auto accepted = broadcasts.receive (answerTimeoutMs);
    expectAdvertisement (accepted, 0x06, juce::IPAddress (127, 0, 0, 2), 9001, serverIdOf (accepted.value_or (Bytes {})));

    const auto jumbo = broadcasts.receive (answerTimeoutMs);
    expectAdvertisement (jumbo, 0x07, juce::IPAddress (127, 0, 0, 2), 9001, serverIdOf (accepted.value_or (Bytes {})));

    EXPECT_FALSE (broadcasts.receive (silenceMs).has_value());
}

TEST_F (Responder, LoopbackAloneGetsNoAnswer)
{
    std::atomic<int> queriesAnswered { 0 };
    auto responder = makeResponder ({ { juce::IPAddress::local(), loopbackBroadcast } }, &queriesAnswered);
    Listener broadcasts (loopbackBroadcast);
    responder->startThread (juce::Thread::Priority::low);

    sendToResponder (makeQuery (0x11));
    ASSERT_TRUE (waitFor (queriesAnswered, 1, answerTimeoutMs)) << "the query was never read";
    EXPECT_FALSE (broadcasts.receive (silenceMs).has_value());
}

TEST_F (Responder, StopsPromptlyWhenDestroyed)
{
    auto timeDestruction = [] (std::unique_ptr<UEPseudoLANGameServer>& responder)
    {
        const auto start = juce::Time::getMillisecondCounterHiRes();
        responder.reset();
        return juce::Time::getMillisecondCounterHiRes() - start;
    };

    auto neverStarted = makeResponder ({});
    EXPECT_LT (timeDestruction (neverStarted), 100.0);

    // Once in its readiness wait, once (most likely) in the idle wait after it.
    for (const int runningMs : { 50, 400 })
    {
        auto running = makeResponder ({});
        running->startThread (juce::Thread::Priority::low);
        juce::Thread::sleep (runningMs);
        EXPECT_LT (timeDestruction (running), 1000.0) << "after running " << runningMs << " ms";
    }
}

TEST_F (Responder, PortHeldByAnotherSocketLeavesItUnboundAndSilent)
{
    // JUCE's sockets set SO_REUSEADDR, so on Linux they share the port with any
    // other socket that does the same; only an exclusive holder keeps them out.
    {
        const PortHolder sharing (true);
        ASSERT_TRUE (sharing.holds);
        EXPECT_TRUE (makeResponder ({})->bound);
    }

    std::atomic<int> queriesAnswered { 0 };
    const PortHolder holder (false);
    ASSERT_TRUE (holder.holds);

    auto responder = makeResponder ({ { juce::IPAddress (127, 0, 0, 2), loopbackBroadcast } }, &queriesAnswered);
    EXPECT_FALSE (responder->bound);

    responder->startThread (juce::Thread::Priority::low);
    sendToResponder (makeQuery (0x21));
    juce::Thread::sleep (500);    // the query is waiting before the first pass begins
    EXPECT_EQ (queriesAnswered, 0);

    // The holder, bound to every address, would see any advertisement; it sees only the query.
    uint8_t buffer[64];
    EXPECT_EQ (::recv (holder.fd, buffer, sizeof (buffer), MSG_DONTWAIT), 32);
    EXPECT_EQ (::recv (holder.fd, buffer, sizeof (buffer), MSG_DONTWAIT), -1);
}
