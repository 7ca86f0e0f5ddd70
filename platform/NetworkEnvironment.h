#pragma once

#include <juce_core/juce_core.h>

#include <memory>

/** What the application asks about the computer's network: its name and its IPv4 interfaces.

    The application uses the system's answers; tests substitute their own so that
    nothing is ever broadcast on the machine's real interfaces.
*/
struct NetworkEnvironment
{
    virtual ~NetworkEnvironment() = default;

    virtual juce::String getComputerName() = 0;

    /** One IPv4 address per interface, loopback included. */
    virtual juce::Array<juce::IPAddress> getIPv4Addresses() = 0;

    /** getIPv4Addresses() in the same order without 127.0.0.1: the addresses by which
        other computers can reach this one. */
    juce::Array<juce::IPAddress> getIPv4AddressesExceptLoopback();

    /** The broadcast address of the interface holding this address, or the null address. */
    virtual juce::IPAddress getInterfaceBroadcastAddress (const juce::IPAddress& interfaceAddress) = 0;

    /** The computer's own name and interfaces, as the framework reports them. */
    static std::unique_ptr<NetworkEnvironment> createSystemEnvironment();
};
