#include "platform/NetworkEnvironment.h"
#include "platform/ComputerName.h"

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <unordered_set>

namespace
{
    /*  The framework lists the interfaces afresh for every broadcast address asked for and
        drops duplicates by comparing each entry with all before it, so answering for n
        addresses cost n^3: seconds on a computer with a thousand. This reads the system's
        list once, in its order, with the framework's rules for what an entry yields. */
    juce::Array<NetworkEnvironment::IPv4Interface> listIPv4Interfaces()
    {
        juce::Array<NetworkEnvironment::IPv4Interface> interfaces;
        ifaddrs* list = nullptr;

        if (::getifaddrs (&list) != 0)
            return interfaces;

        const auto addressOf = [] (const sockaddr* a)
        {
            return reinterpret_cast<const sockaddr_in*> (a)->sin_addr.s_addr;
        };

        // An interface without a broadcast address, and the all-ones one, give the null address.
        const auto broadcastAddressOf = [&] (const sockaddr* a)
        {
            const auto value = a != nullptr && a->sa_family == AF_INET ? addressOf (a) : INADDR_NONE;
            return value == INADDR_NONE ? juce::IPAddress() : juce::IPAddress ((juce::uint32) ntohl (value));
        };

        std::unordered_set<juce::uint32> seen;

        for (const auto* entry = list; entry != nullptr; entry = entry->ifa_next)
        {
            if (entry->ifa_addr == nullptr || entry->ifa_addr->sa_family != AF_INET)
                continue;

            const auto value = addressOf (entry->ifa_addr);

            // An address held by several interfaces is listed once, with the first one's broadcast address.
            if (value != INADDR_NONE && seen.insert (value).second)
                interfaces.add ({ juce::IPAddress ((juce::uint32) ntohl (value)), broadcastAddressOf (entry->ifa_broadaddr) });
        }

        ::freeifaddrs (list);
        return interfaces;
    }

    struct SystemNetworkEnvironment final : NetworkEnvironment
    {
        juce::String getComputerName() override
        {
            return sx::platform::getComputerName();
        }

        juce::Array<IPv4Interface> getIPv4Interfaces() override
        {
            return listIPv4Interfaces();
        }
    };
}

juce::Array<NetworkEnvironment::IPv4Interface> NetworkEnvironment::getIPv4InterfacesExceptLoopback()
{
    auto interfaces = getIPv4Interfaces();
    interfaces.removeIf ([loopback = juce::IPAddress (127, 0, 0, 1)] (const auto& i) { return i.address == loopback; });
    return interfaces;
}

juce::Array<juce::IPAddress> NetworkEnvironment::getIPv4AddressesExceptLoopback()
{
    juce::Array<juce::IPAddress> addresses;

    for (const auto& i : getIPv4InterfacesExceptLoopback())
        addresses.add (i.address);

    return addresses;
}

std::unique_ptr<NetworkEnvironment> NetworkEnvironment::createSystemEnvironment()
{
    return std::make_unique<SystemNetworkEnvironment>();
}
