#pragma once

#include "app/MenuBar.h"
#include "bridge/OSCDatagramReceiver.h"
#include "bridge/OSCReceiverSocket.h"
#include "bridge/OSCTranslator.h"
#include "discovery/UEPseudoLANGameServer.h"
#include "hotspot/HotspotFlows.h"
#include "platform/NetworkEnvironment.h"
#include "ui/Buttons.h"
#include "ui/ConnectionSettingsView.h"
#include "ui/HelpButtons.h"
#include "ui/LookAndFeelSX.h"
#include "ui/MidiDeviceSelector.h"
#include "ui/OSCLogListBox.h"

#include <juce_gui_basics/juce_gui_basics.h>
#include <juce_osc/juce_osc.h>

#include <functional>
#include <memory>

/** The computer's IPv4 addresses other than 127.0.0.1, in interface order, joined
    with CR LF; the empty text when there is only the loopback address. */
juce::String getLocalIPv4AddressList (NetworkEnvironment& network);

/*  The content of the application's window: it owns the OSC receiver, the
    translator with its MIDI devices, the discovery responder and every view,
    wires them together, and (re)binds the network side.
*/
class MainComponent final : public juce::Component,
                            private juce::Timer,
                            private juce::OSCReceiver::Listener<juce::OSCReceiver::MessageLoopCallback>,
                            private juce::DarkModeSettingListener
{
public:
    /** What the component takes from its surroundings; tests replace parts of it. */
    struct Environment
    {
        /** The MIDI devices; null means the system's. Must outlive the component. */
        sx::MidiPortSystem* midiPorts = nullptr;

        /** Makes the view of the network (computer name, interfaces) that the address
            list, the instructions and the discovery responder read; empty means the system's. */
        std::function<std::unique_ptr<NetworkEnvironment>()> makeNetworkEnvironment;
    };

    MainComponent (juce::PropertiesFile* properties, juce::ApplicationCommandManager* commandManager);
    MainComponent (juce::PropertiesFile* properties, juce::ApplicationCommandManager* commandManager,
                   const Environment& environment);
    ~MainComponent() override;

    void paint (juce::Graphics&) override;
    void resized() override;

    /** (Re)binds the OSC port, falling back to any free port, restarts discovery with
        the port bound, and brings the status, addresses and instructions up to date. */
    void startListening (int port);

    /** Rewrites the pairing instructions for the current network state. */
    void updateInstructions();

    /** A port is bound and the computer has an address besides 127.0.0.1. */
    bool isListening() const noexcept    { return connectedPort != -1 && ipAddresses.isNotEmpty(); }

private:
    friend struct MainComponentTestAccess;

    void oscMessageReceived (const juce::OSCMessage&) override;
    void oscBundleReceived (const juce::OSCBundle&) override;
    void timerCallback() override;
    void darkModeSettingChanged() override;

    std::unique_ptr<NetworkEnvironment> makeNetworkEnvironment() const;

    const Environment environment;
    const std::unique_ptr<NetworkEnvironment> network;
    juce::PropertiesFile* const properties;
    juce::ApplicationCommandManager* const commandManager;
    std::unique_ptr<MenuBar> menuBar;
    OSCReceiverSocket oscSocket;    // outlives the receiver's use of it
    OSCDatagramReceiver oscReceiver;
    OSCTranslator oscTranslator;
    UEPseudoLANGameServer discoveryServer;
    LookAndFeelSX lookAndFeel;
    HeroColourTextEditorLAF heroLookAndFeel;
    juce::Label statusLabel;
    juce::TextEditor instructionsEditor;
    AppearanceImageButton hotspotHelpButton { "Help with Wi-Fi Direct Hotspot" };
    sx::ToggleButtonSwitch hotspotSwitch { "Wi-Fi Direct Hotspot Button" };
    sx::Button configureButton { "Configure" };
    juce::Label logHeadingLabel { {}, "Message Log" };
    AppearanceImageButton logHelpButton { "Help with Message Log" };
    OSCLogListBox logListBox;

    /*  Brings the receiver thread's messages to this component on the message thread
        in batches rather than one posted message per datagram, which would slow the
        receiver thread enough to lose notes in a burst. Destroyed before the log. */
    OSCMessageLoopRelay logRelay { *this, OSCLogListBox::capacity };

    sx::Button clearButton { "Clear" };
    MidiDeviceSelector midiDeviceSelector;
    ConnectionSettingsView connectionSettingsView;
    juce::Rectangle<int> hotspotCaptionArea;
    juce::String ipAddresses;
    int connectedPort = -1;
    int requestedPort = -1;

    // What the hotspot switch and "Configure" do; after the switch, which it drives.
    WiFiDirect::HotspotFlows hotspotFlows { hotspotSwitch };

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (MainComponent)
};
