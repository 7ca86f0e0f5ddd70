#pragma once

#include <juce_core/juce_core.h>

#include <functional>

namespace sx::platform
{

/** How one run of an AppleScript source ended. */
struct AppleScriptOutcome
{
    bool succeeded = false;

    /** The error's number and message when it failed; 0 and empty where the
        engine did not give them. */
    int errorNumber = 0;
    juce::String errorMessage;
};

/** The error number of every script run where there is no AppleScript engine. */
inline constexpr int appleScriptUnavailableErrorNumber = -1;

/** Compiles and runs an AppleScript source inside this process and waits for it
    to end; the script's result value is not kept.

    On macOS this is NSAppleScript. Elsewhere there is no engine: every source
    fails at once with appleScriptUnavailableErrorNumber and the message
    "AppleScript is not available on this system". A test engine set with
    setAppleScriptEngine() takes the system's place. Message thread only.
*/
AppleScriptOutcome runAppleScript (const juce::String& source);

/** The system's engine itself, never a test engine: use runAppleScript(). */
AppleScriptOutcome runSystemAppleScript (const juce::String& source);

/** Tests put a scripted engine in the system's place; an empty function puts the system's back. */
void setAppleScriptEngine (std::function<AppleScriptOutcome (const juce::String& source)> engine);

} // namespace sx::platform
