/*  The built application as a musician runs it: under Xvfb with a home folder of its
    own, on the fake ALSA sequencer, inside a network namespace of the test's making
    (loopback plus one veth interface), so that nothing it sends or answers can reach
    the host's network.
*/
#include "tests/support/AppHarness.h"
#include "tests/support/NetNamespace.h"

#include <juce_data_structures/juce_data_structures.h>

#include <gtest/gtest.h>

#include <unistd.h>

using namespace sx::test;

namespace
{
    const juce::File screenshots (SX_BINARY_DIR "/screenshots/e2e");

    juce::File makeFolder (const juce::String& prefix)
    {
        auto folder = juce::File::getSpecialLocation (juce::File::tempDirectory)
                          .getNonexistentChildFile (prefix + juce::String (::getpid()), {}, false);
        folder.createDirectory();
        return folder;
    }

    bool waitUntil (std::function<bool()> condition, int timeoutMs)
    {
        const auto deadline = juce::Time::getMillisecondCounter() + (juce::uint32) timeoutMs;

        while (! condition())
        {
            if (juce::Time::getMillisecondCounter() > deadline)
                return false;

            juce::Thread::sleep (20);
        }

        return true;
    }

    /** Everything the application runs on: a namespace, the MIDI sequencer stand-in
        with one hardware output, and a Wi-Fi tool that names the network. */
    struct Stage
    {
        Stage()
        {
            if (! ns.isValid() || ! ns.bringUpLoopback() || ! ns.addVethPair ("sxe0", "sxe0-peer", "10.77.0.1/24"))
                error = "no network namespace with a veth pair: " + ns.getError();

            if (juce::String (SX_FAKESEQ_LIB).isEmpty())
                error = "the fake ALSA sequencer was not built";

            const auto bin = folder.getChildFile ("bin");
            bin.createDirectory();
            writeTool (bin.getChildFile ("nmcli"), "echo 'yes:HomeNet'");
            writeTool (bin.getChildFile ("iwgetid"), "exit 1");
            folder.getChildFile (".zshenv").create();
        }

        ~Stage()    { folder.deleteRecursively(); }

        AppProcess::Options appOptions (const juce::File& home) const
        {
            AppProcess::Options options;
            options.home = home;
            options.networkNamespace = &ns;
            options.environment.set ("LD_PRELOAD", SX_FAKESEQ_LIB);
            options.environment.set ("FAKESEQ_PORTS", "Synth A:out");
            options.environment.set ("FAKESEQ_LOG", midiLog.getFullPathName());
            options.environment.set ("PATH", folder.getChildFile ("bin").getFullPathName() + ":/usr/bin:/bin");
            options.environment.set ("ZDOTDIR", folder.getFullPathName());
            return options;
        }

        /** Runs a command inside the namespace; true when it exits with 0. */
        bool runInside (const juce::StringArray& command)
        {
            juce::ChildProcess process;
            {
                const NetNamespace::Scope inside (ns);

                if (! inside.isActive() || ! process.start (command))
                    return false;
            }
            return process.waitForProcessToFinish (5000) && process.getExitCode() == 0;
        }

        /** Every MIDI message the application sent, as "port name: HEX". */
        juce::StringArray sentMidi() const
        {
            juce::StringArray sent;

            for (const auto& line : juce::StringArray::fromLines (midiLog.loadFileAsString()))
            {
                const auto fields = juce::StringArray::fromTokens (line, "\t", {});

                if (fields.size() == 5 && fields[0] != "#")
                    sent.add (fields[2] + ": " + fields[4]);
            }

            return sent;
        }

        static void writeTool (const juce::File& file, const juce::String& body)
        {
            file.replaceWithText ("#!/bin/sh\n" + body + "\n", false, false, "\n");
            file.setExecutePermission (true);
        }

        NetNamespace ns;
        juce::String error;
        const juce::File folder { makeFolder ("sx-e2e-") };
        const juce::File midiLog { folder.getChildFile ("midi.log") };
    };

