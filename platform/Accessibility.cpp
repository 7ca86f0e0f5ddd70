#include "platform/Accessibility.h"

#include <juce_core/juce_core.h>

namespace sx::platform
{
namespace
{
    std::optional<bool>& trustedOverride()
    {
        static std::optional<bool> value;
        return value;
    }
}

bool isAccessibilityTrusted()
{
    if (const auto& pinned = trustedOverride())
        return *pinned;

    return isSystemAccessibilityTrusted();
}

void setAccessibilityTrustedOverride (std::optional<bool> trusted)
{
    trustedOverride() = trusted;
}

// macOS: see Accessibility_mac.mm.
#if ! JUCE_MAC
bool isSystemAccessibilityTrusted()
{
    return true;
}
#endif

} // namespace sx::platform
