#pragma once

#include "platform/Appearance.h"

#include <gtest/gtest.h>
#include <juce_gui_basics/juce_gui_basics.h>

namespace looks_test
{

template <typename Painter>
juce::Image paintInto (int width, int height, Painter&& painter)
{
    juce::Image image (juce::Image::ARGB, width, height, true);
    juce::Graphics g (image);
    painter (g);
    return image;
}

inline juce::Image paintEditor (juce::LookAndFeel_V4& look, juce::TextEditor& editor, bool background)
{
    return paintInto (editor.getWidth(), editor.getHeight(), [&] (juce::Graphics& g)
    {
        if (background)     look.fillTextEditorBackground (g, editor.getWidth(), editor.getHeight(), editor);
        else                look.drawTextEditorOutline (g, editor.getWidth(), editor.getHeight(), editor);
    });
}

// Within a tolerance per channel (antialiasing, premultiplied storage); a transparent
// expected colour matches any fully transparent pixel.
inline ::testing::AssertionResult pixelIs (const juce::Image& image, int x, int y, juce::Colour expected, int tolerance = 3)
{
    const auto actual = image.getPixelAt (x, y);
    const auto near = [tolerance] (int a, int b) { return std::abs (a - b) <= tolerance; };

    if (near (actual.getAlpha(), expected.getAlpha())
        && (expected.getAlpha() == 0 || (near (actual.getRed(), expected.getRed()) && near (actual.getGreen(), expected.getGreen())
                                         && near (actual.getBlue(), expected.getBlue()))))
        return ::testing::AssertionSuccess();

    return ::testing::AssertionFailure() << "pixel (" << x << ", " << y << ") is " << actual.toDisplayString (true)
                                         << ", expected " << expected.toDisplayString (true);
}

inline int countPixels (const juce::Image& image, std::function<bool (juce::Colour)> predicate)
{
    int count = 0;
    for (int y = 0; y < image.getHeight(); ++y)
        for (int x = 0; x < image.getWidth(); ++x)
            count += predicate (image.getPixelAt (x, y)) ? 1 : 0;
    return count;
}

inline bool isBlank (const juce::Image& image)
{
    return countPixels (image, [] (juce::Colour c) { return c.getAlpha() != 0; }) == 0;
}

struct ScopedAppearance
{
    explicit ScopedAppearance (bool dark)   { sx::platform::setDarkModeOverride (dark); }
    ~ScopedAppearance()                     { sx::platform::setDarkModeOverride (std::nullopt); }
};

} // namespace looks_test
