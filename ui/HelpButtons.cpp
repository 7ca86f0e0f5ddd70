#include "ui/HelpButtons.h"

#include "platform/Appearance.h"

#include "SxResources.h"

std::unique_ptr<juce::Drawable> createHelpIcon()
{
    return sx::platform::isDarkModeActive()
               ? juce::Drawable::createFromImageData (SxResources::help_icon_dark_png, (size_t) SxResources::help_icon_dark_pngSize)
               : juce::Drawable::createFromImageData (SxResources::help_icon_light_png, (size_t) SxResources::help_icon_light_pngSize);
}

void styleIconButton (juce::DrawableButton& button)
{
    button.setEdgeIndent (0);
    button.setColour (juce::DrawableButton::backgroundOnColourId, juce::Colour (0x00000000));
    button.setMouseCursor (juce::MouseCursor::PointingHandCursor);
}

void setUpHelpButton (juce::DrawableButton& button, const juce::Drawable* icon, std::function<void()> onClick)
{
    styleIconButton (button);
    button.setImages (icon);
    button.onClick = std::move (onClick);
}

void showHelpBox (const juce::String& title, const juce::String& text)
{
    juce::NativeMessageBox::showMessageBoxAsync (juce::MessageBoxIconType::InfoIcon, title, text, nullptr, nullptr);
}
