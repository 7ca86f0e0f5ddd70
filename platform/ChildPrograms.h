#pragma once

#include <juce_core/juce_core.h>

namespace sx::platform
{

/*  Starting other programs.

    A program that the application starts gets its standard input, output and error,
    its working directory and its environment, and nothing else: none of the
    application's sockets, pipes or display connection, and none of what the
    application itself inherited. A browser that outlived the application would
    otherwise keep its UDP ports bound, and the next start could not have them. The
    end signals start as they were when the application started (see
    TerminationSignals.h), and no signal is blocked. The program is found through PATH.
*/

/** What a program run to its end left behind. */
struct ProgramRun
{
    /** False when no child could be made (no pipe, no fork): nothing ran. */
    bool started = false;

    /** The exit status (0 to 255), 128 + the signal number when a signal ended it, 255
        when the program could not be executed, -1 when its status could not be
        collected or nothing ran. */
    int exitCode = -1;

    /** Everything it wrote to standard output and standard error, in the order in
        which it reached the one pipe that both go to. */
    juce::MemoryBlock output;

    /** The output as text (UTF-8, or UTF-16 after its byte-order mark), without the
        white space at its end. */
    juce::String getTrimmedText() const
    {
        return juce::String::createStringFromData (output.getData(), (int) output.getSize()).trimEnd();
    }
};

/** Runs a program with these arguments (the first names it) and blocks until every
    holder of its output has closed it and the program has ended. */
ProgramRun runProgram (const juce::StringArray& arguments);

/** Starts a program with these arguments and returns at once, without waiting for it
    or reporting whether it could be executed. It is not the application's child: the
    system collects it when it ends, however long it runs, and it runs in a session of
    its own, out of reach of the signals meant for the application. False when it
    could not even be started (no arguments, no fork). */
bool launchProgram (const juce::StringArray& arguments);

/** Marks a descriptor that the application opened as its own, so that no program it
    starts through any other means inherits it either. */
void keepFromChildPrograms (int descriptor) noexcept;

} // namespace sx::platform
