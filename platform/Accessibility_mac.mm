// The macOS side of Accessibility.h, built on macOS only (ApplicationServices).
#include "platform/Accessibility.h"

#import <ApplicationServices/ApplicationServices.h>

namespace sx::platform
{

bool isSystemAccessibilityTrusted()
{
    // The variant without options: it never shows the system's own prompt.
    return AXIsProcessTrusted();
}

} // namespace sx::platform
