#include "hotspot/HotspotFlows.h"

#include "hotspot/AccessibilityRequest.h"
#include "hotspot/AppleScriptRunner.h"
#include "hotspot/SystemSettingsScripts.h"
#include "hotspot/WiFiDirect.h"
#include "platform/Accessibility.h"
#include "platform/SystemVersion.h"

namespace WiFiDirect
{
namespace
{
    bool areServicesReady()
    {
        return macOS::isNetworkServiceConfigured (serviceName)
            && macOS::isNetworkServiceConfigured (loopbackServiceName)
            && macOS::isPrimaryLoopbackService();
    }
}

HotspotFlows::HotspotFlows (juce::Button& s) : hotspotSwitch (s) {}

void HotspotFlows::switchClicked()
{
    const auto turnedOn = hotspotSwitch.getToggleState();

    // The scripts cannot work without the permission, whichever way the switch went.
    if (! sx::platform::isAccessibilityTrusted())
    {
        macOS::LaunchAccessibilityRequestWindow();
        switchOffQuietly();
        return;
    }

    const auto servicesReady = areServicesReady();

    if (! turnedOn)
    {
        // Disabling the service is what turns the hotspot off; the switch stays off either way.
        if (servicesReady)
            macOS::setNetworkServiceEnabled (false);

        return;
    }

    // Set up before and only disabled since: enabling the service is all it takes.
    if (servicesReady && macOS::isInternetSharingConfigured())
    {
        if (! macOS::setNetworkServiceEnabled (true))
            switchOffQuietly();

        return;
    }

    if ((! servicesReady && ! macOS::setupLoopbackNetworkServices())
         || ! macOS::setNetworkServiceEnabled (true)
         || ! ::macOS::executeAppleScript (macOS::startInternetSharingScript (sx::platform::getSystemMajorVersion()))
         || ! macOS::isInternetSharingOn())   // the script can end without error yet leave sharing off
        switchOffQuietly();
}

void HotspotFlows::configureClicked()
{
    // The switch's own handler runs inside this call, with the state off.
    if (hotspotSwitch.getToggleState())
        hotspotSwitch.setToggleState (false, juce::sendNotificationSync);

    if (! sx::platform::isAccessibilityTrusted())
    {
        macOS::LaunchAccessibilityRequestWindow();
        return;
    }

    if (! areServicesReady() && ! macOS::setupLoopbackNetworkServices())
        return;

    if (! macOS::setNetworkServiceEnabled (true))
        return;

    // A failing script has shown its own error box; the switch stays off either way,
    // and the user turns the hotspot on with it once the options are set.
    ::macOS::executeAppleScript (macOS::wifiOptionsScript (sx::platform::getSystemMajorVersion()));
}

void HotspotFlows::switchOffQuietly()
{
    hotspotSwitch.setToggleState (false, juce::dontSendNotification);
}
}
