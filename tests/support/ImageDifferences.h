#pragma once

#include <juce_graphics/juce_graphics.h>

namespace sx::test
{

/** How many pixels of the two images differ and the area they span, as "12 pixels in
    x y width height"; the empty text when they are equal pixel for pixel. */
inline juce::String describeDifferences (const juce::Image& a, const juce::Image& b)
{
    if (a.getBounds() != b.getBounds())
        return "sizes " + a.getBounds().toString() + " and " + b.getBounds().toString();

    int count = 0;
    juce::Rectangle<int> area;

    for (int y = 0; y < a.getHeight(); ++y)
        for (int x = 0; x < a.getWidth(); ++x)
            if (a.getPixelAt (x, y) != b.getPixelAt (x, y))
                area = count++ == 0 ? juce::Rectangle<int> (x, y, 1, 1) : area.getUnion ({ x, y, 1, 1 });

    return count == 0 ? juce::String() : juce::String (count) + " pixels in " + area.toString();
}

} // namespace sx::test
