#include "MainComponent.h"

#include "app/SettingsFile.h"
#include "bridge/OSCVocabulary.h"
#include "hotspot/WiFiDirect.h"
#include "platform/WiFiNetwork.h"
#include "ui/ColourSchemes.h"
#include "ui/Fonts.h"

#include <cmath>

//==============================================================================
juce::String getLocalIPv4AddressList (NetworkEnvironment& network)
{
    juce::StringArray list;

    for (const auto& address : network.getIPv4AddressesExceptLoopback())
        list.add (address.toString());

    return list.joinIntoString ("\r\n");
}

namespace
{
    const juce::String hotspotCaption ("Wi-Fi Direct Hotspot");

    // The pairing instructions are set smaller than the window's body text.
    juce::Font makeInstructionsFont (const juce::String& style)
    {
        return makeFont (14.0f, style);
    }

    int roundedUpWidth (const juce::Font& font, const juce::String& text)
    {
        return (int) std::ceil (font.getStringWidthFloat (text));
    }

    void showHotspotHelpBox()
    {
        showHelpBox (
            "Wi-Fi Direct Hotspot Help",
            "For low latency performance, turn on the switch to broadcast a Wi-Fi direct hotspot from your computer "
            "and connect your VR headset directly to the broadcasted network. This eliminates latency caused by using "
            "an external Wi-Fi router and allows you to use Sondrevix without needing external networking hardware.");
    }

    int portFieldValue (const ConnectionSettingsView& settings)
    {
        return portNumberFromText (settings.getPortText());
    }
}

//==============================================================================
MainComponent::MainComponent (juce::PropertiesFile* p, juce::ApplicationCommandManager* cm)
    : MainComponent (p, cm, Environment{})
{
}

MainComponent::MainComponent (juce::PropertiesFile* p, juce::ApplicationCommandManager* cm,
                              const Environment& env)
    : environment (env),
      network (makeNetworkEnvironment()),
      properties (p),
      commandManager (cm),
      oscTranslator (environment.midiPorts != nullptr ? *environment.midiPorts
                                                       : sx::MidiPortSystem::getDefault()),
      discoveryServer (makeNetworkEnvironment()),
      midiDeviceSelector (oscTranslator.getMidiDeviceManager(), virtualMidiPortName)
{
    // A saved state that cannot be restored leaves the virtual source as the only output.
    SettingsFile::restoreMidiDeviceState (*properties, oscTranslator.getMidiDeviceManager());

    connectionSettingsView.setPortText (sanitisePortNumberText (properties->getValue ("portNumber", "9001")));
    connectionSettingsView.setSettingsVisible (properties->getBoolValue ("connectionSettingsVisible", false));

    // The bar gets no bounds: the menus show where the system shows them.
    menuBar = std::make_unique<MenuBar> (commandManager);

    oscReceiver.addListener (&oscTranslator);
    oscReceiver.addListener (&logRelay);
    oscReceiver.registerFormatErrorHandler ([this] (const char* data, int size) { logListBox.addFormatError (data, size); });

    setLookAndFeel (&lookAndFeel);
    instructionsEditor.setLookAndFeel (&heroLookAndFeel);

    instructionsEditor.setLineSpacing (1.5f);
    instructionsEditor.setBorder (juce::BorderSize<int> (10));
    instructionsEditor.setReadOnly (true);
    instructionsEditor.setMultiLine (true, true);
    instructionsEditor.setCaretVisible (false);
    instructionsEditor.setScrollbarsShown (false);
    instructionsEditor.setFont (makeInstructionsFont ("Regular"));

    updateInstructions();

    addAndMakeVisible (*menuBar);
    addAndMakeVisible (instructionsEditor);

    statusLabel.setColour (juce::Label::textColourId, juce::Colour (0xFFFFFFFF));
    statusLabel.setFont (makeHeadingFont());
    statusLabel.setJustificationType (juce::Justification::centred);
    addAndMakeVisible (statusLabel);

    logHeadingLabel.setFont (makeHeadingFont());
    logHeadingLabel.setJustificationType (juce::Justification::topLeft);
    addAndMakeVisible (logHeadingLabel);

    setUpHelpButton (logHelpButton, [] { OSCLogListBox::showHelpBox(); });
    addAndMakeVisible (logHelpButton);

    hotspotSwitch.setToggleState (WiFiDirect::macOS::isHotspotActive(), juce::dontSendNotification);
    hotspotSwitch.onClick = [this] { hotspotFlows.switchClicked(); };
    addAndMakeVisible (hotspotSwitch);

    configureButton.onClick = [this] { hotspotFlows.configureClicked(); };
    addAndMakeVisible (configureButton);

    setUpHelpButton (hotspotHelpButton, [] { showHotspotHelpBox(); });
    addAndMakeVisible (hotspotHelpButton);

    addAndMakeVisible (logListBox);

    clearButton.onClick = [this] { logListBox.clear(); };
    addAndMakeVisible (clearButton);

    midiDeviceSelector.setMouseCursor (juce::MouseCursor::PointingHandCursor);
    addAndMakeVisible (midiDeviceSelector);

    connectionSettingsView.setAddresses (getLocalIPv4AddressList (*network));

    connectionSettingsView.onPortChanged = [this] (int port) { startListening (port); };
    connectionSettingsView.onVisibilityChanged = [this] { resized(); };
    addAndMakeVisible (connectionSettingsView);

    setSize (700, 800);

    startListening (portFieldValue (connectionSettingsView));

    startTimer (5000);
    juce::Desktop::getInstance().addDarkModeSettingListener (this);
}

