#pragma once

#include <juce_core/juce_core.h>

namespace macOS
{
    /** Compiles and runs an AppleScript source in this process and waits for it to
        end. True when it ran without error; the script's result is not kept.

        When it fails to compile or raises an error, a warning box with the error's
        number and message is queued and false returned at once, before the user
        answers. From the box the user can report the error to the maker: a new,
        unsent message to the support address opens in the mail program.
        Message thread only.
    */
    bool executeAppleScript (const juce::String& source);
}
