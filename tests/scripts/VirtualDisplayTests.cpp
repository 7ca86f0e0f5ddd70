#include "tests/support/AppHarness.h"

#include <gtest/gtest.h>

#include <array>
#include <csignal>
#include <unistd.h>

using namespace sx::test;

// A stand-in for the application on scripts/virtual-display: it tries the display as itself and as
// the user nobody, then, as the application does, quits on Ctrl+C, checking that its display is
// still there, with a status of its own that the script must pass on.
TEST (VirtualDisplayScript, AdmitsOnlyItsOwnerOutlivesCtrlCAndLeavesNothingBehind)
{
    if (geteuid() != 0)
        GTEST_SKIP() << "trying the display as another user needs root";

    const char* standIn = R"(
        xdpyinfo >/dev/null 2>&1 && echo owner-connects
        setpriv --reuid=65534 --regid=65534 --clear-groups xdpyinfo >/dev/null 2>&1 && echo nobody-connects
        echo "display $DISPLAY $XAUTHORITY"
        trap 'xdpyinfo >/dev/null 2>&1 && echo display-kept; exit 3' INT
        echo ready
        while :; do sleep 0.05; done)";

    juce::TemporaryFile output (".log");
    Subprocess script ({ SX_SOURCE_DIR "/scripts/virtual-display", "sh", "-c", standIn },
                       Subprocess::getInheritedEnvironment(), output.getFile());
    const auto said = [&] { return juce::StringArray::fromLines (output.getFile().loadFileAsString()); };

    for (int i = 0; i < 200 && ! said().contains ("ready"); ++i)
        juce::Thread::sleep (50);

    ASSERT_TRUE (said().contains ("ready")) << said().joinIntoString ("\n");

    // As a terminal sends Ctrl+C: to the whole foreground process group.
    ASSERT_EQ (kill (-script.getPid(), SIGINT), 0);
    EXPECT_EQ (script.waitForExit (10000), 3);

    const auto lines = said();
    EXPECT_TRUE (lines.contains ("owner-connects"));
    EXPECT_FALSE (lines.contains ("nobody-connects"));
    EXPECT_TRUE (lines.contains ("display-kept"));

    auto display = juce::StringArray::fromTokens (lines[lines.indexOf ("ready") - 1], " ", "");
    display.removeEmptyStrings();
    ASSERT_EQ (display.size(), 3) << "DISPLAY and XAUTHORITY are set: " << lines.joinIntoString ("\n");
    const juce::File cookies (display[2]), socket ("/tmp/.X11-unix/X" + display[1].substring (1));

    // The display and the cookie go once the program has ended.
    for (int i = 0; i < 100 && (cookies.exists() || socket.exists()); ++i)
        juce::Thread::sleep (50);

    EXPECT_FALSE (cookies.exists());
    EXPECT_FALSE (socket.exists());
}

namespace
{
    // What is left in the folder, or still runs with the folder on its command line, once there has been
    // timeoutMs to tidy up; empty when nothing is. (pgrep leaves itself out.)
    juce::String leftovers (const juce::File& folder, int timeoutMs = 5000)
    {
        for (const auto deadline = juce::Time::getMillisecondCounter() + (juce::uint32) timeoutMs;; juce::Thread::sleep (20))
        {
            juce::ChildProcess look;
            const auto found = look.start (juce::StringArray { "sh", "-c", "ls -A \"$1\"; exec pgrep -af -- \"$1\"", "sh", folder.getFullPathName() })
                                   ? look.readAllProcessOutput().trim() : juce::String ("(could not look)");

            if (found.isEmpty() || juce::Time::getMillisecondCounter() >= deadline)
                return found;
        }
    }
}

