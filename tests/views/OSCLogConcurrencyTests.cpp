#include "tests/views/OSCLogListBoxTestAccess.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

namespace juce { bool dispatchNextMessageOnSystemQueue (bool returnIfNoPendingMessages); }   // the Linux message loop's step

// The OSC receiver reports malformed packets on its own thread while the message
// thread logs messages, clears the log and paints it.
TEST (OSCLogConcurrency, FormatErrorsFromTheReceiverThreadKeepTheBufferConsistent)
{
    OSCLogListBox log;
    log.setBounds (0, 0, 400, 300);
    juce::Image canvas (juce::Image::ARGB, 400, 300, true);

    constexpr int errors = 3000;
    std::atomic<int> reported { 0 };
    std::thread receiver ([&]
    {
        for (; reported < errors; ++reported)
            log.addFormatError ("not osc", 7);
    });

    const auto expectConsistent = [&log]
    {
        const auto [readIndex, writeIndex, isFull, numLines] = OSCLogListBoxTestAccess::getRing (log);
        ASSERT_TRUE (juce::isPositiveAndBelow (writeIndex, OSCLogListBox::capacity));
        ASSERT_EQ (numLines, isFull ? OSCLogListBox::capacity : writeIndex);
        ASSERT_EQ (readIndex, isFull ? writeIndex : 0);
    };

    for (int round = 0; (round < 300 || reported < errors) && round < 100000; ++round)
    {
        log.addOSCMessage (juce::OSCMessage ("/sxc/midi/cc", 1, 74, 0.5f), 0);
        if (round % 25 == 0)
            log.clear();

        juce::Graphics g (canvas);
        log.paintEntireComponent (g, true);
        for (int i = 0; i < 10000 && juce::dispatchNextMessageOnSystemQueue (true); ++i) {}
        expectConsistent();
    }

    receiver.join();
    expectConsistent();

    // No torn or mixed lines.
    const juce::StringArray known { "- (7bytes with invalid format)", "- osc message, address = '/sxc/midi/cc', 3 argument(s)",
                                    "    - int32       1", "    - int32       74", "    - float32     0.5" };
    for (int row = 0; row < log.getNumRows(); ++row)
        ASSERT_TRUE (known.contains (log.getLineForRow (row))) << log.getLineForRow (row);
}
