#include "ui/ConnectionSettingsView.h"
#include "ui/LookAndFeelSX.h"
#include "ui/MidiDeviceSelector.h"
#include "ui/OSCLogListBox.h"
#include "bridge/OSCVocabulary.h"
#include "platform/Appearance.h"
#include "tests/support/InMemoryMidiPorts.h"
#include "ViewTestSupport.h"

#include <gtest/gtest.h>

#include <ctime>

namespace
{
    juce::StringArray rows (OSCLogListBox& log)
    {
        juce::StringArray shown;
        for (int row = 0; row < log.getNumRows(); ++row)
            shown.add (log.getLineForRow (row));
        return shown;
    }

    juce::OSCArgument blob (std::initializer_list<unsigned char> bytes)
    {
        return juce::OSCArgument (juce::MemoryBlock (std::data (bytes), bytes.size()));
    }
}

TEST (OSCLogListBox, RingBufferKeepsTheNewest200LinesInArrivalOrder)
{
    OSCLogListBox log;
    int added = 0;
    const auto addUpTo = [&] (int last) { while (added < last) log.addMessage ("line " + juce::String (++added)); };
    const auto state = [&] { return std::make_tuple (log.readIndex, log.writeIndex, log.isFull); };

    addUpTo (199);
    EXPECT_EQ (state(), std::make_tuple (0, 199, false));
    addUpTo (200);      // fills the buffer, overwrites nothing
    EXPECT_EQ (state(), std::make_tuple (0, 0, true));
    addUpTo (201);      // replaces slot 0; row r now shows slot (r + 1) mod 200
    EXPECT_EQ (state(), std::make_tuple (1, 1, true));
    EXPECT_EQ (log.lines[0], "line 201");
    EXPECT_EQ (log.getLineForRow (0), "line 2");
    EXPECT_EQ (log.getLineForRow (199), "line 201");
    EXPECT_EQ (log.getLineForRow (200), "");

    addUpTo (450);
    const auto shown = rows (log);
    ASSERT_EQ (shown.size(), 200);
    for (int row = 0; row < 200; ++row)
        EXPECT_EQ (shown[row], "line " + juce::String (251 + row));

    log.clear();
    log.addMessage ("fresh");
    EXPECT_EQ (state(), std::make_tuple (0, 1, false));
    EXPECT_EQ (rows (log), juce::StringArray ("fresh"));
}

TEST (OSCLogListBox, LinesForEveryArgumentTypeAndNestingLevel)
{
    // 5 December 2026, 9:07:03 in a zone two hours east of UTC, without daylight saving.
    setenv ("TZ", "XST-2", 1);
    tzset();
    const juce::OSCTimeTag stamp (juce::Time (2026, 11, 5, 7, 7, 3, 0, false));

    juce::OSCMessage all ("/sxc/midi/note/on");
    for (auto f : { 0.5f, 1.0f, 64.25f, 1234567.0f })
        all.addFloat32 (f);
    all.addInt32 (-7);
    all.addString ("two words");
    // Cut at a zero byte, whole, empty from the start, and cut short inside a UTF-8 sequence.
    for (auto b : { blob ({ 'n', 'o', 0, 'x' }), blob ({ 'a', 'b' }), blob ({ 0, 'x' }), blob ({ 'a', 0xE2, 0x82 }) })
        all.addArgument (b);
    all.addColour (juce::OSCColour::fromInt32 (0x11223344));

    juce::OSCBundle inner (stamp), outer (stamp);
    inner.addElement (juce::OSCMessage ("/in", 64));
    outer.addElement (all);
    outer.addElement (inner);

    OSCLogListBox log;
    log.addOSCBundle (outer, 0);
    log.addOSCMessage (juce::OSCMessage ("/none"), 0);
    log.addFormatError ("garbage", 7);
    unsetenv ("TZ");
    tzset();

    // The sequence cut short ends the blob's text: nothing past the blob is read.
    auto shown = rows (log);
    EXPECT_TRUE (shown[11].startsWith ("      - blob        a") && shown[11].length() <= 23) << shown[11];
    shown.remove (11);
    EXPECT_EQ (shown, juce::StringArray ({
        "- osc bundle, time tag = 5 Dec 2026 9:07:03",
        "  - osc message, address = '/sxc/midi/note/on', 11 argument(s)",
        "      - float32     0.5",
        "      - float32     1",
        "      - float32     64.25",
        "      - float32     1.23457e+06",
        "      - int32       -7",
        "      - string      two words",
        "      - blob        no",
        "      - blob        ab",
        "      - blob        ",
        "      - (unknown)   ",
        "  - osc bundle, time tag = 5 Dec 2026 9:07:03",
        "    - osc message, address = '/in', 1 argument(s)",
        "        - int32       64",
        "- osc message, address = '/none', 0 argument(s)",
        "- (7bytes with invalid format)" })) << shown.joinIntoString ("\n");
}

