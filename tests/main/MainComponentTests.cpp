#include "tests/main/MainComponentRig.h"

#include <atomic>
#include <thread>

using namespace sx::test;

namespace
{
    int countThreads()
    {
        return juce::File ("/proc/self/task").getNumberOfChildFiles (juce::File::findDirectories);
    }

    /** The discovery thread's name is too long for the system to record, so threads
        are counted; a stopped thread leaves the system's list a moment after it ends. */
    bool threadCountBecomes (int expected)
    {
        for (int i = 0; i < 200 && countThreads() != expected; ++i)
            juce::Thread::sleep (5);

        return countThreads() == expected;
    }

    void expectRedInstructions (MainComponent& main)
    {
        EXPECT_EQ (&main.instructionsEditor.getLookAndFeel(), &main.lookAndFeel);
        EXPECT_EQ (main.instructionsEditor.findColour (juce::TextEditor::backgroundColourId), juce::Colour (0x26DD004B));
        EXPECT_EQ (main.instructionsEditor.findColour (juce::TextEditor::outlineColourId), juce::Colour (0xFFDD004B));
    }

    const juce::String oneVirtualOutput (R"(<DEVICESETUP><MIDIOUTPUT name="Sondrevix Connect"/></DEVICESETUP>)");
}

TEST (MainComponentLife, FirstStartUsesTheDefaultsAndQuittingSavesTheThreeKeys)
{
    MainRig rig;
    auto& main = rig.start();

    EXPECT_EQ (main.getBounds(), juce::Rectangle<int> (0, 0, 700, 800));
    EXPECT_EQ (main.requestedPort, 9001);
    EXPECT_EQ (main.connectionSettingsView.portLabel.getText(), juce::String (main.connectedPort)) << "9001 unless another program holds it";
    EXPECT_FALSE (main.connectionSettingsView.settingsVisible);
    EXPECT_FALSE (main.connectionSettingsView.portLabel.isVisible());
    EXPECT_EQ (rig.ports.getOpenOutputNames(), juce::StringArray ("Sondrevix Connect"));
    EXPECT_EQ (main.statusLabel.getText(), "Listening On");
    EXPECT_EQ (main.connectionSettingsView.ipAddressEditor.getText(), "192.168.1.20");
    EXPECT_EQ (&main.instructionsEditor.getLookAndFeel(), &main.heroLookAndFeel);
    EXPECT_FALSE (main.hotspotSwitch.getToggleState());
    EXPECT_TRUE (main.isTimerRunning());

    const auto port = main.connectedPort;
    const auto saved = rig.quit();
    EXPECT_EQ (saved->getValue ("portNumber"), juce::String (port));
    EXPECT_EQ (saved->getValue ("midiDeviceSettings"), oneVirtualOutput);
    EXPECT_EQ (saved->getValue ("connectionSettingsVisible"), "0");
}

TEST (MainComponentLife, SavedStateIsRestoredAndWrittenBack)
{
    const auto freePort = findFreePort();
    juce::StringPairArray stored;
    stored.set ("midiDeviceSettings", R"(<?xml version="1.0"?>)" "\n<DEVICESETUP>\n  <MIDIOUTPUT name=\"Synth A\"/>\n</DEVICESETUP>");
    stored.set ("portNumber", "00" + juce::String (freePort));
    stored.set ("connectionSettingsVisible", "1");

    MainRig rig (stored);
    rig.ports.addOutput ("Synth A");
    auto& main = rig.start();

    EXPECT_EQ (rig.ports.getOpenOutputNames(), juce::StringArray ("Sondrevix Connect", "Synth A"));
    EXPECT_EQ (main.connectionSettingsView.portLabel.getText(), juce::String (freePort));
    EXPECT_EQ (main.connectedPort, freePort);
    EXPECT_TRUE (main.connectionSettingsView.settingsVisible);
    EXPECT_TRUE (main.connectionSettingsView.showButton.getToggleState());
    EXPECT_TRUE (main.connectionSettingsView.portLabel.isVisible());
    EXPECT_EQ (main.connectionSettingsView.getHeight(), 135) << "laid out for the shown settings";

    const auto saved = rig.quit();
    EXPECT_EQ (saved->getValue ("portNumber"), juce::String (freePort));
    EXPECT_EQ (saved->getValue ("midiDeviceSettings"),
               R"(<DEVICESETUP><MIDIOUTPUT name="Sondrevix Connect"/><MIDIOUTPUT name="Synth A"/></DEVICESETUP>)");
    EXPECT_EQ (saved->getValue ("connectionSettingsVisible"), "1");
}

