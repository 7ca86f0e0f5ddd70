#pragma once

#include <juce_graphics/juce_graphics.h>

/** The window's sans-serif family: "System Font" on macOS; elsewhere the family the
    framework picks for its default sans-serif font (no family is called "System Font"
    there, and a font asking for it would draw no glyphs). */
juce::String getSansSerifFamilyName();

/** The name of the family's face for a style ("Regular", "Semibold", "Bold").

    Families name their faces in their own ways (DejaVu's upright face is "Book"), and
    for a style that the family lacks the framework takes the family's first face,
    which may be an oblique or a bold one. So a style the family lacks is mapped to
    the family's upright regular face. */
juce::String getFaceStyle (const juce::String& style);

/** A font of the window's sans-serif family in that style's face, with the window's
    slightly open spacing. */
juce::Font makeFont (float height, const juce::String& style);

/** 22 points, "Semibold": headings of the window. */
juce::Font makeHeadingFont();

/** 16 points, "Regular": body text of the window. */
juce::Font makeRegularFont();
