#include "platform/MessageBox.h"

namespace sx::platform
{

void showMessageBoxAsync (const juce::MessageBoxOptions& options, std::function<void (int)> onButton)
{
   #if JUCE_MAC
    juce::NativeMessageBox::showAsync (options, std::move (onButton));
   #else
    const auto numButtons = options.getNumButtons();

    juce::NativeMessageBox::showAsync (options, [numButtons, onButton = std::move (onButton)] (int commandNumber)
    {
        if (onButton == nullptr)
            return;

        if (numButtons <= 1)
            onButton (0);
        else
            onButton (commandNumber == 0 ? numButtons - 1 : commandNumber - 1);
    });
   #endif
}

} // namespace sx::platform
