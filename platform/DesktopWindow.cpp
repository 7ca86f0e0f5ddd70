#include "platform/DesktopWindow.h"

// The framework's X11 window system, with the Xlib headers it needs.
#define JUCE_GUI_BASICS_INCLUDE_XHEADERS 1
#include <juce_gui_basics/juce_gui_basics.h>

#include <array>
#include <cstring>

namespace sx::platform
{

void keepNativeSizeLimits (juce::Component& window, int minWidth, int minHeight, int maxWidth, int maxHeight)
{
   #if JUCE_LINUX || JUCE_BSD
    auto* peer = window.getPeer();

    if (peer == nullptr)
        return;

    // The X11 peer uses its constrainer for nothing but the limits it hands over.
    peer->setConstrainer (nullptr);

    const auto scale = peer->getPlatformScaleFactor();
    const auto native = [scale] (int size) { return juce::jmax (1, juce::roundToInt (scale * size)); };

    auto* display = juce::XWindowSystem::getInstance()->getDisplay();
    const auto handle = (::Window) peer->getNativeHandle();
    juce::XWindowSystemUtilities::ScopedXLock lock;

    // The property holds the fields of XSizeHints in their order, each a 32-bit item (a long to
    // Xlib); old clients may have written only the first 15.
    std::array<long, 18> items {};

    {
        const juce::XWindowSystemUtilities::GetXProperty property (display, handle, XA_WM_NORMAL_HINTS, 0, (long) items.size(),
                                                                  false, XA_WM_SIZE_HINTS);

        if (property.success && property.actualFormat == 32 && property.data != nullptr)
            std::memcpy (items.data(), property.data, sizeof (long) * juce::jmin ((size_t) property.numItems, items.size()));
    }

    XSizeHints hints {};
    hints.flags = items[0];
    hints.x = (int) items[1];           hints.y = (int) items[2];
    hints.width = (int) items[3];       hints.height = (int) items[4];
    hints.min_width = (int) items[5];   hints.min_height = (int) items[6];
    hints.max_width = (int) items[7];   hints.max_height = (int) items[8];
    hints.width_inc = (int) items[9];   hints.height_inc = (int) items[10];
    hints.min_aspect = { (int) items[11], (int) items[12] };
    hints.max_aspect = { (int) items[13], (int) items[14] };
    hints.base_width = (int) items[15]; hints.base_height = (int) items[16];
    hints.win_gravity = (int) items[17];

    const long limited = PMinSize | PMaxSize;
    const auto wanted = std::array<int, 4> { native (minWidth), native (minHeight), native (maxWidth), native (maxHeight) };

    if ((hints.flags & limited) == limited
        && std::array<int, 4> { hints.min_width, hints.min_height, hints.max_width, hints.max_height } == wanted)
        return;

    hints.flags |= limited;
    hints.min_width = wanted[0];
    hints.min_height = wanted[1];
    hints.max_width = wanted[2];
    hints.max_height = wanted[3];

    auto* x11 = juce::X11Symbols::getInstance();
    x11->xSetWMNormalHints (display, handle, &hints);

    // The framework's event loop sends what it queued only when something arrives.
    x11->xFlush (display);
   #else
    juce::ignoreUnused (window, minWidth, minHeight, maxWidth, maxHeight);
   #endif
}

} // namespace sx::platform
