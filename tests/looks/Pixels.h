#pragma once

#include "platform/Appearance.h"

#include <gtest/gtest.h>
#include <juce_gui_basics/juce_gui_basics.h>

#include <cstdlib>

namespace looks_test
{

inline juce::Image makeCanvas (int width, int height)
{
    return juce::Image (juce::Image::ARGB, width, height, true);
}

/** Paints into a fresh transparent canvas. */
template <typename Painter>
juce::Image paintInto (int width, int height, Painter&& painter)
{
    auto image = makeCanvas (width, height);
    juce::Graphics g (image);
    painter (g);
    return image;
}

/** The pixel agrees with the colour within a tolerance per channel (antialiasing and
    premultiplied storage move values a little); a transparent colour matches any
    fully transparent pixel. */
inline ::testing::AssertionResult pixelIs (const juce::Image& image, int x, int y, juce::Colour expected, int tolerance = 3)
{
    const auto actual = image.getPixelAt (x, y);
    const auto near = [tolerance] (int a, int b) { return std::abs (a - b) <= tolerance; };

    if (near (actual.getAlpha(), expected.getAlpha())
        && (expected.getAlpha() == 0
            || (near (actual.getRed(), expected.getRed()) && near (actual.getGreen(), expected.getGreen())
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

/** Pins the system appearance for the life of a test. */
struct ScopedAppearance
{
    explicit ScopedAppearance (bool dark)   { sx::platform::setDarkModeOverride (dark); }
    ~ScopedAppearance()                     { sx::platform::setDarkModeOverride (std::nullopt); }
};

} // namespace looks_test
