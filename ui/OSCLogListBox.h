#pragma once

#include <juce_gui_basics/juce_gui_basics.h>
#include <juce_osc/juce_osc.h>

/*  The message log: every OSC message and bundle received, and one line for each
    packet that failed to parse, in a list that keeps the last 200 lines.

    The lines live in a ring buffer so that memory stays bounded however long the
    application runs. Format errors are reported on the OSC receiver's thread while
    everything else happens on the message thread, so the buffer is guarded by
    `lock`; lines are built before it is taken, and it is never held while calling
    into the list box, so the two threads never wait on each other for long.
*/
class OSCLogListBox final : public juce::ListBox,
                            private juce::ListBoxModel,
                            private juce::AsyncUpdater
{
public:
    /** How many lines the log keeps. */
    static constexpr int capacity = 200;

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

    void paintListBoxItem (int rowNumber, juce::Graphics&, int width, int height, bool rowIsSelected) override;
    void handleAsyncUpdate() override;

    int writeIndex = 0;
    int readIndex = 0;
    bool isFull = false;
    juce::StringArray lines;
    juce::CriticalSection lock;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (OSCLogListBox)
};
