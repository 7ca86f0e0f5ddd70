#pragma once

#include <functional>
#include <memory>

namespace sx::platform
{

/** While it lives, the signals that ask a program to end call a function on the
    message thread instead of ending the process where it stands: SIGINT (Ctrl+C in
    its terminal), SIGTERM (kill, a logout, a shutdown) and SIGHUP (its terminal
    closed). The application then quits as it does from its own window, and stores
    its settings on the way out.

    A signal that arrives once the message loop has ended is absorbed, so a second
    Ctrl+C cannot cut a slow shutdown short. When the object goes, the signals'
    previous handling returns. Only one may exist at a time; make it on the message
    thread after the framework's start-up, which installs a handler of its own for SIGINT.
*/
class TerminationSignalHandler final
{
public:
    explicit TerminationSignalHandler (std::function<void()> onTerminationRequested);
    ~TerminationSignalHandler();

    TerminationSignalHandler (const TerminationSignalHandler&) = delete;
    TerminationSignalHandler& operator= (const TerminationSignalHandler&) = delete;

private:
    struct Pimpl;
    std::unique_ptr<Pimpl> pimpl;
};

} // namespace sx::platform
