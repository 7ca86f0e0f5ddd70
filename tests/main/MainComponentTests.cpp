#include "app/Application.h"
#include "bridge/OSCVocabulary.h"
#include "platform/AppleScript.h"
#include "platform/Appearance.h"
#include "tests/bridge/OscBytes.h"
#include "tests/support/ImageDifferences.h"
#include "tests/support/InMemoryMidiPorts.h"
#include "tests/support/NetworkSimulation.h"
#include "tests/views/ConnectionSettingsViewTestAccess.h"
#include "ui/Fonts.h"
#include "ui/MainComponent.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <random>
#include <iostream>
#include <thread>

namespace juce
{
    bool dispatchNextMessageOnSystemQueue (bool returnIfNoPendingMessages);   // the Linux message loop's step
}

using namespace sx::test;

// The main component's parts, for the tests that drive and measure them.
struct MainComponentTestAccess
{
    explicit MainComponentTestAccess (MainComponent& m) : main (m) {}

    void timerCallback()    { main.timerCallback(); }
    void darkModeSettingChanged()   { main.darkModeSettingChanged(); }
    int getTimerInterval() const    { return main.getTimerInterval(); }

    MainComponent& main;
    OSCReceiverSocket& oscSocket { main.oscSocket };
    OSCDatagramReceiver& oscReceiver { main.oscReceiver };
    UEPseudoLANGameServer& discoveryServer { main.discoveryServer };
    juce::Label& statusLabel { main.statusLabel };
    juce::TextEditor& instructionsEditor { main.instructionsEditor };
    sx::ToggleButtonSwitch& hotspotSwitch { main.hotspotSwitch };
    sx::Button& configureButton { main.configureButton };
    OSCLogListBox& logListBox { main.logListBox };
    ConnectionSettingsView& connectionSettingsView { main.connectionSettingsView };
    const juce::Rectangle<int>& hotspotCaptionArea { main.hotspotCaptionArea };
    const int& connectedPort { main.connectedPort };
};

namespace
{
    int findFreePort()
    {
        juce::DatagramSocket probe (false);
        probe.bindToPort (0);
        return probe.getBoundPort();
    }

    // Another process (osc_bind_probe) holding a UDP port on every interface,
    // bound as the application binds ("app") or as juce::OSCReceiver does ("juce").
    struct PortHolder
    {
        explicit PortHolder (int port, const char* mode = "app")
        {
            char reply[5] = {};
            holding = process.start (juce::StringArray { SX_OSC_BIND_PROBE, mode, juce::String (port) }, juce::ChildProcess::wantStdOut)
                   && process.readProcessOutput (reply, 5) == 5 && juce::String (reply, 4) == "held";
        }

        ~PortHolder()    { process.kill(); process.waitForProcessToFinish (5000); }

        juce::ChildProcess process;
        bool holding = false;
    };

    // A computer with a scripted name and address list; broadcasts go nowhere but loopback.
    struct ScriptedNetwork : NetworkEnvironment
    {
        struct State
        {
            juce::CriticalSection lock;
            juce::Array<juce::IPAddress> addresses { juce::IPAddress ("127.0.0.1"), juce::IPAddress ("192.168.1.20") };
            std::atomic<int> listings { 0 };
        };

        explicit ScriptedNetwork (std::shared_ptr<State> s) : state (std::move (s)) {}

        juce::String getComputerName() override                 { return "Studio-Mac"; }
        juce::Array<IPv4Interface> getIPv4Interfaces() override
        {
            ++state->listings;
            const juce::ScopedLock sl (state->lock);
            juce::Array<IPv4Interface> interfaces;
            for (const auto& address : state->addresses)
                interfaces.add ({ address, juce::IPAddress::local() });
            return interfaces;
        }

        std::shared_ptr<State> state;
    };

    // A main component on in-memory MIDI (with one hardware output), a scripted network,
    // stand-in system tools and a settings file of its own, started with these values stored.
    struct MainRig
    {
        using Values = std::vector<std::pair<const char*, juce::String>>;

        explicit MainRig (const Values& stored = {})
        {
            useTools ("HomeNet");
            ports.addOutput ("Synth A");

            // Each value is written at once, so the component reads what the file gives back.
            for (const auto& [key, value] : stored)
                reopenSettings()->setValue (key, value);

            properties = reopenSettings();
            MainComponent::Environment environment;
            environment.midiPorts = &ports;
            environment.makeNetworkEnvironment = [s = network] { return std::make_unique<ScriptedNetwork> (s); };
            main = std::make_unique<MainComponent> (properties.get(), &commands, environment);
        }

