#pragma once

/*  How users reach the maker. Header-only, with no dependencies, so that every
    part of the program that points users at the maker (the Get Support command,
    the AppleScript error box and its error report) can include it without
    linking anything.
*/
namespace sx::maker
{
    /** The support web page that the Get Support command opens. */
    inline constexpr const char* supportPageAddress = "https://sondrevix.example/support";

    /** Named in the AppleScript error box and the recipient of its error report. */
    inline constexpr const char* supportEmailAddress = "support@sondrevix.example";
}
