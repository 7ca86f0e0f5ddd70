#include "GraphicalDisplay.h"

#include <juce_core/juce_core.h>

#if JUCE_LINUX || JUCE_BSD
 #include <dlfcn.h>
#endif

namespace sx::platform
{

bool isGraphicalDisplayAvailable()
{
   #if JUCE_LINUX || JUCE_BSD
    auto* x11 = dlopen ("libX11.so.6", RTLD_LAZY | RTLD_LOCAL);

    if (x11 == nullptr)
        x11 = dlopen ("libX11.so", RTLD_LAZY | RTLD_LOCAL);

    if (x11 == nullptr)
        return false;

    using OpenDisplay  = void* (*) (const char*);
    using CloseDisplay = int (*) (void*);

    auto openDisplay  = reinterpret_cast<OpenDisplay>  (dlsym (x11, "XOpenDisplay"));
    auto closeDisplay = reinterpret_cast<CloseDisplay> (dlsym (x11, "XCloseDisplay"));
    auto available = false;

    if (openDisplay != nullptr && closeDisplay != nullptr)
    {
        if (auto* display = openDisplay (nullptr))
        {
            available = true;
            closeDisplay (display);
        }
    }

    // The library stays loaded: the framework loads it again at once.
    return available;
   #else
    return true;
   #endif
}

} // namespace sx::platform
