#include "hotspot/WiFiDirect.h"

namespace WiFiDirect
{
namespace
{
    // Kept out of the binary's string table as one piece.
    std::string makeHotspotPassword()
    {
        std::string password ("vr");
        password += "Link";
        password += '-';
        password += std::to_string (4096);
        password += "Hz";
        return password;
    }
}

const std::string serviceName ("Sondrevix");
const std::string loopbackServiceName ("SondrevixLoopback");
const std::string loopbackAddress ("127.0.0.1");
const std::string hostSubnetMask ("255.255.255.255");
const std::string loopbackInterface ("lo0");
const std::string hotspotSSID ("Sondrevix Wi-Fi");
const std::string hotspotPassword (makeHotspotPassword());

namespace macOS
{
namespace
{
    const std::string natPlistPath ("/Library/Preferences/SystemConfiguration/com.apple.nat.plist");
    const std::string airportPlistPath ("/Library/Preferences/SystemConfiguration/com.apple.airport.preferences.plist");

    ShellCommandResult run (const std::string& commandLine)
    {
        return ::macOS::runShellCommand (juce::String (commandLine));
    }

    std::pair<bool, juce::String> runForSuccess (const std::string& commandLine)
    {
        const auto result = run (commandLine);
        return { result.exitCode == 0, result.output };
    }

    /** The output's lines, or nothing when the command failed. */
    juce::StringArray linesOf (const ShellCommandResult& result)
    {
        if (result.exitCode != 0)
            return {};

        return juce::StringArray::fromLines (result.output);
    }

    std::string plistCommand (const std::string& key, const std::string& plistPath)
    {
        return "/usr/libexec/PlistBuddy -c \"Print " + key + "\" " + plistPath;
    }

    std::string natPlistCommand (const std::string& key)
    {
        return plistCommand (key, natPlistPath);
    }

    /** A property's printed value, or the empty text when it could not be read. */
    juce::String plistValue (const std::string& key, const std::string& plistPath)
    {
        const auto result = run (plistCommand (key, plistPath));
        return result.exitCode == 0 ? result.output : juce::String();
    }

    juce::String natPlistValue (const std::string& key)
    {
        return plistValue (key, natPlistPath);
    }

    juce::StringArray withoutServiceName (juce::StringArray names)
    {
        names.removeString (juce::String (serviceName));
        return names;
    }

    /** A name for the order command. Ours stand in double quotes; any other was read
        from the system, may hold anything a user typed ($, `, ", ...) and so becomes
        one single-quoted shell word, in which nothing is special but the quote itself. */
    std::string orderArgument (const juce::String& name)
    {
        const auto text = name.toStdString();

        if (text == serviceName || text == loopbackServiceName)
            return "\"" + text + "\"";

        std::string quoted ("'");

        for (const auto c : text)
            quoted += c == '\'' ? std::string ("'\\''") : std::string (1, c);

        return quoted + "'";
    }
}

std::pair<bool, juce::String> createNetworkService (const std::string& name)
{
    return runForSuccess ("networksetup -createnetworkservice " + name + " " + loopbackInterface);
}

std::pair<bool, juce::String> deleteNetworkService (const std::string& name)
{
    return runForSuccess ("networksetup -deletepppoeservice " + name);
}

std::pair<bool, juce::String> setManualAddress (const std::string& name)
{
    return runForSuccess ("networksetup -setmanual " + name + " " + loopbackAddress + " " + hostSubnetMask);
}

bool networkServiceExists (const std::string& name)
{
    return run ("networksetup -getnetworkserviceenabled " + name).exitCode == 0;
}

bool setNetworkServiceEnabled (bool on)
{
    return run ("networksetup -setnetworkserviceenabled " + serviceName + " " + (on ? "on" : "off")).exitCode == 0;
}

juce::StringArray getLoopbackServiceOrder()
{
    // The first sed prints the line before each "Device: lo0" line (the name
    // line of a lo0 service); the second strips its "(n) " position.
    return linesOf (run ("networksetup -listnetworkserviceorder | sed -n '/Device: lo0/{x;p;d;}; x' | sed 's/(.*) //'"));
}

bool isPrimaryLoopbackService()
{
    const auto order = getLoopbackServiceOrder();
    return ! order.isEmpty() && order[0] == juce::String (serviceName);
}

bool isNetworkServiceConfigured (const std::string& name)
{
    if (! networkServiceExists (name))
        return false;

    const auto infoCommand = "networksetup -getinfo " + name;

    if (run (infoCommand + " | grep \"Manual Configuration\"").exitCode != 0)
        return false;

    const auto address = run (infoCommand + " | sed -n 's/^IP address: \\(.*$\\)/\\1/p'");

    if (address.exitCode != 0)
        return false;

    const auto mask = run (infoCommand + " | sed -n 's/^Subnet mask: \\(.*$\\)/\\1/p'");

    if (mask.exitCode != 0)
        return false;

    if (address.output != juce::String (loopbackAddress) || mask.output != juce::String (hostSubnetMask))
        return false;

    return getLoopbackServiceOrder().contains (juce::String (name));
}

bool setupLoopbackNetworkServices()
{
    if (isNetworkServiceConfigured (serviceName)
         && isNetworkServiceConfigured (loopbackServiceName)
         && isPrimaryLoopbackService())
        return true;

    // Services that exist but are wrong in any way (order included) are
    // rebuilt from scratch rather than repaired one setting at a time.
    if (networkServiceExists (serviceName) || networkServiceExists (loopbackServiceName))
    {
        deleteNetworkService (serviceName);
        deleteNetworkService (loopbackServiceName);
    }

    if (! createNetworkService (serviceName).first
         || ! setManualAddress (serviceName).first
         || ! createNetworkService (loopbackServiceName).first
         || ! setManualAddress (loopbackServiceName).first)
        return false;

    if (isPrimaryLoopbackService())
        return true;

    const auto otherLoopbackServices = withoutServiceName (getLoopbackServiceOrder());
    const auto allServices = withoutServiceName (linesOf (run ("networksetup -listnetworkserviceorder | sed -n 's/^([0-9,*]*) \\(.*$\\)/\\1/p'")));

    if (otherLoopbackServices.isEmpty())
        return true;

    // serviceName goes just before the first other lo0 service; everything
    // else keeps its place relative to the rest.
    const auto& anchor = otherLoopbackServices[0];
    std::string orderCommand ("networksetup -ordernetworkservices");

    for (const auto& entry : allServices)
    {
        if (entry == anchor)
            orderCommand += " " + orderArgument (juce::String (serviceName));

        orderCommand += " " + orderArgument (entry);
    }

    return run (orderCommand).exitCode == 0;
}

bool isInternetSharingOn()
{
    return natPlistValue (":NAT:Enabled") == "1";
}

bool isInternetSharingConfigured()
{
    if (! isInternetSharingOn())
        return false;

    if (natPlistValue (":NAT:PrimaryInterface:Device") != juce::String (loopbackInterface))
        return false;

    if (natPlistValue (":NAT:PrimaryInterface:PrimaryUserReadable") != juce::String (serviceName))
        return false;

    return run (natPlistCommand (":NAT:SharingDevices") + " | grep en0").exitCode == 0;
}

juce::String getHotspotNetworkName()
{
    return plistValue (":InternetSharing:SSID", airportPlistPath);
}

bool isHotspotActive()
{
    if (! isInternetSharingConfigured())
        return false;

    const auto enabled = run ("networksetup -getnetworkserviceenabled " + serviceName);
    return enabled.exitCode == 0 && enabled.output == "Enabled";
}
}
}
