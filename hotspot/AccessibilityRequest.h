#pragma once

namespace WiFiDirect::macOS
{
    /** Tells the user that the hotspot needs the Accessibility permission and
        offers to open the system's Accessibility privacy settings, where the user
        ticks the application. Queues the box and returns at once; nothing watches
        for the permission afterwards. Message thread only.
    */
    void LaunchAccessibilityRequestWindow();
}
