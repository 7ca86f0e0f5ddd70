#include "ui/ConnectionSettingsView.h"
#include "ViewTestSupport.h"

#include <gtest/gtest.h>

#include <vector>

TEST (SanitisePortNumberText, DigitsLoseLeadingZerosAnythingElseIsZero)
{
    const std::vector<std::pair<const char*, const char*>> cases {
        { "9001", "9001" }, { "0", "0" }, { "007", "7" }, { "09001", "9001" }, { "000", "" }, { "", "" },
        { "70000", "70000" }, { "90a1", "0" }, { " 9001", "0" }, { "-1", "0" }, { "\xd9\xa9", "0" }
    };

    for (auto [text, expected] : cases)
        EXPECT_EQ (sanitisePortNumberText (juce::String::fromUTF8 (text)), expected) << "'" << text << "'";
}

namespace
{
    class PortField : public ::testing::Test
    {
    protected:
        PortField()
        {
            view.setBounds (0, 0, 600, 135);
            view.setSettingsVisible (true);
            view.portLabel.setText ("9001", juce::dontSendNotification);
            view.onPortChanged = [this] (int port) { requested.push_back (port); };
        }

        // Opens the field as a click does (all text selected) and types key by key.
        juce::TextEditor& type (const juce::String& text)
        {
            view.portLabel.showEditor();
            auto& editor = *view.portLabel.getCurrentTextEditor();
            editor.keyPressed (juce::KeyPress (juce::KeyPress::backspaceKey));
            for (auto c : text)
                editor.keyPressed (juce::KeyPress ((int) c, {}, c));
            return editor;
        }

        // The label's handling of the editor's Return message. The message itself would
        // arrive after the editor's text-change message, and without a window the field
        // never holds the keyboard focus, so the label would treat that as a focus loss.
        void typeAndPressReturn (const juce::String& text)
        {
            struct Access : juce::Label
            {
                static void returnKey (juce::Label& l, juce::TextEditor& e) { (l.*(&Access::textEditorReturnKeyPressed)) (e); }
            };
            Access::returnKey (view.portLabel, type (text));
        }

        ConnectionSettingsView view;
        std::vector<int> requested;
    };
}

TEST_F (PortField, ReturnCommitsTheSanitisedText)
{
    typeAndPressReturn ("0009001");
    EXPECT_EQ (view.portLabel.getText(), "9001");
    typeAndPressReturn ("90x1");
    EXPECT_EQ (view.portLabel.getText(), "0");
    typeAndPressReturn ("");
    EXPECT_EQ (view.portLabel.getText(), "");
    typeAndPressReturn ("70000");

    EXPECT_EQ (requested, (std::vector<int> { 9001, 0, 0, 70000 }));
}

TEST_F (PortField, LosingFocusOrAWriteFromOutsideRequestsNothing)
{
    type ("1234").focusLost (juce::Component::focusChangedByMouseClick);
    sx::test::dispatchPostedMessages();
    EXPECT_EQ (view.portLabel.getText(), "9001");
    EXPECT_EQ (view.portLabel.getCurrentTextEditor(), nullptr);

    view.portLabel.setText ("53211", juce::dontSendNotification);   // a fallback bind
    EXPECT_TRUE (requested.empty());
}

TEST (ConnectionSettingsView, ShowButtonTogglesTheDetailsAndReportsEachTime)
{
    ConnectionSettingsView view;
    int reports = 0;
    view.onVisibilityChanged = [&] { ++reports; };
    const auto detailsVisible = [&] (bool v)
    {
        return view.ipAddressesLabel.isVisible() == v && view.ipAddressEditor.isVisible() == v
            && view.udpPortLabel.isVisible() == v && view.portLabel.isVisible() == v
            && view.settingsVisible == v && view.showButton.getToggleState() == v;
    };

    EXPECT_TRUE (detailsVisible (false));
    view.showButton.triggerClick();
    sx::test::dispatchPostedMessages();
    EXPECT_TRUE (detailsVisible (true));
    view.showButton.triggerClick();
    sx::test::dispatchPostedMessages();
    EXPECT_TRUE (detailsVisible (false));
    EXPECT_EQ (reports, 2);
}

TEST (ConnectionSettingsView, LayoutRowsAndTheNarrowAndShortCases)
{
    ConnectionSettingsView view;
    view.setBounds (0, 0, 600, 135);

    EXPECT_EQ (view.showButton.getBounds(), juce::Rectangle<int> (0, 0, 25, 27));
    EXPECT_EQ (view.headingLabel.getBounds(), juce::Rectangle<int> (25, 0, 550, 27));
    EXPECT_EQ (view.helpButton.getBounds(), juce::Rectangle<int> (575, 0, 25, 27));

    const auto column = view.ipAddressesLabel.getWidth();
    EXPECT_EQ (view.ipAddressesLabel.getBounds(), juce::Rectangle<int> (31, 32, column, 24));
    EXPECT_EQ (view.ipAddressEditor.getBounds(), juce::Rectangle<int> (31, 56, column, 76));
    EXPECT_EQ (view.udpPortLabel.getPosition(), juce::Point<int> (31 + column + 10, 32));
    EXPECT_EQ (view.portLabel.getBounds(), view.udpPortLabel.getBounds().translated (0, 24));

    view.setBounds (0, 0, 50, 135);
    EXPECT_EQ (view.headingLabel.getWidth(), 0);
    EXPECT_EQ (view.helpButton.getBounds(), juce::Rectangle<int> (25, 0, 25, 27));

    view.setBounds (0, 0, 600, 20);
    EXPECT_EQ (view.headingLabel.getHeight(), 20);
    EXPECT_EQ (view.ipAddressesLabel.getHeight() + view.udpPortLabel.getHeight() + view.portLabel.getHeight(), 0);
}
