#include "hotspot/ShellCommandRunner.h"
#include "tests/hotspot/ScopedEnvironment.h"

#include <gtest/gtest.h>

#include <csignal>
#include <sys/resource.h>

using macOS::runShellCommand;

namespace
{
    double secondsToRun (const juce::String& command, ShellCommandResult& result)
    {
        const auto start = juce::Time::getMillisecondCounterHiRes();
        result = runShellCommand (command);
        return (juce::Time::getMillisecondCounterHiRes() - start) / 1000.0;
    }
}

TEST (ShellCommandRunner, TrimsOnlyTheEndAndMergesBothStreams)
{
    auto result = runShellCommand ("printf '  first\\n\\nthird \\t\\n\\n'");
    EXPECT_EQ (result.exitCode, 0);
    EXPECT_EQ (result.output, "  first\n\nthird");

    result = runShellCommand ("echo out; echo err >&2");
    EXPECT_EQ (result.output, "out\nerr");

    result = runShellCommand ("echo only-the-error-stream >&2");
    EXPECT_EQ (result.output, "only-the-error-stream");
}

TEST (ShellCommandRunner, ReportsTheRealExitStatus)
{
    EXPECT_EQ (runShellCommand ("exit 3").exitCode, 3);
    EXPECT_EQ (runShellCommand ("false | true").exitCode, 0);

    // Killed by a signal: reported as shells do, never as success.
    EXPECT_EQ (runShellCommand ("kill -KILL $$").exitCode, 128 + SIGKILL);
    EXPECT_EQ (runShellCommand ("kill -TERM $$").exitCode, 128 + SIGTERM);
}

TEST (ShellCommandRunner, WaitsForAChildThatClosedItsOutputEarly)
{
    const auto result = runShellCommand ("echo bye; exec >&- 2>&-; sleep 0.2; exit 4");
    EXPECT_EQ (result.exitCode, 4);
    EXPECT_EQ (result.output, "bye");
}

TEST (ShellCommandRunner, BlocksWhileABackgroundProcessHoldsTheOutput)
{
    ShellCommandResult result;
    const auto seconds = secondsToRun ("(sleep 0.3; echo late) & echo early", result);

    EXPECT_GE (seconds, 0.25);
    EXPECT_LT (seconds, 10.0);
    EXPECT_EQ (result.exitCode, 0);
    EXPECT_EQ (result.output, "early\nlate");
}

TEST (ShellCommandRunner, EmptyCommandStartsTheShellWithOnlyTheOption)
{
    const auto result = runShellCommand ({});
    EXPECT_EQ (result.exitCode, 1);
    EXPECT_TRUE (result.output.endsWith ("string expected after -c")) << result.output;
}

TEST (ShellCommandRunner, ShellMissingFromPathGivesTheExecFailureStatus)
{
    const juce::TemporaryFile emptyFolder;
    ASSERT_TRUE (emptyFolder.getFile().createDirectory());

    ScopedEnvironment env;
    env.set ("PATH", emptyFolder.getFile().getFullPathName().toStdString());

    const auto result = runShellCommand ("echo never");
    EXPECT_EQ (result.exitCode, 255);
    EXPECT_TRUE (result.output.isEmpty());

    emptyFolder.getFile().deleteRecursively();
}

TEST (ShellCommandRunner, NoChildStartedIsAFailureNotSilence)
{
    // With no descriptor free the pipe cannot be made, so no child exists.
    rlimit old {};
    ASSERT_EQ (::getrlimit (RLIMIT_NOFILE, &old), 0);
    rlimit tight = old;
    tight.rlim_cur = 3;
    ASSERT_EQ (::setrlimit (RLIMIT_NOFILE, &tight), 0);

    const auto result = runShellCommand ("echo never");
    ::setrlimit (RLIMIT_NOFILE, &old);

    EXPECT_EQ (result.exitCode, macOS::shellCommandNotStarted);
    EXPECT_NE (result.exitCode, 0);
    EXPECT_TRUE (result.output.isEmpty());
}
