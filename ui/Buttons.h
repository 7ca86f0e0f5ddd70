#pragma once

#include <juce_gui_basics/juce_gui_basics.h>

#include <array>

/** Draws the image stretched into the destination, keeping 18-pixel image corners at 9 units. */
void drawImageNineSlice (juce::Graphics& g, juce::Rectangle<int> destination, const juce::Image& image);

/** One of the nine pieces of drawImageNineSlice: the image rectangle and where it is drawn. */
struct NineSlicePiece
{
    juce::Rectangle<int> destination;
    juce::Rectangle<int> source;
};

/** The nine pieces, row by row from the top and left to right, that drawImageNineSlice
    draws for an image of the given pixel size. Pieces may be empty; those draw nothing.
*/
std::array<NineSlicePiece, 9> getNineSlicePieces (juce::Rectangle<int> destination, int imageWidth, int imageHeight);

namespace sx
{

/** A push button drawn from a stretchable image, with its name as centred text. */
class Button final : public juce::Button
{
public:
    explicit Button (const juce::String& name);
    ~Button() override = default;

protected:
    void paintButton (juce::Graphics&, bool shouldDrawButtonAsHighlighted, bool shouldDrawButtonAsDown) override;

private:
    juce::Image normalImage;
    juce::Image downImage;
};

/** An on/off switch: a pill-shaped track with a round knob. */
class ToggleButtonSwitch final : public juce::Button
{
public:
    explicit ToggleButtonSwitch (const juce::String& name);
    ~ToggleButtonSwitch() override = default;

protected:
    void paintButton (juce::Graphics&, bool shouldDrawButtonAsHighlighted, bool shouldDrawButtonAsDown) override;

private:
    juce::DropShadow shadow;
    juce::Colour knobColour;
    juce::Colour offColour;
};

} // namespace sx
