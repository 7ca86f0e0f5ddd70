#include "platform/TerminationSignals.h"

#include <juce_events/juce_events.h>

#include <array>
#include <atomic>
#include <cerrno>
#include <csignal>

namespace sx::platform
{
namespace
{
    constexpr std::array<int, 3> endSignals { SIGINT, SIGTERM, SIGHUP };

    // Written once, before any child is forked; read by forked children, where only
    // plain reads are safe.
    sigset_t ignoredAtStart;
    std::atomic<bool> startNoted { false };

    void setDisposition (int signal, void (*handler) (int)) noexcept
    {
        struct sigaction action {};
        action.sa_handler = handler;
        sigemptyset (&action.sa_mask);
        ::sigaction (signal, &action, nullptr);
    }
}

void noteEndSignalsIgnoredAtStart() noexcept
{
    if (startNoted.load())
        return;

    sigemptyset (&ignoredAtStart);

    for (const auto signal : endSignals)
    {
        struct sigaction current {};

        if (::sigaction (signal, nullptr, &current) == 0 && current.sa_handler == SIG_IGN)
            sigaddset (&ignoredAtStart, signal);
    }

    startNoted = true;
}

bool wasIgnoredAtStart (int signal) noexcept
{
    noteEndSignalsIgnoredAtStart();
    return sigismember (&ignoredAtStart, signal) == 1;
}

void restoreEndSignalsForChildProgram() noexcept
{
    // Not noted means no handler was ever made: the signals are still as they started.
    if (! startNoted.load())
        return;

    for (const auto signal : endSignals)
        setDisposition (signal, sigismember (&ignoredAtStart, signal) == 1 ? SIG_IGN : SIG_DFL);
}

} // namespace sx::platform

// macOS: see TerminationSignals_mac.mm.
#if ! JUCE_MAC

#include <fcntl.h>
#include <unistd.h>

namespace sx::platform
{
namespace
{
    // Where the one request stands. Before any handler exists and after it has gone,
    // signals reaching our function are absorbed.
    enum RequestState : int { waitingForSignal, signalNotYetTakenUp, takenUp };
    std::atomic<int> requestState { takenUp };

    // The handler may run on any thread, between any two instructions: lock-free
    // atomics, write(), sigaction() and raise() are all it may touch. The byte wakes
    // the message loop, which watches the other end of the pipe.
    std::atomic<int> wakeUpDescriptor { -1 };

    void onTerminationSignal (int signal)
    {
        const auto savedErrno = errno;
        auto expected = (int) waitingForSignal;

        if (requestState.compare_exchange_strong (expected, signalNotYetTakenUp))
        {
            const char byte = 1;
            [[maybe_unused]] const auto written = ::write (wakeUpDescriptor.load(), &byte, 1);
        }
        else if (expected == signalNotYetTakenUp)
        {
            // The message thread is held up: a user who asks twice gets what the signal
            // does by default. It is blocked while this runs, so it lands on return.
            setDisposition (signal, SIG_DFL);
            ::raise (signal);
        }

        errno = savedErrno;
    }
}

struct TerminationSignalHandler::Pimpl
{
    int readEnd = -1, writeEnd = -1;
};

TerminationSignalHandler::TerminationSignalHandler (std::function<void()> onTerminationRequested)
    : pimpl (std::make_unique<Pimpl>())
{
    jassert (wakeUpDescriptor.load() == -1);
    noteEndSignalsIgnoredAtStart();

    // The framework's start-up has replaced an ignored SIGINT with a handler of its own.
    for (const auto signal : endSignals)
        if (wasIgnoredAtStart (signal))
            setDisposition (signal, SIG_IGN);

    // Not inherited by the programs the application runs; never blocking the handler.
    int ends[2];
    if (::pipe2 (ends, O_CLOEXEC | O_NONBLOCK) != 0)
        return;     // the other signals keep their usual effect

    pimpl->readEnd = ends[0];
    pimpl->writeEnd = ends[1];
    wakeUpDescriptor = pimpl->writeEnd;
    requestState = waitingForSignal;

    juce::LinuxEventLoop::registerFdCallback (pimpl->readEnd, [callback = std::move (onTerminationRequested)] (int descriptor)
    {
        char drained[64];
        while (::read (descriptor, drained, sizeof (drained)) > 0) {}

        requestState = takenUp;
        callback();
    });

    struct sigaction action {};
    action.sa_handler = onTerminationSignal;
    action.sa_flags = SA_RESTART;     // the other threads' system calls carry on undisturbed

    // One signal at a time: a second one decides from what the first has done.
    sigemptyset (&action.sa_mask);
    for (const auto signal : endSignals)
        sigaddset (&action.sa_mask, signal);

    for (const auto signal : endSignals)
        if (! wasIgnoredAtStart (signal))
            ::sigaction (signal, &action, nullptr);
}

void TerminationSignalHandler::absorbFurtherSignals() noexcept
{
    requestState = takenUp;
}

TerminationSignalHandler::~TerminationSignalHandler()
{
    // The handler stays installed, absorbing: restoring the default here would let a
    // late signal end a process that has already stored its settings and is exiting.
    requestState = takenUp;

    if (pimpl->readEnd == -1)
        return;

    wakeUpDescriptor = -1;
    juce::LinuxEventLoop::unregisterFdCallback (pimpl->readEnd);
    ::close (pimpl->readEnd);
    ::close (pimpl->writeEnd);
}

} // namespace sx::platform

#endif