        ~MainRig()    { main.reset(); properties.reset(); folder.deleteRecursively(); }

        // Destroys the component and reads back what reached the disk.
        std::unique_ptr<juce::PropertiesFile> quit()    { main.reset(); return reopenSettings(); }

        std::unique_ptr<juce::PropertiesFile> reopenSettings() const
        {
            return std::make_unique<juce::PropertiesFile> (folder.getChildFile ("settings.xml"), Application::getSettingsOptions());
        }

        /*  nmcli names the Wi-Fi network (no wireless tools work in the test's namespace).
            With a hotspot name, networksetup and PlistBuddy report an active hotspot; PlistBuddy
            is called by absolute path, so both are zsh functions in ZDOTDIR's .zshenv. */
        void useTools (const juce::String& wifiName, const juce::String& hotspotName = {})
        {
            const auto nmcli = folder.getChildFile ("bin/nmcli");
            nmcli.create();
            nmcli.replaceWithText ("#!/bin/sh\necho 'yes:" + wifiName + "'\n", false, false, "\n");
            nmcli.setExecutePermission (true);

            folder.getChildFile (".zshenv").replaceWithText (hotspotName.isEmpty() ? juce::String() :
                "function networksetup { [[ \"$*\" == '-getnetworkserviceenabled Sondrevix' ]] && echo Enabled }\n"
                "function /usr/libexec/PlistBuddy { case \"$2\" in\n"
                "  *NAT:Enabled) echo 1 ;; *Device) echo lo0 ;; *PrimaryUserReadable) echo Sondrevix ;; *SharingDevices) echo en0 ;;\n"
                "  *SSID) echo '" + hotspotName + "' ;; *) return 1 ;; esac }\n", false, false, "\n");

            ::setenv ("PATH", (nmcli.getParentDirectory().getFullPathName() + ":/usr/bin:/bin").toRawUTF8(), 1);
            ::setenv ("ZDOTDIR", folder.getFullPathName().toRawUTF8(), 1);
        }

        const juce::File folder { juce::File::createTempFile ("sx-main") };
        InMemoryMidiPortSystem ports;
        std::shared_ptr<ScriptedNetwork::State> network = std::make_shared<ScriptedNetwork::State>();
        std::unique_ptr<juce::PropertiesFile> properties;
        juce::ApplicationCommandManager commands;
        std::unique_ptr<MainComponent> main;
    };

    // The discovery thread's name is too long for the system to record, so threads are
    // counted; a stopped thread leaves the system's list a moment after it ends.
    int countThreads()    { return juce::File ("/proc/self/task").getNumberOfChildFiles (juce::File::findDirectories); }

    bool threadCountBecomes (int expected)
    {
        for (int i = 0; i < 200 && countThreads() != expected; ++i)
            juce::Thread::sleep (5);

        return countThreads() == expected;
    }
}

// A first start, a saved state, a damaged one: what each shows, and what quitting writes back.
TEST (MainComponentLife, StartRestoresTheSavedStateAndQuittingSavesIt)
{
    const juce::String port (findFreePort()), virtualOnly (R"(<DEVICESETUP><MIDIOUTPUT name="Sondrevix Connect"/></DEVICESETUP>)");
    const struct { MainRig::Values stored; juce::String shown; juce::StringArray saved; } cases[] = {
        { {}, "Sondrevix Connect; 9001; hidden", { virtualOnly, "9001", "0" } },
        { { { "midiDeviceSettings", "<?xml version=\"1.0\"?>\n<DEVICESETUP>\n  <MIDIOUTPUT name=\"Synth A\"/>\n</DEVICESETUP>" },
            { "portNumber", "00" + port }, { "connectionSettingsVisible", "1" } },
          "Sondrevix Connect, Synth A; " + port + "; shown",
          { R"(<DEVICESETUP><MIDIOUTPUT name="Sondrevix Connect"/><MIDIOUTPUT name="Synth A"/></DEVICESETUP>)", port, "1" } },
        { { { "midiDeviceSettings", R"(<DEVICESETUP><MIDIOUTPUT name="Synth A"/>)" }, { "portNumber", "90a1" }, { "connectionSettingsVisible", "yes" } },
          "Sondrevix Connect; 0; hidden", { virtualOnly, "0", "0" } },
    };

    for (const auto& c : cases)
    {
        MainRig rig (c.stored);
        const auto& settings = MainComponentTestAccess (*rig.main).connectionSettingsView;
        EXPECT_EQ (rig.main->getBounds(), juce::Rectangle<int> (0, 0, 700, 800));
        EXPECT_EQ (rig.ports.getOpenOutputNames().joinIntoString (", ") + "; " + settings.getPortText()
                     + (settings.isSettingsVisible() ? "; shown" : "; hidden"), c.shown);

        const auto saved = rig.quit();
        EXPECT_EQ (juce::StringArray (saved->getValue ("midiDeviceSettings"), saved->getValue ("portNumber"),
                                      saved->getValue ("connectionSettingsVisible")), c.saved);
    }
}