    /** The main window of one running copy of the application (0 when none shows up). */
    WindowId windowOf (const VirtualDisplay& display, const AppProcess& app)
    {
        const auto found = display.runTool ({ "xdotool", "search", "--sync", "--all", "--onlyvisible", "--pid", juce::String (app.getPid()),
                                              "--name", "^VADizudiv$" }, 15000);
        return found.has_value() ? (WindowId) found->trim().getLargeIntValue() : 0;
    }

    /** Writes the settings file the application finds at start-up. */
    void writeSettings (const juce::File& home, std::initializer_list<std::pair<juce::String, juce::String>> values)
    {
        juce::XmlElement properties ("PROPERTIES");

        for (const auto& [key, text] : values)
        {
            auto* value = properties.createNewChildElement ("VALUE");
            value->setAttribute ("name", key);
            value->setAttribute ("val", text);
        }

        const auto file = home.getChildFile (".config/Sondrevix/VADizudiv.settings");
        file.getParentDirectory().createDirectory();
        properties.writeTo (file);
    }

    /** The settings as the application reads them back (valid XML values are stored as elements). */
    juce::StringPairArray readSettings (const AppProcess& app)
    {
        juce::PropertiesFile::Options options;
        options.storageFormat = juce::PropertiesFile::storeAsXML;
        return juce::PropertiesFile (app.getSettingsFile(), options).getAllProperties();
    }

    /** Sends a session query to the responder and returns the port that the
        advertisement leaving the veth interface carries; -1 when none came. */
    int askDiscoveryForPort (NetNamespace& ns)
    {
        DatagramCapture capture (ns);
        std::vector<uint8_t> query (40, 0);
        query[0] = 12;
        query[6] = 'S';
        query[7] = 'Q';

        {
            const NetNamespace::Scope inside (ns);
            juce::DatagramSocket sender (false);

            if (sender.write ("127.0.0.1", 14001, query.data(), (int) query.size()) != (int) query.size())
                return -1;
        }

        const auto nameBytes = (size_t) juce::SystemStats::getComputerName().getNumBytesAsUTF8();

        while (auto datagram = capture.next (14001, 3000))
        {
            const auto& bytes = datagram->payload;

            if (datagram->interfaceName == "sxe0" && datagram->outgoing && bytes.size() == 122 + 2 * nameBytes)
            {
                const auto* port = bytes.data() + 92 + 2 * nameBytes;
                return (int) juce::ByteOrder::bigEndianInt (port);
            }
        }

        return -1;
    }
}

class EndToEnd : public testing::TestWithParam<bool> {};