MainComponent::~MainComponent()
{
    properties->setValue ("portNumber", connectionSettingsView.getPortText());

    SettingsFile::storeMidiDeviceState (*properties, oscTranslator.getMidiDeviceManager());
    properties->setValue ("connectionSettingsVisible", connectionSettingsView.isSettingsVisible());

    juce::Desktop::getInstance().removeDarkModeSettingListener (this);

    // The receiver thread reaches the translator and the log: it is stopped first, so
    // that from here on nothing calls either from it, and only then are they unhooked
    // (the receiver reads its listeners and handler without a lock).
    oscSocket.disconnect (oscReceiver);
    oscReceiver.removeListener (&oscTranslator);
    oscReceiver.removeListener (&logRelay);
    oscReceiver.registerFormatErrorHandler (nullptr);

    setLookAndFeel (nullptr);
}

//==============================================================================
std::unique_ptr<NetworkEnvironment> MainComponent::makeNetworkEnvironment() const
{
    return environment.makeNetworkEnvironment != nullptr ? environment.makeNetworkEnvironment()
                                                         : NetworkEnvironment::createSystemEnvironment();
}

void MainComponent::oscMessageReceived (const juce::OSCMessage& message)
{
    logListBox.addOSCMessage (message, 0);
}

void MainComponent::oscBundleReceived (const juce::OSCBundle& bundle)
{
    logListBox.addOSCBundle (bundle, 0);
}

void MainComponent::timerCallback()
{
    // startListening stores the new list, so one change of the network means one rebind.
    if (getLocalIPv4AddressList (*network) != ipAddresses)
        startListening (portFieldValue (connectionSettingsView));
}

void MainComponent::darkModeSettingChanged()
{
    // Whatever chose colours or images from the appearance chooses again, so that the
    // window looks as it would had it started in the new one: the looks' colour tables,
    // then every component through the change of its look (images, cached colours, a
    // repaint), then the text already in the editors, which keeps the colour it was
    // given when it was written.
    lookAndFeel.chooseColoursForCurrentAppearance();
    heroLookAndFeel.chooseColoursForCurrentAppearance();
    sendLookAndFeelChange();
    recolourTextInEditors (*this);
}

