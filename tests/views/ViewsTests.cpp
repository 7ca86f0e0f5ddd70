#include "ui/ConnectionSettingsView.h"
#include "ui/LookAndFeelSX.h"
#include "ui/MidiDeviceSelector.h"
#include "ui/OSCLogListBox.h"
#include "bridge/OSCVocabulary.h"
#include "platform/Appearance.h"
#include "tests/support/InMemoryMidiPorts.h"
#include "tests/views/ConnectionSettingsViewTestAccess.h"
#include "tests/views/OSCLogListBoxTestAccess.h"

#include <gtest/gtest.h>

#include <ctime>

namespace juce { bool dispatchNextMessageOnSystemQueue (bool returnIfNoPendingMessages); }   // the Linux message loop's step

namespace
{
    // Delivers posted messages without a modal loop.
    void dispatchPostedMessages()   { for (int i = 0; i < 10000 && juce::dispatchNextMessageOnSystemQueue (true); ++i) {} }

    juce::StringArray rows (OSCLogListBox& log)
    {
        juce::StringArray shown;
        for (int row = 0; row < log.getNumRows(); ++row)
            shown.add (log.getLineForRow (row));
        return shown;
    }
}

TEST (OSCLogListBox, RingBufferKeepsTheNewest200LinesInArrivalOrder)
{
    OSCLogListBox log;
    int added = 0;
    const auto addUpTo = [&] (int last)
    {
        while (added < last)
            log.addMessage ("line " + juce::String (++added));
        const auto [readIndex, writeIndex, isFull, numLines] = OSCLogListBoxTestAccess::getRing (log);
        return std::make_tuple (readIndex, writeIndex, isFull);
    };

    EXPECT_EQ (addUpTo (199), std::make_tuple (0, 199, false));
    EXPECT_EQ (addUpTo (200), std::make_tuple (0, 0, true));    // fills the buffer, overwrites nothing
    EXPECT_EQ (addUpTo (201), std::make_tuple (1, 1, true));    // replaces slot 0; row r now shows slot (r + 1) mod 200
    EXPECT_EQ (log.getLineForRow (0) + "," + log.getLineForRow (199) + "," + log.getLineForRow (200), "line 2,line 201,");

    addUpTo (450);
    const auto shown = rows (log);
    EXPECT_TRUE (shown.size() == 200 && shown[0] == "line 251" && shown[199] == "line 450") << shown[0];

    log.clear();
    log.addMessage ("fresh");
    EXPECT_EQ (rows (log), juce::StringArray ("fresh"));
}

// A user watching the log sees the newest line at its bottom edge once the message loop has
// run and the log has painted, batch after batch, however the update is timed.
TEST (OSCLogListBox, FollowsTheNewestLine)
{
    OSCLogListBox log;
    log.setSize (400, 200);
    auto& viewport = *log.getViewport();
    const auto newestIsAtTheBottom = [&]
    {
        const auto newest = log.getNumRows() - 1, visibleBottom = viewport.getY() + viewport.getMaximumVisibleHeight();
        const auto shown = log.getRowPosition (newest, true);
        return shown.getY() >= viewport.getY() && shown.getBottom() <= visibleBottom
            && log.getRowContainingPosition (1, visibleBottom - 1) == newest;
    };

    int added = 0;
    for (const auto batch : { 30, 300 })
    {
        for (const auto last = added + batch; added < last;)
            log.addOSCMessage (juce::OSCMessage ("/line/" + juce::String (++added)), 0);

        for (const auto end = juce::Time::getMillisecondCounter() + 2000; ! newestIsAtTheBottom() && juce::Time::getMillisecondCounter() < end;)
        {
            dispatchPostedMessages();
            log.createComponentSnapshot (log.getLocalBounds());
            juce::Thread::sleep (5);
        }

        EXPECT_TRUE (newestIsAtTheBottom()) << added << " lines, view at " << viewport.getViewPositionY();
    }
}

