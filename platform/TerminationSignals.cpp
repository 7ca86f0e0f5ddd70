#include "platform/TerminationSignals.h"

#include <juce_events/juce_events.h>

// macOS: see TerminationSignals_mac.mm.
#if ! JUCE_MAC

#include <array>
#include <atomic>
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <unistd.h>

namespace sx::platform
{
namespace
{
    constexpr std::array<int, 3> terminationSignals { SIGINT, SIGTERM, SIGHUP };

    // The handler may run on any thread, between any two instructions: a lock-free
    // atomic and write() are all it may touch. The byte wakes the message loop,
    // which watches the other end of the pipe.
    std::atomic<int> wakeUpDescriptor { -1 };

    void onTerminationSignal (int)
    {
        const auto savedErrno = errno;
        const char byte = 1;
        [[maybe_unused]] const auto written = ::write (wakeUpDescriptor.load(), &byte, 1);
        errno = savedErrno;
    }
}

struct TerminationSignalHandler::Pimpl
{
    int readEnd = -1, writeEnd = -1;
    std::array<struct sigaction, terminationSignals.size()> previous {};
};

TerminationSignalHandler::TerminationSignalHandler (std::function<void()> onTerminationRequested)
    : pimpl (std::make_unique<Pimpl>())
{
    jassert (wakeUpDescriptor.load() == -1);

    // Not inherited by the programs the application runs; never blocking the handler.
    int ends[2];
    if (::pipe2 (ends, O_CLOEXEC | O_NONBLOCK) != 0)
        return;     // the signals keep their usual effect

    pimpl->readEnd = ends[0];
    pimpl->writeEnd = ends[1];
    wakeUpDescriptor = pimpl->writeEnd;

    juce::LinuxEventLoop::registerFdCallback (pimpl->readEnd, [callback = std::move (onTerminationRequested)] (int descriptor)
    {
        // Signals that came together ask once.
        char drained[64];
        while (::read (descriptor, drained, sizeof (drained)) > 0) {}

        callback();
    });

    struct sigaction action {};
    action.sa_handler = onTerminationSignal;
    sigemptyset (&action.sa_mask);
    action.sa_flags = SA_RESTART;     // the other threads' system calls carry on undisturbed

    for (size_t i = 0; i < terminationSignals.size(); ++i)
        ::sigaction (terminationSignals[i], &action, &pimpl->previous[i]);
}

TerminationSignalHandler::~TerminationSignalHandler()
{
    if (pimpl->readEnd == -1)
        return;

    for (size_t i = 0; i < terminationSignals.size(); ++i)
        ::sigaction (terminationSignals[i], &pimpl->previous[i], nullptr);

    wakeUpDescriptor = -1;
    juce::LinuxEventLoop::unregisterFdCallback (pimpl->readEnd);
    ::close (pimpl->readEnd);
    ::close (pimpl->writeEnd);
}

} // namespace sx::platform

#endif
