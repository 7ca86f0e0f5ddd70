#include "app/Application.h"
#include "tests/app/SettingsText.h"
#include "tests/support/AppHarness.h"
#include "tests/support/ImageDifferences.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstring>
#include <utility>

using namespace sx::test;

namespace
{
// Starts the application, waits for its window and closes it as a user would, expecting a clean
// exit; adds the lines of its output that speak of the settings to settingsLines.
void startAndQuit (VirtualDisplay& display, AppProcess& app, juce::StringArray& settingsLines)
{
    ASSERT_TRUE (app.start());
    const auto window = display.waitForWindow ("VADizudiv", 15000, app.getPid());
    ASSERT_NE (window, 0u) << app.getOutput();
    EXPECT_EQ (app.closeAndWaitForExit (window), 0) << app.getOutput();

    for (const auto& line : juce::StringArray::fromLines (app.getOutput()))
        if (line.contains ("settings"))
            settingsLines.add (line);
}

// Options for copies that share another's home folder, and so its settings file.
AppProcess::Options inHomeOf (const AppProcess& owner)
{
    AppProcess::Options options;
    options.home = owner.getHome();
    return options;
}

// A window manager may move and resize a window for a while after mapping it: its bounds once they
// have held still for a moment, or empty when they never did.
juce::Rectangle<int> waitForSteadyBounds (const VirtualDisplay& display, WindowId window)
{
    auto bounds = display.getWindowBounds (window);

    for (int polls = 0, still = 0; polls < 50; ++polls)
    {
        juce::Thread::sleep (100);
        still = std::exchange (bounds, display.getWindowBounds (window)) == bounds ? still + 1 : 0;

        if (still == 4)
            return bounds;
    }

    return {};
}

// Text and an element side by side under one value: the framework's one-line writer crashed on it.
const std::string mixed = R"(<PROPERTIES><VALUE name="k"><D>x<a><b/></a></D></VALUE></PROPERTIES>)";
} // namespace