TEST (OSCLogListBox, LinesForEveryArgumentTypeAndNestingLevel)
{
    // 5 December 2026, 9:07:03 in a zone two hours east of UTC, without daylight saving.
    setenv ("TZ", "XST-2", 1);
    tzset();
    const juce::OSCTimeTag stamp (juce::Time (2026, 11, 5, 7, 7, 3, 0, false));

    // Blobs cut at a zero byte, whole, empty from the start, and cut short inside a UTF-8 sequence.
    const juce::OSCMessage all ("/sxc/midi/note/on", 0.5f, 1.0f, 64.25f, 1234567.0f, -7, juce::String ("two words"),
                                juce::MemoryBlock ("no\0x", 4), juce::MemoryBlock ("ab", 2), juce::MemoryBlock ("\0x", 2),
                                juce::MemoryBlock ("a\xE2\x82", 3), juce::OSCColour::fromInt32 (0x11223344));

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

// The immediate tag most senders use, and other times on either side of 1970, each show the
// second they lie in, as two digits: seconds before 1970 must not count from the minute's end,
// nor a fraction of a second before 1970 round up to the next second.
TEST (OSCLogListBox, BundleTimeTagsShowTheirSecondBeforeAndAfter1970)
{
    setenv ("TZ", "UTC", 1);
    tzset();
    constexpr juce::uint64 secondsTo1970 = 2208988800ull;
    const std::pair<juce::uint64, juce::String> cases[] = {
        { 1, "1 Jan 1900 0:00:00" },
        { 30ull << 32, "1 Jan 1900 0:00:30" },
        { (secondsTo1970 - 3600) << 32, "31 Dec 1969 23:00:00" },
        { (secondsTo1970 - 59) << 32, "31 Dec 1969 23:59:01" },
        { ((secondsTo1970 - 1) << 32) | 0x80000000u, "31 Dec 1969 23:59:59" },
        { secondsTo1970 << 32, "1 Jan 1970 0:00:00" },
        { juce::OSCTimeTag (juce::Time (2026, 11, 5, 9, 7, 3, 750, false)).getRawTimeTag(), "5 Dec 2026 9:07:03" },
    };

    OSCLogListBox log;
    for (const auto& c : cases)
        log.addOSCBundle (juce::OSCBundle (juce::OSCTimeTag (c.first)), 0);
    unsetenv ("TZ");
    tzset();

    for (int row = 0; row < (int) std::size (cases); ++row)
        EXPECT_EQ (log.getLineForRow (row), "- osc bundle, time tag = " + cases[row].second);
}

// Each update of the list repaints every visible row on the message thread, which the
// receiver thread may be waiting for: after a quiet spell the first lines show at once,
// but while lines keep coming the list catches up with them at most every updateIntervalMs.
TEST (OSCLogListBox, FollowsNewLinesAtOnceAfterAQuietSpellAndAtABoundedRateWhileTheyKeepComing)
{
    OSCLogListBox log;
    log.setBounds (0, 0, 400, 300);
    const auto newestIsShown = [&log] { return log.getLocalBounds().contains (log.getRowPosition (log.getNumRows() - 1, true)); };
    const auto addLines = [&log] (int messages)
    {
        for (int i = 0; i < messages; ++i)
            log.addOSCMessage (juce::OSCMessage ("/sxc/midi/note/off", 1, 60), 0);    // three lines each
    };
    const auto dispatchFor = [] (double ms)
    {
        for (const auto end = juce::Time::getMillisecondCounterHiRes() + ms; juce::Time::getMillisecondCounterHiRes() < end; juce::Thread::sleep (2))
            dispatchPostedMessages();
    };

    addLines (10);
    const auto firstUpdate = juce::Time::getMillisecondCounterHiRes();
    dispatchPostedMessages();
    EXPECT_TRUE (newestIsShown());

    addLines (10);
    dispatchPostedMessages();

    if (juce::Time::getMillisecondCounterHiRes() - firstUpdate < OSCLogListBox::updateIntervalMs)
    {
        EXPECT_FALSE (newestIsShown());
    }

    dispatchFor (OSCLogListBox::updateIntervalMs * 1.5);
    EXPECT_TRUE (newestIsShown());
    EXPECT_EQ (log.getNumRows(), 60);

    // An interval with no new lines ends the spell: the next lines show at once again.
    dispatchFor (OSCLogListBox::updateIntervalMs * 2.5);
    addLines (10);
    dispatchPostedMessages();
    EXPECT_TRUE (newestIsShown());
}

//==============================================================================
TEST (ConnectionSettingsView, SanitisePortNumberText)
{
    const std::pair<const char*, const char*> cases[] { { "9001", "9001" }, { "0", "0" }, { "007", "7" }, { "09001", "9001" }, { "000", "" },
        { "", "" }, { "70000", "70000" }, { "90a1", "0" }, { " 9001", "0" }, { "-1", "0" }, { "\xd9\xa9", "0" } };
    for (auto [text, expected] : cases)
        EXPECT_EQ (sanitisePortNumberText (juce::String::fromUTF8 (text)), expected) << "'" << text << "'";
}

TEST (ConnectionSettingsView, PortFieldRequestsOnlyWhatTheUserCommits)
{
    ConnectionSettingsView view;
    ConnectionSettingsViewTestAccess parts (view);
    view.setPortText ("9001");
    std::vector<int> requested;
    view.onPortChanged = [&] (int port) { requested.push_back (port); };

    // Abandoned by a click elsewhere, then overwritten from outside (a fallback bind): nothing requested.
    parts.type ("1234").focusLost (juce::Component::focusChangedByMouseClick);
    dispatchPostedMessages();
    EXPECT_EQ (view.getPortText(), "9001");
    view.setPortText ("53211");

    juce::StringArray shown;
    for (auto typed : { "0009001", "90x1", "" })
    {
        parts.typeAndPressReturn (typed);
        shown.add (view.getPortText());
    }
    EXPECT_EQ (shown, juce::StringArray ("9001", "0", ""));
    EXPECT_EQ (requested, (std::vector<int> { 9001, 0, 0 }));
}

TEST (ConnectionSettingsView, ShowButtonAndLayout)
{
    ConnectionSettingsView view;
    ConnectionSettingsViewTestAccess parts (view);
    int reports = 0;
    view.onVisibilityChanged = [&] { ++reports; };
    view.setBounds (0, 0, 600, 135);
    for (const auto visible : { true, false })
    {
        parts.showButton.triggerClick();
        dispatchPostedMessages();
        EXPECT_EQ (std::make_tuple (view.isSettingsVisible(), parts.showButton.getToggleState(), parts.portLabel.isVisible()),
                   std::make_tuple (visible, visible, visible));
    }
    EXPECT_EQ (reports, 2);

    // The address column is as wide as its font needs; the port column follows it after a gap of 10.
    const auto column = parts.ipAddressesLabel.getWidth();
    EXPECT_EQ (parts.headingLabel.getBounds(), juce::Rectangle<int> (25, 0, 550, 27));   // between two 25-wide buttons
    EXPECT_EQ (parts.ipAddressEditor.getBounds(), juce::Rectangle<int> (31, 56, column, 76));
    EXPECT_EQ (parts.portLabel.getPosition(), juce::Point<int> (31 + column + 10, 56));

    view.setBounds (0, 0, 50, 135);
    EXPECT_EQ (parts.headingLabel.getWidth() + parts.helpButton.getX(), 25);
    view.setBounds (0, 0, 600, 20);
    EXPECT_EQ (parts.headingLabel.getHeight(), 20);
    EXPECT_EQ (parts.ipAddressesLabel.getHeight() + parts.udpPortLabel.getHeight() + parts.portLabel.getHeight(), 0);
}

//==============================================================================
// The selector's list and its rows' texts, which the tests click and read.
struct MidiDeviceSelectorTestAccess
{
    static MidiDeviceSelector::MidiOutputSelectorComponentListBox& getList (MidiDeviceSelector& s)   { return *s.outputList; }
    static const juce::StringArray& getItems (MidiDeviceSelector::MidiOutputSelectorComponentListBox& l)   { return l.items; }
};

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

        MidiDeviceSelector::MidiOutputSelectorComponentListBox& list() { return MidiDeviceSelectorTestAccess::getList (selector); }

        // Presses and releases on the tick box (x below the row height, 22) or on the text of a row;
        // the second click of a double click comes with the double-click event.
        void click (int row, bool onTickBox, int clicks = 1)
        {
            auto* target = list().getComponentAt (200, row * 22 + 11);
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
        juce::StringArray openOutputs()     { manager.dispatchPendingMessages(); return ports.getOpenOutputNames(); }

        sx::test::InMemoryMidiPortSystem ports;
        juce::StringArray ids;
        MidiDeviceManager manager { ports };
        MidiDeviceSelector selector { manager, virtualMidiPortName };
    };
}

