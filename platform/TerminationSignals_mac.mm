// The macOS side of TerminationSignals.h, built on macOS only.
#include "platform/TerminationSignals.h"

#include <array>
#include <atomic>
#include <csignal>
#include <dispatch/dispatch.h>

namespace sx::platform
{
namespace
{
    constexpr std::array<int, 3> endSignals { SIGINT, SIGTERM, SIGHUP };

    // Where the one request stands; absorbed before any handler exists and after it has gone.
    enum RequestState : int { waitingForSignal, signalNotYetTakenUp, takenUp };
    std::atomic<int> requestState { takenUp };

    // Message thread only: set while a handler lives, so that a call already queued
    // on the main queue when it goes finds nothing to call.
    std::function<void()>* activeCallback = nullptr;

    struct SignalSource
    {
        int signal = 0;
        dispatch_source_t source = nullptr;
    };

    // Static, and left as they are when the handler object goes: a source's handler may
    // still be running on its queue then (cancelling does not wait for it), and the
    // source stays alive until that handler returns.
    std::array<SignalSource, endSignals.size()> signalSources;

    void takeUpRequest (void*)
    {
        requestState = takenUp;

        if (activeCallback != nullptr)
            (*activeCallback)();
    }

    // Runs on a queue of its own, not the main queue, so that it still sees a second
    // signal while the message thread is held up. Signals that arrive together come
    // as one event whose data counts them.
    void onSignal (void* context)
    {
        const auto& entry = *static_cast<const SignalSource*> (context);
        const auto count = dispatch_source_get_data (entry.source);
        auto expected = (int) waitingForSignal;

        if (requestState.compare_exchange_strong (expected, signalNotYetTakenUp))
        {
            dispatch_async_f (dispatch_get_main_queue(), nullptr, takeUpRequest);

            if (count < 2)
                return;

            expected = signalNotYetTakenUp;
        }

        if (expected == signalNotYetTakenUp)
        {
            // Asked twice while the first request waits: the signal's default action.
            ::signal (entry.signal, SIG_DFL);
            ::raise (entry.signal);
        }
    }
}

// The main queue is served by the application's event loop, so the function runs on
// the message thread. A dispatch source sees a signal only while its usual action is
// switched off, which also keeps it from ending the process; programs started by the
// application get that action back (restoreEndSignalsForChildProgram).
struct TerminationSignalHandler::Pimpl
{
    std::function<void()> callback;
    dispatch_queue_t queue = nullptr;
    std::array<bool, endSignals.size()> hasSource {};
};

TerminationSignalHandler::TerminationSignalHandler (std::function<void()> onTerminationRequested)
    : pimpl (std::make_unique<Pimpl>())
{
    noteEndSignalsIgnoredAtStart();
    pimpl->callback = std::move (onTerminationRequested);
    activeCallback = &pimpl->callback;
    pimpl->queue = dispatch_queue_create ("end signals", DISPATCH_QUEUE_SERIAL);
    requestState = waitingForSignal;

    for (size_t i = 0; i < endSignals.size(); ++i)
    {
        const auto signal = endSignals[i];
        ::signal (signal, SIG_IGN);

        // Ignored when the program started (nohup): it stays ignored, with no source.
        if (wasIgnoredAtStart (signal))
            continue;

        auto& entry = signalSources[i];
        entry.signal = signal;
        entry.source = dispatch_source_create (DISPATCH_SOURCE_TYPE_SIGNAL, (uintptr_t) signal, 0, pimpl->queue);
        dispatch_set_context (entry.source, &entry);
        dispatch_source_set_event_handler_f (entry.source, onSignal);
        dispatch_resume (entry.source);
        pimpl->hasSource[i] = true;
    }
}

void TerminationSignalHandler::absorbFurtherSignals() noexcept
{
    requestState = takenUp;
}

TerminationSignalHandler::~TerminationSignalHandler()
{
    // The signals stay switched off, so they are absorbed from now on: the default
    // action would let a late signal end a process that is already on its way out.
    requestState = takenUp;
    activeCallback = nullptr;

    for (size_t i = 0; i < endSignals.size(); ++i)
    {
        if (! pimpl->hasSource[i])
            continue;

        dispatch_source_cancel (signalSources[i].source);
        dispatch_release (signalSources[i].source);
    }

    dispatch_release (pimpl->queue);
}

} // namespace sx::platform
