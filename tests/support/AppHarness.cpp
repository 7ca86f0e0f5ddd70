#include "AppHarness.h"
#include "NetNamespace.h"

#include <csignal>
#include <dlfcn.h>
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <X11/Xlib.h>

extern char** environ;

namespace sx::test
{

namespace
{
    void sleepBriefly()
    {
        juce::Thread::sleep (10);
    }

    /** The few Xlib calls the harness makes itself, loaded at run time so that
        the test programs need not link the X library.
    */
    struct Xlib
    {
        Xlib()
        {
            handle = dlopen ("libX11.so.6", RTLD_LAZY | RTLD_LOCAL);

            if (handle == nullptr)
                return;

            load (openDisplay, "XOpenDisplay");
            load (closeDisplay, "XCloseDisplay");
            load (internAtom, "XInternAtom");
            load (getSelectionOwner, "XGetSelectionOwner");
            load (sendEvent, "XSendEvent");
            load (flush, "XFlush");
            load (getWindowAttributes, "XGetWindowAttributes");
            load (translateCoordinates, "XTranslateCoordinates");
            load (setErrorHandler, "XSetErrorHandler");
        }

        bool isLoaded() const   { return handle != nullptr && setErrorHandler != nullptr; }

        template <typename Fn>
        void load (Fn& fn, const char* symbol)     { fn = reinterpret_cast<Fn> (dlsym (handle, symbol)); }

        void* handle = nullptr;
        Display* (*openDisplay) (const char*) = nullptr;
        int (*closeDisplay) (Display*) = nullptr;
        Atom (*internAtom) (Display*, const char*, Bool) = nullptr;
        Window (*getSelectionOwner) (Display*, Atom) = nullptr;
        Status (*sendEvent) (Display*, Window, Bool, long, XEvent*) = nullptr;
        int (*flush) (Display*) = nullptr;
        Status (*getWindowAttributes) (Display*, Window, XWindowAttributes*) = nullptr;
        Bool (*translateCoordinates) (Display*, Window, Window, int, int, int*, int*, Window*) = nullptr;
        XErrorHandler (*setErrorHandler) (XErrorHandler) = nullptr;
    };

    Xlib& xlib()
    {
        static Xlib instance;
        return instance;
    }

    // A window that vanished between two calls must not end the test program,
    // which is what Xlib's default error handler does.
    int ignoreXErrors (Display*, XErrorEvent*) { return 0; }

    /** One connection to a display for the duration of a call. */
    struct DisplayConnection
    {
        explicit DisplayConnection (const juce::String& name)
        {
            if (xlib().isLoaded())
            {
                xlib().setErrorHandler (ignoreXErrors);
                display = xlib().openDisplay (name.toRawUTF8());
            }
        }

        ~DisplayConnection()
        {
            if (display != nullptr)
                xlib().closeDisplay (display);
        }

        Display* display = nullptr;
    };

