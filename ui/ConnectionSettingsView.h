#pragma once

#include "ui/HelpButtons.h"

#include <juce_gui_basics/juce_gui_basics.h>

#include <functional>
#include <limits>

/** Normalises what the user typed as a port: digits lose their leading zeros ("0"
    itself stays), anything that is not all digits becomes "0". */
juce::String sanitisePortNumberText (const juce::String& text);

/** What portNumberFromText() gives for every number too large for an int. */
constexpr int portNumberBeyondInt = std::numeric_limits<int>::max();

/** The port that a port field's text asks for, read as atoi reads it, except that a
    number beyond the int range stops at the range's end (portNumberBeyondInt above it),
    so that it still fails the port range test instead of wrapping round to a real port. */
int portNumberFromText (const juce::String& text);

/*  The collapsible manual connection settings: the computer's IPv4 addresses and the
    UDP port, which the user may edit.

    The view knows nothing of networking. It reports a port the user committed through
    onPortChanged and a change of its own height through onVisibilityChanged; whoever
    owns the network writes the address list and the bound port back into it.
*/
class ConnectionSettingsView final : public juce::Component
{
public:
    ConnectionSettingsView();
    ~ConnectionSettingsView() override = default;

    /** Shows or hides the details, keeps the show button in step, then tells onVisibilityChanged. */
    void setSettingsVisible (bool shouldBeVisible);
    bool isSettingsVisible() const noexcept     { return settingsVisible; }

    /** Shows the computer's addresses, one per line. */
    void setAddresses (const juce::String& addressList);

    /** Writes the port field without telling onPortChanged, so that only the user's edits are reported. */
    void setPortText (const juce::String& text);
    juce::String getPortText() const            { return portLabel.getText(); }

    /** The height the view needs: the heading row alone while the details are hidden. */
    int getPreferredHeight() const;

    void resized() override;

    //==============================================================================
    /** Called with the port the user committed in the port field. */
    std::function<void (int)> onPortChanged;

    /** Called after the details were shown or hidden, which changes the view's height. */
    std::function<void()> onVisibilityChanged;

private:
    friend struct ConnectionSettingsViewTestAccess;

    void portTextCommitted();
    static void showHelpBox();

    bool settingsVisible = false;

    juce::Label headingLabel { {}, "Manual VR Connection Settings" };
    AppearanceImageButton showButton { "Show Connection Settings" };
    AppearanceImageButton helpButton { "Help with Manual VR Connection Settings" };
    juce::Label ipAddressesLabel { {}, "IP Addresses" };
    juce::TextEditor ipAddressEditor;
    juce::Label udpPortLabel { {}, "UDP Port" };
    juce::Label portLabel;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (ConnectionSettingsView)
};
