#pragma once

/*  How users reach the maker: the Get Support command, the AppleScript error box
    and its error report. Header-only and without dependencies, so that the
    application shell can include it as well as the scripting code beside it.
*/
namespace sx::maker
{
    /** The support web page that the Get Support command opens. */
    inline constexpr const char* supportPageAddress = "https://sondrevix.example/support";

    /** Named in the AppleScript error box and the recipient of its error report. */
    inline constexpr const char* supportEmailAddress = "support@sondrevix.example";
}
