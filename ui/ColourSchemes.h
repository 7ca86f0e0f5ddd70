#pragma once

#include <juce_gui_basics/juce_gui_basics.h>

extern const juce::LookAndFeel_V4::ColourScheme darkColourScheme;
extern const juce::LookAndFeel_V4::ColourScheme lightColourScheme;

extern const juce::Colour brandGradientStart;   // 0xFFFF00BF
extern const juce::Colour brandGradientEnd;     // 0xFF2FAAFF
extern const juce::Colour warningColour;        // 0xFFDD004B

/** The scheme of the system's current appearance, asked afresh at every call. */
const juce::LookAndFeel_V4::ColourScheme& getCurrentColourScheme();

/** Fills a list's field: the bounds as a rounded rectangle in the current scheme's
    widget background, asked afresh at every call. */
void fillListBackground (juce::Graphics& g, juce::Rectangle<int> bounds);

/** The brand gradient from x1 to x2 along y = 0, with both colours' alpha scaled by alphaScale. */
juce::ColourGradient makeBrandGradient (float x1, float x2, float alphaScale = 1.0f);
