#include "hotspot/ShellCommandRunner.h"

#include <cerrno>
#include <string>
#include <vector>

#include <fcntl.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

namespace macOS
{
namespace
{
    /** Both ends of one pipe, closed on destruction unless handed over. */
    struct Pipe
    {
        int readEnd = -1, writeEnd = -1;

        Pipe()
        {
            int fds[2];

            if (::pipe (fds) != 0)
                return;

            readEnd = aboveStandardDescriptors (fds[0]);
            writeEnd = aboveStandardDescriptors (fds[1]);
        }

        ~Pipe()
        {
            closeRead();
            closeWrite();
        }

        bool isOpen() const noexcept    { return readEnd >= 0 && writeEnd >= 0; }
        void closeRead() noexcept       { closeFd (readEnd); }
        void closeWrite() noexcept      { closeFd (writeEnd); }

        /*  The same end as a descriptor above 2, close-on-exec, so that children
            started meanwhile by other threads do not inherit it and hold the output
            open. A program started with its standard descriptors closed gets its
            pipes there; the child's dup2 onto 1 or 2 would then be a no-op that
            leaves close-on-exec set, and the child would have no output at all.
            In the child, dup2 onto 1 and 2 always clears the flag.
        */
        static int aboveStandardDescriptors (int fd) noexcept
        {
            if (fd > STDERR_FILENO)
            {
                ::fcntl (fd, F_SETFD, FD_CLOEXEC);
                return fd;
            }

            const auto moved = ::fcntl (fd, F_DUPFD_CLOEXEC, STDERR_FILENO + 1);
            ::close (fd);
            return moved;
        }

        static void closeFd (int& fd) noexcept
        {
            if (fd >= 0)
                ::close (fd);

            fd = -1;
        }

        JUCE_DECLARE_NON_COPYABLE (Pipe)
    };

    /** Runs in the forked child: only async-signal-safe calls from here on. */
    [[noreturn]] void execShell (int writeEnd, char* const* argv)
    {
        // The write end is never 1 or 2 (see Pipe), so both copies are made.
        ::dup2 (writeEnd, STDOUT_FILENO);
        ::dup2 (writeEnd, STDERR_FILENO);
        ::close (writeEnd);

        ::execvp (argv[0], argv);
        ::_exit (-1); // seen by the parent as 255
    }

    juce::MemoryBlock readToEnd (int fd)
    {
        juce::MemoryOutputStream collected (256);
        char block[512];

        for (;;)
        {
            const auto numRead = ::read (fd, block, sizeof (block));

            if (numRead > 0)
                collected.write (block, (size_t) numRead);
            else if (numRead < 0 && errno == EINTR)
                continue;
            else
                break;
        }

        return collected.getMemoryBlock();
    }

    int waitForExitCode (pid_t child)
    {
        int status = 0;

        for (;;)
        {
            if (::waitpid (child, &status, 0) == child)
                break;

            if (errno != EINTR)
                return shellCommandNotStarted; // the status is lost (already reaped elsewhere)
        }

        if (WIFEXITED (status))
            return WEXITSTATUS (status);

        if (WIFSIGNALED (status))
            return 128 + WTERMSIG (status);

        return shellCommandNotStarted;
    }
}

ShellCommandResult runShellCommand (const juce::String& command)
{
    // Everything the child needs is prepared before the fork: after it, the
    // child may only make async-signal-safe calls.
    const juce::StringArray arguments { "zsh", "-c", command };
    std::vector<std::string> argStorage;

    for (const auto& arg : arguments)
        if (arg.isNotEmpty())
            argStorage.push_back (arg.toStdString());

    std::vector<char*> argv;

    for (auto& arg : argStorage)
        argv.push_back (arg.data());

    argv.push_back (nullptr);

    ShellCommandResult result;
    result.exitCode = shellCommandNotStarted;

    Pipe pipe;

    if (! pipe.isOpen())
        return result;

    const auto child = ::fork();

    if (child < 0)
        return result;

    if (child == 0)
        execShell (pipe.writeEnd, argv.data());

    // Our copy of the write end must go, or the read below would never see
    // the end of the output.
    pipe.closeWrite();

    const auto bytes = readToEnd (pipe.readEnd);
    pipe.closeRead();

    // The output can end before the child does (it may close its descriptors
    // and go on), so wait for the real status rather than asking once.
    result.exitCode = waitForExitCode (child);
    result.output = juce::String::createStringFromData (bytes.getData(), (int) bytes.getSize()).trimEnd();
    return result;
}
}
