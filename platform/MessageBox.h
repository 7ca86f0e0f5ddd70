#pragma once

#include <juce_gui_basics/juce_gui_basics.h>

#include <functional>

namespace sx::platform
{

/** Shows the options' box without waiting. When the user dismisses it, onButton
    runs on the message thread with the index of the pressed button in the
    options' order, 0 for the first.

    On macOS the native box reports that index itself. Elsewhere the framework
    stands in with its own alert window, which reports each button's command
    number instead: 1, 2, ... for the first buttons and 0 for the last, which
    Escape and closing the window also choose. That number is turned back into
    the index here, so that callers see the same on every system.
*/
void showMessageBoxAsync (const juce::MessageBoxOptions& options, std::function<void (int buttonIndex)> onButton);

} // namespace sx::platform
