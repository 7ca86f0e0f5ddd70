#pragma once

#include <juce_gui_basics/juce_gui_basics.h>

#include <functional>

/** Normalises what the user typed as a port: digits lose their leading zeros ("0"
    itself stays), anything that is not all digits becomes "0". */
juce::String sanitisePortNumberText (const juce::String& text);

/*  The collapsible manual connection settings: the computer's IPv4 addresses and the
    UDP port, which the user may edit.

    The view knows nothing of networking. It reports a port the user committed through
    onPortChanged and a change of its own height through onVisibilityChanged; whoever
    owns the network writes the address list and the bound port back into it (the port
    without notification, so that only the user's edits are reported).
*/
class ConnectionSettingsView : public juce::Component
{
public:
    ConnectionSettingsView();
    ~ConnectionSettingsView() override = default;

    /** Shows or hides the details, keeps the show button in step, then tells onVisibilityChanged. */
    void setSettingsVisible (bool shouldBeVisible);

    void resized() override;

    //==============================================================================
    std::function<void (int)> onPortChanged;
    std::function<void()> onVisibilityChanged;

    bool settingsVisible = false;

    juce::Label headingLabel { {}, "Manual VR Connection Settings" };
    juce::DrawableButton showButton { "Show Connection Settings", juce::DrawableButton::ImageFitted };
    juce::DrawableButton helpButton { "Help with Manual VR Connection Settings", juce::DrawableButton::ImageFitted };
    juce::Label ipAddressesLabel { {}, "IP Addresses" };
    juce::TextEditor ipAddressEditor;
    juce::Label udpPortLabel { {}, "UDP Port" };
    juce::Label portLabel;

private:
    void portTextCommitted();
    static void showHelpBox();

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (ConnectionSettingsView)
};
