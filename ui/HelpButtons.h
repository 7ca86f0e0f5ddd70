#pragma once

#include <juce_gui_basics/juce_gui_basics.h>

#include <functional>
#include <memory>
#include <optional>

/** A picture held in the program as PNG data, in a variant for each appearance. */
struct AppearanceImage
{
    const char* darkData;
    int darkSize;
    const char* lightData;
    int lightSize;

    /** Decodes the variant for the dark or the light appearance. */
    std::unique_ptr<juce::Drawable> createFor (bool darkMode) const;
};

/** The help icon of the window's help buttons. */
AppearanceImage getHelpIcon();

/** An image button of the window: the image fitted without edge indent, no on-state
    background, a pointing hand, and images in the variant of the appearance.

    The variants are chosen again whenever the button's look changes: that is how the
    window passes a change of the appearance on to its parts.
*/
class AppearanceImageButton final : public juce::DrawableButton
{
public:
    explicit AppearanceImageButton (const juce::String& name);
    ~AppearanceImageButton() override = default;

    /** The image shown normally, and the one shown while the button is toggled on
        (without one, the normal image shows then too). */
    void setAppearanceImages (const AppearanceImage& normal, std::optional<AppearanceImage> normalOn = std::nullopt);

    void lookAndFeelChanged() override;

private:
    void showImagesForCurrentAppearance();

    std::optional<AppearanceImage> normalImage, normalOnImage;
    bool shownForDarkMode = false;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (AppearanceImageButton)
};

/** Makes the button a help button: the help icon, and onClick. */
void setUpHelpButton (AppearanceImageButton& button, std::function<void()> onClick);

/** Opens a native information box with an OK button, without owner or callback. */
void showHelpBox (const juce::String& title, const juce::String& text);