// Three runs on one home folder, so each later run starts from what was stored before it.
TEST (WholeApp, FirstRunScreenshotsAndRestoredWindowState)
{
    // Tall enough for the largest allowed height, so that only the window's own limits act.
    VirtualDisplay::Options screen;
    screen.height = 3200;
    VirtualDisplay display (screen);
    ASSERT_TRUE (display.isRunning());

    AppProcess firstRun (display);
    const auto sameHome = inHomeOf (firstRun);
    AppProcess secondRun (display, sameHome);

    // Started as some launchers start programs, with descriptors 0 to 2 closed: the first
    // sockets and files opened would take them, and the settings must still be written.
    auto closedDescriptors = sameHome;
    closedDescriptors.withoutStandardDescriptors = true;
    AppProcess thirdRun (display, closedDescriptors);

    struct Run
    {
        AppProcess& app;
        const char* storedBefore;     // nullptr: nothing stored yet
        juce::Rectangle<int> expectedBounds;
        const char* storedAfter;
        const char* screenshots;      // appearance for the screenshots, or nullptr for none
    };

    const Run runs[] = {
        { firstRun,  nullptr,                 { 440, 1275, 400, 650 }, "440 1275 400 650",  "light" },
        // Width forced to 400, height raised to 600.
        { secondRun, "100 120 520 300",       { 100, 120, 400, 600 },  "100 120 400 600",   "dark" },
        // Full screen again (without a window manager the window keeps its normal bounds),
        // with the height capped at 3000 and the normal bounds kept for the next save.
        { thirdRun,  "fs 100 50 520 3150",    { 100, 50, 400, 3000 },  "fs 100 50 400 3000", nullptr },
    };

    for (const auto& run : runs)
    {
        SCOPED_TRACE (run.storedAfter);
        const auto settings = [&] { return juce::PropertiesFile (run.app.getSettingsFile(), Application::getSettingsOptions()); };
        if (run.storedBefore != nullptr)
            settings().setValue ("windowState", run.storedBefore);

        const auto dark = run.screenshots != nullptr && juce::String (run.screenshots) == "dark";
        ASSERT_TRUE (display.setDarkMode (dark));
        ASSERT_TRUE (run.app.start());
        const auto window = display.waitForWindow ("VADizudiv");
        ASSERT_NE (window, 0u) << run.app.getOutput();
        EXPECT_EQ (display.getWindowBounds (window), run.expectedBounds);

        if (run.screenshots != nullptr)
        {
            const juce::File shots (SX_BINARY_DIR "/screenshots/app");
            const auto suffix = "-" + juce::String (run.screenshots) + ".png";
            // The desktop's appearance reached the program: left of the content is the window's background.
            EXPECT_TRUE (display.screenshotOnceShowing (window, shots.getChildFile ("window" + suffix), { 5, 300 },
                                                        juce::Colour (dark ? 0xFF373337 : 0xFFEFEFEF)));

            // The Help menu of the window's own menu bar, cut from the screen around the window.
            const auto openHelpMenu = [&]
            {
                return display.click (window, { 110, 11 }) && display.waitForWindow ("menu", 5000, run.app.getPid()) != 0;
            };

            ASSERT_TRUE (openHelpMenu()) << "the Help menu opens";
            juce::Thread::sleep (300);
            const auto area = run.expectedBounds.withHeight (300);
            ASSERT_TRUE (display.runTool ({ "import", "-window", "root", "-crop",
                                            juce::String::formatted ("%dx%d+%d+%d", area.getWidth(), area.getHeight(), area.getX(), area.getY()),
                                            "+repage", shots.getChildFile ("help-menu" + suffix).getFullPathName() }));

            // A click can sit unread in the framework's X11 queue (see closeAndWaitForExit), so a second try is allowed.
            WindowId about = 0;

            for (int attempt = 0; attempt < 3 && about == 0; ++attempt)
            {
                if (attempt > 0 && display.waitForWindow ("menu", 500, run.app.getPid()) == 0)
                {
                    ASSERT_TRUE (openHelpMenu());
                }

                ASSERT_TRUE (display.click (window, { 150, 69 }));
                about = display.waitForWindow ("About", 4000);
            }

            ASSERT_NE (about, 0u) << "choosing About VADizudiv opens the About box";
            juce::Thread::sleep (300);
            ASSERT_TRUE (display.screenshot (about, shots.getChildFile ("about" + suffix)));
        }

        // As the window's close button would, with the About box still open.
        EXPECT_EQ (run.app.closeAndWaitForExit (window), 0) << run.app.getOutput();
        EXPECT_EQ (settings().getValue ("windowState"), run.storedAfter);
    }
}

