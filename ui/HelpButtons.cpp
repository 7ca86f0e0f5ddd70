#include "ui/HelpButtons.h"

#include "platform/Appearance.h"

#include "SxResources.h"

std::unique_ptr<juce::Drawable> AppearanceImage::createFor (bool darkMode) const
{
    return darkMode ? juce::Drawable::createFromImageData (darkData, (size_t) darkSize)
                    : juce::Drawable::createFromImageData (lightData, (size_t) lightSize);
}

AppearanceImage getHelpIcon()
{
    return { SxResources::help_icon_dark_png, SxResources::help_icon_dark_pngSize,
             SxResources::help_icon_light_png, SxResources::help_icon_light_pngSize };
}

//==============================================================================
AppearanceImageButton::AppearanceImageButton (const juce::String& name)
    : juce::DrawableButton (name, juce::DrawableButton::ImageFitted)
{
    setEdgeIndent (0);
    setColour (juce::DrawableButton::backgroundOnColourId, juce::Colour (0x00000000));
    setMouseCursor (juce::MouseCursor::PointingHandCursor);
}

void AppearanceImageButton::setAppearanceImages (const AppearanceImage& normal, std::optional<AppearanceImage> normalOn)
{
    normalImage = normal;
    normalOnImage = std::move (normalOn);
    showImagesForCurrentAppearance();
}

void AppearanceImageButton::lookAndFeelChanged()
{
    juce::DrawableButton::lookAndFeelChanged();

    // A look is also set and cleared when the window is built and goes; only a change
    // of the appearance needs the images decoded again.
    if (normalImage.has_value() && shownForDarkMode != sx::platform::isDarkModeActive())
        showImagesForCurrentAppearance();
}

void AppearanceImageButton::showImagesForCurrentAppearance()
{
    shownForDarkMode = sx::platform::isDarkModeActive();
    const auto normal = normalImage->createFor (shownForDarkMode);
    const auto normalOn = normalOnImage.has_value() ? normalOnImage->createFor (shownForDarkMode) : nullptr;

    // The button keeps copies.
    setImages (normal.get(), nullptr, nullptr, nullptr, normalOn.get());
}

void setUpHelpButton (AppearanceImageButton& button, std::function<void()> onClick)
{
    button.setAppearanceImages (getHelpIcon());
    button.onClick = std::move (onClick);
}

void showHelpBox (const juce::String& title, const juce::String& text)
{
    juce::NativeMessageBox::showMessageBoxAsync (juce::MessageBoxIconType::InfoIcon, title, text, nullptr, nullptr);
}
