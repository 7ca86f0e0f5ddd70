#include "platform/NetworkEnvironment.h"
#include "platform/ComputerName.h"

namespace
{
    struct SystemNetworkEnvironment final : NetworkEnvironment
    {
        juce::String getComputerName() override
        {
            return sx::platform::getComputerName();
        }

        juce::Array<juce::IPAddress> getIPv4Addresses() override
        {
            return juce::IPAddress::getAllAddresses (false);
        }

        juce::IPAddress getInterfaceBroadcastAddress (const juce::IPAddress& interfaceAddress) override
        {
            return juce::IPAddress::getInterfaceBroadcastAddress (interfaceAddress);
        }
    };
}

juce::Array<juce::IPAddress> NetworkEnvironment::getIPv4AddressesExceptLoopback()
{
    auto addresses = getIPv4Addresses();
    addresses.removeAllInstancesOf (juce::IPAddress (127, 0, 0, 1));
    return addresses;
}

std::unique_ptr<NetworkEnvironment> NetworkEnvironment::createSystemEnvironment()
{
    return std::make_unique<SystemNetworkEnvironment>();
}
