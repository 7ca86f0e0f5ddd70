#pragma once

#include <juce_core/juce_core.h>

namespace sx::platform
{

/** Opens a web page in the user's default browser, without waiting or reporting
    whether a browser came up.

    On macOS the system opens it. Elsewhere it starts xdg-open, found through PATH,
    with the address as its one argument (no shell sees it), as a program that
    inherits nothing of the application's (see ChildPrograms.h).
*/
void openWebPage (const juce::String& address);

} // namespace sx::platform
