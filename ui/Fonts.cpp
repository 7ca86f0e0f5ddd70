#include "ui/Fonts.h"

namespace
{
    // Every character gets this share of the font height as extra space: the
    // window's text is set slightly open so it stays legible on the tinted fields.
    constexpr float extraKerning = 0.0408f;
}

juce::String getSansSerifFamilyName()
{
   #if JUCE_MAC
    return "System Font";
   #else
    static const auto name = []
    {
        const juce::Font placeholder (juce::Font::getDefaultSansSerifFontName(), 10.0f, juce::Font::plain);

        if (auto typeface = juce::Font::getDefaultTypefaceForFont (placeholder))
            return typeface->getName();

        return juce::String();
    }();

    return name;
   #endif
}

juce::String getFaceStyle (const juce::String& style)
{
    const auto faces = juce::Font::findAllTypefaceStyles (getSansSerifFamilyName());

    if (faces.isEmpty() || faces.contains (style))
        return style;

    for (const auto* regular : { "Regular", "Book", "Roman", "Normal", "Medium" })
        if (faces.contains (regular))
            return regular;

    return style;
}

juce::Font makeFont (float height, const juce::String& style)
{
    juce::Font font (height);
    font.setTypefaceStyle (getFaceStyle (style));
    font.setExtraKerningFactor (extraKerning);
    return font;
}

juce::Font makeHeadingFont()
{
    return makeFont (22.0f, "Semibold");
}

juce::Font makeRegularFont()
{
    return makeFont (16.0f, "Regular");
}
