#pragma once

namespace sx::platform
{

/** Opens /dev/null on each of descriptors 0, 1 and 2 that is closed.

    A program started with them closed (some launchers do that) would otherwise hand
    them to the first sockets and files it opens: the display connection would become
    standard error, so the first line written there would corrupt it, and the
    framework's file streams take descriptor 0 for a failed open, so the settings file
    could not be written. Call it first thing in main, before anything is opened.
*/
void openMissingStandardDescriptors() noexcept;

} // namespace sx::platform