//==============================================================================
void MainComponent::startListening (int port)
{
    oscSocket.disconnect (oscReceiver);
    connectedPort = -1;
    discoveryServer.stopThread (2000);
    requestedPort = port;
    ipAddresses = getLocalIPv4AddressList (*network);

    // Unsigned, so that 0 and every negative port fail the same test without overflow.
    if ((unsigned int) port - 1u <= 65534u)
    {
        if (oscSocket.connect (oscReceiver, port))
        {
            connectedPort = port;
        }
        else
        {
            // Someone else holds the port: take any free one and show it in the field.
            bool connected = false;

            for (int attempt = 0; attempt < 3 && ! connected; ++attempt)
                connected = oscSocket.connect (oscReceiver, 0);

            if (connected)
                connectedPort = oscSocket.getBoundPort();
        }
    }

    if (connectedPort != -1)
    {
        connectionSettingsView.setPortText (juce::String (connectedPort));
        discoveryServer.setAdvertisedPort (connectedPort);

        if (discoveryServer.bindIfNeeded())
            if (! discoveryServer.startThread (juce::Thread::Priority::low))
                discoveryServer.startThread (juce::Thread::Priority::normal);
    }

    statusLabel.setText (isListening() ? "Listening On" : "Listening Failed", juce::sendNotificationAsync);

    connectionSettingsView.setAddresses (ipAddresses);

    updateInstructions();

    if (isListening() && discoveryServer.isBound())
    {
        instructionsEditor.setLookAndFeel (&heroLookAndFeel);
    }
    else
    {
        instructionsEditor.setLookAndFeel (&lookAndFeel);
        instructionsEditor.setColour (juce::TextEditor::backgroundColourId, juce::Colour (0x26DD004B));
        instructionsEditor.setColour (juce::TextEditor::outlineColourId, warningColour);
    }

    repaint();
    resized();
}

//==============================================================================
void MainComponent::updateInstructions()
{
    const auto regular = makeInstructionsFont ("Regular");
    const auto bold = makeInstructionsFont ("Bold");

    if (isListening())
    {
        const auto networkName = WiFiDirect::macOS::isHotspotActive() ? WiFiDirect::macOS::getHotspotNetworkName()
                                                                       : sx::platform::getCurrentWiFiNetworkName();

        const auto computerName = network->getComputerName();

        instructionsEditor.clear();
        instructionsEditor.setFont (regular);
        instructionsEditor.insertTextAtCaret (networkName.isNotEmpty()
            ? "1. Open Wi-Fi settings on your VR headset and connect to "
            : "1. Open Wi-Fi settings on your VR headset and connect to the network this computer is connected to.");
        instructionsEditor.setFont (bold);
        instructionsEditor.insertTextAtCaret (networkName);
        instructionsEditor.setFont (regular);
        instructionsEditor.insertTextAtCaret ("\n2. Open Sondrevix VR, go to the Main Menu VADizudiv tab, click Find Connection, and select ");
        instructionsEditor.setFont (bold);
        instructionsEditor.insertTextAtCaret (computerName);
        instructionsEditor.setFont (regular);
    }
    else
    {
        // A number too large for an int was requested as portNumberBeyondInt; the port
        // field still holds the digits that the user asked for, and the text names them.
        const auto requested = requestedPort == portNumberBeyondInt ? connectionSettingsView.getPortText()
                                                                    : juce::String (requestedPort);

        instructionsEditor.clear();
        instructionsEditor.insertTextAtCaret (juce::String ("Failed to listen on UDP port XXX. Make sure your Wi-Fi is on or router connected via ethernet. "
                                                            "Next, try changing the UDP port number in the Manual VR Connection Settings below to a port "
                                                            "available on your computer (1 to 65535). If this message still shows, you may need to modify "
                                                            "firewall settings on your computer to open a UDP port and/or restart your computer.")
                                                  .replace ("XXX", requested));
    }

    if (! discoveryServer.isBound())
    {
        instructionsEditor.clear();
        instructionsEditor.setFont (bold);
        instructionsEditor.insertTextAtCaret ("AUTOMATIC CONNECTION DISCOVERY FAILED");
        instructionsEditor.setFont (regular);
        instructionsEditor.insertTextAtCaret ("\nYour computer is blocking UDP port 14001, so VADizudiv is invisible to the VR app. "
                                              "You can still connect using the Manual VR Connection Settings below or you can unblock "
                                              "the port to find this computer in the VR app menu.");
    }
}