//==============================================================================
TEST (ConnectionSettingsView, SanitisePortNumberText)
{
    const std::pair<const char*, const char*> cases[] {
        { "9001", "9001" }, { "0", "0" }, { "007", "7" }, { "09001", "9001" }, { "000", "" }, { "", "" },
        { "70000", "70000" }, { "90a1", "0" }, { " 9001", "0" }, { "-1", "0" }, { "\xd9\xa9", "0" }
    };

    for (auto [text, expected] : cases)
        EXPECT_EQ (sanitisePortNumberText (juce::String::fromUTF8 (text)), expected) << "'" << text << "'";
}

TEST (ConnectionSettingsView, PortFieldRequestsOnlyWhatTheUserCommits)
{
    ConnectionSettingsView view;
    view.setBounds (0, 0, 600, 135);
    view.setSettingsVisible (true);
    view.portLabel.setText ("9001", juce::dontSendNotification);
    std::vector<int> requested;
    view.onPortChanged = [&] (int port) { requested.push_back (port); };

    // Opens the field as a click does (all text selected) and types key by key.
    const auto type = [&] (const juce::String& text) -> juce::TextEditor&
    {
        view.portLabel.showEditor();
        auto& editor = *view.portLabel.getCurrentTextEditor();
        editor.keyPressed (juce::KeyPress (juce::KeyPress::backspaceKey));
        for (auto c : text)
            editor.keyPressed (juce::KeyPress ((int) c, {}, c));
        return editor;
    };

    // Abandoned by a click elsewhere, then overwritten from outside (a fallback bind).
    type ("1234").focusLost (juce::Component::focusChangedByMouseClick);
    sx::test::dispatchPostedMessages();
    EXPECT_EQ (view.portLabel.getText(), "9001");
    EXPECT_EQ (view.portLabel.getCurrentTextEditor(), nullptr);
    view.portLabel.setText ("53211", juce::dontSendNotification);
    EXPECT_TRUE (requested.empty());

    // Return as the label handles it. Without a window the field never holds the keyboard
    // focus, so the editor's own Return message would reach the label as a focus loss.
    struct Access : juce::Label
    {
        static void returnKey (juce::Label& l, juce::TextEditor& e) { (l.*(&Access::textEditorReturnKeyPressed)) (e); }
    };
    const std::pair<const char*, const char*> commits[] { { "0009001", "9001" }, { "90x1", "0" }, { "", "" } };
    for (auto [typed, shown] : commits)
    {
        Access::returnKey (view.portLabel, type (typed));
        EXPECT_EQ (view.portLabel.getText(), shown);
    }
    EXPECT_EQ (requested, (std::vector<int> { 9001, 0, 0 }));
}

