#include "platform/ChildPrograms.h"

#include "platform/TerminationSignals.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <string>
#include <vector>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#if defined (__linux__)
 #include <sys/syscall.h>
#endif

namespace sx::platform
{
namespace
{
    /** The argument vector, built before the fork: after it, the child may only make
        async-signal-safe calls, and allocating is not one of them. */
    class ArgumentVector
    {
    public:
        explicit ArgumentVector (const juce::StringArray& arguments)
        {
            for (const auto& argument : arguments)
                storage.push_back (argument.toStdString());

            for (auto& argument : storage)
                pointers.push_back (argument.data());

            pointers.push_back (nullptr);
        }

        bool isEmpty() const noexcept       { return storage.empty(); }
        char* const* get() const noexcept   { return pointers.data(); }

    private:
        std::vector<std::string> storage;
        std::vector<char*> pointers;
    };

    void closeDescriptorsFrom (int first) noexcept
    {
       #if defined (SYS_close_range)
        if (::syscall (SYS_close_range, (unsigned int) first, ~0u, 0u) == 0)
            return;
       #endif

        // Kernels without close_range: every number that could be open.
        rlimit limit {};
        const auto end = ::getrlimit (RLIMIT_NOFILE, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY
                             ? (int) std::min<rlim_t> (limit.rlim_cur, 1 << 20)
                             : 65536;

        for (int fd = first; fd < end; ++fd)
            ::close (fd);
    }

    /** In a forked child, once its standard descriptors are in place. */
    [[noreturn]] void execProgram (char* const* argv) noexcept
    {
        closeDescriptorsFrom (STDERR_FILENO + 1);
        restoreEndSignalsForChildProgram();

        sigset_t none;
        sigemptyset (&none);
        ::sigprocmask (SIG_SETMASK, &none, nullptr);

        ::execvp (argv[0], argv);
        ::_exit (255);
    }

    /** Both ends of one pipe, close-on-exec, closed on destruction unless closed before. */
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
            pipes there; the child's dup2 onto 1 or 2 would then be a no-op, and the
            closing of everything above 2 would not take the original away.
        */
        static int aboveStandardDescriptors (int fd) noexcept
        {
            if (fd > STDERR_FILENO)
            {
                keepFromChildPrograms (fd);
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

    /** The child's status, -1 when it cannot be collected (reaped elsewhere). */
    int waitForExitStatus (pid_t child)
    {
        int status = 0;

        while (::waitpid (child, &status, 0) != child)
            if (errno != EINTR)
                return -1;

        if (WIFEXITED (status))
            return WEXITSTATUS (status);

        if (WIFSIGNALED (status))
            return 128 + WTERMSIG (status);

        return -1;
    }
}

ProgramRun runProgram (const juce::StringArray& arguments)
{
    const ArgumentVector argv (arguments);
    ProgramRun run;
    Pipe pipe;

    if (argv.isEmpty() || ! pipe.isOpen())
        return run;

    const auto child = ::fork();

    if (child < 0)
        return run;

    if (child == 0)
    {
        // The write end is never 1 or 2 (see Pipe), so both copies are made, without
        // close-on-exec; the original goes with everything else above 2.
        ::dup2 (pipe.writeEnd, STDOUT_FILENO);
        ::dup2 (pipe.writeEnd, STDERR_FILENO);
        execProgram (argv.get());
    }

    run.started = true;

    // Our copy of the write end must go, or the read would never see the end.
    pipe.closeWrite();
    run.output = readToEnd (pipe.readEnd);
    pipe.closeRead();

    // The output can end before the child does (it may close its descriptors and go
    // on), so its real status is waited for.
    run.exitCode = waitForExitStatus (child);
    return run;
}

bool launchProgram (const juce::StringArray& arguments)
{
    const ArgumentVector argv (arguments);

    if (argv.isEmpty())
        return false;

    // Started from a short-lived child of ours, the program is handed to the system at
    // once, which collects it when it ends; we collect only the go-between, at once.
    // In a session of its own, as a program started from the desktop would be, a Ctrl+C
    // or a closed terminal meant for the application does not end it too.
    const auto goBetween = ::fork();

    if (goBetween < 0)
        return false;

    if (goBetween == 0)
    {
        const auto program = ::fork();

        if (program == 0)
        {
            ::setsid();
            execProgram (argv.get());
        }

        ::_exit (program < 0 ? 1 : 0);
    }

    int status = 0;

    while (::waitpid (goBetween, &status, 0) != goBetween)
        if (errno != EINTR)
            break;

    return WIFEXITED (status) && WEXITSTATUS (status) == 0;
}

void keepFromChildPrograms (int descriptor) noexcept
{
    const auto flags = ::fcntl (descriptor, F_GETFD);

    if (flags != -1)
        ::fcntl (descriptor, F_SETFD, flags | FD_CLOEXEC);
}

} // namespace sx::platform