// One run carries a note from OSC to MIDI, through the port the application had to
// fall back to, found the way the VR app finds it: through discovery.
TEST_P (EndToEnd, OscBecomesMidiOnTheAdvertisedFallbackPortAndQuittingSavesTheSettings)
{
    const auto dark = GetParam();
    Stage stage;

    if (stage.error.isNotEmpty())
        GTEST_SKIP() << stage.error;

    VirtualDisplay::Options screen;
    screen.darkMode = dark;
    VirtualDisplay display (screen);
    ASSERT_TRUE (display.isRunning());

    const auto home = makeFolder ("sx-e2e-home-");
    writeSettings (home, { { "windowState", "440 40 400 940" },
                           { "portNumber", "9001" },
                           { "connectionSettingsVisible", dark ? "1" : "0" },
                           { "midiDeviceSettings", R"(<DEVICESETUP><MIDIOUTPUT name="Sondrevix Connect"/><MIDIOUTPUT name="Synth A"/></DEVICESETUP>)" } });

    // Another program holds the saved port inside the namespace.
    juce::ChildProcess holder;
    {
        const NetNamespace::Scope inside (stage.ns);
        ASSERT_TRUE (holder.start (juce::StringArray { "/usr/bin/python3", "-c",
            "import socket,time\ns=socket.socket(socket.AF_INET,socket.SOCK_DGRAM)\ns.bind(('0.0.0.0',9001))\nprint('held',flush=True)\ntime.sleep(60)\n" }));
    }
    char held[5] = {};
    ASSERT_EQ (holder.readProcessOutput (held, 5), 5);

    AppProcess app (display, stage.appOptions (home));
    ASSERT_TRUE (app.start());
    const auto window = windowOf (display, app);
    ASSERT_NE (window, 0u) << app.getOutput();

    const auto port = askDiscoveryForPort (stage.ns);
    ASSERT_GT (port, 0);
    EXPECT_NE (port, 9001);

    const auto send = [&] (juce::StringArray arguments)
    {
        arguments.insert (0, "oscsend");
        arguments.insert (1, "localhost");
        arguments.insert (2, juce::String (port));
        return stage.runInside (arguments);
    };

    ASSERT_TRUE (send ({ "/sxc/midi/note/on", "iif", "1", "60", "1.0" }));
    ASSERT_TRUE (send ({ "/sxc/midi/cc", "iii", "2", "7", "100" }));
    ASSERT_TRUE (send ({ "/sxc/midi/note/off", "ii", "1", "60" }));

    const juce::StringArray expected { "Sondrevix Connect: 90 3C 7F", "Synth A: 90 3C 7F",
                                       "Sondrevix Connect: B1 07 64", "Synth A: B1 07 64",
                                       "Sondrevix Connect: 80 3C 00", "Synth A: 80 3C 00" };
    EXPECT_TRUE (waitUntil ([&] { return stage.sentMidi().size() >= expected.size(); }, 5000));
    EXPECT_EQ (stage.sentMidi(), expected);

    // Let the log repaint before the picture is taken.
    juce::Thread::sleep (300);
    EXPECT_TRUE (display.screenshot (window, screenshots.getChildFile (dark ? "running-dark.png" : "running-light.png")));

    ASSERT_TRUE (display.requestClose (window));
    EXPECT_EQ (app.waitForExit (15000), 0) << app.getOutput();
    holder.kill();

    const auto saved = readSettings (app);
    EXPECT_EQ (saved["portNumber"], juce::String (port));
    EXPECT_EQ (saved["midiDeviceSettings"], R"(<DEVICESETUP><MIDIOUTPUT name="Sondrevix Connect"/><MIDIOUTPUT name="Synth A"/></DEVICESETUP>)");
    EXPECT_EQ (saved["connectionSettingsVisible"], dark ? "1" : "0");
    EXPECT_EQ (saved["windowState"], "440 40 400 940");
    home.deleteRecursively();
}

INSTANTIATE_TEST_SUITE_P (Appearance, EndToEnd, testing::Values (false, true),
                          [] (const auto& info) { return info.param ? "Dark" : "Light"; });

TEST (EndToEndTwoCopies, SecondCopyFallsBackToAnotherPort)
{
    Stage stage;

    if (stage.error.isNotEmpty())
        GTEST_SKIP() << stage.error;

    VirtualDisplay display;
    ASSERT_TRUE (display.isRunning());

    AppProcess first (display, stage.appOptions ({}));
    ASSERT_TRUE (first.start());
    const auto firstWindow = windowOf (display, first);
    ASSERT_NE (firstWindow, 0u) << first.getOutput();

    AppProcess second (display, stage.appOptions ({}));
    ASSERT_TRUE (second.start());
    const auto secondWindow = windowOf (display, second);
    ASSERT_NE (secondWindow, 0u) << second.getOutput();
    EXPECT_TRUE (display.screenshot (secondWindow, screenshots.getChildFile ("second-copy.png")));

    ASSERT_TRUE (display.requestClose (secondWindow));
    EXPECT_EQ (second.waitForExit (15000), 0) << second.getOutput();
    ASSERT_TRUE (display.requestClose (firstWindow));
    EXPECT_EQ (first.waitForExit (15000), 0) << first.getOutput();

    EXPECT_EQ (readSettings (first)["portNumber"], "9001");
    const auto secondPort = readSettings (second)["portNumber"].getIntValue();
    EXPECT_GT (secondPort, 0);
    EXPECT_NE (secondPort, 9001);
}
