#pragma once

#include "hotspot/ShellCommandRunner.h"

#include <string>
#include <utility>

namespace WiFiDirect
{
    /** The service that Internet Sharing shares from. */
    extern const std::string serviceName;
    extern const std::string loopbackServiceName;
    extern const std::string loopbackAddress;
    extern const std::string hostSubnetMask;
    extern const std::string loopbackInterface;
    extern const std::string hotspotSSID;
    extern const std::string hotspotPassword;

namespace macOS
{
    std::pair<bool, juce::String> createNetworkService (const std::string& name);
    std::pair<bool, juce::String> deleteNetworkService (const std::string& name);
    std::pair<bool, juce::String> setManualAddress (const std::string& name);

    /** True when the system knows a service of that name, enabled or not. */
    bool networkServiceExists (const std::string& name);

    /** Enables or disables serviceName, the only service ever toggled. */
    bool setNetworkServiceEnabled (bool on);

    /** The names of the services on lo0, in the system's service order. */
    juce::StringArray getLoopbackServiceOrder();

    bool isPrimaryLoopbackService();
    bool isNetworkServiceConfigured (const std::string& name);

    /** Creates, configures and orders both loopback services as needed. */
    bool setupLoopbackNetworkServices();

    /** Whether Internet Sharing is switched on, whatever it shares. */
    bool isInternetSharingOn();

    /** Internet Sharing is on and shares serviceName's loopback connection to en0. */
    bool isInternetSharingConfigured();

    /** Internet Sharing is set up from serviceName to en0 and serviceName is enabled. */
    bool isHotspotActive();

    /** The name of the network that Internet Sharing broadcasts, or the empty text when it
        cannot be read. */
    juce::String getHotspotNetworkName();
}
}
