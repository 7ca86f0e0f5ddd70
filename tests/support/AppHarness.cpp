#include "tests/support/AppHarness.h"

#include <csignal>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <X11/Xlib.h>

extern char** environ;

namespace sx::test
{

namespace
{
    using XConnection = std::unique_ptr<Display, int (*) (Display*)>;

    XConnection connectTo (const juce::String& name)
    {
        // A window that vanished between two calls must not end the test program, as Xlib's default handler would.
        XSetErrorHandler ([] (Display*, XErrorEvent*) { return 0; });
        return { XOpenDisplay (name.toRawUTF8()), XCloseDisplay };
    }

    Atom atom (const XConnection& connection, const char* name)    { return XInternAtom (connection.get(), name, False); }

    // The process id keeps test programs running side by side out of each other's folders.
    juce::File makeWorkFolder (const juce::String& prefix)
    {
        auto folder = juce::File::getSpecialLocation (juce::File::tempDirectory)
                          .getNonexistentChildFile (prefix + juce::String (getpid()) + "-", {}, false);
        folder.createDirectory();
        return folder;
    }

    juce::StringPairArray environmentFor (const juce::String& displayName)
    {
        auto environment = Subprocess::getInheritedEnvironment();
        environment.set ("DISPLAY", displayName);
        return environment;
    }