// Three starts and quits in a row on one home for each state, touching nothing but, for the minimised
// window, the minimise request (no stored state says minimised), under a window manager that frames
// windows and without one. Each quit stores what the one before it did, and each start shows the same
// window at the same place, 400 wide and within its limits.
TEST (WholeApp, StartsAndQuitsWithNothingTouchedKeepTheWindowState)
{
    const juce::File shots (SX_BINARY_DIR "/screenshots/app");

    for (const bool framed : { false, true })
    {
        SCOPED_TRACE (framed ? "under a window manager" : "without a window manager");
        VirtualDisplay::Options screen;
        screen.windowManager = framed;
        VirtualDisplay display (screen);
        ASSERT_TRUE (display.isRunning());

        struct State { const char* name; const char* stored; bool minimise; };

        for (const auto& state : { State { "normal", "300 200 400 650", false },
                                   State { "minimised", "300 200 400 650", true },
                                   State { "full-screen", "fs 300 200 400 650", false } })
        {
            SCOPED_TRACE (state.name);
            const AppProcess homeOwner (display);
            const auto sameHome = inHomeOf (homeOwner);
            const auto settings = [&] { return juce::PropertiesFile (homeOwner.getSettingsFile(), Application::getSettingsOptions()); };
            settings().setValue ("windowState", state.stored);

            juce::StringArray storedStates;
            juce::Rectangle<int> firstBounds;
            juce::Image firstLook;

            for (int cycle = 0; cycle < 3; ++cycle)
            {
                SCOPED_TRACE (cycle);
                AppProcess app (display, sameHome);
                ASSERT_TRUE (app.start());
                const auto window = display.waitForWindow ("VADizudiv", 15000, app.getPid());
                ASSERT_NE (window, 0u) << app.getOutput();

                const auto bounds = waitForSteadyBounds (display, window);
                EXPECT_EQ (bounds.getWidth(), 400) << bounds.toString();
                EXPECT_TRUE (bounds.getHeight() >= 600 && bounds.getHeight() <= 3000) << bounds.toString();

                const auto shot = shots.getChildFile (juce::String ("window-state-") + (framed ? "framed-" : "unframed-")
                                                      + state.name + "-" + juce::String (cycle + 1) + ".png");
                EXPECT_TRUE (display.screenshotOnceShowing (window, shot, { 5, 300 }, juce::Colour (0xFFEFEFEF)));
                const auto look = juce::ImageFileFormat::loadFrom (shot);

                if (cycle == 0)
                {
                    firstBounds = bounds;
                    firstLook = look;
                }
                else
                {
                    EXPECT_EQ (bounds.toString(), firstBounds.toString());
                    EXPECT_EQ (describeDifferences (look, firstLook), juce::String()) << shot.getFullPathName();
                }

                // Without a window manager nobody minimises: the request goes unanswered.
                if (state.minimise)
                {
                    juce::StringArray minimise { "xdotool", "windowminimize", juce::String ((juce::int64) window) };
                    if (framed)
                        minimise.insert (2, "--sync");
                    EXPECT_TRUE (display.runTool (minimise, 5000).has_value());
                }

                EXPECT_EQ (app.closeAndWaitForExit (window), 0) << app.getOutput();
                storedStates.add (settings().getValue ("windowState"));
            }

            EXPECT_EQ (storedStates[1], storedStates[0]);
            EXPECT_EQ (storedStates[2], storedStates[0]);

            // Never shown in its normal state, the full-screen window keeps the normal bounds it was stored with.
            if (juce::String (state.stored).startsWith ("fs "))
            {
                EXPECT_TRUE (storedStates[0].startsWith (state.stored)) << storedStates[0];
            }
        }
    }
}

// Ctrl+C (SIGINT), kill, a logout or a shutdown (SIGTERM) and a closed terminal (SIGHUP) each quit
// the application as its window would: status 0, and a first run leaves every setting it keeps.
TEST (WholeApp, EndSignalsQuitCleanlyAndStoreTheSettings)
{
    VirtualDisplay display;
    ASSERT_TRUE (display.isRunning());

    for (const int signal : { SIGINT, SIGTERM, SIGHUP })
    {
        SCOPED_TRACE (sigabbrev_np (signal));
        AppProcess app (display);
        ASSERT_TRUE (app.start());
        ASSERT_NE (display.waitForWindow ("VADizudiv", 15000, app.getPid()), 0u) << app.getOutput();
        ASSERT_EQ (kill (app.getPid(), signal), 0);
        EXPECT_EQ (app.waitForExit (15000), 0) << app.getOutput();

        const juce::PropertiesFile settings (app.getSettingsFile(), Application::getSettingsOptions());
        for (const auto* key : { "windowState", "portNumber", "midiDeviceSettings", "connectionSettingsVisible" })
            EXPECT_TRUE (settings.containsKey (key)) << key;
    }
}

TEST (WholeApp, WithoutADisplayItSaysSoAndFails)
{
    auto environment = Subprocess::getInheritedEnvironment();
    environment.remove ("DISPLAY");
    environment.remove ("WAYLAND_DISPLAY");

    // No DISPLAY at all, and a DISPLAY where no server answers.
    for (const auto* display : { "", ":4093" })
    {
        if (*display != 0)
            environment.set ("DISPLAY", display);
        juce::TemporaryFile output (".log");
        Subprocess app ({ AppProcess::getDefaultBinary().getFullPathName() }, environment, output.getFile());
        EXPECT_EQ (app.waitForExit (15000), 1) << display;
        const auto text = output.getFile().loadFileAsString().trim();
        EXPECT_TRUE (text.contains ("needs a graphical display") && ! text.containsAnyOf ("\r\n")) << text;
    }
}