// The display lasts as long as the program itself, not as whatever it started, and neither a signal at
// any moment of the start nor a display server that does not start leaves a file or a server behind.
TEST (VirtualDisplayScript, LastsAsLongAsItsProgramAndLeavesNothingWhenItsStartIsCutShort)
{
    // The script's temporary files go to a folder of the test's own, where leftovers are easy to see.
    const auto root = juce::File::getSpecialLocation (juce::File::tempDirectory)
                          .getNonexistentChildFile ("sx-virtual-display-" + juce::String (getpid()) + "-", {}, false);
    const auto temporary = root.getChildFile ("tmp"), log = root.getChildFile ("output.log");
    ASSERT_TRUE (temporary.createDirectory());
    const juce::ScopeGuard removeRoot { [&] { root.deleteRecursively(); } };

    auto environment = Subprocess::getInheritedEnvironment();
    environment.set ("TMPDIR", temporary.getFullPathName());
    const auto* script = SX_SOURCE_DIR "/scripts/virtual-display";

    {
        // The sleeper has a session of its own, which the end of the script's process group does not reach.
        // The stand-in reports to a file of its own: Xvfb may say things on the shared output.
        const auto report = root.getChildFile ("report");
        Subprocess run ({ script, "sh", "-c", R"sh(folder=$(dirname "$XAUTHORITY")
                                                   setsid sleep 30 >/dev/null 2>&1 &
                                                   echo "$folder $(stat -c '%u %a' "$folder") $!" >"$1")sh",
                          "sh", report.getFullPathName() },
                        environment, log);
        const auto status = run.waitForExit (10000);
        auto said = juce::StringArray::fromTokens (report.loadFileAsString(), " \n", "");
        said.removeEmptyStrings();
        const auto sleeper = (pid_t) said[3].getIntValue();
        const juce::ScopeGuard stopSleeper { [&] { if (sleeper > 0) kill (sleeper, SIGKILL); } };

        ASSERT_EQ (status, 0) << log.loadFileAsString();
        ASSERT_EQ (said.size(), 4) << report.loadFileAsString();

        // The cookie's folder is not the shared temporary one, and only its owner may enter it.
        EXPECT_EQ (juce::File (said[0]).getParentDirectory().getFullPathName(), temporary.getFullPathName());
        EXPECT_EQ (said[1] + " " + said[2], juce::String ((int) geteuid()) + " 700");

        // The folder and Xvfb (whose command line names it) go with the program, while the sleeper still runs.
        EXPECT_EQ (leftovers (temporary), "");
        EXPECT_EQ (kill (sleeper, 0), 0);
    }

    // Signals as a terminal sends them, to the whole foreground process group, at moments spread over the start.
    for (int attempt = 0; attempt < 21; ++attempt)
    {
        const int signal = std::array { SIGINT, SIGTERM, SIGHUP } [(size_t) attempt % 3];

        {
            Subprocess run ({ script, "sleep", "5" }, environment, log);
            juce::Thread::sleep (attempt * 3);
            kill (-run.getPid(), signal);
            run.waitForExit (6000);
        }

        const auto left = leftovers (temporary);
        EXPECT_EQ (left, "") << "signal " << signal << " after " << attempt * 3 << " ms";

        if (left.isNotEmpty())
            break;      // later attempts would only find the same
    }

    // What a script started may still have been setting up when a look found nothing.
    juce::Thread::sleep (300);
    EXPECT_EQ (leftovers (temporary), "");

    {
        // A display server that exits at once. With the default CRLF line ends its "#!/bin/sh\r" would not run,
        // and the real Xvfb further along PATH would stand in for it.
        const auto bin = root.getChildFile ("bin"), server = bin.getChildFile ("Xvfb");
        ASSERT_TRUE (bin.createDirectory() && server.replaceWithText ("#!/bin/sh\nexit 1\n", false, false, "\n")
                     && server.setExecutePermission (true));
        environment.set ("PATH", bin.getFullPathName() + ":" + environment["PATH"]);

        log.deleteFile();
        const auto started = juce::Time::getMillisecondCounter();
        Subprocess run ({ script, "true" }, environment, log);

        EXPECT_EQ (run.waitForExit (3000), 1);
        EXPECT_LT (juce::Time::getMillisecondCounter() - started, 2000u);
        EXPECT_TRUE (log.loadFileAsString().contains ("virtual-display: the virtual display did not start")) << log.loadFileAsString();
        EXPECT_EQ (leftovers (temporary), "");
    }
}
