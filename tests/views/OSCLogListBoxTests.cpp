#include "ui/OSCLogListBox.h"
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

    void addLines (OSCLogListBox& log, int first, int last)
    {
        for (int i = first; i <= last; ++i)
            log.addMessage ("line " + juce::String (i));
    }

    juce::OSCArgument blob (std::initializer_list<unsigned char> bytes)
    {
        return juce::OSCArgument (juce::MemoryBlock (std::data (bytes), bytes.size()));
    }
}

TEST (OSCLogRingBuffer, KeepsTheNewest200LinesInArrivalOrder)
{
    OSCLogListBox log;
    addLines (log, 1, 199);
    EXPECT_EQ (std::make_tuple (log.readIndex, log.writeIndex, log.isFull), std::make_tuple (0, 199, false));

    addLines (log, 200, 200);   // fills the buffer, overwrites nothing
    EXPECT_EQ (std::make_tuple (log.readIndex, log.writeIndex, log.isFull), std::make_tuple (0, 0, true));

    addLines (log, 201, 201);   // replaces slot 0; row r now shows slot (r + 1) mod 200
    EXPECT_EQ (std::make_tuple (log.readIndex, log.writeIndex, log.lines[0]), std::make_tuple (1, 1, juce::String ("line 201")));
    EXPECT_EQ (log.getNumRows(), 200);
    EXPECT_EQ (log.getLineForRow (0), "line 2");
    EXPECT_EQ (log.getLineForRow (199), "line 201");
    EXPECT_EQ (log.getLineForRow (200), "");

    addLines (log, 202, 450);
    juce::StringArray expected;
    for (int i = 251; i <= 450; ++i)
        expected.add ("line " + juce::String (i));
    EXPECT_EQ (rows (log), expected);

    log.clear();
    log.addMessage ("fresh");
    EXPECT_EQ (rows (log), juce::StringArray ("fresh"));
    EXPECT_EQ (std::make_tuple (log.readIndex, log.writeIndex, log.isFull, log.lines[0]),
               std::make_tuple (0, 1, false, juce::String ("fresh")));
}

TEST (OSCLogLines, EveryArgumentTypeAndNestingLevel)
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
    for (auto b : { blob ({ 'n', 'o', 0, 'x' }), blob ({ 'a', 'b' }), blob ({}), blob ({ 0, 'x' }) })
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

    EXPECT_EQ (rows (log), juce::StringArray ({
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
        "      - blob        ",
        "      - (unknown)   ",
        "  - osc bundle, time tag = 5 Dec 2026 9:07:03",
        "    - osc message, address = '/in', 1 argument(s)",
        "        - int32       64",
        "- osc message, address = '/none', 0 argument(s)",
        "- (7bytes with invalid format)" }));

    unsetenv ("TZ");
    tzset();
}

TEST (OSCLogLines, BlobCutShortInsideAUtf8SequenceIsReadNoFurther)
{
    OSCLogListBox log;
    juce::OSCMessage message ("/b");
    message.addArgument (blob ({ 'a', 0xE2, 0x82 }));
    log.addOSCMessage (message, 0);

    EXPECT_TRUE (log.getLineForRow (1).startsWith ("    - blob        a"));
}

TEST (OSCLogView, TheAsynchronousUpdateScrollsToTheNewestRow)
{
    OSCLogListBox log;
    log.setBounds (0, 0, 300, 110);
    addLines (log, 1, 40);
    log.addFormatError (nullptr, -3);
    sx::test::dispatchPostedMessages();

    auto& view = *log.getViewport();
    EXPECT_EQ (log.getLineForRow (40), "- (-3bytes with invalid format)");
    EXPECT_EQ (view.getViewPositionY() + view.getMaximumVisibleHeight(), 41 * log.getRowHeight());
}
