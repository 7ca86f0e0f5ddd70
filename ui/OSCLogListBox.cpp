#include "OSCLogListBox.h"

#include "ui/ColourSchemes.h"
#include "ui/HelpButtons.h"

#include <ctime>
#include <utility>

namespace
{
    juce::String indentFor (int level)
    {
        return juce::String::repeatedString ("  ", juce::jmax (0, level));
    }

    // The bytes up to the first zero, decoded as UTF-8. The decoder looks past the
    // end it is given for the continuation bytes of a sequence cut short, so it is
    // handed a zero-terminated copy rather than the packet's own memory.
    juce::String blobText (const juce::MemoryBlock& blob)
    {
        const auto* bytes = static_cast<const char*> (blob.getData());
        size_t length = 0;

        while (length < blob.getSize() && bytes[length] != 0)
            ++length;

        if (length == 0)
            return {};

        juce::HeapBlock<char> terminated (length + 1, true);
        std::memcpy (terminated.get(), bytes, length);
        return juce::String::fromUTF8 (terminated.get(), (int) length);
    }

    juce::String argumentLine (const juce::OSCArgument& argument, int level)
    {
        juce::String typeName, value;

        // The type tags are not compile-time constants in the framework, so no switch.
        if (argument.isInt32())        { typeName = "int32";   value = juce::String (argument.getInt32()); }
        else if (argument.isFloat32()) { typeName = "float32"; value = juce::String (argument.getFloat32()); }
        else if (argument.isString())  { typeName = "string";  value = argument.getString(); }
        else if (argument.isBlob())    { typeName = "blob";    value = blobText (argument.getBlob()); }
        else                           { typeName = "(unknown)"; }

        return indentFor (level) + "    - " + typeName.paddedRight (' ', 12) + value;
    }

    /*  The time as "5 Dec 2026 9:07:03" in local time: the layout of juce::Time::toString with
        the date, seconds and the 24-hour clock, written out here because the framework counts
        seconds before 1970 from the wrong end ("0:00:0-60"), and rounds times with a fraction
        before 1970 up to the next second. Whole seconds are taken rounding down, so a time
        shows the second it lies in on either side of 1970. */
    juce::String localDateTimeText (juce::Time time)
    {
        const auto millis = time.toMilliseconds();
        const auto seconds = (std::time_t) (millis / 1000 - (millis % 1000 < 0 ? 1 : 0));
        std::tm local {};

        if (localtime_r (&seconds, &local) == nullptr)
            local = {};

        const auto twoDigits = [] (int value) { return juce::String (value).paddedLeft ('0', 2); };

        return juce::String (local.tm_mday) + " " + juce::Time::getMonthName (local.tm_mon, true) + " "
                 + juce::String (local.tm_year + 1900) + " " + juce::String (local.tm_hour) + ":"
                 + twoDigits (local.tm_min) + ":" + twoDigits (local.tm_sec);
    }

    juce::String messageLine (const juce::OSCMessage& message, int level)
    {
        return indentFor (level) + "- osc message, address = '" + message.getAddressPattern().toString()
                 + "', " + juce::String (message.size()) + " argument(s)";
    }
}

//==============================================================================
OSCLogListBox::OSCLogListBox()
    : juce::ListBox ({}, nullptr)
{
    lines.ensureStorageAllocated (capacity);
    setModel (this);
    setColour (juce::ListBox::backgroundColourId, juce::Colour (0x00FFFFFF));
}

OSCLogListBox::~OSCLogListBox() = default;

void OSCLogListBox::addMessage (const juce::String& line)
{
    add ({ line, nullptr });
}

void OSCLogListBox::add (Line line)
{
    const juce::ScopedLock sl (lock);

    if (lines.size() < capacity)
        lines.add (std::move (line));
    else
        lines.getReference (writeIndex) = std::move (line);

    writeIndex = (writeIndex + 1) % capacity;

    // Tested before the flag is updated: the line that fills the buffer overwrites
    // nothing, so the oldest line stays where it is.
    if (isFull)
        readIndex = (readIndex + 1) % capacity;

    if (lines.size() == capacity)
        isFull = true;
}

