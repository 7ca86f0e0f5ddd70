#pragma once

#include <juce_gui_basics/juce_gui_basics.h>
#include <juce_osc/juce_osc.h>

#include <memory>

/*  The message log: every OSC message and bundle received, and one line for each
    packet that failed to parse, in a list that keeps the last 200 lines.

    The lines live in a ring buffer so that memory stays bounded however long the
    application runs. Format errors are reported on the OSC receiver's thread while
    everything else happens on the message thread, so the buffer is guarded by
    `lock`; lines are built before it is taken, and it is never held while calling
    into the list box, so the two threads never wait on each other for long.

    The log must cost the message thread little per message: while it works, the
    receiver thread that sends the MIDI can be kept waiting for the same CPU. So a
    message's lines keep a copy of the message and are written out only when a row
    is painted (or asked for); at thousands of notes a second nearly every line
    leaves the ring unseen. And the list, whose repaint redraws every visible row,
    follows new lines at once after a quiet spell but at most every
    updateIntervalMs while they keep coming.
*/
class OSCLogListBox final : public juce::ListBox,
                            private juce::ListBoxModel,
                            private juce::AsyncUpdater,
                            private juce::Timer
{
public:
    /** How many lines the log keeps. */
    static constexpr int capacity = 200;

    /** The shortest time between two updates of the list while lines keep arriving. */
    static constexpr int updateIntervalMs = 50;

    OSCLogListBox();
    ~OSCLogListBox() override;

    /** Appends one line; callers trigger the update. */
    void addMessage (const juce::String& line);

    void addOSCMessage (const juce::OSCMessage& message, int level);
    void addOSCBundle (const juce::OSCBundle& bundle, int level);

    /** Safe to call from any thread: the receiver reports malformed packets on its own. */
    void addFormatError (const char* data, int size);

    void clear();

    /** The line shown in a row: row 0 is the oldest kept line, the last row the newest. */
    juce::String getLineForRow (int row);

    /** The "Message Log Help" box, opened by the help button next to the log's heading. */
    static void showHelpBox();

    /** The number of lines kept now. */
    int getNumRows() override;

    //==============================================================================
    void paint (juce::Graphics&) override;

private:
    friend struct OSCLogListBoxTestAccess;

    /*  One line: either its text, or the message it describes (the header line, or
        one argument's line) and its nesting level, written out when asked for. The
        pointer keeps the copy of the message, or of the bundle it came in, alive. */
    struct Line
    {
        juce::String text;
        std::shared_ptr<const juce::OSCMessage> message;
        int argument = -1;      // -1: the message's own line
        int level = 0;
    };

    void add (Line line);
    void addMessageLines (const std::shared_ptr<const juce::OSCMessage>& message, int level);
    void addBundleLines (const std::shared_ptr<const juce::OSCBundle>& owner, const juce::OSCBundle& bundle, int level);

    void paintListBoxItem (int rowNumber, juce::Graphics&, int width, int height, bool rowIsSelected) override;
    void handleAsyncUpdate() override;
    void timerCallback() override;
    void showNewestLines();

    int writeIndex = 0;
    int readIndex = 0;
    bool isFull = false;
    juce::Array<Line> lines;
    juce::CriticalSection lock;
    bool updatePending = false;     // message thread: lines came while the timer holds updates back

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (OSCLogListBox)
};
