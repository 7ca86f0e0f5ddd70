#pragma once

#include <juce_core/juce_core.h>

#include <optional>

/*  The AppleScript texts that set up Internet Sharing by operating the system's
    Sharing settings as a user would, through UI scripting (which needs the
    Accessibility permission). Each comes in three variants, one per generation of
    the settings application, chosen by the macOS major version: below 13 (or none
    known) for System Preferences, 13, and above 13 for System Settings.
*/
namespace WiFiDirect::macOS
{
    /** Shares serviceName's connection to Wi-Fi only, switches Internet Sharing on
        and confirms the system's start sheet. */
    juce::String startInternetSharingScript (std::optional<int> majorVersion);

    /** Makes the same settings but leaves Internet Sharing off, opens the Wi-Fi
        options sheet, corrects its channel when needed and leaves the sheet open. */
    juce::String wifiOptionsScript (std::optional<int> majorVersion);
}
