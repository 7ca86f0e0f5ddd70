#pragma once

#include <functional>
#include <memory>

namespace sx::platform
{

/** Notes which of the end signals (SIGINT, SIGTERM, SIGHUP) the program was started
    with set to be ignored: nohup ignores SIGHUP, a script's background job SIGINT.
    Those stay ignored while the application runs, and the programs it starts begin
    with them ignored too; the others begin at their defaults.

    Call it first thing in main, before the framework installs a SIGINT handler of its
    own; only the first call reads. Where it was not called, the first
    TerminationSignalHandler reads the signals as they are then.
*/
void noteEndSignalsIgnoredAtStart() noexcept;

/** True when noteEndSignalsIgnoredAtStart() found this signal ignored. */
bool wasIgnoredAtStart (int signal) noexcept;

/** For a forked child between fork and exec (async-signal-safe): puts each end signal
    back as it was when the application started, ignored or at its default, so that
    the program it execs does not begin with the application's settings. */
void restoreEndSignalsForChildProgram() noexcept;

/** While it lives, the signals that ask a program to end call a function on the
    message thread instead of ending the process where it stands: SIGINT (Ctrl+C in
    its terminal), SIGTERM (kill, a logout, a shutdown) and SIGHUP (its terminal
    closed). The application then quits as it does from its own window, and stores
    its settings on the way out. A signal that was ignored when the program started
    stays ignored (see noteEndSignalsIgnoredAtStart).

    The first signal waits for the message thread. Should a second one arrive before
    the message thread has taken up the first (it is held up, say by a command that
    does not return), the process ends at once with that signal's default action, as
    it would have without this object.

    Once the first signal has been taken up, once absorbFurtherSignals() has been
    called, and for good once the object has gone, further end signals are absorbed:
    the program is on its way out, and a second Ctrl+C must not cut its shutdown
    short. Only one may exist at a time; make it on the message thread after the
    framework's start-up, which installs a handler of its own for SIGINT.
*/
class TerminationSignalHandler final
{
public:
    explicit TerminationSignalHandler (std::function<void()> onTerminationRequested);
    ~TerminationSignalHandler();

    /** The quit is under way, however it was asked for: end signals change nothing now. */
    void absorbFurtherSignals() noexcept;

    TerminationSignalHandler (const TerminationSignalHandler&) = delete;
    TerminationSignalHandler& operator= (const TerminationSignalHandler&) = delete;

private:
    struct Pimpl;
    std::unique_ptr<Pimpl> pimpl;
};

} // namespace sx::platform