void OSCLogListBox::addOSCMessage (const juce::OSCMessage& message, int level)
{
    addMessageLines (std::make_shared<const juce::OSCMessage> (message), level);
    triggerAsyncUpdate();
}

void OSCLogListBox::addOSCBundle (const juce::OSCBundle& bundle, int level)
{
    const auto copy = std::make_shared<const juce::OSCBundle> (bundle);
    addBundleLines (copy, *copy, level);
    triggerAsyncUpdate();
}

void OSCLogListBox::addMessageLines (const std::shared_ptr<const juce::OSCMessage>& message, int level)
{
    for (int argument = -1; argument < message->size(); ++argument)
        add ({ {}, message, argument, level });
}

void OSCLogListBox::addBundleLines (const std::shared_ptr<const juce::OSCBundle>& owner, const juce::OSCBundle& bundle, int level)
{
    // The time tag is written out now: it is shown in the time zone of its arrival.
    addMessage (indentFor (level) + "- osc bundle, time tag = "
                  + localDateTimeText (bundle.getTimeTag().toTime()));

    for (const auto& element : bundle)
    {
        if (element.isMessage())
            addMessageLines (std::shared_ptr<const juce::OSCMessage> (owner, &element.getMessage()), level + 1);
        else if (element.isBundle())
            addBundleLines (owner, element.getBundle(), level + 1);
    }
}

void OSCLogListBox::addFormatError (const char*, int size)
{
    addMessage ("- (" + juce::String (size) + "bytes with invalid format)");
    triggerAsyncUpdate();
}

void OSCLogListBox::clear()
{
    {
        const juce::ScopedLock sl (lock);
        lines.clearQuick();
        writeIndex = 0;
        readIndex = 0;
        isFull = false;
    }

    triggerAsyncUpdate();
}

void OSCLogListBox::showHelpBox()
{
    ::showHelpBox (
        "Message Log Help",
        "The Message Log shows a history of OSC and MIDI messages sent from the VR app to your computer "
        "to control your music software (DAW). You can check the log to ensure your control actions in the "
        "VR app are being received by VADizudiv. For example, after setting up the VR connection, if you hit "
        "a Tapzone sphere in the VR app with your motion controller, you should see a message appear in the "
        "log if the connection is setup properly. You can clear all text from the log by clicking the "
        "\"Clear\" button.");
}

//==============================================================================
void OSCLogListBox::paint (juce::Graphics& g)
{
    fillListBackground (g, getLocalBounds());
}

int OSCLogListBox::getNumRows()
{
    const juce::ScopedLock sl (lock);
    return lines.size();
}

juce::String OSCLogListBox::getLineForRow (int row)
{
    Line line;

    {
        const juce::ScopedLock sl (lock);

        if (! juce::isPositiveAndBelow (row, lines.size()))
            return {};

        line = lines[(row + readIndex) % capacity];
    }

    // Written out without the lock, from the line's own copy of the message.
    if (line.message == nullptr)
        return line.text;

    return line.argument < 0 ? messageLine (*line.message, line.level)
                             : argumentLine ((*line.message)[line.argument], line.level);
}

void OSCLogListBox::paintListBoxItem (int rowNumber, juce::Graphics& g, int width, int height, bool)
{
    // Rows past the stored lines can be asked for between a clear and the next
    // update; they stay blank.
    const auto line = getLineForRow (rowNumber);

    if (line.isEmpty())
        return;

    g.setColour (getCurrentColourScheme().getUIColour (juce::LookAndFeel_V4::ColourScheme::defaultText));
    g.drawText (line, 4, 0, juce::jmax (0, width - 8), juce::jmax (0, height),
                juce::Justification::centredLeft, true);
}

void OSCLogListBox::handleAsyncUpdate()
{
    // The first lines after a quiet spell show at once; while the timer runs, the
    // lines that keep coming wait for it.
    if (isTimerRunning())
    {
        updatePending = true;
        return;
    }

    showNewestLines();
    startTimer (updateIntervalMs);
}

void OSCLogListBox::timerCallback()
{
    if (! std::exchange (updatePending, false))
    {
        stopTimer();
        return;
    }

    showNewestLines();
}

void OSCLogListBox::showNewestLines()
{
    updateContent();
    scrollToEnsureRowIsOnscreen (getNumRows() - 1);
    repaint();
}