TEST (MidiDeviceSelector, ClicksReturnVirtualRowAndVanishedDevices)
{
    Selector s ({ "Synth A", "Synth B" });
    EXPECT_TRUE (s.list().isRowTicked (0) && ! s.list().isRowTicked (1) && ! s.list().isRowTicked (2));
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

    s.list().flipEnablement (0);
    s.list().flipEnablement (1);
    s.list().flipEnablement (0);   // the source is made again, after the open outputs
    EXPECT_EQ (s.openOutputs(), juce::StringArray ("Synth A", virtualMidiPortName));

    // The rows follow the devices only after the change message.
    s.ports.removeOutput (s.ids[0]);
    s.ports.removeOutput (s.ids[1]);
    s.ports.addOutput ("Synth C");
    s.list().flipEnablement (2);   // vanished and unticked: nothing to open
    s.list().flipEnablement (1);   // vanished but open: closes
    EXPECT_EQ (s.openOutputs(), juce::StringArray (virtualMidiPortName));
    EXPECT_EQ (MidiDeviceSelectorTestAccess::getItems (s.list()), juce::StringArray (virtualRow, "Synth C"));
}

TEST (MidiDeviceSelector, HardwareNamedLikeTheVirtualRowTogglesTheVirtualSource)
{
    Selector s { virtualRow };
    s.list().flipEnablement (1);
    EXPECT_TRUE (s.openOutputs().isEmpty());
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
        log.addFormatError (nullptr, 7);
        ConnectionSettingsView settings;
        settings.setSettingsVisible (true);
        settings.setAddresses ("192.168.1.20\r\n10.0.0.5");
        settings.setPortText ("9001");
        Selector midi { "Studio Synth", "USB MIDI Interface with a rather long name that will not fit into the row" };
        midi.list().flipEnablement (2);

        juce::Image image (juce::Image::ARGB, 1280, 2 * (200 + 135 + 100), true);
        juce::Graphics g (image);
        g.fillAll (getCurrentColourScheme().getUIColour (juce::LookAndFeel_V4::ColourScheme::windowBackground));
        g.addTransform (juce::AffineTransform::scale (2.0f));
        for (auto [view, height] : { std::pair<juce::Component*, int> { &log, 200 }, { &settings, 135 }, { &midi.selector, 100 } })
        {
            view->setLookAndFeel (&lookAndFeel);
            view->setSize (640, height);
            dispatchPostedMessages();
            view->paintEntireComponent (g, true);
            g.setOrigin (0, height);
        }

        const auto file = juce::File (SX_BINARY_DIR).getChildFile (dark ? "screenshots/views-dark.png" : "screenshots/views-light.png");
        file.getParentDirectory().createDirectory();
        file.deleteFile();
        EXPECT_TRUE (juce::PNGImageFormat().writeImageToStream (image, *file.createOutputStream()));
    }
    sx::platform::setDarkModeOverride (std::nullopt);
}
