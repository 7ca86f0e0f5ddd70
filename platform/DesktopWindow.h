#pragma once

#include <juce_core/juce_core.h>

namespace juce { class Component; }

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

/** Keeps the window manager's size limits for the content of a window on the desktop (the
    window without the frame that the desktop draws) at these, and whatever else the window
    asked of it, such as to be placed where it is. Does nothing while it has them; call it
    after anything that may have changed them.

    On X11 the framework would hand over limits of its own, less the window's frame, and
    without the request to be placed where the window is: a window manager that has yet to
    show the window then places it where it likes. And each move or resize that the framework
    asks for, as it does when it first paints after a pause, leaves the window manager with
    no limits at all: one that has maximised the window then makes it as wide as the screen.
    So there the framework is kept from handing over any. Elsewhere the framework asks the
    window's constrainer at each resize, and this does nothing.
*/
void keepNativeSizeLimits (juce::Component& window, int minWidth, int minHeight, int maxWidth, int maxHeight);

} // namespace sx::platform
