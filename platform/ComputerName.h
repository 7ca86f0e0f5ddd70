#pragma once

#include <juce_core/juce_core.h>

namespace sx::platform
{

/** The computer's name as the VR app lists it: the host name with its last ".local"
    (in any letter case) and everything after it removed, or the empty text when the
    host name cannot be read.

    The host name's bytes are read as UTF-8, so a name such as "Zoë-Mac" reaches the
    advertisement and the instructions as its own bytes; a host name that is not
    well-formed UTF-8 is read as Latin-1, one character per byte, so that nothing of it
    is lost and the name still goes out as well-formed UTF-8.
*/
juce::String getComputerName();

/** The name without its last ".local" and what follows, matched ignoring case. */
juce::String withoutLocalDomain (const juce::String& hostName);

} // namespace sx::platform
