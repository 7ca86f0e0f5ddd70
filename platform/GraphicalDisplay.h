#pragma once

namespace sx::platform
{

/** True when the program can open its window.

    On X11 this connects to the display named by the environment and hangs up
    again, before the framework tries: the framework does not survive a missing
    display. Loads the X library at run time, as the framework does. Always true on macOS.
*/
bool isGraphicalDisplayAvailable();

} // namespace sx::platform
