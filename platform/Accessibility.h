#pragma once

#include <optional>

namespace sx::platform
{

/** True when the application may control the computer through the accessibility
    interface, which scripting another application's windows needs. Asked
    without prompting the user.

    On macOS this is AXIsProcessTrusted. Elsewhere the permission does not
    exist, so it counts as granted.
*/
bool isAccessibilityTrusted();

/** The system's answer itself, never a test's: use isAccessibilityTrusted(). */
bool isSystemAccessibilityTrusted();

/** Tests pin the answer here; std::nullopt returns to the system's answer. */
void setAccessibilityTrustedOverride (std::optional<bool> trusted);

} // namespace sx::platform