// Files that hung the start, crashed every start or every quit, overflowed the stack or sent the parser
// past its buffer, and one in an encoding the framework would misread. One home for all, so each run
// must keep its file beside the earlier ones'.
TEST (WholeApp, AnUnreadableSettingsFileIsKeptAsideAndTheDefaultsAreWritten)
{
    VirtualDisplay display;
    ASSERT_TRUE (display.isRunning());
    const AppProcess homeOwner (display);
    const auto sameHome = inHomeOf (homeOwner);

    std::string deep = R"(<PROPERTIES><VALUE name="midiDeviceSettings">)";
    for (const auto* tag : { "<a>", "</a>" })
        for (int i = 0; i < 200000; ++i)
            deep += tag;

    // (A value that the writer would crash on, escaped in an attribute, is now left out alone: see below.)
    const std::string files[] = { "<PROPERTIES><?x?>D",
                                  mixed,
                                  R"(<?xml version="1.0" encoding="ISO-8859-1"?><PROPERTIES><VALUE name="portNumber" val="9100"/></PROPERTIES>)",
                                  deep + "</VALUE></PROPERTIES>",
                                  "<PROPERTIES><VALUE name=\"k\" val=\"\xff\"/></PROPERTIES>" };

    for (size_t i = 0; i < std::size (files); ++i)
    {
        SCOPED_TRACE (i);
        AppProcess app (display, sameHome);
        const auto settings = app.getSettingsFile();
        const juce::MemoryBlock bytes (files[i].data(), files[i].size());
        ASSERT_TRUE (settings.getParentDirectory().createDirectory() && settings.replaceWithData (bytes.getData(), bytes.getSize()));
        juce::StringArray report;
        ASSERT_NO_FATAL_FAILURE (startAndQuit (display, app, report));

        const auto kept = settings.getSiblingFile (i == 0 ? "VADizudiv.settings.unreadable" : "VADizudiv.settings(" + juce::String (i + 1) + ").unreadable");
        juce::MemoryBlock keptBytes;
        EXPECT_TRUE (kept.loadFileAsData (keptBytes) && keptBytes == bytes);
        EXPECT_TRUE (report.size() == 1 && report[0].endsWith (" kept as " + kept.getFullPathName())) << app.getOutput();

        juce::PropertiesFile fresh (settings, Application::getSettingsOptions());
        EXPECT_EQ (fresh.getAllProperties().getAllKeys(), juce::StringArray ({ "windowState", "portNumber", "midiDeviceSettings", "connectionSettingsVisible" }));
        EXPECT_EQ (fresh.getValue ("portNumber"), "9001");
    }
}

