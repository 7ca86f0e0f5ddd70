#include "tests/support/AppHarness.h"

#include <gtest/gtest.h>

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
