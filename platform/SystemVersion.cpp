#include "platform/SystemVersion.h"

#include <juce_core/juce_core.h>

namespace sx::platform
{
namespace
{
    std::optional<int>& versionOverride()
    {
        static std::optional<int> value;
        return value;
    }
}

std::optional<int> getSystemMajorVersion()
{
    if (const auto& pinned = versionOverride())
        return pinned;

    return getSystemMajorVersionFromSystem();
}

void setSystemMajorVersionOverride (std::optional<int> majorVersion)
{
    versionOverride() = majorVersion;
}

// macOS: see SystemVersion_mac.mm.
#if ! JUCE_MAC
std::optional<int> getSystemMajorVersionFromSystem()
{
    return std::nullopt;
}
#endif

} // namespace sx::platform
