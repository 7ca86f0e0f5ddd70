#pragma once

#include <optional>

namespace sx::platform
{

/** The major version of macOS that the program runs on (13 for macOS 13.x), or
    std::nullopt when the system gives none, as on every other system.
*/
std::optional<int> getSystemMajorVersion();

/** The system's answer itself, never a test's: use getSystemMajorVersion(). */
std::optional<int> getSystemMajorVersionFromSystem();

/** Tests pin a version here; std::nullopt returns to the system's answer. */
void setSystemMajorVersionOverride (std::optional<int> majorVersion);

} // namespace sx::platform
