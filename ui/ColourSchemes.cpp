#include "ui/ColourSchemes.h"

#include "platform/Appearance.h"

// Both schemes list their colours in juce::LookAndFeel_V4::ColourScheme::UIColour order:
// windowBackground, widgetBackground, menuBackground, outline, defaultText,
// defaultFill, highlightedText, highlightedFill, menuText.
const juce::LookAndFeel_V4::ColourScheme darkColourScheme {
    juce::Colour (0xFF373337), juce::Colour (0xFF1C1C1E), juce::Colour (0xFF323E44),
    juce::Colour (0xFF8E989B), juce::Colour (0xFFFFFFFF), juce::Colour (0xFF42A2C8),
    juce::Colour (0xFFFFFFFF), juce::Colour (0xFF181F22), juce::Colour (0xFFFFFFFF)
};

const juce::LookAndFeel_V4::ColourScheme lightColourScheme {
    juce::Colour (0xFFEFEFEF), juce::Colour (0xFFD7D7D7), juce::Colour (0xFFFFFFFF),
    juce::Colour (0xFF8E989B), juce::Colour (0xFF000000), juce::Colour (0xFF2F81BD),
    juce::Colour (0xFFFFFFFF), juce::Colour (0xFF40AEFF), juce::Colour (0xFF000000)
};

const juce::Colour brandGradientStart (0xFFFF00BF);
const juce::Colour brandGradientEnd (0xFF2FAAFF);
const juce::Colour warningColour (0xFFDD004B);

const juce::LookAndFeel_V4::ColourScheme& getCurrentColourScheme()
{
    return sx::platform::isDarkModeActive() ? darkColourScheme : lightColourScheme;
}

void fillListBackground (juce::Graphics& g, juce::Rectangle<int> bounds)
{
    g.setColour (getCurrentColourScheme().getUIColour (juce::LookAndFeel_V4::ColourScheme::widgetBackground));
    g.fillRoundedRectangle (bounds.toFloat(), 6.0f);
}

juce::ColourGradient makeBrandGradient (float x1, float x2, float alphaScale)
{
    // Rounded rather than truncated, so 15 % of 255 is 38 (0x26), the value the
    // warning tint uses too.
    const auto scaled = [alphaScale] (juce::Colour c)
    {
        return c.withAlpha ((juce::uint8) juce::jlimit (0, 255, juce::roundToInt ((float) c.getAlpha() * alphaScale)));
    };

    return juce::ColourGradient (scaled (brandGradientStart), x1, 0.0f,
                                 scaled (brandGradientEnd), x2, 0.0f,
                                 false);
}
