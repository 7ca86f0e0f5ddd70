#include "hotspot/ShellCommandRunner.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>
#include <sys/resource.h>

using macOS::runShellCommand;

TEST (ShellCommandRunner, OutputAndErrorTrimmedOnlyAtTheEnd)
{
    EXPECT_EQ (runShellCommand ("printf '  first\\n\\nthird \\t\\n\\n'").output, "  first\n\nthird");
    EXPECT_EQ (runShellCommand ("echo out; echo err >&2").output, "out\nerr");
}

TEST (ShellCommandRunner, ReportsTheRealExitStatus)
{
    EXPECT_EQ (runShellCommand ("exit 3").exitCode, 3);
    EXPECT_EQ (runShellCommand ("kill -KILL $$").exitCode, 128 + SIGKILL);

    // The output ends before the child does.
    const auto closedEarly = runShellCommand ("echo bye; exec >&- 2>&-; sleep 0.2; exit 4");
    EXPECT_EQ (closedEarly.exitCode, 4);
    EXPECT_EQ (closedEarly.output, "bye");

    const auto empty = runShellCommand ({});
    EXPECT_EQ (empty.exitCode, 1);
    EXPECT_TRUE (empty.output.endsWith ("string expected after -c")) << empty.output;
}

TEST (ShellCommandRunner, FailuresToStartAreNeverSuccess)
{
    const juce::String path (std::getenv ("PATH"));
    ::setenv ("PATH", "/nonexistent", 1);
    const auto noShell = runShellCommand ("echo never");
    ::setenv ("PATH", path.toRawUTF8(), 1);
    EXPECT_EQ (noShell.exitCode, 255);
    EXPECT_TRUE (noShell.output.isEmpty());

    // With no descriptor free the pipe cannot be made, so no child exists.
    rlimit old {};
    ASSERT_EQ (::getrlimit (RLIMIT_NOFILE, &old), 0);
    rlimit tight = old;
    tight.rlim_cur = 3;
    ASSERT_EQ (::setrlimit (RLIMIT_NOFILE, &tight), 0);
    const auto notStarted = runShellCommand ("echo never");
    ::setrlimit (RLIMIT_NOFILE, &old);
    EXPECT_EQ (notStarted.exitCode, -1);
    EXPECT_TRUE (notStarted.output.isEmpty());
}