// The receiver thread logs malformed packets until it stops, which must come before the log goes.
TEST (MainComponentLife, MalformedPacketsDuringShutdownNeverReachTheDestroyedLog)
{
    for (int round = 0; round < 3; ++round)
    {
        MainRig rig;
        MainComponentTestAccess parts (*rig.main);
        std::atomic<bool> stop { false };
        std::thread sender ([&stop, port = parts.connectedPort] {
            juce::DatagramSocket socket (false);
            while (! stop)
                socket.write ("127.0.0.1", port, "not osc", 7);
        });

        for (int i = 0; i < 5000 && parts.logListBox.getNumRows() == 0; ++i)
            juce::Thread::sleep (1);

        EXPECT_GT (parts.logListBox.getNumRows(), 0);
        rig.quit();
        stop = true;
        sender.join();
    }
}

// One datagram used to crash the application, and a random flood within a second or two:
// each goes down the format-error path alone, the receiver keeps running, a note still plays.
TEST (MainComponentLife, HostileDatagramsAreFormatErrorsAndANoteStillPlaysAfterwards)
{
    namespace osc = sx::test::osc;
    MainRig rig;
    MainComponentTestAccess parts (*rig.main);
    auto& log = parts.logListBox;
    juce::DatagramSocket sender (false);
    const auto send = [&] (const osc::Bytes& d) { return sender.write ("127.0.0.1", parts.connectedPort, d.data(), (int) d.size()) == (int) d.size(); };
    const auto waitFor = [] (auto&& done) { for (int i = 0; i < 5000 && ! done(); ++i) juce::Thread::sleep (1); return done(); };

    for (const osc::Bytes& reproducer : { osc::Bytes { 0x2f, 0xaf, 0, 0, 0x2c, 0, 0, 0 }, osc::Bytes { 0x2f, 0x6e, 0xaf, 0 } })
    {
        const auto rows = log.getNumRows();
        ASSERT_TRUE (send (reproducer));
        ASSERT_TRUE (waitFor ([&] { return log.getNumRows() > rows; }));
        juce::Thread::sleep (20);
        EXPECT_EQ (log.getNumRows(), rows + 1);
        EXPECT_EQ (log.getLineForRow (rows), "- (" + juce::String ((int) reproducer.size()) + "bytes with invalid format)");
    }

    EXPECT_TRUE (rig.ports.getSentBlocks().empty());

    // Seeded: random bytes (mostly opening as a message or a bundle would) and mutations of
    // valid packets: bytes overwritten (0xAF and 0xFF among them), cut short or inserted.
    const std::vector<osc::Bytes> valid {
        osc::message ("/sxc/midi/note/on", { 1, 60, 1.0f }), osc::message ("/sxc/midi/cc", { 2, 7, 100 }),
        osc::bundle ({ osc::message ("/sxc/midi/note/off", { 1, 60 }), osc::bundle ({ osc::message ("/sxc/midi/cc", { 1, 1, 1 }) }) }),
        osc::Bytes { '/', 's', 0, 0, ',', 's', 'b', 0, 'a', 'b', 0, 0, 0, 0, 0, 2, 9, 9, 0, 0 } };
    std::mt19937 random (10);
    const auto deadline = juce::Time::getMillisecondCounter() + 10000;

    for (int i = 0; i < 4000 && juce::Time::getMillisecondCounter() < deadline; ++i)
    {
        osc::Bytes d;

        if (i % 2 == 0)
        {
            d.resize (4 + random() % 200);
            for (auto& b : d)
                b = (std::uint8_t) random();
            d[0] = "/#/x"[random() % 4];
        }
        else
        {
            d = valid[random() % valid.size()];

            for (int edits = 1 + (int) (random() % 4); --edits >= 0;)
            {
                const auto at = random() % d.size();
                const std::uint8_t values[] = { 0xaf, 0xff, 0, (std::uint8_t) random() };

                switch (random() % 3)
                {
                    case 0:  d[at] = values[random() % 4]; break;
                    case 1:  d.resize (std::max<size_t> (4, at)); break;
                    default: d.insert (d.begin() + (long) at, values[random() % 4]); break;
                }
            }
        }

        send (d);

        if (i % 50 == 0)
            juce::Thread::sleep (1);    // lets the receiver keep up rather than the kernel drop
    }

    const osc::Bytes lastNote { 0x9f, 127, 127 };
    const auto lastBlockIsTheNote = [&]
    {
        const auto blocks = rig.ports.getSentBlocks (virtualMidiPortName);
        return ! blocks.empty() && blocks.back().messages == std::vector<osc::Bytes> { lastNote };
    };

    ASSERT_TRUE (send (osc::message ("/sxc/midi/note/on", { 16, 127, 1.0f })));
    EXPECT_TRUE (waitFor (lastBlockIsTheNote));
    EXPECT_TRUE (parts.oscReceiver.isConnected());
    EXPECT_TRUE (log.getLineForRow (log.getNumRows() - 1).endsWith ("bytes with invalid format)"));
}