//==============================================================================
void MainComponent::paint (juce::Graphics& g)
{
    const auto& scheme = getCurrentColourScheme();
    const auto width = getWidth();

    g.fillAll (scheme.getUIColour (juce::LookAndFeel_V4::ColourScheme::windowBackground));

    if (isListening())
        g.setGradientFill (makeBrandGradient (0.0f, (float) width));
    else
        g.setColour (warningColour);

    g.fillRect (0, 0, width, juce::jmin (getHeight(), 38));

    const auto font = makeHeadingFont();
    const auto area = hotspotCaptionArea;
    const auto inset = juce::jmin (area.getWidth(), 5);

    g.setFont (font);
    g.setColour (scheme.getUIColour (juce::LookAndFeel_V4::ColourScheme::defaultText));
    g.drawText (hotspotCaption,
                juce::Rectangle<int> (area.getX() + inset, area.getY() - 1,
                                      juce::jmin (area.getWidth() - inset, roundedUpWidth (font, hotspotCaption)),
                                      area.getHeight()),
                juce::Justification::centredLeft, true);
}

void MainComponent::resized()
{
    // Each piece is cut from what is left, so a small window shrinks pieces to zero
    // instead of overlapping them.
    auto area = getLocalBounds();
    statusLabel.setBounds (area.removeFromTop (38));
    area = area.reduced (10);

    area.removeFromTop (6);
    auto row = area.removeFromTop (25);
    hotspotCaptionArea = row;
    hotspotHelpButton.setBounds (row.removeFromRight (25));
    row.removeFromLeft (roundedUpWidth (makeHeadingFont(), hotspotCaption) + 5);
    row.removeFromLeft (12);

    // The switch's track is 44 x 22, centred in its slot; its knob's shadow needs 2 more pixels around it.
    hotspotSwitch.setBounds (row.removeFromLeft (44).withSizeKeepingCentre (44, 22).expanded (2));

    // The button's image is taller than the row, with its face centred on it.
    const auto configureArea = row.reduced (14, 0);
    configureButton.setBounds (configureArea.withSizeKeepingCentre (configureArea.getWidth(), 29));

    // Laid out at its final width first, so that its text height is the one it will show.
    area.removeFromTop (16);
    instructionsEditor.setBounds (area);
    instructionsEditor.setBounds (area.removeFromTop (instructionsEditor.getTextHeight() + 20));
    area.removeFromTop (10);

    // The lower block fills from the bottom: settings, then the selector, and the log gets the rest.
    connectionSettingsView.setBounds (area.removeFromBottom (connectionSettingsView.getPreferredHeight()));
    area.removeFromBottom (10);
    midiDeviceSelector.setBounds (area.removeFromBottom (100));
    area.removeFromBottom (10);

    auto logHeading = area.removeFromTop ((int) (logHeadingLabel.getFont().getHeight() + 10.0f));
    logHelpButton.setBounds (logHeading.removeFromRight (25));
    logHeadingLabel.setBounds (logHeading);
    logListBox.setBounds (area);

    // In front of the log, 10 pixels inside its right edge and 8 above its bottom, however small it is.
    clearButton.setBounds (juce::Rectangle<int> (60, 32).withBottomY (area.getBottom() - 8).withRightX (area.getRight() - 10));
}
