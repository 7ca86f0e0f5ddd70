#include "tests/support/AppHarness.h"

#include <gtest/gtest.h>

using namespace sx::test;

namespace
{
    constexpr int exitTimeoutMs = 15000;

    juce::File screenshotFolder()
    {
        return juce::File (SX_BINARY_DIR "/screenshots/app");
    }

    void writeSettings (const AppProcess& app, const juce::String& windowState)
    {
        const auto file = app.getSettingsFile();
        file.getParentDirectory().createDirectory();
        file.replaceWithText (R"(<?xml version="1.0" encoding="UTF-8"?>)" "\n"
                              "<PROPERTIES><VALUE name=\"windowState\" val=\"" + windowState + "\"/></PROPERTIES>\n");
    }

    juce::String storedWindowState (const AppProcess& app)
    {
        if (auto xml = juce::parseXML (app.getSettingsFile()))
            if (auto* value = xml->getChildByAttribute ("name", "windowState"))
                return value->getStringAttribute ("val");

        return {};
    }

    /** Starts the application, waits for its window and returns it (0 on failure). */
    WindowId startAndWait (AppProcess& app, const VirtualDisplay& display)
    {
        if (! app.start())
            return 0;

        return display.waitForWindow ("VADizudiv");
    }

    /** Closes the window as its close button would and expects a clean exit. */
    void closeAndExpectCleanExit (AppProcess& app, const VirtualDisplay& display, WindowId window)
    {
        ASSERT_TRUE (display.requestClose (window));
        EXPECT_EQ (app.waitForExit (exitTimeoutMs), 0) << app.getOutput();
    }

    VirtualDisplay::Options screenOf (int width, int height, bool dark = false)
    {
        VirtualDisplay::Options options;
        options.width = width;
        options.height = height;
        options.darkMode = dark;
        return options;
    }

    juce::Colour pixelAt (const juce::File& png, int x, int y)
    {
        const auto image = juce::ImageFileFormat::loadFrom (png);
        return image.isValid() ? image.getPixelAt (x, y) : juce::Colour();
    }
}

TEST (WholeApp, FirstRunOpensCentredAndQuittingStoresTheWindowState)
{
    VirtualDisplay display;
    ASSERT_TRUE (display.isRunning());
    AppProcess app (display);
    ASSERT_FALSE (app.getSettingsFile().exists());

    const auto window = startAndWait (app, display);
    ASSERT_NE (window, 0u) << app.getOutput();
    EXPECT_EQ (display.getWindowTitle (window), "VADizudiv");
    EXPECT_EQ (display.getWindowBounds (window), juce::Rectangle<int> (440, 187, 400, 650));

    closeAndExpectCleanExit (app, display, window);

    ASSERT_TRUE (app.getSettingsFile().existsAsFile()) << "folder and file are created at the first quit";
    EXPECT_EQ (storedWindowState (app), "440 187 400 650");
}

TEST (WholeApp, SecondRunRestoresThePlaceAndKeepsTheSizeWithinLimits)
{
    // Tall enough for the largest allowed height, so only the window's own limits act.
    VirtualDisplay display (screenOf (1280, 3200));
    ASSERT_TRUE (display.isRunning());

    struct Case { const char* stored; juce::Rectangle<int> expected; };

    const Case cases[] = {
        { "100 120 400 700",  { 100, 120, 400, 700 } },
        { "100 120 520 700",  { 100, 120, 400, 700 } },     // width forced to 400
        { "100 120 400 300",  { 100, 120, 400, 600 } },     // height raised to 600
        { "100 50 400 3150",  { 100, 50, 400, 3000 } },     // height capped at 3000
    };

    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.stored);
        AppProcess app (display);
        writeSettings (app, c.stored);

        const auto window = startAndWait (app, display);
        ASSERT_NE (window, 0u) << app.getOutput();
        EXPECT_EQ (display.getWindowBounds (window), c.expected);

        closeAndExpectCleanExit (app, display, window);
        EXPECT_EQ (storedWindowState (app),
                   juce::String (c.expected.getX()) + " " + juce::String (c.expected.getY()) + " "
                     + juce::String (c.expected.getWidth()) + " " + juce::String (c.expected.getHeight()));
    }
}

TEST (WholeApp, ZoomKeyMarksTheWindowFullScreenAndTheNextRunHonoursIt)
{
    VirtualDisplay display;
    ASSERT_TRUE (display.isRunning());
    AppProcess app (display);

    {
        const auto window = startAndWait (app, display);
        ASSERT_NE (window, 0u) << app.getOutput();
        ASSERT_TRUE (display.pressKeys (window, "ctrl+alt+equal"));
        juce::Thread::sleep (300);
        closeAndExpectCleanExit (app, display, window);
        EXPECT_EQ (storedWindowState (app), "fs 440 187 400 650");
    }

    AppProcess secondRun (display, [&]
    {
        AppProcess::Options options;
        options.home = app.getHome();
        return options;
    }());

    const auto window = startAndWait (secondRun, display);
    ASSERT_NE (window, 0u) << secondRun.getOutput();
    closeAndExpectCleanExit (secondRun, display, window);
    EXPECT_EQ (storedWindowState (secondRun), "fs 440 187 400 650") << "restored full-screen and stored so again";
}