TEST (StartListening, FreeHeldAndOutOfRangePortsAndTheTimersRebinding)
{
    MainRig rig;
    auto& main = *rig.main;
    MainComponentTestAccess parts (main);
    int portCallbacks = 0;
    parts.connectionSettingsView.onPortChanged = [&] (int) { ++portCallbacks; };

    // The top of the range is bound like any other port (65536 is refused below).
    main.startListening (65535);
    EXPECT_EQ (parts.oscSocket.getBoundPort(), 65535);

    // A free port, twice: the second call rebinds it and leaves one discovery thread.
    const auto freePort = findFreePort();
    main.startListening (freePort);
    const auto threads = countThreads();
    main.startListening (freePort);
    EXPECT_TRUE (threadCountBecomes (threads));
    EXPECT_EQ (parts.discoveryServer.getAdvertisedPort(), freePort);

    // Held by another process: a free port instead, in the field and advertised.
    const auto heldPort = findFreePort();
    PortHolder holder (heldPort);
    ASSERT_TRUE (holder.holding);
    main.startListening (heldPort);
    const auto fallback = parts.connectedPort;
    EXPECT_NE (fallback, heldPort);
    EXPECT_EQ (parts.connectionSettingsView.getPortText(), juce::String (fallback));
    EXPECT_EQ (parts.discoveryServer.getAdvertisedPort(), fallback);

    // The timer lists the addresses every 5 seconds and rebinds (listing them again) once per
    // change of the list, to the port in the field rather than the held one.
    EXPECT_EQ (parts.getTimerInterval(), 5000);
    const auto listings = [&, before = rig.network->listings.load()] { return rig.network->listings.load() - before; };
    parts.timerCallback();
    EXPECT_EQ (listings(), 1);
    {
        const juce::ScopedLock sl (rig.network->lock);
        rig.network->addresses.set (1, juce::IPAddress ("10.0.0.5"));
    }
    parts.timerCallback();
    parts.timerCallback();
    EXPECT_EQ (listings(), 4);
    EXPECT_EQ (parts.connectedPort, fallback);

    // Out of range, including what atoi makes of an empty field: nothing bound, the field kept.
    for (const auto port : { 0, 65536, 70000, std::atoi ("") })
    {
        main.startListening (port);
        EXPECT_EQ (parts.oscSocket.getBoundPort(), -1);
        EXPECT_TRUE (parts.instructionsEditor.getText().startsWith ("Failed to listen on UDP port " + juce::String (port) + "."));
    }

    EXPECT_EQ (portCallbacks, 0) << "the program's own writes to the port field are silent";
    EXPECT_EQ (rig.quit()->getValue ("portNumber"), juce::String (fallback));
}

