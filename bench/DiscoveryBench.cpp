/*  The discovery responder's answer to one session query on a computer with many IPv4
    addresses: the time from sending the query to receiving the last of its advertisements,
    one per address.

    "one listing" is the application's responder, which lists the interfaces once per query.
    "listing per address" is the same responder given the framework's own calls, which list
    every interface again for each address's broadcast address, as it answered before: the
    framework also drops duplicates by comparing each entry with all before it, so that one
    answer grows with about the cube of the address count.

    It runs as root, each count in a network namespace of its own: loopback, and a veth pair
    whose end holds all the addresses (10.1.0.0/16), so nothing reaches the machine's real
    interfaces. Each query follows the last answer after 50 ms, so the responder is never in its
    idle wait.
*/
#include "discovery/UEPseudoLANGameServer.h"
#include "platform/ComputerName.h"
#include "tests/support/DiscoveryPeer.h"
#include "tests/support/NetNamespace.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <vector>

namespace
{
using Clock = std::chrono::steady_clock;

struct ListingPerAddress final : NetworkEnvironment
{
    juce::String getComputerName() override    { return sx::platform::getComputerName(); }

    juce::Array<IPv4Interface> getIPv4Interfaces() override
    {
        juce::Array<IPv4Interface> interfaces;

        for (const auto& address : juce::IPAddress::getAllAddresses (false))
            interfaces.add ({ address, juce::IPAddress::getInterfaceBroadcastAddress (address) });

        return interfaces;
    }
};

struct Result
{
    std::vector<double> milliseconds;   // one per answer, sorted
    int incomplete = 0;                 // answers that lost an advertisement
};

// Answers queries until about a second has passed (at least two, at most 20), after one to warm up.
Result measure (std::unique_ptr<NetworkEnvironment> environment, int addressCount)
{
    sx::test::AdvertisementListener listener ("10.1.255.255");
    UEPseudoLANGameServer responder (std::move (environment));
    Result result;

    if (! listener.bound || ! responder.isBound())
        return result;

    responder.startThread (juce::Thread::Priority::normal);
    const auto start = Clock::now();

    for (int query = 0; query <= 20 && (query <= 2 || Clock::now() - start < std::chrono::seconds (1)); ++query)
    {
        // The responder's socket also receives its own broadcasts, which it reads and drops one per
        // pass: a query sent while they fill its buffer would be lost. They are gone well within
        // this pause, and the responder waits 200 ms for a query before it idles.
        juce::Thread::sleep (50);

        const auto nonceByte = (uint8_t) (0x10 + query);
        const auto sent = Clock::now();
        sx::test::sendToResponder (sx::test::makeSessionQuery (nonceByte));

        // Advertisements that answer an earlier query are not counted.
        int received = 0;

        while (received < addressCount)
        {
            const auto datagram = listener.receive (15000);

            if (datagram.empty())
                break;

            if (datagram.size() > 8 && datagram[8] == nonceByte)
                ++received;
        }

        const auto last = Clock::now();

        if (received < addressCount)
            ++result.incomplete;
        else if (query > 0)
            result.milliseconds.push_back (std::chrono::duration<double, std::milli> (last - sent).count());
    }

    responder.stopThread (20000);
    std::sort (result.milliseconds.begin(), result.milliseconds.end());
    return result;
}
}

int main()
{
    std::printf ("Discovery: time from a session query to the last of its advertisements, one per address\n\n");
    std::printf ("%9s  %-20s %7s %12s %12s %11s\n", "addresses", "interface lookups", "answers", "median ms", "max ms", "incomplete");

    for (const auto count : { 10, 300, 1000, 1500 })
    {
        sx::test::NetNamespace ns;
        const auto addresses = ns.bringUpLoopback() ? ns.addVethPairWithAddresses ("sxa", "sxa-peer", count)
                                                    : juce::Array<juce::IPAddress>();

        if (addresses.size() != count)
        {
            std::fprintf (stderr, "bench_DiscoveryBench needs a private network namespace (run it as root): %s\n",
                          ns.getError().toRawUTF8());
            return 1;
        }

        const sx::test::NetNamespace::Scope inside (ns);

        for (const auto perAddress : { false, true })
        {
            const auto result = measure (perAddress ? std::unique_ptr<NetworkEnvironment> (std::make_unique<ListingPerAddress>())
                                                    : NetworkEnvironment::createSystemEnvironment(),
                                         count);
            const auto& ms = result.milliseconds;

            if (ms.empty())
                std::printf ("%9d  %-20s %7d %12s %12s %11d\n", count, perAddress ? "listing per address" : "one listing", 0, "-", "-",
                             result.incomplete);
            else
                std::printf ("%9d  %-20s %7d %12.2f %12.2f %11d\n", count, perAddress ? "listing per address" : "one listing",
                             (int) ms.size(), ms[ms.size() / 2], ms.back(), result.incomplete);
        }
    }

    return 0;
}
