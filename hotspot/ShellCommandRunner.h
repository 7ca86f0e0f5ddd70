#pragma once

#include <juce_core/juce_core.h>

/** What a command line left behind: its exit status and everything it printed. */
struct ShellCommandResult
{
    /** The child's exit status (0-255), 128 + the signal number when a signal
        ended it, 255 when zsh could not be executed, and
        macOS::shellCommandNotStarted when there is no status to report. */
    int exitCode = 0;

    /** Standard output and standard error as they reached the one shared pipe,
        with trailing white space removed. */
    juce::String output;
};

namespace macOS
{
    /** The exit code reported when no child process could be started (the
        pipe or the fork failed), and when its status was taken before we could
        collect it. Negative, so it is never mistaken for a status that a real
        child produced, and never 0, so callers that test for 0 see a failure. */
    constexpr int shellCommandNotStarted = -1;

    /** Runs one complete zsh command line ("zsh -c command") and blocks until
        every holder of its output has closed it and the child has ended.
        The command is passed as it is; callers do their own quoting. */
    ShellCommandResult runShellCommand (const juce::String& command);
}