// Numbers beyond int used to wrap round to real ports (4294976297 to 9001, 4294967297 to 1).
// Typed or saved, every number above 65535 binds nothing, stays in the field and in the
// settings, and is the port that the failure names.
TEST (StartListening, PortNumbersAboveTheRangeBindNothingHoweverLong)
{
    for (const juce::String text : { "65536", "4294967297", "4294976297", "1234567890123456789012345" })
    {
        for (const auto typed : { true, false })
        {
            MainRig rig (typed ? MainRig::Values {} : MainRig::Values { { "portNumber", text } });
            MainComponentTestAccess parts (*rig.main);

            if (typed)
                ConnectionSettingsViewTestAccess (parts.connectionSettingsView).typeAndPressReturn (text);

            const auto how = (typed ? "typed " : "saved ") + text;
            EXPECT_EQ (parts.oscSocket.getBoundPort(), -1) << how;
            EXPECT_EQ (parts.statusLabel.getText(), "Listening Failed") << how;
            EXPECT_EQ (parts.connectionSettingsView.getPortText(), text) << how;
            EXPECT_TRUE (parts.instructionsEditor.getText().startsWith ("Failed to listen on UDP port " + text + ".")) << how;
            EXPECT_EQ (rig.quit()->getValue ("portNumber"), text) << how;
        }
    }
}

TEST (StartListening, DiscoverySocketHeldByAnotherProgramIsReportedAndRetried)
{
    auto holder = std::make_unique<PortHolder> (14001);
    ASSERT_TRUE (holder->holding);
    MainRig rig;
    auto& main = *rig.main;
    MainComponentTestAccess parts (main);

    EXPECT_TRUE (parts.instructionsEditor.getText().startsWith ("AUTOMATIC CONNECTION DISCOVERY FAILED\n"));
    EXPECT_EQ (parts.instructionsEditor.findColour (juce::TextEditor::backgroundColourId), juce::Colour (0x26DD004B));

    holder.reset();
    main.startListening (parts.connectedPort);
    EXPECT_TRUE (parts.discoveryServer.isBound());
    EXPECT_TRUE (parts.instructionsEditor.getText().startsWith ("1. Open Wi-Fi settings"));
}

TEST (Instructions, EachVariantWithItsBoldRunsAndTheFontRestored)
{
    // Sees every insertion with the font it is made in; text going into an empty editor starts afresh.
    struct Runs : juce::TextEditor::InputFilter
    {
        juce::String filterNewText (juce::TextEditor& editor, const juce::String& text) override
        {
            if (editor.getTotalNumChars() == 0)
                runs.clear();
            if (text.isNotEmpty())
                runs.push_back ({ text, editor.getFont() });
            return text;
        }

        std::vector<std::pair<juce::String, juce::Font>> runs;
    };

    const juce::String stepOne ("1. Open Wi-Fi settings on your VR headset and connect to "),
                       stepTwo ("\n2. Open Sondrevix VR, go to the Main Menu VADizudiv tab, click Find Connection, and select Studio-Mac");

    // Another program holds the discovery port until the second variant, which binds it.
    auto holder = std::make_unique<PortHolder> (14001);
    ASSERT_TRUE (holder->holding);
    MainRig rig;
    auto& main = *rig.main;
    MainComponentTestAccess parts (main);
    const auto regular = parts.instructionsEditor.getFont();
    ASSERT_EQ (regular.getTypefaceStyle(), getFaceStyle ("Regular"));

    const struct { const char* wifi; const char* hotspot; std::function<void()> action; juce::String text; juce::StringArray bold; } variants[] = {
        { "HomeNet", "", [&] { main.updateInstructions(); },
          "AUTOMATIC CONNECTION DISCOVERY FAILED\nYour computer is blocking UDP port 14001, so VADizudiv is invisible to "
          "the VR app. You can still connect using the Manual VR Connection Settings below or you can unblock the port "
          "to find this computer in the VR app menu.", { "AUTOMATIC CONNECTION DISCOVERY FAILED" } },
        { "HomeNet", "", [&] { holder.reset(); main.startListening (parts.connectedPort); },
          stepOne + "HomeNet" + stepTwo, { "HomeNet", "Studio-Mac" } },
        { "", "Sondrevix Hotspot", [&] { main.updateInstructions(); }, stepOne + "Sondrevix Hotspot" + stepTwo, { "Sondrevix Hotspot", "Studio-Mac" } },
        { "", "", [&] { main.updateInstructions(); }, stepOne + "the network this computer is connected to." + stepTwo, { "Studio-Mac" } },
        { "HomeNet", "", [&] { main.startListening (70000); },
          "Failed to listen on UDP port 70000. Make sure your Wi-Fi is on or router connected via ethernet. Next, try changing "
          "the UDP port number in the Manual VR Connection Settings below to a port available on your computer (1 to 65535). "
          "If this message still shows, you may need to modify firewall settings on your computer to open a UDP port and/or "
          "restart your computer.", {} },
    };

    for (const auto& v : variants)
    {
        rig.useTools (v.wifi, v.hotspot);
        Runs recorder;
        parts.instructionsEditor.setInputFilter (&recorder, false);
        v.action();
        parts.instructionsEditor.setInputFilter (nullptr, false);
        EXPECT_EQ (parts.instructionsEditor.getText(), v.text);

        juce::StringArray bold;

        for (auto [text, font] : recorder.runs)
        {
            if (font.getTypefaceStyle() == getFaceStyle ("Bold"))
                bold.add (text);

            font.setTypefaceStyle (regular.getTypefaceStyle());
            EXPECT_EQ (font, regular) << text;
        }

        EXPECT_EQ (bold, v.bold);
        EXPECT_EQ (parts.instructionsEditor.getFont(), regular) << "the font is restored";
    }
}

