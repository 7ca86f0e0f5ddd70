#pragma once

#include <juce_core/juce_core.h>

namespace sx::platform
{

/** The computer's name as the VR app lists it: the host name with its last ".local"
    (in any letter case) and everything after it removed.

    macOS's framework call already drops that suffix; elsewhere the framework returns the
    host name whole, so a host named "Studio.local" would be listed with the suffix.
*/
juce::String getComputerName();

/** The name without its last ".local" and what follows, matched ignoring case. */
juce::String withoutLocalDomain (const juce::String& hostName);

} // namespace sx::platform
