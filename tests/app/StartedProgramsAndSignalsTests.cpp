#include "app/Application.h"
#include "tests/support/AppHarness.h"

#include <gtest/gtest.h>

#include <csignal>

using namespace sx::test;

namespace
{
// Programs put first on the application's PATH in place of the system's, each running one shell body.
struct StandIns
{
    StandIns (std::initializer_list<const char*> names, const juce::String& body)
    {
        folder.createDirectory();
        for (const auto* name : names)
        {
            const auto program = folder.getChildFile (name);
            program.replaceWithText ("#!/bin/bash\n" + body + "\n", false, false, "\n");
            program.setExecutePermission (true);
        }
    }

    ~StandIns()
    {
        for (const auto pid : leftRunning())
            kill (pid, SIGKILL);

        folder.deleteRecursively();
    }

    // The programs that they left running, in sessions of their own.
    std::vector<pid_t> leftRunning() const
    {
        std::vector<pid_t> pids;
        for (const auto& pid : juce::StringArray::fromLines (folder.getChildFile ("pids").loadFileAsString()))
            if (pid.getIntValue() > 0 && kill (pid.getIntValue(), 0) == 0)
                pids.push_back (pid.getIntValue());
        return pids;
    }

    AppProcess::Options options() const
    {
        AppProcess::Options result;
        result.environment.set ("PATH", folder.getFullPathName() + ":" + juce::String (std::getenv ("PATH")));
        result.environment.set ("STAND_INS", folder.getFullPathName());
        return result;
    }

    bool waitFor (const juce::String& fileName, int timeoutMs = 10000) const
    {
        for (int i = 0; i < timeoutMs / 20 && ! folder.getChildFile (fileName).exists(); ++i)
            juce::Thread::sleep (20);
        return folder.getChildFile (fileName).exists();
    }

    const juce::File folder { juce::File::getSpecialLocation (juce::File::tempDirectory).getNonexistentChildFile ("sx-stand-ins", {}, false) };
};

// Sends the signal unless the program has ended and been collected: its pid may be another's by then.
bool signalIfRunning (AppProcess& app, int signal)
{
    return ! app.waitForExit (0) && kill (app.getPid(), signal) == 0;
}

bool hasEverySetting (const juce::File& file)
{
    juce::PropertiesFile settings (file, Application::getSettingsOptions());
    return settings.getAllProperties().size() == 4;
}
} // namespace

// Started under nohup or as a script's background job, the ignored signal stays ignored; a second
// SIGTERM ends an application whose message thread a shell command holds up; and signals that
// arrive once the quit is under way change nothing.
TEST (WholeApp, IgnoredEndSignalsStayIgnoredASecondOneEndsAHeldUpAppAndLateOnesChangeNothing)
{
    VirtualDisplay display;
    ASSERT_TRUE (display.isRunning());

    {
        SCOPED_TRACE ("started with SIGHUP and SIGINT ignored");
        AppProcess::Options ignoring;
        ignoring.launcher = { "/bin/sh", "-c", "trap '' HUP INT; exec \"$@\"", "sh" };
        AppProcess app (display, ignoring);
        ASSERT_TRUE (app.start());
        ASSERT_NE (display.waitForWindow ("VADizudiv", 15000, app.getPid()), 0u) << app.getOutput();

        for (const int signal : { SIGHUP, SIGINT })
        {
            EXPECT_TRUE (signalIfRunning (app, signal));
            EXPECT_EQ (app.waitForExit (1000), std::nullopt) << sigabbrev_np (signal);
        }

        EXPECT_TRUE (signalIfRunning (app, SIGTERM));
        EXPECT_EQ (app.waitForExit (15000), 0) << app.getOutput();
        EXPECT_TRUE (hasEverySetting (app.getSettingsFile()));
    }

    {
        SCOPED_TRACE ("held up by a shell command that does not return");
        const StandIns standIns ({ "networksetup" }, R"(: > "$STAND_INS/held"; exec sleep 300)");
        AppProcess app (display, standIns.options());
        ASSERT_TRUE (app.start());
        const auto window = display.waitForWindow ("VADizudiv", 15000, app.getPid());
        ASSERT_NE (window, 0u) << app.getOutput();
        ASSERT_TRUE (display.click (window, { 255, 89 }));
        ASSERT_TRUE (standIns.waitFor ("held"));

        ASSERT_TRUE (signalIfRunning (app, SIGTERM));
        juce::Thread::sleep (1000);
        ASSERT_TRUE (signalIfRunning (app, SIGTERM));
        EXPECT_EQ (app.waitForExit (2000), 128 + SIGTERM);
    }

    for (int run = 0; run < 5; ++run)
    {
        SCOPED_TRACE ("SIGTERM after SIGTERM from the moment the window's place is stored, run " + juce::String (run));
        AppProcess app (display);
        ASSERT_TRUE (app.start());
        const auto window = display.waitForWindow ("VADizudiv", 15000, app.getPid());
        ASSERT_NE (window, 0u) << app.getOutput();
        ASSERT_TRUE (display.requestClose (window));

        for (int i = 0; i < 15000 && ! app.getSettingsFile().loadFileAsString().contains ("windowState"); ++i)
            juce::Thread::sleep (1);

        for (int i = 0; i < 15000 && signalIfRunning (app, SIGTERM); ++i)
            juce::Thread::sleep (1);

        EXPECT_EQ (app.waitForExit (0), 0) << app.getOutput();
        EXPECT_TRUE (hasEverySetting (app.getSettingsFile()));
    }
}
