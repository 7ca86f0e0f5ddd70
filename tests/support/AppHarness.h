#pragma once

#include <juce_core/juce_core.h>
#include <juce_graphics/juce_graphics.h>

#include <optional>
#include <sys/types.h>

/*  Runs the real application on a private X display, for whole-application tests.
    Everything started here is stopped when its object goes; every wait is bounded.
    A ctest case that starts the application needs RESOURCE_LOCK port14001 (it binds UDP 14001)
    unless it runs in a network namespace of its own.
*/
namespace sx::test
{

using WindowId = unsigned long;     // an X window; 0 is none

//==============================================================================
/** A program in a process group of its own, with exactly this environment and its output sent to a file. */
class Subprocess
{
public:
    Subprocess (const juce::StringArray& command, const juce::StringPairArray& environment, const juce::File& outputFile);
    ~Subprocess();      // ends the whole process group if it still runs

    pid_t getPid() const noexcept           { return pid; }

    // The exit code, 128 + signal when a signal ended it (a crash never reads as 0 or 1); nullopt while it runs.
    std::optional<int> waitForExit (int timeoutMs);

    static juce::StringPairArray getInheritedEnvironment();

private:
    pid_t pid = -1;
    std::optional<int> status;

    JUCE_DECLARE_NON_COPYABLE (Subprocess)
};

//==============================================================================
/** Xvfb on a free display number, with xsettingsd telling programs whether the desktop is dark,
    and optionally a window manager that frames windows (openbox, reading only a configuration of its own). */
class VirtualDisplay
{
public:
    struct Options
    {
        int height = 1024;
        bool windowManager = false;
    };

    VirtualDisplay() : VirtualDisplay (Options()) {}
    explicit VirtualDisplay (Options options);
    ~VirtualDisplay();

    bool isRunning() const noexcept             { return server != nullptr && settingsServer != nullptr && (! wantsWindowManager || windowManager != nullptr); }
    juce::String getName() const                { return name; }
    bool setDarkMode (bool shouldBeDark);       // returns once published: programs started after it see it

    // Runs an X client on this display; its standard output, or nullopt when it failed or overran.
    std::optional<juce::String> runTool (const juce::StringArray& command, int timeoutMs = 10000) const;

    // A visible top-level window whose title is exactly this (of that process, unless 0), or 0.
    WindowId waitForWindow (const juce::String& title, int timeoutMs = 15000, pid_t pid = 0) const;
    juce::Rectangle<int> getWindowBounds (WindowId window) const;
    bool requestClose (WindowId window) const;                              // as a window manager's close button
    bool click (WindowId window, juce::Point<int> positionInWindow) const;
    bool screenshot (WindowId window, const juce::File& pngFile) const;     // window 0: the whole screen

    // Screenshots of the window until the pixel at `position` has this colour (a busy program paints late);
    // the last one stays in the file. False when it never had it.
    bool screenshotOnceShowing (WindowId window, const juce::File& pngFile, juce::Point<int> position, juce::Colour colour) const;

private:
    bool startServer (int height);
    bool startWindowManager();

    juce::String name;
    const juce::File workFolder;
    const bool wantsWindowManager;
    std::unique_ptr<Subprocess> server, settingsServer, windowManager;
};

//==============================================================================
/** The built application, started on a VirtualDisplay with a home folder of its own. */
class AppProcess
{
public:
    struct Options
    {
        juce::File home;                    // empty: a fresh temporary one, deleted afterwards
        juce::StringPairArray environment;  // added to the inherited one, e.g. LD_PRELOAD
        bool withoutStandardDescriptors = false;  // started with descriptors 0 to 2 closed (its output is lost)
        juce::StringArray launcher;         // a program that execs the rest of its command line, e.g. prlimit ... --
    };

    explicit AppProcess (const VirtualDisplay& display) : AppProcess (display, Options()) {}
    AppProcess (const VirtualDisplay& display, Options options);
    ~AppProcess();

    // Started from a thread inside a NetNamespace::Scope, it stays in that namespace.
    bool start();

    std::optional<int> waitForExit (int timeoutMs)  { return process != nullptr ? process->waitForExit (timeoutMs) : std::nullopt; }

    // Asks the window to close, as its close button would, until the program ends or the time is up; its exit code.
    std::optional<int> closeAndWaitForExit (WindowId window, int timeoutMs = 15000);
    pid_t getPid() const noexcept                   { return process != nullptr ? process->getPid() : -1; }

    juce::String getOutput() const                  { return outputFile.loadFileAsString(); }   // stdout and stderr so far
    juce::File getHome() const                      { return options.home; }
    juce::File getSettingsFile() const              { return options.home.getChildFile (".config/Sondrevix/VADizudiv.settings"); }

    static juce::File getDefaultBinary()            { return juce::File (SX_BINARY_DIR "/app/VADizudiv"); }

private:
    const VirtualDisplay& display;
    Options options;
    const bool ownsHome;
    juce::File outputFile;
    std::unique_ptr<Subprocess> process;
};

} // namespace sx::test