// Values that the writer could not write back safely, or that would make the written file too
// large for the next start, are left out and named; the rest is kept, and the second start reads
// the file that the first one wrote without a word.
TEST (WholeApp, ValuesThatCannotBeWrittenBackAreLeftOutAndTheRestIsKept)
{
    VirtualDisplay display;
    ASSERT_TRUE (display.isRunning());
    const AppProcess homeOwner (display);
    const auto sameHome = inHomeOf (homeOwner);

    // 10,930 '"' grow sixfold as "&quot;", past the size the next start reads.
    const auto text = R"(<PROPERTIES><VALUE name="portNumber" val="9100"/><VALUE name="note" val="&lt;none&gt;"/>)"
                      R"(<VALUE name="midiDeviceSettings" val=")" + escapedForAttribute (mixed) + R"("/>)"
                      R"(<VALUE name="quotes" val=')" + std::string (10930, '"') + R"('/></PROPERTIES>)";
    const auto settings = homeOwner.getSettingsFile();
    ASSERT_TRUE (settings.getParentDirectory().createDirectory() && settings.replaceWithText (text));

    juce::MemoryBlock writtenByFirst;

    for (const bool firstStart : { true, false })
    {
        SCOPED_TRACE (firstStart ? "first start" : "second start");
        AppProcess app (display, sameHome);
        juce::StringArray report;
        ASSERT_NO_FATAL_FAILURE (startAndQuit (display, app, report));

        if (firstStart)
        {
            ASSERT_EQ (report.size(), 1) << app.getOutput();
            for (const auto* key : { "\"note\" (", "\"midiDeviceSettings\" (", "\"quotes\" (" })
                EXPECT_TRUE (report[0].contains (key)) << report[0];
            EXPECT_FALSE (report[0].contains ("portNumber")) << report[0];
            ASSERT_TRUE (settings.loadFileAsData (writtenByFirst));
        }
        else
        {
            EXPECT_TRUE (report.isEmpty()) << app.getOutput();
            juce::MemoryBlock writtenBySecond;
            EXPECT_TRUE (settings.loadFileAsData (writtenBySecond) && writtenBySecond == writtenByFirst);
        }

        EXPECT_TRUE (settings.getParentDirectory().findChildFiles (juce::File::findFiles, false, "*.unreadable").isEmpty());
        juce::PropertiesFile written (settings, Application::getSettingsOptions());
        EXPECT_EQ (written.getValue ("portNumber"), "9100");
        EXPECT_FALSE (written.containsKey ("note") || written.containsKey ("quotes"));
        EXPECT_EQ (written.getAllProperties().getAllKeys(), juce::StringArray ({ "portNumber", "windowState", "midiDeviceSettings", "connectionSettingsVisible" }));
    }
}

// Linux has no network tools for the hotspot to drive: the switch flips back off, "Configure"
// changes nothing, and the window still answers at once.
TEST (WholeApp, HotspotSwitchFlipsBackOffConfigureChangesNothingAndHelpExplains)
{
    VirtualDisplay display;
    ASSERT_TRUE (display.isRunning());
    AppProcess app (display);
    ASSERT_TRUE (app.start());
    const auto window = display.waitForWindow ("VADizudiv", 15000, app.getPid());
    ASSERT_NE (window, 0u) << app.getOutput();

    // Where the knob would be if the switch were on, the off track's grey shows.
    const juce::File shots (SX_BINARY_DIR "/screenshots/app");
    const juce::Point<int> switchOnKnob { 268, 89 };
    const juce::Colour offTrack (0xFFBFBFBF);
    ASSERT_TRUE (display.screenshotOnceShowing (window, shots.getChildFile ("hotspot-before.png"), switchOnKnob, offTrack));

    // The switch, "Configure", then the help button: the help box comes only after both handlers have returned.
    for (const auto& button : { juce::Point<int> { 255, 89 }, { 320, 89 }, { 377, 89 } })
        ASSERT_TRUE (display.click (window, button));

    const auto help = display.waitForWindow ("Wi-Fi Direct Hotspot Help", 10000, app.getPid());
    ASSERT_NE (help, 0u) << "the window answers";
    EXPECT_TRUE (display.screenshotOnceShowing (window, shots.getChildFile ("hotspot-after.png"), switchOnKnob, offTrack)) << "the switch is off again";
    EXPECT_TRUE (display.screenshot (0, shots.getChildFile ("hotspot-help.png")));

    // No Accessibility request and no script error box: only the window and the help box.
    const auto names = display.runTool ({ "xdotool", "search", "--onlyvisible", "--pid", juce::String (app.getPid()), "--name", ".", "getwindowname", "%@" });
    ASSERT_TRUE (names.has_value());
    auto windows = juce::StringArray::fromLines (names->trim());
    windows.sort (false);
    EXPECT_EQ (windows, juce::StringArray ("VADizudiv", "Wi-Fi Direct Hotspot Help"));

    EXPECT_EQ (app.closeAndWaitForExit (window), 0) << app.getOutput();
}
