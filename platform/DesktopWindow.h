#pragma once

#include <juce_core/juce_core.h>

namespace sx::platform
{

/** True where the framework maps a top-level window each time it recreates it
    (switching to the native title bar, making it resizable), even while the
    window is still hidden. There a window that is set up in that order would
    flash up empty in the corner of the screen while its content is built, so
    it should join the desktop only once it is set up.
*/
constexpr bool showsHiddenWindowsWhenRecreated() noexcept
{
   #if JUCE_LINUX || JUCE_BSD
    return true;
   #else
    return false;
   #endif
}

} // namespace sx::platform