TEST (WholeApp, UnreadableWindowStateKeepsTheContentsSizeUnderTheLimits)
{
    VirtualDisplay display;
    ASSERT_TRUE (display.isRunning());
    AppProcess app (display);
    writeSettings (app, "not a window state");

    const auto window = startAndWait (app, display);
    ASSERT_NE (window, 0u) << app.getOutput();

    // Not centred at 400 x 650: the size comes from the 700 x 800 content, cut to the width limit.
    const auto bounds = display.getWindowBounds (window);
    EXPECT_EQ (bounds.getWidth(), 400);
    EXPECT_GE (bounds.getHeight(), 800);

    closeAndExpectCleanExit (app, display, window);
}

TEST (WholeApp, QuittingWithAnUnwritableSettingsFolderExitsCleanly)
{
    VirtualDisplay display;
    ASSERT_TRUE (display.isRunning());
    AppProcess app (display);
    app.getHome().getChildFile (".config").replaceWithText ("not a folder");

    const auto window = startAndWait (app, display);
    ASSERT_NE (window, 0u) << app.getOutput();
    closeAndExpectCleanExit (app, display, window);
}

TEST (WholeApp, WithoutADisplayItSaysSoAndFails)
{
    const auto binary = AppProcess::getDefaultBinary();
    ASSERT_TRUE (binary.existsAsFile());

    auto environment = Subprocess::getInheritedEnvironment();
    environment.remove ("DISPLAY");
    environment.remove ("WAYLAND_DISPLAY");

    // No DISPLAY at all, and a DISPLAY where no server answers.
    for (const auto* display : { "", ":4093" })
    {
        SCOPED_TRACE (display);

        if (*display != 0)
            environment.set ("DISPLAY", display);

        juce::TemporaryFile output (".log");
        Subprocess app ({ binary.getFullPathName() }, environment, output.getFile());
        EXPECT_EQ (app.waitForExit (exitTimeoutMs), 1);

        const auto lines = juce::StringArray::fromLines (output.getFile().loadFileAsString().trim());
        ASSERT_EQ (lines.size(), 1);
        EXPECT_TRUE (lines[0].contains ("needs a graphical display")) << lines[0];
    }
}

//==============================================================================
class WholeAppLooks : public ::testing::TestWithParam<bool> {};

TEST_P (WholeAppLooks, WindowMenuAndAboutBox)
{
    const auto dark = GetParam();
    const auto mode = juce::String (dark ? "dark" : "light");
    const auto background = juce::Colour (dark ? 0xFF373337 : 0xFFEFEFEF);

    VirtualDisplay display (screenOf (1280, 1024, dark));
    ASSERT_TRUE (display.isRunning());
    AppProcess app (display);

    const auto window = startAndWait (app, display);
    ASSERT_NE (window, 0u) << app.getOutput();
    juce::Thread::sleep (300);

    const auto windowShot = screenshotFolder().getChildFile ("window-" + mode + ".png");
    ASSERT_TRUE (display.screenshot (window, windowShot));
    EXPECT_EQ (pixelAt (windowShot, 200, 400), background) << "the content follows the desktop's appearance";

    // The "Window" menu, with the commands' key presses.
    ASSERT_TRUE (display.click (window, { 40, 11 }));
    juce::Thread::sleep (400);
    ASSERT_TRUE (display.screenshot (0, screenshotFolder().getChildFile ("window-menu-" + mode + ".png")));
    ASSERT_TRUE (display.click (window, { 40, 11 }));
    juce::Thread::sleep (200);

    // The "Help" menu of the window's own menu bar, which ends with the About item.
    ASSERT_TRUE (display.click (window, { 110, 11 }));
    juce::Thread::sleep (400);
    const auto menuShot = screenshotFolder().getChildFile ("help-menu-" + mode + ".png");
    ASSERT_TRUE (display.screenshot (0, menuShot));

    ASSERT_TRUE (display.click (window, { 150, 69 }));
    const auto about = display.waitForWindow ("About", 5000);
    ASSERT_NE (about, 0u) << "choosing About VADizudiv opens the About box";
    juce::Thread::sleep (300);

    const auto aboutShot = screenshotFolder().getChildFile ("about-" + mode + ".png");
    ASSERT_TRUE (display.screenshot (about, aboutShot));
    EXPECT_EQ (pixelAt (aboutShot, 5, 100), background);

    // Quitting with the About box still open ends cleanly too.
    closeAndExpectCleanExit (app, display, window);
}

INSTANTIATE_TEST_SUITE_P (Appearance, WholeAppLooks, ::testing::Values (true, false),
                          [] (const auto& info) { return info.param ? "Dark" : "Light"; });
