#pragma once

#include "ui/ConnectionSettingsView.h"

// The view's children, which the tests click, type into and measure.
struct ConnectionSettingsViewTestAccess
{
    explicit ConnectionSettingsViewTestAccess (ConnectionSettingsView& v) : view (v) {}

    // Opens the port field as a click does and replaces its text.
    juce::TextEditor& type (const juce::String& text)
    {
        portLabel.showEditor();
        portLabel.getCurrentTextEditor()->setText (text);
        return *portLabel.getCurrentTextEditor();
    }

    // Types into the port field and presses Return, as the label handles it. Without a window
    // the field never holds the keyboard focus, so the editor's own Return message would reach
    // the label as a focus loss.
    void typeAndPressReturn (const juce::String& text)
    {
        struct Access : juce::Label
        {
            static void returnKey (juce::Label& l, juce::TextEditor& e) { (l.*(&Access::textEditorReturnKeyPressed)) (e); }
        };

        Access::returnKey (portLabel, type (text));
    }

    ConnectionSettingsView& view;
    juce::Label& headingLabel { view.headingLabel };
    juce::DrawableButton& showButton { view.showButton };
    juce::DrawableButton& helpButton { view.helpButton };
    juce::Label& ipAddressesLabel { view.ipAddressesLabel };
    juce::TextEditor& ipAddressEditor { view.ipAddressEditor };
    juce::Label& udpPortLabel { view.udpPortLabel };
    juce::Label& portLabel { view.portLabel };
};
