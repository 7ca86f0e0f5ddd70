#pragma once

#include <optional>

namespace sx::platform
{

/** True when the system is in its dark appearance.

    On macOS this is the "AppleInterfaceStyle" default; on Linux the desktop's
    XSETTINGS theme name (a name ending in "dark"), both read through
    juce::Desktop. Every piece of the interface that tests the appearance asks here.
*/
bool isDarkModeActive();

/** Tests pin the appearance here; std::nullopt returns to the system's answer. */
void setDarkModeOverride (std::optional<bool> darkMode);

} // namespace sx::platform