TEST (Layout, StandardWindowSettingsShownTooShortAndTheHeaderColours)
{
    MainRig rig;
    auto& main = *rig.main;
    MainComponentTestAccess parts (main);
    auto& settings = parts.connectionSettingsView;
    const auto header = [&]
    {
        const auto image = main.createComponentSnapshot (main.getLocalBounds(), false, 1.0f);
        return std::pair (image.getPixelAt (1, 2), image.getPixelAt (698, 35));
    };

    EXPECT_EQ (parts.statusLabel.getBounds(), juce::Rectangle<int> (0, 0, 700, 38));
    EXPECT_EQ (parts.hotspotCaptionArea, juce::Rectangle<int> (10, 54, 680, 25));
    EXPECT_EQ (parts.hotspotSwitch.getBounds().withX (0), juce::Rectangle<int> (0, 53, 48, 26));
    EXPECT_EQ (parts.configureButton.getBounds().withX (0).withWidth (0), juce::Rectangle<int> (0, 52, 0, 29));
    EXPECT_EQ (parts.instructionsEditor.getY(), 95);
    EXPECT_EQ (settings.getBounds(), juce::Rectangle<int> (10, 763, 680, 27));
    EXPECT_NE (header().first, header().second) << "the brand gradient while listening";

    const auto logHeight = parts.logListBox.getHeight();
    settings.setSettingsVisible (true);
    EXPECT_EQ (settings.getBounds(), juce::Rectangle<int> (10, 655, 680, 135));
    EXPECT_EQ (parts.logListBox.getHeight(), logHeight - 108);

    // Too short: pieces shrink rather than overlap or leave the window.
    main.setSize (700, 120);

    for (auto* child : main.getChildren())
        EXPECT_LE (child->getBottom(), 120) << child->getName();

    main.startListening (0);
    const juce::Colour warning (0xFFDD004B);
    EXPECT_EQ (header(), std::pair (warning, warning)) << "the warning colour over the whole header when not listening";
}

// A change of appearance while running leaves the window exactly as a start in the new appearance
// would: dark to light and back, light to dark and back, listening and not, with a logged message,
// the settings shown and the port field being edited.
TEST (AppearanceChange, TheWindowPaintsAsIfStartedInTheNewAppearance)
{
    const juce::String port (findFreePort());

    // The images of one start: as started, switched to the other appearance, and switched back.
    const auto startAndSwitch = [&] (bool dark, bool listening)
    {
        sx::platform::setDarkModeOverride (dark);
        MainRig rig ({ { "portNumber", port }, { "connectionSettingsVisible", "1" } });
        MainComponentTestAccess parts (*rig.main);
        if (! listening)
            rig.main->startListening (0);
        parts.logListBox.addOSCMessage (juce::OSCMessage ("/sxc/midi/note/on", 1, 60, 1.0f), 0);
        for (int i = 0; i < 1000 && juce::dispatchNextMessageOnSystemQueue (true); ++i) {}

        // After the messages: without a window the field never holds the keyboard focus, and
        // a posted message would end the edit.
        ConnectionSettingsViewTestAccess (parts.connectionSettingsView).type ("9100");

        std::vector<juce::Image> images;
        for (const auto appearance : { dark, ! dark, dark })
        {
            sx::platform::setDarkModeOverride (appearance);
            if (! images.empty())
                parts.darkModeSettingChanged();
            images.push_back (rig.main->createComponentSnapshot (rig.main->getLocalBounds(), true, 1.0f));
        }
        sx::platform::setDarkModeOverride (std::nullopt);
        return images;
    };

    for (const auto listening : { true, false })
    {
        SCOPED_TRACE (listening ? "listening" : "not listening");
        const auto dark = startAndSwitch (true, listening), light = startAndSwitch (false, listening);
        EXPECT_EQ (describeDifferences (dark[1], light[0]), juce::String()) << "dark to light";
        EXPECT_EQ (describeDifferences (dark[2], dark[0]), juce::String()) << "dark to light to dark";
        EXPECT_EQ (describeDifferences (light[1], dark[0]), juce::String()) << "light to dark";
        EXPECT_EQ (describeDifferences (light[2], light[0]), juce::String()) << "light to dark to light";
    }
}

