// The macOS side of TerminationSignals.h, built on macOS only.
#include "platform/TerminationSignals.h"

#include <array>
#include <csignal>
#include <dispatch/dispatch.h>

namespace sx::platform
{
namespace
{
    constexpr std::array<int, 3> terminationSignals { SIGINT, SIGTERM, SIGHUP };

    void callOnMainQueue (void* context)
    {
        (*static_cast<std::function<void()>*> (context))();
    }
}

// The main queue is served by the application's event loop, so the function runs on
// the message thread. A dispatch source sees a signal only while its usual action is
// switched off, which also keeps it from ending the process.
struct TerminationSignalHandler::Pimpl
{
    std::function<void()> callback;
    std::array<dispatch_source_t, terminationSignals.size()> sources {};
    std::array<void (*) (int), terminationSignals.size()> previous {};
};

TerminationSignalHandler::TerminationSignalHandler (std::function<void()> onTerminationRequested)
    : pimpl (std::make_unique<Pimpl>())
{
    pimpl->callback = std::move (onTerminationRequested);

    for (size_t i = 0; i < terminationSignals.size(); ++i)
    {
        pimpl->previous[i] = ::signal (terminationSignals[i], SIG_IGN);
        auto* source = dispatch_source_create (DISPATCH_SOURCE_TYPE_SIGNAL, (uintptr_t) terminationSignals[i], 0, dispatch_get_main_queue());
        dispatch_set_context (source, &pimpl->callback);
        dispatch_source_set_event_handler_f (source, callOnMainQueue);
        dispatch_resume (source);
        pimpl->sources[i] = source;
    }
}

TerminationSignalHandler::~TerminationSignalHandler()
{
    for (size_t i = 0; i < terminationSignals.size(); ++i)
    {
        dispatch_source_cancel (pimpl->sources[i]);
        dispatch_release (pimpl->sources[i]);
        ::signal (terminationSignals[i], pimpl->previous[i]);
    }
}

} // namespace sx::platform
