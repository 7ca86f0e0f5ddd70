#include "ui/Fonts.h"

namespace
{
    // Every character gets this share of the font height as extra space: the
    // window's text is set slightly open so it stays legible on the tinted fields.
    constexpr float extraKerning = 0.0408f;

    juce::Font makeFont (float height, const juce::String& style)
    {
        juce::Font font (height);
        font.setTypefaceStyle (style);
        font.setExtraKerningFactor (extraKerning);
        return font;
    }
}

juce::Font makeHeadingFont()
{
    return makeFont (22.0f, "Semibold");
}

juce::Font makeRegularFont()
{
    return makeFont (16.0f, "Regular");
}
