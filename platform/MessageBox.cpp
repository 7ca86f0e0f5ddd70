#include "platform/MessageBox.h"

namespace sx::platform
{

void showMessageBoxAsync (const juce::MessageBoxOptions& options, std::function<void (int)> onButton)
{
   #if JUCE_MAC
    juce::NativeMessageBox::showAsync (options, std::move (onButton));
   #else
    auto box = std::make_unique<juce::AlertWindow> (options.getTitle(), options.getMessage(),
                                                    options.getIconType(), options.getAssociatedComponent());

    // Button i answers i + 1, so that Escape's 0 stands for no button; Return presses the first.
    for (int i = 0; i < options.getNumButtons(); ++i)
        box->addButton (options.getButtonText (i), i + 1, i == 0 ? juce::KeyPress (juce::KeyPress::returnKey) : juce::KeyPress());

    box->enterModalState (true, juce::ModalCallbackFunction::create ([onButton = std::move (onButton)] (int result)
    {
        if (onButton != nullptr)
            onButton (result - 1);
    }), true);

    box.release();  // owned by the modal manager from here on, and deleted when dismissed
   #endif
}

} // namespace sx::platform
