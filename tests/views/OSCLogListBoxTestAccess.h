#pragma once

#include "ui/OSCLogListBox.h"

#include <tuple>

// The log's ring buffer as the tests that check its indices see it.
struct OSCLogListBoxTestAccess
{
    // readIndex, writeIndex, isFull and the number of lines stored, read together under the log's lock.
    static std::tuple<int, int, bool, int> getRing (OSCLogListBox& log)
    {
        const juce::ScopedLock sl (log.lock);
        return { log.readIndex, log.writeIndex, log.isFull, log.lines.size() };
    }
};
