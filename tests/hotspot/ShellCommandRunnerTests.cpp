#include "hotspot/ShellCommandRunner.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>

extern char** environ;

using macOS::runShellCommand;

TEST (ShellCommandRunner, ReportsTheTrimmedOutputAndTheRealExitStatus)
{
    const struct { const char* command; int exitCode; const char* output; } cases[] = {
        { "printf '  first\\n\\nthird \\t\\n\\n'", 0, "  first\n\nthird" },   // trimmed only at the end
        { "echo out; echo err >&2", 0, "out\nerr" },
        { "exit 3", 3, "" },
        { "kill -KILL $$", 128 + SIGKILL, "" },
        { "echo bye; exec >&- 2>&-; sleep 0.2; exit 4", 4, "bye" },             // the output ends before the child
        { "", 1, "zsh: string expected after -c" },
    };

    for (const auto& c : cases)
    {
        const auto result = runShellCommand (c.command);
        EXPECT_EQ (std::make_pair (result.exitCode, result.output), std::make_pair (c.exitCode, juce::String (c.output))) << c.command;
    }
}

TEST (ShellCommandRunner, FailuresToStartAreNeverSuccess)
{
    const juce::String path (std::getenv ("PATH"));
    ::setenv ("PATH", "/nonexistent", 1);
    EXPECT_EQ (runShellCommand ("echo never").exitCode, 255);   // no zsh
    ::setenv ("PATH", path.toRawUTF8(), 1);

    // With no descriptor free the pipe cannot be made, so no child exists.
    rlimit old {};
    ASSERT_EQ (::getrlimit (RLIMIT_NOFILE, &old), 0);
    rlimit tight { 3, old.rlim_max };
    ASSERT_EQ (::setrlimit (RLIMIT_NOFILE, &tight), 0);
    const auto notStarted = runShellCommand ("echo never");
    ::setrlimit (RLIMIT_NOFILE, &old);
    EXPECT_EQ (notStarted.exitCode, -1);
}

TEST (ShellCommandRunner, AProgramStartedWithoutStandardDescriptorsStillGetsTheOutput)
{
    // The runner's pipe then takes descriptors 0 and 1 in that program.
    const juce::TemporaryFile report;
    posix_spawn_file_actions_t closed;
    posix_spawn_file_actions_init (&closed);
    for (const auto fd : { 0, 1, 2 })
        posix_spawn_file_actions_addclose (&closed, fd);

    const std::string probe (SX_CLOSED_FDS_PROBE), reportPath (report.getFile().getFullPathName().toStdString());
    char* const argv[] = { const_cast<char*> (probe.c_str()), const_cast<char*> (reportPath.c_str()), nullptr };
    pid_t pid = 0;
    ASSERT_EQ (::posix_spawn (&pid, argv[0], &closed, nullptr, argv, environ), 0);
    posix_spawn_file_actions_destroy (&closed);
    int status = 0;
    ::waitpid (pid, &status, 0);

    EXPECT_EQ (report.getFile().loadFileAsString(), juce::String ("0|out\nerr"));
}
