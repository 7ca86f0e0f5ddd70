#include "ConnectionSettingsView.h"

#include "ui/Fonts.h"

#include "SxResources.h"

#include <cmath>
#include <cstdlib>

juce::String sanitisePortNumberText (const juce::String& text)
{
    if (! text.containsOnly ("0123456789"))
        return "0";

    if (text == "0")
        return text;

    return text.trimCharactersAtStart ("0");
}

int portNumberFromText (const juce::String& text)
{
    // strtoll saturates where atoi's overflow is undefined (and here wraps round).
    const auto value = std::strtoll (text.toRawUTF8(), nullptr, 10);
    return (int) juce::jlimit<long long> (std::numeric_limits<int>::min(), portNumberBeyondInt, value);
}

ConnectionSettingsView::ConnectionSettingsView()
{
    headingLabel.setFont (makeHeadingFont());
    headingLabel.setJustificationType (juce::Justification::topLeft);

    showButton.setClickingTogglesState (true);
    {
        // Pointing right while the details are hidden, down while they show.
        const AppearanceImage right { SxResources::triangle_right_dark_png, SxResources::triangle_right_dark_pngSize,
                                      SxResources::triangle_right_light_png, SxResources::triangle_right_light_pngSize };
        const AppearanceImage down { SxResources::triangle_down_dark_png, SxResources::triangle_down_dark_pngSize,
                                     SxResources::triangle_down_light_png, SxResources::triangle_down_light_pngSize };
        showButton.setAppearanceImages (right, down);
    }
    showButton.setToggleState (settingsVisible, juce::dontSendNotification);
    showButton.onClick = [this] { setSettingsVisible (showButton.getToggleState()); };

    setUpHelpButton (helpButton, [] { showHelpBox(); });

    for (auto* label : { &ipAddressesLabel, &udpPortLabel })
    {
        label->setBorderSize ({ 0, 0, 0, 0 });
        label->setFont (makeRegularFont());
        label->setJustificationType (juce::Justification::topLeft);
    }

    ipAddressEditor.setReadOnly (true);
    ipAddressEditor.setMultiLine (true, true);
    ipAddressEditor.setLineSpacing (1.5f);
    ipAddressEditor.setCaretVisible (false);
    ipAddressEditor.setScrollbarsShown (true);
    ipAddressEditor.setColour (juce::TextEditor::outlineColourId, juce::Colour (0x00FFFFFF));
    ipAddressEditor.setFont (makeRegularFont());

    portLabel.setFont (makeRegularFont());
    portLabel.setMouseCursor (juce::MouseCursor::PointingHandCursor);
    // Only Return commits: a half-typed port must not rebind the network when the
    // user merely clicks elsewhere.
    portLabel.setEditable (true, true, true);
    portLabel.onTextChange = [this] { portTextCommitted(); };

    addAndMakeVisible (headingLabel);
    addAndMakeVisible (showButton);
    addAndMakeVisible (helpButton);

    for (auto* detail : std::initializer_list<juce::Component*> { &ipAddressesLabel, &ipAddressEditor, &udpPortLabel, &portLabel })
        addChildComponent (detail);
}

void ConnectionSettingsView::setSettingsVisible (bool shouldBeVisible)
{
    for (auto* detail : std::initializer_list<juce::Component*> { &ipAddressesLabel, &ipAddressEditor, &udpPortLabel, &portLabel })
        detail->setVisible (shouldBeVisible);

    settingsVisible = shouldBeVisible;
    showButton.setToggleState (shouldBeVisible, juce::dontSendNotification);

    if (onVisibilityChanged != nullptr)
        onVisibilityChanged();
}

void ConnectionSettingsView::setAddresses (const juce::String& addressList)
{
    ipAddressEditor.setText (addressList, true);
}

void ConnectionSettingsView::setPortText (const juce::String& text)
{
    portLabel.setText (text, juce::dontSendNotification);
}

void ConnectionSettingsView::portTextCommitted()
{
    // Written back without notification, so that this handler does not run again.
    portLabel.setText (sanitisePortNumberText (portLabel.getText()), juce::dontSendNotification);

    const auto port = portNumberFromText (portLabel.getText());

    if (onPortChanged != nullptr)
        onPortChanged (port);
}

void ConnectionSettingsView::showHelpBox()
{
    ::showHelpBox (
        "Manual VR Connection Help",
        "To connect the VR app manually, go into the VR app connection settings and set the IP Address to be "
        "one of the IP Addresses listed here in the VADizudiv manual connection settings. Next, set the UDP "
        "Port in the VR app to be the UDP Port listed here in VADizudiv. Finally, click \"Connect Manually\" "
        "in the VR app. To make sure the connection worked, hit a Tapzone in the VR app and you should see a "
        "message come into the Message Log in VADizudiv. Repeat this process for all IP Addresses listed in "
        "the VADizudiv app manual settings until you are able to get a message in the Message Log. Once the "
        "connection works, it will be remembered next time you open the apps.");
}

int ConnectionSettingsView::getPreferredHeight() const
{
    const auto headingHeight = juce::roundToInt (headingLabel.getFont().getHeight());

    if (! settingsVisible)
        return juce::jmax (headingHeight, -4) + 5;

    return juce::jmax (0, headingHeight
                            + juce::roundToInt (ipAddressesLabel.getFont().getHeight())
                            + juce::roundToInt (4.0f * ipAddressEditor.getFont().getHeight() + 12.0f)
                            + 21);
}

void ConnectionSettingsView::resized()
{
    // Each piece is cut from what is left, so a small view shrinks pieces to zero.
    auto area = getLocalBounds();

    auto topRow = area.removeFromTop ((int) headingLabel.getFont().getHeight() + 5);
    showButton.setBounds (topRow.removeFromLeft (25));
    helpButton.setBounds (topRow.removeFromRight (25));
    headingLabel.setBounds (topRow);

    area.removeFromTop (5);
    area.removeFromLeft (31);

    // The columns are as wide as the widest address and port need in their fonts.
    auto addressColumn = area.removeFromLeft (juce::roundToInt (ipAddressEditor.getFont().getStringWidthFloat ("255.255.255.255") + 28.0f));
    area.removeFromLeft (10);
    auto portColumn = area.removeFromLeft ((int) std::ceil (portLabel.getFont().getStringWidthFloat ("65,535")) + 20);

    // The address list keeps its four lines' height even where the view is shorter.
    ipAddressesLabel.setBounds (addressColumn.removeFromTop ((int) (ipAddressesLabel.getFont().getHeight() + 8.0f)));
    ipAddressEditor.setBounds (addressColumn.withHeight (juce::jmax (0, juce::roundToInt (4.0f * ipAddressEditor.getFont().getHeight() + 12.0f))));

    udpPortLabel.setBounds (portColumn.removeFromTop ((int) (udpPortLabel.getFont().getHeight() + 8.0f)));
    portLabel.setBounds (portColumn.removeFromTop (juce::roundToInt (portLabel.getFont().getHeight() + 8.0f)));
}
