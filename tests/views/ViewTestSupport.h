#pragma once

#include <juce_gui_basics/juce_gui_basics.h>

namespace juce
{
    // The Linux message loop's dispatch step (what runDispatchLoopUntil() repeats), so
    // that tests can deliver posted messages without modal loops.
    bool dispatchNextMessageOnSystemQueue (bool returnIfNoPendingMessages);
}

namespace sx::test
{
    inline void dispatchPostedMessages()
    {
        for (int i = 0; i < 10000 && juce::dispatchNextMessageOnSystemQueue (true); ++i) {}
    }
}