    juce::File makeWorkFolder (const juce::String& prefix)
    {
        auto folder = juce::File::getSpecialLocation (juce::File::tempDirectory)
                          .getNonexistentChildFile (prefix, {}, false);
        folder.createDirectory();
        return folder;
    }
}

//==============================================================================
Subprocess::Subprocess (const juce::StringArray& command, const juce::StringPairArray& environment,
                        const juce::File& outputFile)
{
    if (command.isEmpty())
        return;

    // Everything the child needs is built before fork: after it, only
    // async-signal-safe calls are allowed.
    std::vector<std::string> argStrings, envStrings;

    for (auto& arg : command)
        argStrings.push_back (arg.toStdString());

    for (auto& key : environment.getAllKeys())
        envStrings.push_back ((key + "=" + environment[key]).toStdString());

    std::vector<char*> argv, envp;

    for (auto& s : argStrings) argv.push_back (s.data());
    for (auto& s : envStrings) envp.push_back (s.data());

    argv.push_back (nullptr);
    envp.push_back (nullptr);

    const auto outputPath = outputFile.getFullPathName().toStdString();
    const auto program = findProgram (command[0], environment["PATH"]).toStdString();

    pid = fork();

    if (pid == 0)
    {
        // A group of its own, so that stop() also reaches what it starts.
        setpgid (0, 0);

        const auto in = open ("/dev/null", O_RDONLY);
        const auto out = open (outputPath.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);

        if (in >= 0)  dup2 (in, STDIN_FILENO);
        if (out >= 0) { dup2 (out, STDOUT_FILENO); dup2 (out, STDERR_FILENO); }

        execve (program.c_str(), argv.data(), envp.data());
        _exit (127);
    }
}

juce::String Subprocess::findProgram (const juce::String& program, const juce::String& searchPath)
{
    if (program.containsChar ('/'))
        return program;

    for (auto& folder : juce::StringArray::fromTokens (searchPath.isNotEmpty() ? searchPath : "/usr/bin:/bin", ":", {}))
    {
        const auto candidate = juce::File::createFileWithoutCheckingPath (folder).getChildFile (program);

        if (candidate.existsAsFile() && candidate.hasReadAccess())
            return candidate.getFullPathName();
    }

    return program;
}

Subprocess::~Subprocess()
{
    stop();
}

bool Subprocess::isRunning()
{
    return hasStarted() && ! waitForExit (0).has_value();
}

std::optional<ExitStatus> Subprocess::waitForExit (int timeoutMs)
{
    if (status.has_value() || ! hasStarted())
        return status;

    const auto deadline = juce::Time::getMillisecondCounter() + (juce::uint32) juce::jmax (0, timeoutMs);

    for (;;)
    {
        // Looked at without reaping first: while the ended leader is not reaped
        // its group id cannot be reused, so what it left in its group can be
        // ended without reaching anybody else's processes.
        siginfo_t info {};

        if (waitid (P_PID, (id_t) pid, &info, WEXITED | WNOHANG | WNOWAIT) != 0)
            return status;

        if (info.si_pid == pid)
        {
            kill (-pid, SIGKILL);

            int rawStatus = 0;
            waitpid (pid, &rawStatus, 0);
            status = WIFSIGNALED (rawStatus) ? 128 + WTERMSIG (rawStatus)
                                             : WEXITSTATUS (rawStatus);
            return status;
        }

        if (juce::Time::getMillisecondCounter() >= deadline)
            return status;

        sleepBriefly();
    }
}

void Subprocess::stop (int graceMs)
{
    if (! hasStarted() || status.has_value())
        return;

    kill (-pid, SIGTERM);

    if (! waitForExit (graceMs).has_value())
    {
        kill (-pid, SIGKILL);
        waitForExit (5000);
    }
}

juce::StringPairArray Subprocess::getInheritedEnvironment()
{
    juce::StringPairArray result;

    for (auto** entry = environ; entry != nullptr && *entry != nullptr; ++entry)
    {
        const juce::String text { juce::CharPointer_UTF8 (*entry) };
        result.set (text.upToFirstOccurrenceOf ("=", false, false),
                    text.fromFirstOccurrenceOf ("=", false, false));
    }

    return result;
}

//==============================================================================
VirtualDisplay::VirtualDisplay() : VirtualDisplay (Options()) {}

VirtualDisplay::VirtualDisplay (Options options)
    : workFolder (makeWorkFolder ("sx-display")),
      dark (options.darkMode)
{
    if (startServer (options))
        startSettingsServer();
}

VirtualDisplay::~VirtualDisplay()
{
    settingsServer.reset();
    server.reset();
    workFolder.deleteRecursively();
}

bool VirtualDisplay::startServer (const Options& options)
{
    // Display numbers are tried from a point that depends on the process id, so
    // that test programs running side by side rarely try the same ones.
    const auto first = 100 + (int) (getpid() % 400) * 2;

    for (int number = first; number < first + 60; ++number)
    {
        if (juce::File ("/tmp/.X" + juce::String (number) + "-lock").exists())
            continue;

        const auto displayName = ":" + juce::String (number);
        auto candidate = std::make_unique<Subprocess> (
            juce::StringArray { "Xvfb", displayName, "-screen", "0",
                                juce::String (options.width) + "x" + juce::String (options.height) + "x24",
                                "-nolisten", "tcp", "-noreset" },
            Subprocess::getInheritedEnvironment(),
            workFolder.getChildFile ("xvfb.log"));

        const auto deadline = juce::Time::getMillisecondCounter() + 10000;

        while (candidate->isRunning() && juce::Time::getMillisecondCounter() < deadline)
        {
            // Another program may have taken this number a moment earlier: only a
            // lock file naming our own server means the display is ours.
            const auto lockOwner = juce::File ("/tmp/.X" + juce::String (number) + "-lock")
                                       .loadFileAsString().trim().getIntValue();
            if (lockOwner != (int) candidate->getPid())
            {
                juce::Thread::sleep (20);
                continue;
            }

            DisplayConnection connection (displayName);

            if (connection.display != nullptr)
            {
                // A window manager would have made these. The framework only looks
                // them up, and without them it would ignore a close request.
                for (auto* atom : { "WM_PROTOCOLS", "WM_DELETE_WINDOW", "WM_TAKE_FOCUS", "_NET_WM_PING" })
                    xlib().internAtom (connection.display, atom, False);

                name = displayName;
                server = std::move (candidate);
                return true;
            }

            juce::Thread::sleep (20);
        }
    }

    return false;
}

bool VirtualDisplay::startSettingsServer()
{
    const auto config = workFolder.getChildFile ("xsettingsd.conf");
    writeSettingsConfig();

    auto environment = Subprocess::getInheritedEnvironment();
    environment.set ("DISPLAY", name);

    settingsServer = std::make_unique<Subprocess> (juce::StringArray { "xsettingsd", "-c", config.getFullPathName() },
                                                   environment,
                                                   workFolder.getChildFile ("xsettingsd.log"));

    if (! waitForSettingsOwner (10000))
        settingsServer.reset();

    return settingsServer != nullptr;
}

void VirtualDisplay::writeSettingsConfig() const
{
    // GTK's dark themes end in "dark", which is what the framework looks for.
    workFolder.getChildFile ("xsettingsd.conf")
              .replaceWithText (juce::String ("Net/ThemeName \"") + (dark ? "Adwaita-dark" : "Adwaita") + "\"\n",
                                false, false, "\n");
}

bool VirtualDisplay::waitForSettingsOwner (int timeoutMs) const
{
    DisplayConnection connection (name);

    if (connection.display == nullptr)
        return false;

    const auto selection = xlib().internAtom (connection.display, "_XSETTINGS_S0", False);
    const auto deadline = juce::Time::getMillisecondCounter() + (juce::uint32) timeoutMs;

    while (juce::Time::getMillisecondCounter() < deadline)
    {
        if (xlib().getSelectionOwner (connection.display, selection) != None)
            return true;

        juce::Thread::sleep (20);
    }

    return false;
}

bool VirtualDisplay::setDarkMode (bool shouldBeDark)
{
    if (settingsServer == nullptr)
        return false;

    dark = shouldBeDark;
    writeSettingsConfig();
    return kill (settingsServer->getPid(), SIGHUP) == 0;
}

std::optional<juce::String> VirtualDisplay::runTool (const juce::StringArray& command, int timeoutMs) const
{
    auto environment = Subprocess::getInheritedEnvironment();
    environment.set ("DISPLAY", name);

    const auto output = workFolder.getNonexistentChildFile ("tool", ".out", false);
    std::optional<ExitStatus> status;

    {
        Subprocess tool (command, environment, output);
        status = tool.waitForExit (timeoutMs);
    }

    const auto text = output.loadFileAsString();
    output.deleteFile();

    if (status != 0)
        return std::nullopt;

    return text;
}

WindowId VirtualDisplay::waitForWindow (const juce::String& title, int timeoutMs) const
{
    const auto found = runTool ({ "xdotool", "search", "--sync", "--onlyvisible", "--name", "^" + title + "$" },
                                timeoutMs);

    if (! found.has_value())
        return 0;

    return (WindowId) found->upToFirstOccurrenceOf ("\n", false, false).trim().getLargeIntValue();
}

juce::Rectangle<int> VirtualDisplay::getWindowBounds (WindowId window) const
{
    DisplayConnection connection (name);

    if (connection.display == nullptr || window == 0)
        return {};

    XWindowAttributes attributes {};

    if (xlib().getWindowAttributes (connection.display, (Window) window, &attributes) == 0)
        return {};

    int x = 0, y = 0;
    Window child = 0;
    xlib().translateCoordinates (connection.display, (Window) window, attributes.root, 0, 0, &x, &y, &child);
    return { x, y, attributes.width, attributes.height };
}

juce::String VirtualDisplay::getWindowTitle (WindowId window) const
{
    // The framework sets the title as UTF8_STRING, which XFetchName does not read.
    if (window == 0)
        return {};

    return runTool ({ "xdotool", "getwindowname", juce::String ((juce::int64) window) }).value_or ("").trimEnd();
}

bool VirtualDisplay::requestClose (WindowId window) const
{
    DisplayConnection connection (name);

    if (connection.display == nullptr || window == 0)
        return false;

    XEvent event {};
    event.xclient.type = ClientMessage;
    event.xclient.window = (Window) window;
    event.xclient.message_type = xlib().internAtom (connection.display, "WM_PROTOCOLS", False);
    event.xclient.format = 32;
    event.xclient.data.l[0] = (long) xlib().internAtom (connection.display, "WM_DELETE_WINDOW", False);
    event.xclient.data.l[1] = CurrentTime;

    const auto sent = xlib().sendEvent (connection.display, (Window) window, False, NoEventMask, &event) != 0;
    xlib().flush (connection.display);
    return sent;
}

bool VirtualDisplay::pressKeys (WindowId window, const juce::String& keys) const
{
    const auto id = juce::String ((juce::int64) window);

    // Without a window manager the keyboard follows the pointer.
    return runTool ({ "xdotool", "mousemove", "--window", id, "20", "60" }).has_value()
        && runTool ({ "xdotool", "windowfocus", id }).has_value()
        && runTool ({ "xdotool", "key", "--clearmodifiers", keys }).has_value();
}

bool VirtualDisplay::click (WindowId window, juce::Point<int> position) const
{
    return runTool ({ "xdotool", "mousemove", "--window", juce::String ((juce::int64) window),
                      juce::String (position.x), juce::String (position.y), "click", "1" }).has_value();
}

bool VirtualDisplay::screenshot (WindowId window, const juce::File& pngFile) const
{
    pngFile.getParentDirectory().createDirectory();
    return runTool ({ "import", "-window", window != 0 ? juce::String ((juce::int64) window) : juce::String ("root"),
                      pngFile.getFullPathName() }).has_value()
        && pngFile.existsAsFile();
}

//==============================================================================
AppProcess::AppProcess (const VirtualDisplay& displayToUse) : AppProcess (displayToUse, Options()) {}

AppProcess::AppProcess (const VirtualDisplay& displayToUse, Options optionsToUse)
    : display (displayToUse),
      options (std::move (optionsToUse))
{
    if (options.home == juce::File())
    {
        options.home = makeWorkFolder ("sx-home");
        ownsHome = true;
    }

    if (options.binary == juce::File())
        options.binary = getDefaultBinary();

    outputFile = options.home.getParentDirectory().getNonexistentChildFile ("sx-app-output", ".log", false);
}

AppProcess::~AppProcess()
{
    stop();
    outputFile.deleteFile();

    if (ownsHome)
        options.home.deleteRecursively();
}

juce::File AppProcess::getDefaultBinary()
{
    return juce::File (SX_BINARY_DIR "/app/VADizudiv");
}

juce::File AppProcess::getSettingsFile() const
{
    return options.home.getChildFile (".config/Sondrevix/VADizudiv.settings");
}

bool AppProcess::start()
{
    if (process != nullptr || ! options.binary.existsAsFile())
        return false;

    auto environment = Subprocess::getInheritedEnvironment();
    environment.set ("HOME", options.home.getFullPathName());
    environment.set ("DISPLAY", display.getName());
    environment.addArray (options.environment);

    // The child is forked from this thread, so it starts in the namespace the thread is in.
    std::optional<NetNamespace::Scope> inside;

    if (options.networkNamespace != nullptr)
    {
        inside.emplace (*options.networkNamespace);

        if (! inside->isActive())
            return false;
    }

    process = std::make_unique<Subprocess> (juce::StringArray { options.binary.getFullPathName() },
                                            environment, outputFile);
    return process->hasStarted();
}

bool AppProcess::isRunning()
{
    return process != nullptr && process->isRunning();
}

std::optional<ExitStatus> AppProcess::waitForExit (int timeoutMs)
{
    return process != nullptr ? process->waitForExit (timeoutMs) : std::nullopt;
}

void AppProcess::stop()
{
    if (process != nullptr)
        process->stop();
}

} // namespace sx::test