//==============================================================================
TEST (OSCReceiverSocket, PortHeldByAnotherProcessFailsSoThatTheCallerFallsBack)
{
    // Another copy of the application, then a plain framework receiver (address reuse on).
    for (const auto* mode : { "app", "juce" })
    {
        const auto port = findFreePort();
        PortHolder other (port, mode);
        ASSERT_TRUE (other.holding);

        OSCReceiverSocket socket;
        OSCDatagramReceiver receiver;
        EXPECT_FALSE (socket.connect (receiver, port)) << mode;
        EXPECT_TRUE (socket.connect (receiver, 0)) << mode;
        socket.disconnect (receiver);
    }
}

TEST (OSCReceiverSocket, ReportsTheReceiveBufferTheSystemGranted)
{
    OSCReceiverSocket socket;
    OSCDatagramReceiver receiver;
    ASSERT_TRUE (socket.connect (receiver, 0));

    // Linux caps the request at rmem_max and reports it doubled.
    int rmemMax = 0;
    std::ifstream ("/proc/sys/net/core/rmem_max") >> rmemMax;
    EXPECT_EQ (socket.getReceiveBufferSize(), 2 * std::min (OSCReceiverSocket::defaultReceiveBufferBytes, rmemMax));
    socket.disconnect (receiver);
}

TEST (OSCMessageLoopRelay, DeliversInOrderOnTheMessageThreadKeepingTheNewestWhenBehind)
{
    struct Recorder : juce::OSCReceiver::Listener<juce::OSCReceiver::MessageLoopCallback>
    {
        void oscMessageReceived (const juce::OSCMessage& message) override
        {
            offMessageThread = offMessageThread || ! juce::MessageManager::existsAndIsCurrentThread();
            addresses.add (message.getAddressPattern().toString());
        }

        void oscBundleReceived (const juce::OSCBundle&) override   { addresses.add ("bundle"); }

        juce::StringArray addresses;
        bool offMessageThread = false;
    } recorder;

    OSCMessageLoopRelay relay (recorder, 200);
    juce::StringArray expected;

    // This thread is the message thread: nothing arrives until it runs the loop, until
    // that many have arrived or the time is up.
    const auto runLoop = [&] (int count, juce::uint32 timeoutMs)
    {
        for (const auto deadline = juce::Time::getMillisecondCounter() + timeoutMs;
             recorder.addresses.size() < count && juce::Time::getMillisecondCounter() < deadline;)
            if (! juce::dispatchNextMessageOnSystemQueue (true))
                juce::Thread::sleep (1);
    };

    // From another thread, as the receiver thread sends; one bundle among the messages.
    const auto relayFromAnotherThread = [&] (int first, int last)
    {
        std::thread ([&] {
            for (int i = first; i < last; ++i)
            {
                relay.oscMessageReceived (juce::OSCMessage ("/m/" + juce::String (i)));
                expected.add ("/m/" + juce::String (i));

                if (i == 950)
                {
                    relay.oscBundleReceived (juce::OSCBundle());
                    expected.add ("bundle");
                }
            }
        }).join();
    };

    relayFromAnotherThread (0, 1000);
    expected.removeRange (0, expected.size() - 200);
    runLoop (200, 3000);
    EXPECT_EQ (recorder.addresses, expected);
    EXPECT_EQ (relay.getNumDropped(), 801);

    // Once the batch timer has found the queue empty, what comes next must still arrive.
    runLoop (201, 50);
    relayFromAnotherThread (1000, 1150);
    runLoop (350, 3000);
    EXPECT_EQ (recorder.addresses, expected);
    EXPECT_FALSE (recorder.offMessageThread);
}