TEST (ConnectionSettingsView, ShowButtonAndLayout)
{
    ConnectionSettingsView view;
    int reports = 0;
    view.onVisibilityChanged = [&] { ++reports; };
    view.setBounds (0, 0, 600, 135);

    for (const auto visible : { true, false })
    {
        view.showButton.triggerClick();
        sx::test::dispatchPostedMessages();
        EXPECT_EQ (view.settingsVisible, visible);
        EXPECT_EQ (view.showButton.getToggleState(), visible);
        for (auto* detail : std::initializer_list<juce::Component*> { &view.ipAddressesLabel, &view.ipAddressEditor, &view.udpPortLabel, &view.portLabel })
            EXPECT_EQ (detail->isVisible(), visible);
    }
    EXPECT_EQ (reports, 2);

    EXPECT_EQ (view.headingLabel.getBounds(), juce::Rectangle<int> (25, 0, 550, 27));   // between two 25-wide buttons
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

//==============================================================================
namespace
{
    const juce::String virtualRow ("Virtual MIDI Output (to DAW)");

    // The devices are listed before the manager and the selector exist, as at start-up.
    struct Selector
    {
        Selector (std::initializer_list<juce::String> hardware)
            : ids ([&] { juce::StringArray added; for (auto& name : hardware) added.add (ports.addOutput (name)); return added; }())
        {
            selector.setBounds (0, 0, 400, 100);
        }

        MidiDeviceSelector::MidiOutputSelectorComponentListBox& list() { return *selector.outputList; }

        // Presses and releases on the tick box (x below the row height, 22) or on the text of a row;
        // the second click of a double click comes with the double-click event.
        void click (int row, bool onTickBox, int clicks = 1)
        {
            auto* target = list().getComponentAt (200, row * 22 + 11);
            ASSERT_TRUE (target != nullptr && target != &list());
            const juce::Point<float> at (onTickBox ? 12.0f : 150.0f, 11.0f);
            for (int n = 1; n <= clicks; ++n)
            {
                const auto now = juce::Time::getCurrentTime();
                const juce::MouseEvent event (juce::Desktop::getInstance().getMainMouseSource(), at, {}, 1.0f, 0.0f, 0.0f,
                                              0.0f, 0.0f, target, target, now, at, now, n, false);
                target->mouseDown (event);
                if (n == 2)
                    target->mouseDoubleClick (event);
                target->mouseUp (event);
            }
        }

        // Delivers the manager's pending change messages, then names the open outputs in order.
        juce::StringArray openOutputs()
        {
            manager.dispatchPendingMessages();
            juce::StringArray names;
            for (auto& output : manager.midiOutputs)
                names.add (output->getName());
            return names;
        }

        sx::test::InMemoryMidiPortSystem ports;
        juce::StringArray ids;
        MidiDeviceManager manager { ports };
        MidiDeviceSelector selector { manager, virtualMidiPortName };
    };
}

TEST (MidiDeviceSelector, WithoutHardwareOnlyTheVirtualRowTicked)
{
    Selector s ({});
    EXPECT_EQ (s.list().items, juce::StringArray (virtualRow));
    EXPECT_TRUE (s.list().isRowTicked (0));
    EXPECT_EQ (s.list().getBounds(), juce::Rectangle<int> (0, 32, 400, 68));
}

TEST (MidiDeviceSelector, ClicksDoubleClicksAndReturn)
{
    Selector s ({ "Synth A", "Synth B" });
    EXPECT_EQ (s.list().items, juce::StringArray (virtualRow, "Synth A", "Synth B"));

    s.click (1, false);
    EXPECT_EQ (s.list().getSelectedRow(), 1);
    EXPECT_EQ (s.openOutputs(), juce::StringArray (virtualMidiPortName)) << "the text only selects";
    s.click (2, true);
    EXPECT_EQ (s.openOutputs(), juce::StringArray (virtualMidiPortName, "Synth B"));
    s.click (1, false, 2);
    EXPECT_EQ (s.openOutputs(), juce::StringArray (virtualMidiPortName, "Synth B", "Synth A")) << "toggled once";
    s.click (1, true, 2);      // on the tick box: both clicks and the double click flip
    EXPECT_EQ (s.openOutputs(), juce::StringArray (virtualMidiPortName, "Synth B"));

    s.list().selectRow (2);
    s.list().keyPressed (juce::KeyPress (juce::KeyPress::returnKey));
    EXPECT_EQ (s.openOutputs(), juce::StringArray (virtualMidiPortName));
}

TEST (MidiDeviceSelector, VirtualRowReopensLastAndVanishedDevicesClose)
{
    Selector s ({ "Synth A", "Synth B" });
    s.list().flipEnablement (0);
    s.list().flipEnablement (1);
    EXPECT_FALSE (s.list().isRowTicked (0));
    EXPECT_FALSE (s.ports.getOpenOutputNames().contains (virtualMidiPortName));
    s.list().flipEnablement (0);   // the source is made again, after the open outputs
    EXPECT_EQ (s.openOutputs(), juce::StringArray ("Synth A", virtualMidiPortName));

    // The rows follow the devices only after the change message.
    s.ports.removeOutput (s.ids[0]);
    s.ports.removeOutput (s.ids[1]);
    s.ports.addOutput ("Synth C");
    EXPECT_EQ (s.list().items, juce::StringArray (virtualRow, "Synth A", "Synth B"));
    s.list().flipEnablement (2);   // vanished and unticked: nothing to open
    s.list().flipEnablement (1);   // vanished but open: closes
    EXPECT_EQ (s.openOutputs(), juce::StringArray (virtualMidiPortName));
    EXPECT_EQ (s.list().items, juce::StringArray (virtualRow, "Synth C"));
}

TEST (MidiDeviceSelector, HardwareNamedLikeTheVirtualRowTogglesTheVirtualSource)
{
    Selector s { virtualRow };
    EXPECT_TRUE (s.list().isRowTicked (1));
    s.list().flipEnablement (1);
    EXPECT_TRUE (s.openOutputs().isEmpty());
    EXPECT_FALSE (s.list().isRowTicked (1));
}

//==============================================================================
// The three views on the window's background at twice their size, in
// <build>/screenshots/views-dark.png and views-light.png for a person to look at.
TEST (ViewScreenshots, EachViewInBothAppearances)
{
    for (const auto dark : { true, false })
    {
        sx::platform::setDarkModeOverride (dark);
        LookAndFeelSX lookAndFeel;

        OSCLogListBox log;
        log.addOSCMessage (juce::OSCMessage ("/sxc/midi/note/on", 1, 60, 0.8f), 0);
        juce::OSCBundle bundle (juce::OSCTimeTag (juce::Time (2026, 11, 5, 9, 7, 3)));
        bundle.addElement (juce::OSCMessage ("/sxc/midi/cc", 1, 74, 64.25f));
        log.addOSCBundle (bundle, 0);
        log.addFormatError (nullptr, 7);

        ConnectionSettingsView settings;
        settings.setSettingsVisible (true);
        settings.ipAddressEditor.setText ("192.168.1.20\r\n10.0.0.5");
        settings.portLabel.setText ("9001", juce::dontSendNotification);

        Selector midi { "Studio Synth", "USB MIDI Interface with a rather long name that will not fit into the row" };
        midi.list().selectRow (1);
        midi.list().flipEnablement (2);
        midi.openOutputs();

        juce::Image image (juce::Image::ARGB, 1280, 2 * (200 + 135 + 100), true);
        juce::Graphics g (image);
        g.fillAll (getCurrentColourScheme().getUIColour (juce::LookAndFeel_V4::ColourScheme::windowBackground));
        g.addTransform (juce::AffineTransform::scale (2.0f));
        for (auto [view, height] : { std::pair<juce::Component*, int> { &log, 200 }, { &settings, 135 }, { &midi.selector, 100 } })
        {
            view->setLookAndFeel (&lookAndFeel);
            view->setSize (640, height);
            sx::test::dispatchPostedMessages();
            view->paintEntireComponent (g, true);
            g.setOrigin (0, height);
        }

        const auto file = juce::File (SX_BINARY_DIR).getChildFile (dark ? "screenshots/views-dark.png" : "screenshots/views-light.png");
        file.getParentDirectory().createDirectory();
        file.deleteFile();
        juce::FileOutputStream out (file);
        EXPECT_TRUE (juce::PNGImageFormat().writeImageToStream (image, out));
    }
    sx::platform::setDarkModeOverride (std::nullopt);
}