TEST (MainComponentLife, DamagedSettingsFallBackQuietly)
{
    juce::StringPairArray stored;
    stored.set ("midiDeviceSettings", R"(<DEVICESETUP><MIDIOUTPUT name="Synth A"/>)");
    stored.set ("portNumber", "90a1");
    stored.set ("connectionSettingsVisible", "yes");

    MainRig rig (stored);
    rig.ports.addOutput ("Synth A");
    auto& main = rig.start();

    EXPECT_EQ (rig.ports.getOpenOutputNames(), juce::StringArray ("Sondrevix Connect"));
    EXPECT_EQ (main.connectionSettingsView.portLabel.getText(), "0");
    EXPECT_EQ (main.connectedPort, -1);
    EXPECT_EQ (main.statusLabel.getText(), "Listening Failed");
    EXPECT_FALSE (main.connectionSettingsView.settingsVisible);
}

TEST (MainComponentLife, MalformedPacketsArrivingDuringShutdownNeverReachTheDestroyedLog)
{
    for (int round = 0; round < 4; ++round)
    {
        MainRig rig;
        auto& main = rig.start();
        const auto port = main.connectedPort;
        ASSERT_GT (port, 0);

        std::atomic<bool> stop { false };
        std::thread sender ([&]
        {
            juce::DatagramSocket socket (false);

            while (! stop)
                socket.write ("127.0.0.1", port, "not osc", 7);
        });

        // The receiver thread logs them while the component lives...
        const auto deadline = juce::Time::getMillisecondCounter() + 5000;

        while (main.logListBox.getNumRows() == 0 && juce::Time::getMillisecondCounter() < deadline)
            juce::Thread::sleep (1);

        EXPECT_GT (main.logListBox.getNumRows(), 0);

        // ...and the component goes while they keep coming.
        rig.quit();
        stop = true;
        sender.join();
    }
}

