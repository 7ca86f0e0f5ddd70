#pragma once

#include <juce_core/juce_core.h>

namespace sx::platform
{

/** The name (SSID) of the Wi-Fi network the computer is connected to, or the
    empty text when there is none: Wi-Fi off, not associated, or no way to ask.

    On macOS this is the current interface's SSID from CoreWLAN. On Linux it asks
    NetworkManager (nmcli), then the wireless tools (iwgetid), each started directly
    with its arguments, so it blocks the calling thread while they run.
*/
juce::String getCurrentWiFiNetworkName();

} // namespace sx::platform
