/*  The built application as a musician runs it: under Xvfb with a home folder of its own, on the
    fake ALSA sequencer, in the namespace that run-isolated gives the program (loopback plus the
    veth interface sx0), so that nothing it sends or answers reaches the host's network.
*/
#include "app/Application.h"
#include "tests/support/AppHarness.h"
#include "tests/support/FakeSequencer.h"
#include "tests/support/NetNamespace.h"

#include <gtest/gtest.h>

using namespace sx::test;

TEST (EndToEnd, OscBecomesMidiOnTheAdvertisedPortASecondCopyFallsBackAndQuittingSavesTheSettings)
{
    SX_REQUIRE_FAKE_SEQUENCER();

    VirtualDisplay display;
    ASSERT_TRUE (display.isRunning());
    const auto home = juce::File::createTempFile ("sx-e2e-home");
    const auto midiLog = home.getChildFile ("midi.log");
    const auto nmcli = home.getChildFile ("bin/nmcli");
    ASSERT_TRUE (nmcli.create() && nmcli.replaceWithText ("#!/bin/sh\necho 'yes:HomeNet'\n", false, false, "\n") && nmcli.setExecutePermission (true));

    AppProcess::Options options;
    options.environment.set ("LD_PRELOAD", SX_FAKESEQ_LIB);
    options.environment.set ("FAKESEQ_PORTS", "Synth A:out");
    options.environment.set ("FAKESEQ_LOG", midiLog.getFullPathName());
    options.environment.set ("PATH", nmcli.getParentDirectory().getFullPathName() + ":/usr/bin:/bin");
    AppProcess second (display, options);
    options.home = home;
    AppProcess first (display, options);
    const auto settings = [] (const AppProcess& app) { return juce::PropertiesFile (app.getSettingsFile(), Application::getSettingsOptions()); };

    juce::StringPairArray stored;
    stored.set ("windowState", "440 40 400 940");
    stored.set ("portNumber", "9001");
    stored.set ("connectionSettingsVisible", "1");
    stored.set ("midiDeviceSettings", R"(<DEVICESETUP><MIDIOUTPUT name="Sondrevix Connect"/><MIDIOUTPUT name="Synth A"/></DEVICESETUP>)");
    for (const auto& key : stored.getAllKeys())
        settings (first).setValue (key, stored[key]);

    // Another program holds the saved port, so the first copy falls back to a free one.
    juce::DatagramSocket holder (false);
    ASSERT_TRUE (holder.bindToPort (9001));
    ASSERT_TRUE (first.start());
    const auto window = display.waitForWindow ("VADizudiv", 15000, first.getPid());
    ASSERT_NE (window, 0u) << first.getOutput();

    // Found the way the VR app finds it: a session query, answered by an advertisement
    // leaving the veth interface with the port in it.
    DatagramCapture capture;
    const uint8_t query[40] = { 12, 0, 0, 0, 0, 0, 'S', 'Q' };
    ASSERT_EQ (juce::DatagramSocket (false).write ("127.0.0.1", 14001, query, 40), 40);

    int port = -1;
    const auto nameBytes = (size_t) juce::SystemStats::getComputerName().getNumBytesAsUTF8();

    for (auto datagram = capture.next (14001, 3000); datagram && port < 0; datagram = capture.next (14001, 3000))
        if (datagram->interfaceName == "sx0" && datagram->outgoing && datagram->payload.size() == 122 + 2 * nameBytes)
            port = (int) juce::ByteOrder::bigEndianInt (datagram->payload.data() + 92 + 2 * nameBytes);

    ASSERT_GT (port, 0);
    EXPECT_NE (port, 9001);

    for (const auto* message : { "/sxc/midi/note/on iif 1 60 1.0", "/sxc/midi/cc iii 2 7 100", "/sxc/midi/note/off ii 1 60" })
    {
        juce::ChildProcess oscsend;
        ASSERT_TRUE (oscsend.start ("oscsend localhost " + juce::String (port) + " " + message) && oscsend.waitForProcessToFinish (5000));
    }

    const juce::StringArray expected { "Sondrevix Connect: 90 3C 7F", "Synth A: 90 3C 7F", "Sondrevix Connect: B1 07 64",
                                       "Synth A: B1 07 64", "Sondrevix Connect: 80 3C 00", "Synth A: 80 3C 00" };
    juce::StringArray sent;   // the fake sequencer's log lines: "#"-free, tab-separated, port name third, bytes fifth

    for (int i = 0; i < 250 && sent.size() < expected.size(); ++i, juce::Thread::sleep (20))
    {
        sent.clear();

        for (const auto& line : juce::StringArray::fromLines (midiLog.loadFileAsString()))
            if (const auto fields = juce::StringArray::fromTokens (line, "\t", {}); fields.size() == 5 && fields[0] != "#")
                sent.add (fields[2] + ": " + fields[4]);
    }

    EXPECT_EQ (sent, expected);

    // For the eye: the log with the messages, and a second copy on a dark desktop;
    // left of the content is the window's background.
    const auto screenshot = [&] (WindowId shown, const char* name, juce::Colour background)
    {
        EXPECT_TRUE (display.screenshotOnceShowing (shown, juce::File (SX_BINARY_DIR "/screenshots/e2e").getChildFile (name), { 5, 300 }, background)) << name;
    };

    // The log catches up with lines that keep coming at most every 50 ms: let its last update land.
    juce::Thread::sleep (200);
    screenshot (window, "running-light.png", juce::Colour (0xFFEFEFEF));

    // A second copy asking for the port the first one holds falls back to another.
    settings (second).setValue ("portNumber", port);
    ASSERT_TRUE (display.setDarkMode (true));
    ASSERT_TRUE (second.start());
    const auto secondWindow = display.waitForWindow ("VADizudiv", 15000, second.getPid());
    ASSERT_NE (secondWindow, 0u) << second.getOutput();
    screenshot (secondWindow, "second-copy-dark.png", juce::Colour (0xFF373337));
    EXPECT_EQ (second.closeAndWaitForExit (secondWindow), 0) << second.getOutput();
    EXPECT_NE (settings (second).getIntValue ("portNumber", port), port);

    EXPECT_EQ (first.closeAndWaitForExit (window), 0) << first.getOutput();
    stored.set ("portNumber", juce::String (port));
    EXPECT_EQ (settings (first).getAllProperties(), stored) << settings (first).getAllProperties().getDescription();
    home.deleteRecursively();
}
