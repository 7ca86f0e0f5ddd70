#pragma once

#include <juce_gui_basics/juce_gui_basics.h>

#include <functional>

namespace sx::platform
{

/** Shows the options' box without waiting. When the user dismisses it, onButton
    runs on the message thread with the index of the pressed button in the
    options' order, 0 for the first, or -1 when the box was dismissed without a
    button (Escape), which callers treat as no choice at all.

    On macOS the native box reports the index itself. Elsewhere the framework's
    stand-in reports each button's command number instead (1, 2, ... and 0 for the
    last button, which Escape also chooses), so Escape would press the last button:
    "Report Error" in the script error box. There the box is built here with one
    command number per button and none for Escape.
*/
void showMessageBoxAsync (const juce::MessageBoxOptions& options, std::function<void (int buttonIndex)> onButton);

} // namespace sx::platform