    // Polls until the condition holds; false when timeoutMs passed first. It is asked at least once.
    template <typename Condition>
    bool waitUntil (int timeoutMs, Condition&& condition)
    {
        for (const auto deadline = juce::Time::getMillisecondCounter() + (juce::uint32) timeoutMs;; juce::Thread::sleep (10))
        {
            if (condition())
                return true;

            if (juce::Time::getMillisecondCounter() >= deadline)
                return false;
        }
    }
}

//==============================================================================
Subprocess::Subprocess (const juce::StringArray& command, const juce::StringPairArray& environment,
                        const juce::File& outputFile)
{
    juce::StringArray env;
    for (auto& key : environment.getAllKeys())
        env.add (key + "=" + environment[key]);

    // Nothing is written through these: exec only reads them.
    std::vector<char*> argv, envp;
    for (auto& arg : command)   argv.push_back (const_cast<char*> (arg.toRawUTF8()));
    for (auto& entry : env)     envp.push_back (const_cast<char*> (entry.toRawUTF8()));
    argv.push_back (nullptr);
    envp.push_back (nullptr);

    posix_spawn_file_actions_t files;
    posix_spawn_file_actions_init (&files);
    posix_spawn_file_actions_addopen (&files, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen (&files, STDOUT_FILENO, outputFile.getFullPathName().toRawUTF8(), O_WRONLY | O_CREAT | O_APPEND, 0644);
    posix_spawn_file_actions_adddup2 (&files, STDOUT_FILENO, STDERR_FILENO);

    // A group of its own, so that stopping it also reaches whatever it starts.
    posix_spawnattr_t attributes;
    posix_spawnattr_init (&attributes);
    posix_spawnattr_setflags (&attributes, POSIX_SPAWN_SETPGROUP);
    posix_spawnattr_setpgroup (&attributes, 0);

    if (command.isEmpty() || posix_spawnp (&pid, argv[0], &files, &attributes, argv.data(), envp.data()) != 0)
        pid = -1;

    posix_spawnattr_destroy (&attributes);
    posix_spawn_file_actions_destroy (&files);
}

Subprocess::~Subprocess()
{
    if (pid <= 0 || status.has_value())
        return;

    kill (-pid, SIGTERM);

    if (! waitForExit (2000))
    {
        kill (-pid, SIGKILL);
        waitForExit (5000);
    }
}

std::optional<int> Subprocess::waitForExit (int timeoutMs)
{
    waitUntil (timeoutMs, [this]
    {
        // Looked at before reaping: until the leader is reaped its group id cannot be reused,
        // so what it left in its group can be killed without reaching anybody else's processes.
        siginfo_t info {};

        if (pid <= 0 || status.has_value() || waitid (P_PID, (id_t) pid, &info, WEXITED | WNOHANG | WNOWAIT) != 0)
            return true;

        if (info.si_pid != pid)
            return false;

        kill (-pid, SIGKILL);
        int raw = 0;
        waitpid (pid, &raw, 0);
        status = WIFSIGNALED (raw) ? 128 + WTERMSIG (raw) : WEXITSTATUS (raw);
        return true;
    });

    return status;
}

juce::StringPairArray Subprocess::getInheritedEnvironment()
{
    juce::StringPairArray result;

    for (auto** entry = environ; entry != nullptr && *entry != nullptr; ++entry)
    {
        const juce::String text { juce::CharPointer_UTF8 (*entry) };
        result.set (text.upToFirstOccurrenceOf ("=", false, false), text.fromFirstOccurrenceOf ("=", false, false));
    }

    return result;
}

//==============================================================================
VirtualDisplay::VirtualDisplay (Options options)
    : workFolder (makeWorkFolder ("sx-display-")), wantsWindowManager (options.windowManager)
{
    if (! startServer (options.height))
        return;

    if (wantsWindowManager && ! startWindowManager())
        return;

    setDarkMode (false);     // no settings server yet: this only writes its file
    settingsServer = std::make_unique<Subprocess> (juce::StringArray { "xsettingsd", "-c", workFolder.getChildFile ("xsettingsd.conf").getFullPathName() },
                                                   environmentFor (name), workFolder.getChildFile ("xsettingsd.log"));

    // Until it owns its selection, a program that starts sees no theme at all.
    const auto connection = connectTo (name);

    if (connection == nullptr || ! waitUntil (10000, [&] { return XGetSelectionOwner (connection.get(), atom (connection, "_XSETTINGS_S0")) != None; }))
        settingsServer.reset();
}

VirtualDisplay::~VirtualDisplay()
{
    windowManager.reset();
    settingsServer.reset();
    server.reset();
    workFolder.deleteRecursively();
}

bool VirtualDisplay::startServer (int height)
{
    // Numbers start from a point that depends on the process id, so that programs side by side rarely collide.
    const auto first = 100 + (int) (getpid() % 400) * 2;

    for (int number = first; number < first + 60; ++number)
    {
        const juce::File lock ("/tmp/.X" + juce::String (number) + "-lock");

        if (lock.exists())
            continue;

        const auto displayName = ":" + juce::String (number);
        auto candidate = std::make_unique<Subprocess> (juce::StringArray { "Xvfb", displayName, "-screen", "0", "1280x" + juce::String (height) + "x24",
                                                                           "-nolisten", "tcp", "-noreset" },
                                                       Subprocess::getInheritedEnvironment(), workFolder.getChildFile ("xvfb.log"));

        XConnection connection { nullptr, XCloseDisplay };
        waitUntil (10000, [&]
        {
            // Another program may have taken this number a moment earlier: only a lock naming our own server makes it ours.
            return candidate->waitForExit (0).has_value()
                || (lock.loadFileAsString().trim().getIntValue() == (int) candidate->getPid() && (connection = connectTo (displayName)) != nullptr);
        });

        if (candidate->waitForExit (0) || connection == nullptr)
            continue;

        // A window manager would make these; the framework only looks them up, and without them ignores a close request.
        for (auto* name : { "WM_PROTOCOLS", "WM_DELETE_WINDOW", "WM_TAKE_FOCUS", "_NET_WM_PING" })
            atom (connection, name);

        name = displayName;
        server = std::move (candidate);
        return true;
    }

    return false;
}

bool VirtualDisplay::startWindowManager()
{
    // A home, configuration and data folders of its own, so that nothing of the machine's or the user's
    // settings reaches it: only the theme that comes with it, whose frame has borders on every side.
    const auto home = workFolder.getChildFile ("wm-home");
    const auto config = home.getChildFile ("rc.xml");

    if (! home.createDirectory() || ! config.replaceWithText (R"(<?xml version="1.0" encoding="UTF-8"?>
<openbox_config xmlns="http://openbox.org/3.4/rc">
  <theme><name>Clearlooks</name></theme>
  <desktops><number>1</number></desktops>
</openbox_config>
)"))
        return false;

    auto environment = environmentFor (name);
    environment.set ("HOME", home.getFullPathName());

    for (const auto* variable : { "XDG_CONFIG_HOME", "XDG_CONFIG_DIRS", "XDG_DATA_HOME", "XDG_CACHE_HOME", "XDG_STATE_HOME" })
        environment.set (variable, home.getFullPathName());

    environment.set ("XDG_DATA_DIRS", "/usr/share");
    environment.remove ("XDG_RUNTIME_DIR");

    auto manager = std::make_unique<Subprocess> (juce::StringArray { "openbox", "--sm-disable", "--config-file", config.getFullPathName() },
                                                 environment, workFolder.getChildFile ("openbox.log"));

    // It names the window that proves it runs once it has taken over the screen; windows mapped before then would
    // not be framed.
    const auto connection = connectTo (name);

    if (connection == nullptr || ! waitUntil (10000, [&]
        {
            Atom type = None;
            int format = 0;
            unsigned long count = 0, remaining = 0;
            unsigned char* data = nullptr;

            if (manager->waitForExit (0).has_value())
                return true;

            if (XGetWindowProperty (connection.get(), DefaultRootWindow (connection.get()), atom (connection, "_NET_SUPPORTING_WM_CHECK"),
                                    0, 1, False, AnyPropertyType, &type, &format, &count, &remaining, &data) != Success)
                return false;

            XFree (data);
            return count > 0;
        })
        || manager->waitForExit (0).has_value())
        return false;

    windowManager = std::move (manager);
    return true;
}

bool VirtualDisplay::setDarkMode (bool shouldBeDark)
{
    // The framework takes a theme name ending in "dark" for a dark desktop.
    workFolder.getChildFile ("xsettingsd.conf")
              .replaceWithText (juce::String ("Net/ThemeName \"") + (shouldBeDark ? "Adwaita-dark" : "Adwaita") + "\"\n");

    if (settingsServer == nullptr || kill (settingsServer->getPid(), SIGHUP) != 0)
        return false;

    // The server rereads its file in its own time; a program started before it has published
    // the new name would come up in the old appearance.
    const auto connection = connectTo (name);

    return connection != nullptr && waitUntil (10000, [&]
    {
        const auto owner = XGetSelectionOwner (connection.get(), atom (connection, "_XSETTINGS_S0"));
        Atom type = None;
        int format = 0;
        unsigned long count = 0, remaining = 0;
        unsigned char* data = nullptr;

        if (owner == None || XGetWindowProperty (connection.get(), owner, atom (connection, "_XSETTINGS_SETTINGS"), 0, 1024, False,
                                                 AnyPropertyType, &type, &format, &count, &remaining, &data) != Success)
            return false;

        const auto published = std::string (reinterpret_cast<const char*> (data), data != nullptr ? count : 0);
        XFree (data);
        return (published.find ("Adwaita-dark") != std::string::npos) == shouldBeDark;
    });
}

std::optional<juce::String> VirtualDisplay::runTool (const juce::StringArray& command, int timeoutMs) const
{
    const auto output = workFolder.getNonexistentChildFile ("tool", ".out", false);
    const auto status = Subprocess (command, environmentFor (name), output).waitForExit (timeoutMs);
    const auto text = output.loadFileAsString();
    output.deleteFile();
    return status == 0 ? std::optional<juce::String> (text) : std::nullopt;
}

WindowId VirtualDisplay::waitForWindow (const juce::String& title, int timeoutMs, pid_t pid) const
{
    juce::StringArray search { "xdotool", "search", "--all", "--onlyvisible" };

    if (pid > 0)
        search.addArray ({ "--pid", juce::String (pid) });

    search.addArray ({ "--name", "^" + title + "$" });     // the pattern comes last

    // Only a window found twice in a row counts: the application maps a first window that it replaces
    // at once, and xdotool gives up when a window vanishes while it walks the tree.
    WindowId previous = 0;

    for (const auto deadline = juce::Time::getMillisecondCounter() + (juce::uint32) timeoutMs;
         juce::Time::getMillisecondCounter() < deadline; juce::Thread::sleep (150))
    {
        const auto found = runTool (search, 2000);
        const auto window = found ? (WindowId) found->getLargeIntValue() : 0;   // the first one listed

        if (std::exchange (previous, window) == window && window != 0)
            return window;
    }

    return 0;
}

juce::Rectangle<int> VirtualDisplay::getWindowBounds (WindowId window) const
{
    const auto connection = connectTo (name);
    XWindowAttributes attributes {};

    if (connection == nullptr || window == 0 || XGetWindowAttributes (connection.get(), window, &attributes) == 0)
        return {};

    int x = 0, y = 0;
    Window child = 0;
    XTranslateCoordinates (connection.get(), window, attributes.root, 0, 0, &x, &y, &child);
    return { x, y, attributes.width, attributes.height };
}

bool VirtualDisplay::requestClose (WindowId window) const
{
    const auto connection = connectTo (name);

    if (connection == nullptr || window == 0)
        return false;

    XEvent event {};
    event.xclient = { ClientMessage, 0, False, nullptr, window, atom (connection, "WM_PROTOCOLS"), 32, {} };
    event.xclient.data.l[0] = (long) atom (connection, "WM_DELETE_WINDOW");
    event.xclient.data.l[1] = CurrentTime;
    return XSendEvent (connection.get(), window, False, NoEventMask, &event) != 0;    // closing the connection flushes it
}

bool VirtualDisplay::click (WindowId window, juce::Point<int> position) const
{
    // As a hand would: the pointer rests before the button goes down, and the button stays down a moment.
    // A popup menu only takes a click on an item that it has seen the pointer over, pressed and let go.
    return runTool ({ "xdotool", "mousemove", "--window", juce::String ((juce::int64) window),
                      juce::String (position.x), juce::String (position.y),
                      "sleep", "0.15", "mousedown", "1", "sleep", "0.08", "mouseup", "1" }).has_value();
}

bool VirtualDisplay::screenshot (WindowId window, const juce::File& pngFile) const
{
    pngFile.getParentDirectory().createDirectory();
    return runTool ({ "import", "-window", window != 0 ? juce::String ((juce::int64) window) : juce::String ("root"),
                      pngFile.getFullPathName() }).has_value()
        && pngFile.existsAsFile();
}

bool VirtualDisplay::screenshotOnceShowing (WindowId window, const juce::File& pngFile, juce::Point<int> position, juce::Colour colour) const
{
    return waitUntil (8000, [&]
    {
        return screenshot (window, pngFile) && juce::ImageFileFormat::loadFrom (pngFile).getPixelAt (position.x, position.y) == colour;
    });
}

//==============================================================================
AppProcess::AppProcess (const VirtualDisplay& displayToUse, Options optionsToUse)
    : display (displayToUse), options (std::move (optionsToUse)), ownsHome (options.home == juce::File())
{
    if (ownsHome)
        options.home = makeWorkFolder ("sx-home-");

    outputFile = options.home.getParentDirectory().getNonexistentChildFile ("sx-app-output-" + juce::String (getpid()) + "-", ".log", false);
}

AppProcess::~AppProcess()
{
    process.reset();
    outputFile.deleteFile();

    if (ownsHome)
        options.home.deleteRecursively();
}

bool AppProcess::start()
{
    if (process != nullptr || ! getDefaultBinary().existsAsFile())
        return false;

    auto environment = environmentFor (display.getName());
    environment.set ("HOME", options.home.getFullPathName());
    environment.addArray (options.environment);
    juce::StringArray command { getDefaultBinary().getFullPathName() };

    if (options.withoutStandardDescriptors)
        command = { "/bin/sh", "-c", "exec \"$0\" <&- >&- 2>&-", command[0] };

    // It must exec rather than fork: the process id stays the application's.
    auto launched = options.launcher;
    launched.addArray (command);

    process = std::make_unique<Subprocess> (launched, environment, outputFile);
    return process->getPid() > 0;
}

std::optional<int> AppProcess::closeAndWaitForExit (WindowId window, int timeoutMs)
{
    // The framework's X11 loop reads the connection only when it becomes readable, so a request that
    // Xlib queued while the program waited for something else can sit unseen until the next event
    // arrives. Asking again, as an impatient user would click again, supplies that event.
    for (const auto deadline = juce::Time::getMillisecondCounter() + (juce::uint32) timeoutMs;;)
    {
        if (! display.requestClose (window))
            return waitForExit (0);

        const auto remaining = (int) (deadline - juce::Time::getMillisecondCounter());

        if (const auto code = waitForExit (juce::jlimit (0, 2000, remaining)); code || remaining <= 2000)
            return code;
    }
}

} // namespace sx::test
