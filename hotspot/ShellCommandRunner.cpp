#include "hotspot/ShellCommandRunner.h"

#include "platform/ChildPrograms.h"

namespace macOS
{
ShellCommandResult runShellCommand (const juce::String& command)
{
    // An empty command is left out, so zsh sees "-c" alone and says what is missing.
    juce::StringArray arguments { "zsh", "-c" };

    if (command.isNotEmpty())
        arguments.add (command);

    const auto run = sx::platform::runProgram (arguments);

    ShellCommandResult result;
    result.exitCode = run.started && run.exitCode >= 0 ? run.exitCode : shellCommandNotStarted;
    result.output = run.getTrimmedText();
    return result;
}
}
