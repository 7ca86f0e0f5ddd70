#pragma once

#include "platform/Appearance.h"

#include <juce_gui_basics/juce_gui_basics.h>

namespace juce
{
    // The Linux message loop's dispatch step, the one runDispatchLoopUntil() repeats;
    // declared here so that tests can deliver posted messages without modal loops.
    bool dispatchNextMessageOnSystemQueue (bool returnIfNoPendingMessages);
}

namespace sx::test
{

inline void dispatchPostedMessages()
{
    for (int i = 0; i < 10000 && juce::dispatchNextMessageOnSystemQueue (true); ++i) {}
}

struct ScopedDarkMode
{
    explicit ScopedDarkMode (bool dark)  { sx::platform::setDarkModeOverride (dark); }
    ~ScopedDarkMode()                    { sx::platform::setDarkModeOverride (std::nullopt); }
};

/** Press and release at a position, as the component under the pointer receives them;
    a double click adds a second press, the double click itself, and its release. */
inline void click (juce::Component& target, juce::Point<float> at, bool isDoubleClick = false)
{
    const auto event = [&] (int clicks)
    {
        const auto now = juce::Time::getCurrentTime();
        return juce::MouseEvent (juce::Desktop::getInstance().getMainMouseSource(), at, {}, 1.0f, 0.0f, 0.0f,
                                 0.0f, 0.0f, &target, &target, now, at, now, clicks, false);
    };

    target.mouseDown (event (1));
    target.mouseUp (event (1));

    if (isDoubleClick)
    {
        target.mouseDown (event (2));
        target.mouseDoubleClick (event (2));
        target.mouseUp (event (2));
    }
}

} // namespace sx::test