//==============================================================================
// The hotspot's handlers block the message thread for as long as a script waits (minutes, at
// worst); OSC must still become MIDI at once meanwhile, and the log must catch up afterwards.
TEST (HotspotBlocking, OscBecomesMidiWhileAScriptBlocksTheMessageThread)
{
    MainRig rig;
    MainComponentTestAccess parts (*rig.main);
    NetworkSimulation sim (juce::StringArray { service ("Ethernet"), ours ("Sondrevix"), ours ("SondrevixLoopback") });   // a script will run

    std::atomic<double> blockStart { 0 }, blockEnd { 0 };
    sx::platform::setAppleScriptEngine ([&] (const juce::String&) {
        blockStart = juce::Time::getMillisecondCounterHiRes();
        juce::Thread::sleep (3000);
        blockEnd = juce::Time::getMillisecondCounterHiRes();
        return sx::platform::AppleScriptOutcome { true, 0, {} };
    });

    // Each Control Change carries its sequence number in its channel and controller.
    constexpr int maxMessages = 16 * 128;
    std::vector<double> sentAt (maxMessages, 0);
    std::vector<std::atomic<double>> arrivedAt (maxMessages);
    rig.ports.onBlockSent = [&] (const juce::String& port, const juce::MidiBuffer& buffer)
    {
        for (const auto meta : buffer)
            if (port == "Sondrevix Connect")
                arrivedAt[(size_t) (((meta.data[0] & 0x0f) << 7) | meta.data[1])] = juce::Time::getMillisecondCounterHiRes();
    };

    std::atomic<bool> stop { false };
    std::atomic<int> numSent { 0 };
    std::thread sender ([&, port = parts.connectedPort]
    {
        juce::DatagramSocket socket (false);

        for (int i = 0; i < maxMessages && ! stop; ++i, juce::Thread::sleep (5))
        {
            const auto datagram = sx::test::osc::message ("/sxc/midi/cc", { 1 + i / 128, i % 128, 64 });
            sentAt[(size_t) i] = juce::Time::getMillisecondCounterHiRes();
            socket.write ("127.0.0.1", port, datagram.data(), (int) datagram.size());
            numSent = i + 1;
        }
    });

    const auto runMessageLoop = [] (int milliseconds, std::function<bool()> done)
    {
        for (const auto end = juce::Time::getMillisecondCounter() + (juce::uint32) milliseconds; ! done() && juce::Time::getMillisecondCounter() < end;)
            if (! juce::dispatchNextMessageOnSystemQueue (true))
                juce::Thread::sleep (1);
    };

    runMessageLoop (1000, [] { return false; });

    // Turned on as a click would: the handler runs the network tools, then the script, on this thread.
    parts.hotspotSwitch.setToggleState (true, juce::sendNotificationSync);
    stop = true;
    sender.join();
    sx::platform::setAppleScriptEngine ({});

    // The newest message's channel and controller lines end the log once it has caught up.
    const auto count = numSent.load(), last = count - 1;
    const auto newest = "- int32       " + juce::String (1 + last / 128) + ", - int32       " + juce::String (last % 128);
    const auto logTail = [&] { const auto rows = parts.logListBox.getNumRows();
                               return parts.logListBox.getLineForRow (rows - 3).trim() + ", " + parts.logListBox.getLineForRow (rows - 2).trim(); };
    runMessageLoop (5000, [&] { return logTail() == newest; });
    EXPECT_EQ (logTail(), newest);

    std::vector<double> normal, blocked;

    for (int i = 0; i < count; ++i)
    {
        ASSERT_GT (arrivedAt[(size_t) i].load(), 0.0) << "message " << i << " of " << count << " lost";
        (sentAt[(size_t) i] >= blockStart && sentAt[(size_t) i] <= blockEnd ? blocked : normal).push_back (arrivedAt[(size_t) i] - sentAt[(size_t) i]);
    }

    const auto median = [] (std::vector<double> v) { std::sort (v.begin(), v.end()); return v[v.size() / 2]; };
    const auto worst = [] (const std::vector<double>& v) { return *std::max_element (v.begin(), v.end()); };
    ASSERT_GT (blocked.size(), 400u);
    std::cout << "OSC to MIDI latency, ms: normal median " << median (normal) << " max " << worst (normal) << " (" << normal.size()
              << " messages); message thread blocked: median " << median (blocked) << " max " << worst (blocked) << " (" << blocked.size() << ")\n";
    EXPECT_LT (median (blocked), median (normal) + 2.0);
    EXPECT_LT (worst (blocked), 250.0) << "nothing waits for the blocked message thread";
}
