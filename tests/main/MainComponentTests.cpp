#include "app/Application.h"
#include "tests/main/PortHolder.h"
#include "tests/support/InMemoryMidiPorts.h"
#include "ui/MainComponent.h"

#include <gtest/gtest.h>

#include <thread>

using namespace sx::test;

namespace
{
    /** A computer with a scripted name and address list; broadcasts go nowhere but loopback. */
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
        juce::Array<juce::IPAddress> getIPv4Addresses() override { ++state->listings; const juce::ScopedLock sl (state->lock); return state->addresses; }
        juce::IPAddress getInterfaceBroadcastAddress (const juce::IPAddress&) override { return juce::IPAddress::local(); }

        std::shared_ptr<State> state;
    };

    /** A main component on in-memory MIDI, a scripted network, stand-in system tools
        and a settings file of its own. */
    struct MainRig
    {
        explicit MainRig (const juce::StringPairArray& stored = {})
        {
            folder.createDirectory();
            useTools ("HomeNet");
            {
                auto file = reopenSettings();   // written when it goes: the component reads the values from disk
                for (const auto& key : stored.getAllKeys())
                    file->setValue (key, stored[key]);
            }
            properties = reopenSettings();
        }

        ~MainRig()    { main.reset(); properties.reset(); folder.deleteRecursively(); }

        MainComponent& start()
        {
            MainComponent::Environment environment;
            environment.midiPorts = &ports;
            environment.makeNetworkEnvironment = [s = network] { return std::make_unique<ScriptedNetwork> (s); };
            main = std::make_unique<MainComponent> (properties.get(), &commands, environment);
            return *main;
        }

        /** Destroys the component and reads back what reached the disk. */
        std::unique_ptr<juce::PropertiesFile> quit()    { main.reset(); return reopenSettings(); }

        std::unique_ptr<juce::PropertiesFile> reopenSettings() const
        {
            return std::make_unique<juce::PropertiesFile> (folder.getChildFile ("settings.xml"), Application::getSettingsOptions());
        }

        void setAddresses (std::initializer_list<const char*> list)
        {
            const juce::ScopedLock sl (network->lock);
            network->addresses.clearQuick();
            for (auto* text : list)
                network->addresses.add (juce::IPAddress (text));
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

    void expectRedLook (MainComponent& main)
    {
        EXPECT_EQ (&main.instructionsEditor.getLookAndFeel(), &main.lookAndFeel);
        EXPECT_EQ (main.instructionsEditor.findColour (juce::TextEditor::backgroundColourId), juce::Colour (0x26DD004B));
        EXPECT_EQ (main.instructionsEditor.findColour (juce::TextEditor::outlineColourId), juce::Colour (0xFFDD004B));
    }
}

// A first start, a saved state, a damaged one: each restored (the port text sanitised)
// and written back at quit.
TEST (MainComponentLife, StartRestoresTheSavedStateAndQuittingSavesIt)
{
    const juce::String freePort (findFreePort());
    const juce::String virtualOnly (R"(<DEVICESETUP><MIDIOUTPUT name="Sondrevix Connect"/></DEVICESETUP>)");
    const struct { juce::String midi, port, visible; juce::StringArray open; juce::String savedMidi, portText; bool shown; } cases[] = {
        { {}, {}, {}, { "Sondrevix Connect" }, virtualOnly, "9001", false },
        { "<?xml version=\"1.0\"?>\n<DEVICESETUP>\n  <MIDIOUTPUT name=\"Synth A\"/>\n</DEVICESETUP>", "00" + freePort, "1",
          { "Sondrevix Connect", "Synth A" },
          R"(<DEVICESETUP><MIDIOUTPUT name="Sondrevix Connect"/><MIDIOUTPUT name="Synth A"/></DEVICESETUP>)", freePort, true },
        { R"(<DEVICESETUP><MIDIOUTPUT name="Synth A"/>)", "90a1", "yes", { "Sondrevix Connect" }, virtualOnly, "0", false },
    };

    for (const auto& c : cases)
    {
        juce::StringPairArray stored;
        for (const auto& [key, value] : { std::pair ("midiDeviceSettings", c.midi), { "portNumber", c.port }, { "connectionSettingsVisible", c.visible } })
            if (value.isNotEmpty())
                stored.set (key, value);

        MainRig rig (stored);
        rig.ports.addOutput ("Synth A");
        auto& main = rig.start();

        EXPECT_EQ (main.getBounds(), juce::Rectangle<int> (0, 0, 700, 800));
        EXPECT_EQ (rig.ports.getOpenOutputNames(), c.open);
        EXPECT_EQ (main.connectionSettingsView.portLabel.getText(), c.portText);
        EXPECT_EQ (main.connectionSettingsView.showButton.getToggleState(), c.shown);
        EXPECT_EQ (main.connectionSettingsView.portLabel.isVisible(), c.shown);
        EXPECT_EQ (main.connectionSettingsView.getHeight(), c.shown ? 135 : 27) << "laid out for the restored visibility";

        const auto saved = rig.quit();
        EXPECT_EQ (saved->getValue ("midiDeviceSettings"), c.savedMidi);
        EXPECT_EQ (saved->getValue ("portNumber"), c.portText);
        EXPECT_EQ (saved->getValue ("connectionSettingsVisible"), c.shown ? "1" : "0");
    }
}

TEST (MainComponentLife, MalformedPacketsDuringRebindingAndShutdownAreLoggedSafely)
{
    for (int round = 0; round < 3; ++round)
    {
        MainRig rig;
        auto& main = rig.start();
        const auto port = main.connectedPort;
        std::atomic<bool> stop { false };
        std::thread sender ([&] {
            juce::DatagramSocket socket (false);
            while (! stop)
                socket.write ("127.0.0.1", port, "not osc", 7);
        });

        // Rebinding under traffic: each bind needs the previous socket closed first...
        for (int i = 0; i < 2; ++i)
        {
            main.startListening (port);
            EXPECT_EQ (main.connectedPort, port);
        }

        // ...and the receiver keeps logging from the new one, until the log goes while they still come.
        main.logListBox.clear();

        for (int i = 0; i < 5000 && main.logListBox.getNumRows() == 0; ++i)
            juce::Thread::sleep (1);

        EXPECT_GT (main.logListBox.getNumRows(), 0);
        rig.quit();
        stop = true;
        sender.join();
    }
}

TEST (StartListening, FreeHeldAndOutOfRangePortsAndTheTimersRebinding)
{
    MainRig rig;
    auto& main = rig.start();
    int portCallbacks = 0;
    main.connectionSettingsView.onPortChanged = [&] (int) { ++portCallbacks; };

    // A free port, twice: the second call rebinds it and leaves one discovery thread.
    const auto freePort = findFreePort();
    main.startListening (freePort);
    const auto threadsWhileListening = countThreads();
    main.startListening (freePort);
    EXPECT_TRUE (threadCountBecomes (threadsWhileListening));
    EXPECT_EQ (main.oscSocket.getBoundPort(), freePort);
    EXPECT_EQ (main.discoveryServer.advertisedPort.load(), freePort);
    EXPECT_EQ (main.statusLabel.getText(), "Listening On");

    // Held by another process: a free port instead, in the field and advertised.
    const auto heldPort = findFreePort();
    PortHolder holder (heldPort);
    ASSERT_TRUE (holder.isHolding());
    main.startListening (heldPort);
    const auto fallbackPort = main.connectedPort;
    EXPECT_GT (fallbackPort, 0);
    EXPECT_NE (fallbackPort, heldPort);
    EXPECT_EQ (main.oscSocket.getBoundPort(), fallbackPort);
    EXPECT_EQ (main.connectionSettingsView.portLabel.getText(), juce::String (fallbackPort));
    EXPECT_EQ (main.discoveryServer.advertisedPort.load(), fallbackPort);

    // The timer lists the addresses at each tick and rebinds (listing them again) once per
    // change of the list, to the port in the field rather than the held one.
    const auto listingsSince = [&, before = rig.network->listings.load()] { return rig.network->listings.load() - before; };
    main.timerCallback();
    EXPECT_EQ (listingsSince(), 1);
    rig.setAddresses ({ "127.0.0.1", "10.0.0.5" });
    main.timerCallback();
    main.timerCallback();
    EXPECT_EQ (listingsSince(), 4);
    EXPECT_EQ (main.connectedPort, fallbackPort);
    EXPECT_EQ (main.connectionSettingsView.ipAddressEditor.getText(), "10.0.0.5");

    // Out of range, including what atoi makes of an empty field: nothing bound, field kept.
    for (const auto port : { 0, 70000, std::atoi ("") })
    {
        main.startListening (port);
        EXPECT_EQ (main.oscSocket.getBoundPort(), -1);
        EXPECT_EQ (main.connectionSettingsView.portLabel.getText(), juce::String (fallbackPort));
        EXPECT_TRUE (threadCountBecomes (threadsWhileListening - 2)) << "receiver and discovery threads stopped";
        EXPECT_TRUE (main.instructionsEditor.getText().startsWith ("Failed to listen on UDP port " + juce::String (port) + "."));
        expectRedLook (main);
    }

    EXPECT_EQ (portCallbacks, 0) << "the program's own writes to the port field are silent";
    EXPECT_EQ (rig.quit()->getValue ("portNumber"), juce::String (fallbackPort));
}

TEST (StartListening, DiscoverySocketHeldByAnotherProgramIsReportedAndRetried)
{
    auto holder = std::make_unique<PortHolder> (14001);
    ASSERT_TRUE (holder->isHolding());
    MainRig rig;
    auto& main = rig.start();
    const auto threadsWithoutDiscovery = countThreads();

    EXPECT_FALSE (main.discoveryServer.bound.load());
    EXPECT_EQ (main.statusLabel.getText(), "Listening On");
    EXPECT_TRUE (main.instructionsEditor.getText().startsWith ("AUTOMATIC CONNECTION DISCOVERY FAILED\n"));
    expectRedLook (main);

    holder.reset();
    main.startListening (main.connectedPort);
    EXPECT_TRUE (main.discoveryServer.bound.load());
    EXPECT_TRUE (threadCountBecomes (threadsWithoutDiscovery + 1));
    EXPECT_TRUE (main.instructionsEditor.getText().startsWith ("1. Open Wi-Fi settings"));
    EXPECT_EQ (&main.instructionsEditor.getLookAndFeel(), &main.heroLookAndFeel);
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

    const juce::String stepTwo ("\n2. Open Sondrevix VR, go to the Main Menu VADizudiv tab, click Find Connection, and select Studio-Mac");
    MainRig rig;
    auto& main = rig.start();
    const auto regular = main.instructionsEditor.getFont();
    ASSERT_EQ (regular.getTypefaceStyle(), "Regular");

    const struct { const char* wifi; const char* hotspot; std::function<void()> action; juce::String text; juce::StringArray bold; } variants[] = {
        { "HomeNet", "", [&] { main.updateInstructions(); },
          "1. Open Wi-Fi settings on your VR headset and connect to HomeNet" + stepTwo, { "HomeNet", "Studio-Mac" } },
        { "", "Sondrevix Hotspot", [&] { main.updateInstructions(); },
          "1. Open Wi-Fi settings on your VR headset and connect to Sondrevix Hotspot" + stepTwo, { "Sondrevix Hotspot", "Studio-Mac" } },
        { "", "", [&] { main.updateInstructions(); },
          "1. Open Wi-Fi settings on your VR headset and connect to the network this computer is connected to." + stepTwo, { "Studio-Mac" } },
        { "HomeNet", "", [&] { main.startListening (70000); },
          "Failed to listen on UDP port 70000. Make sure your Wi-Fi is on or router connected via ethernet. Next, try changing "
          "the UDP port number in the Manual VR Connection Settings below to a port available on your computer (1 to 65535). "
          "If this message still shows, you may need to modify firewall settings on your computer to open a UDP port and/or "
          "restart your computer.", {} },
        { "HomeNet", "", [&] { main.discoveryServer.bound = false; main.updateInstructions(); },
          "AUTOMATIC CONNECTION DISCOVERY FAILED\nYour computer is blocking UDP port 14001, so VADizudiv is invisible to "
          "the VR app. You can still connect using the Manual VR Connection Settings below or you can unblock the port "
          "to find this computer in the VR app menu.", { "AUTOMATIC CONNECTION DISCOVERY FAILED" } },
    };

    for (const auto& v : variants)
    {
        rig.useTools (v.wifi, v.hotspot);
        Runs recorder;
        main.instructionsEditor.setInputFilter (&recorder, false);
        v.action();
        main.instructionsEditor.setInputFilter (nullptr, false);

        EXPECT_EQ (main.instructionsEditor.getText(), v.text);
        juce::StringArray bold;

        for (auto [text, font] : recorder.runs)
        {
            if (font.getTypefaceStyle() == "Bold")
                bold.add (text);

            font.setTypefaceStyle ("Regular");
            EXPECT_EQ (font, regular) << text;
        }

        EXPECT_EQ (bold, v.bold);
        EXPECT_EQ (main.instructionsEditor.getFont(), regular) << "the font is restored";
    }
}

TEST (Layout, StandardWindowSettingsShownTooShortAndTheHeaderColours)
{
    MainRig rig;
    auto& main = rig.start();
    const auto& settings = main.connectionSettingsView;
    const auto pixel = [&] (int x, int y) { return main.createComponentSnapshot (main.getLocalBounds(), false, 1.0f).getPixelAt (x, y); };
    const auto near = [] (juce::Colour a, juce::Colour b) { return std::abs (a.getRed() - b.getRed()) + std::abs (a.getGreen() - b.getGreen()) + std::abs (a.getBlue() - b.getBlue()) <= 12; };

    EXPECT_EQ (main.statusLabel.getBounds(), juce::Rectangle<int> (0, 0, 700, 38));
    EXPECT_EQ (main.hotspotCaptionArea, juce::Rectangle<int> (10, 54, 680, 25));
    EXPECT_EQ (main.hotspotSwitch.getBounds().withX (0), juce::Rectangle<int> (0, 53, 48, 26));
    EXPECT_EQ (main.configureButton.getY(), 52);
    EXPECT_EQ (main.configureButton.getHeight(), 29);
    EXPECT_EQ (main.instructionsEditor.getY(), 95);
    EXPECT_EQ (settings.getBounds(), juce::Rectangle<int> (10, 763, 680, 27));
    EXPECT_EQ (main.logListBox.getBottom(), main.midiDeviceSelector.getY() - 10);

    // The header: the brand gradient while listening.
    EXPECT_TRUE (near (pixel (1, 2), juce::Colour (0xFFFF00BF)));
    EXPECT_TRUE (near (pixel (698, 35), juce::Colour (0xFF2FAAFF)));

    const auto logHeight = main.logListBox.getHeight();
    main.connectionSettingsView.setSettingsVisible (true);
    EXPECT_EQ (settings.getBounds(), juce::Rectangle<int> (10, 655, 680, 135));
    EXPECT_EQ (main.logListBox.getHeight(), logHeight - 108);

    // Too short: the log goes first; the pieces below it keep their size.
    const auto instructions = main.instructionsEditor.getBounds();
    main.setSize (700, 800 - (logHeight - 108));
    EXPECT_EQ (main.logListBox.getHeight(), 0);
    EXPECT_EQ (main.midiDeviceSelector.getHeight(), 100);
    EXPECT_EQ (settings.getHeight(), 135);
    EXPECT_EQ (main.instructionsEditor.getBounds(), instructions);

    main.setSize (700, 120);

    for (auto* child : main.getChildren())
        EXPECT_LE (child->getBottom(), 120) << child->getName();

    // Not listening: the warning colour over the whole header.
    main.startListening (0);
    EXPECT_EQ (pixel (1, 2), juce::Colour (0xFFDD004B));
    EXPECT_EQ (pixel (698, 35), juce::Colour (0xFFDD004B));
}
