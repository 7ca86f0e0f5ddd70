#pragma once

#include <juce_core/juce_core.h>

#include <functional>

namespace sx::platform
{

/** Asks the system to open a URL of its own, such as a system settings pane
    ("x-apple.systempreferences:..."), without waiting or reporting the result.

    On macOS the shared NSWorkspace opens it. Other systems have no such URLs,
    so there it does nothing. A test opener set with setSystemURLOpener() takes
    the system's place.
*/
void openSystemURL (const juce::String& address);

/** The system's opener itself, never a test's: use openSystemURL(). */
void openSystemURLWithSystem (const juce::String& address);

/** Tests record the URLs here; an empty function puts the system's opener back. */
void setSystemURLOpener (std::function<void (const juce::String& address)> opener);

} // namespace sx::platform
