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

// Children of the process that have ended but were never collected.
juce::StringArray zombieChildrenOf (pid_t parent)
{
    juce::StringArray zombies;
    for (const auto& entry : juce::RangedDirectoryIterator (juce::File ("/proc"), false, "[0-9]*", juce::File::findDirectories))
    {
        // The command name may hold spaces: the fields that follow it begin after its ')'.
        auto fields = juce::StringArray::fromTokens (entry.getFile().getChildFile ("stat").loadFileAsString()
                                                         .fromLastOccurrenceOf (")", false, false), false);
        fields.removeEmptyStrings();
        if (fields[0] == "Z" && fields[1].getIntValue() == parent)
            zombies.add (entry.getFile().getFileName());
    }
    return zombies;
}

// The UDP ports that this process has bound, as the system lists them.
juce::StringArray boundUdpPorts (const VirtualDisplay& display, pid_t pid)
{
    juce::StringArray ports;
    for (const auto& line : juce::StringArray::fromLines (display.runTool ({ "ss", "-H", "-uanp" }).value_or ("")))
    {
        auto columns = juce::StringArray::fromTokens (line, false);
        columns.removeEmptyStrings();
        if (line.contains ("pid=" + juce::String (pid) + ","))
            ports.add (columns[3].fromLastOccurrenceOf (":", false, false));
    }
    ports.sort (false);
    return ports;
}

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

// A browser opened by Get Support and the network tools that the hotspot switch runs through the shell
// (stand-ins that record their descriptors and leave a program running): none holds anything of the
// application's beyond its standard input, output and error, none is left as a zombie, and the next
// start has its ports although the programs left behind still run.
TEST (WholeApp, ProgramsItStartsHoldNothingOfItsOwnAndAreCollected)
{
    VirtualDisplay display;
    ASSERT_TRUE (display.isRunning());
    const StandIns standIns ({ "xdg-open", "networksetup", "nmcli" }, R"sh(
        echo "== ${0##*/}" >> "$STAND_INS/record"
        ls -l /proc/$$/fd >> "$STAND_INS/record"
        setsid sleep 300 >/dev/null 2>&1 &
        echo $! >> "$STAND_INS/pids")sh");

    AppProcess first (display, standIns.options());
    ASSERT_TRUE (first.start());
    const auto window = display.waitForWindow ("VADizudiv", 15000, first.getPid());
    ASSERT_NE (window, 0u) << first.getOutput();

    // Help > Get Support, then the hotspot switch.
    ASSERT_TRUE (display.click (window, { 110, 11 }) && display.waitForWindow ("menu", 5000, first.getPid()) != 0);
    juce::Thread::sleep (300);
    EXPECT_TRUE (display.screenshot (0, juce::File (SX_BINARY_DIR "/screenshots/app/get-support.png")));
    ASSERT_TRUE (display.click (window, { 150, 37 }));
    ASSERT_TRUE (display.click (window, { 255, 89 }));

    const auto record = standIns.folder.getChildFile ("record");
    for (int i = 0; i < 500 && ! (record.loadFileAsString().contains ("== xdg-open") && record.loadFileAsString().contains ("== networksetup")); ++i)
        juce::Thread::sleep (20);

    juce::Thread::sleep (500);
    EXPECT_EQ (zombieChildrenOf (first.getPid()).joinIntoString (" "), "");
    EXPECT_EQ (first.closeAndWaitForExit (window), 0) << first.getOutput();
    EXPECT_GE (standIns.leftRunning().size(), 3u);

    AppProcess second (display);
    ASSERT_TRUE (second.start());
    ASSERT_NE (display.waitForWindow ("VADizudiv", 15000, second.getPid()), 0u) << second.getOutput();
    EXPECT_EQ (boundUdpPorts (display, second.getPid()).joinIntoString (" "), "14001 9001");

    // Beyond 0 to 2, a stand-in may hold only its own script, which the shell reads.
    juce::StringArray seen, held;
    juce::String program;
    for (const auto& line : juce::StringArray::fromLines (record.loadFileAsString()))
    {
        if (line.startsWith ("== "))
            seen.addIfNotAlreadyThere (program = line.substring (3));
        else if (const auto fd = line.upToFirstOccurrenceOf (" -> ", false, false).fromLastOccurrenceOf (" ", false, false),
                                target = line.fromFirstOccurrenceOf (" -> ", false, false);
                 target.contains ("socket:") || (fd.getIntValue() > 2 && ! target.startsWith (standIns.folder.getFullPathName())))
            held.add (program + ": " + fd + " " + target);
    }
    seen.sort (false);
    EXPECT_EQ (seen.joinIntoString (" "), "networksetup nmcli xdg-open");
    EXPECT_EQ (held.joinIntoString ("\n"), "");

    EXPECT_EQ (second.closeAndWaitForExit (display.waitForWindow ("VADizudiv", 5000, second.getPid())), 0);
}

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
