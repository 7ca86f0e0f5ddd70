#pragma once

#include <juce_graphics/juce_graphics.h>

/** 22 points, "Semibold": headings of the window. */
juce::Font makeHeadingFont();

/** 16 points, "Regular": body text of the window. */
juce::Font makeRegularFont();
