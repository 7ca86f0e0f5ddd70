#pragma once

#include <juce_core/juce_core.h>
#include <juce_graphics/juce_graphics.h>

#include <optional>
#include <sys/types.h>

/*  Runs the real application on a private X display, for whole-application tests.

    A typical test:

        sx::test::VirtualDisplay::Options screen;
        screen.darkMode = true;
        sx::test::VirtualDisplay display (screen);
        sx::test::AppProcess app (display);
        ASSERT_TRUE (app.start());
        const auto window = display.waitForWindow ("VADizudiv");
        ASSERT_NE (window, 0u);
        EXPECT_EQ (display.getWindowBounds (window).getWidth(), 400);
        display.screenshot (window, someFolder.getChildFile ("window.png"));
        display.requestClose (window);
        EXPECT_EQ (app.waitForExit (10000), 0);

    Everything started here is stopped when its object goes. Every wait is bounded.
    Each ctest case that starts the application must carry RESOURCE_LOCK port14001,
    since the application binds UDP 14001.
*/
namespace sx::test
{

class NetNamespace;

/** An X window's id on a VirtualDisplay; 0 is no window. */
using WindowId = unsigned long;

/** Exit status of a finished process: the exit code, or 128 + the signal number
    for a process that a signal ended (so a crash never reads as 0 or 1).
*/
using ExitStatus = int;

//==============================================================================
/** A program started with an environment of its own and its output sent to a file. */
class Subprocess
{
public:
    /** Starts the command (found through PATH) with exactly this environment. */
    Subprocess (const juce::StringArray& command, const juce::StringPairArray& environment,
                const juce::File& outputFile);

    /** Ends the process if it still runs: SIGTERM, then SIGKILL after a short grace. */
    ~Subprocess();

    bool hasStarted() const noexcept    { return pid > 0; }
    pid_t getPid() const noexcept       { return pid; }
    bool isRunning();

    /** The exit status, or nullopt when the process is still running after timeoutMs. */
    std::optional<ExitStatus> waitForExit (int timeoutMs);

    /** SIGTERM, then SIGKILL when it has not ended within graceMs. */
    void stop (int graceMs = 2000);

    /** The environment of this test process, to start from. */
    static juce::StringPairArray getInheritedEnvironment();

private:
    static juce::String findProgram (const juce::String& program, const juce::String& searchPath);

    pid_t pid = -1;
    std::optional<ExitStatus> status;

    JUCE_DECLARE_NON_COPYABLE (Subprocess)
};

//==============================================================================
/** Xvfb on a free display number, with an XSETTINGS server so that the
    application sees a dark or a light desktop theme.
*/
class VirtualDisplay
{
public:
    struct Options
    {
        bool darkMode = false;
        int width = 1280;
        int height = 1024;
    };

    VirtualDisplay();
    explicit VirtualDisplay (Options options);
    ~VirtualDisplay();

    /** False when Xvfb or xsettingsd could not be started (the test should fail then). */
    bool isRunning() const noexcept             { return server != nullptr && settingsServer != nullptr; }

    /** The display name, e.g. ":117", for DISPLAY. */
    juce::String getName() const                { return name; }

    /** Switches the desktop theme between "Adwaita-dark" and "Adwaita"; running
        programs are told at once (xsettingsd reloads on SIGHUP).
    */
    bool setDarkMode (bool shouldBeDark);

    /** Runs an X client tool on this display and returns what it printed on
        standard output; nullopt when it failed or did not end within timeoutMs.
    */
    std::optional<juce::String> runTool (const juce::StringArray& command, int timeoutMs = 10000) const;

    /** Waits for a visible top-level window whose title is exactly this name. */
    WindowId waitForWindow (const juce::String& title, int timeoutMs = 15000) const;

    /** The window's area in screen coordinates; empty when there is no such window. */
    juce::Rectangle<int> getWindowBounds (WindowId window) const;

    /** The window's title, empty when there is none. */
    juce::String getWindowTitle (WindowId window) const;

    /** Asks the window to close as a window manager's close button does: a
        WM_DELETE_WINDOW message. Needs no window manager on the display.
    */
    bool requestClose (WindowId window) const;

    /** Presses keys in xdotool's notation, e.g. "ctrl+alt+equal", with the pointer
        over the window so that it has the keyboard focus.
    */
    bool pressKeys (WindowId window, const juce::String& keys) const;

    /** Clicks the left button at a point relative to the window's top left corner. */
    bool click (WindowId window, juce::Point<int> position) const;

    /** Saves a PNG of the window (or of the whole screen when window is 0). */
    bool screenshot (WindowId window, const juce::File& pngFile) const;

private:
    bool startServer (const Options&);
    bool startSettingsServer();
    bool waitForSettingsOwner (int timeoutMs) const;
    void writeSettingsConfig() const;

    juce::String name;
    juce::File workFolder;
    std::unique_ptr<Subprocess> server, settingsServer;
    bool dark = false;

    JUCE_DECLARE_NON_COPYABLE (VirtualDisplay)
};

//==============================================================================
/** The application binary, started on a VirtualDisplay with a home folder of its own. */
class AppProcess
{
public:
    struct Options
    {
        /** The home folder; empty makes a fresh temporary one, deleted afterwards. */
        juce::File home;

        /** Added to the inherited environment, replacing variables of the same
            name, e.g. LD_PRELOAD for the fake MIDI sequencer.
        */
        juce::StringPairArray environment;

        /** Runs the application inside this network namespace (made by the test,
            which keeps it alive), so that it can answer nothing on the host's
            network; senders join it with a NetNamespace::Scope. It reaches the
            display through the file-system socket in /tmp/.X11-unix, since the
            abstract one belongs to the host's namespace.
        */
        const NetNamespace* networkNamespace = nullptr;

        /** Empty for the built application. */
        juce::File binary;
    };

    explicit AppProcess (const VirtualDisplay& display);
    AppProcess (const VirtualDisplay& display, Options options);
    ~AppProcess();

    /** Starts the application; false when it could not be started. */
    bool start();

    bool isRunning();

    /** The exit status, or nullopt when it is still running after timeoutMs. */
    std::optional<ExitStatus> waitForExit (int timeoutMs);

    /** Ends the application (SIGTERM, then SIGKILL). */
    void stop();

    pid_t getPid() const noexcept                   { return process != nullptr ? process->getPid() : -1; }

    /** What the application wrote to standard output and standard error so far. */
    juce::String getOutput() const                  { return outputFile.loadFileAsString(); }

    juce::File getHome() const                      { return options.home; }

    /** Where the application keeps its settings under this home folder. */
    juce::File getSettingsFile() const;

    /** The built application binary. */
    static juce::File getDefaultBinary();

private:
    const VirtualDisplay& display;
    Options options;
    bool ownsHome = false;
    juce::File outputFile;
    std::unique_ptr<Subprocess> process;

    JUCE_DECLARE_NON_COPYABLE (AppProcess)
};

} // namespace sx::test
