#pragma once

#include <juce_core/juce_core.h>

#include <memory>

/** What the application asks about the computer's network: its name and its IPv4 interfaces.

    The application uses the system's answers; tests substitute their own so that
    nothing is ever broadcast on the machine's real interfaces.
*/
struct NetworkEnvironment
{
    /** One IPv4 address of the computer, and the broadcast address of its interface. */
    struct IPv4Interface
    {
        juce::IPAddress address;
        juce::IPAddress broadcastAddress;   // the null address where the interface has none
    };

    virtual ~NetworkEnvironment() = default;

    virtual juce::String getComputerName() = 0;

    /** Each IPv4 address of the computer's interfaces once, loopback included, in the
        system's order, with the broadcast address of the first interface holding it.
        One look at the system, however many addresses there are: callers that need both
        an address and its broadcast address take them from here together. */
    virtual juce::Array<IPv4Interface> getIPv4Interfaces() = 0;

    /** getIPv4Interfaces() in the same order without 127.0.0.1: the interfaces through
        which other computers can reach this one. */
    juce::Array<IPv4Interface> getIPv4InterfacesExceptLoopback();

    /** The addresses of getIPv4InterfacesExceptLoopback(). */
    juce::Array<juce::IPAddress> getIPv4AddressesExceptLoopback();

    /** The computer's own name and interfaces, as the system reports them. */
    static std::unique_ptr<NetworkEnvironment> createSystemEnvironment();
};