TEST (StartListening, FreePortHeldPortAndPortsOutOfRange)
{
    MainRig rig;
    auto& main = rig.start();
    int portCallbacks = 0;
    main.connectionSettingsView.onPortChanged = [&] (int) { ++portCallbacks; };

    // A free port, bound twice: each call rebinds, and the threads do not multiply.
    const auto freePort = findFreePort();
    int threadsWhileListening = 0;

    for (int call = 0; call < 2; ++call)
    {
        main.startListening (freePort);
        EXPECT_EQ (main.connectedPort, freePort);
        EXPECT_EQ (main.oscSocket.getBoundPort(), freePort);
        EXPECT_EQ (main.discoveryServer.advertisedPort.load(), freePort);
        EXPECT_EQ (main.statusLabel.getText(), "Listening On");

        if (call == 0)
            threadsWhileListening = countThreads();
        else
            EXPECT_TRUE (threadCountBecomes (threadsWhileListening));
    }

    // Held by another process: any free port, shown in the field and advertised.
    const auto heldPort = findFreePort();
    PortHolder holder (heldPort);
    ASSERT_TRUE (holder.isHolding());
    main.startListening (heldPort);

    const auto fallbackPort = main.connectedPort;
    EXPECT_GT (fallbackPort, 0);
    EXPECT_NE (fallbackPort, heldPort);
    EXPECT_EQ (main.requestedPort, heldPort);
    EXPECT_EQ (main.oscSocket.getBoundPort(), fallbackPort);
    EXPECT_EQ (main.connectionSettingsView.portLabel.getText(), juce::String (fallbackPort));
    EXPECT_EQ (main.discoveryServer.advertisedPort.load(), fallbackPort);
    EXPECT_EQ (main.statusLabel.getText(), "Listening On");

    // The timer's rebind after a network change asks for the port in the field.
    rig.network.state->setAddresses ({ "127.0.0.1", "10.0.0.5" });
    main.timerCallback();
    EXPECT_EQ (main.requestedPort, fallbackPort);
    EXPECT_EQ (main.connectedPort, fallbackPort);

    // Out of range, including what atoi makes of an empty field: nothing is bound.
    for (const auto port : { 0, 70000, std::atoi ("") })
    {
        main.startListening (port);
        EXPECT_EQ (main.connectedPort, -1);
        EXPECT_EQ (main.oscSocket.getBoundPort(), -1);
        EXPECT_EQ (main.connectionSettingsView.portLabel.getText(), juce::String (fallbackPort));
        EXPECT_EQ (main.discoveryServer.advertisedPort.load(), fallbackPort);
        EXPECT_TRUE (threadCountBecomes (threadsWhileListening - 2)) << "receiver and discovery threads stopped";
        EXPECT_EQ (main.statusLabel.getText(), "Listening Failed");
        EXPECT_TRUE (main.instructionsEditor.getText().startsWith ("Failed to listen on UDP port " + juce::String (port) + "."));
        expectRedInstructions (main);
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

    for (int call = 0; call < 2; ++call)
    {
        EXPECT_FALSE (main.discoveryServer.bound.load());
        EXPECT_GT (main.connectedPort, 0);
        EXPECT_EQ (main.statusLabel.getText(), "Listening On");
        EXPECT_TRUE (threadCountBecomes (threadsWithoutDiscovery));
        EXPECT_TRUE (main.instructionsEditor.getText().startsWith ("AUTOMATIC CONNECTION DISCOVERY FAILED\nYour computer is blocking UDP port 14001"));
        expectRedInstructions (main);

        main.startListening (main.connectedPort);
    }

    holder.reset();
    main.startListening (main.connectedPort);
    EXPECT_TRUE (main.discoveryServer.bound.load());
    EXPECT_TRUE (threadCountBecomes (threadsWithoutDiscovery + 1));
    EXPECT_TRUE (main.instructionsEditor.getText().startsWith ("1. Open Wi-Fi settings"));
    EXPECT_EQ (&main.instructionsEditor.getLookAndFeel(), &main.heroLookAndFeel);
}

TEST (StartListening, TimerRebindsOncePerChangeOfTheAddressList)
{
    MainRig rig;
    auto& main = rig.start();
    auto& listings = rig.network.state->listings;
    const auto threadsWhileListening = countThreads();

    // An unchanged list costs one listing and no rebind (a rebind lists again).
    const auto before = listings.load();
    main.timerCallback();
    main.timerCallback();
    EXPECT_EQ (listings.load() - before, 2);

    rig.network.state->setAddresses ({ "127.0.0.1", "192.168.1.20", "10.0.0.5" });
    main.timerCallback();
    EXPECT_EQ (listings.load() - before, 4);
    EXPECT_EQ (main.ipAddresses, "192.168.1.20\r\n10.0.0.5");
    EXPECT_EQ (main.connectionSettingsView.ipAddressEditor.getText(), "192.168.1.20\n10.0.0.5");

    main.timerCallback();
    EXPECT_EQ (listings.load() - before, 5);

    // Only loopback left: still bound, but not listening for anyone.
    rig.network.state->setAddresses ({ "127.0.0.1" });
    main.timerCallback();
    EXPECT_GT (main.connectedPort, 0);
    EXPECT_EQ (main.statusLabel.getText(), "Listening Failed");
    EXPECT_TRUE (threadCountBecomes (threadsWhileListening)) << "both threads run again";
    expectRedInstructions (main);
}
