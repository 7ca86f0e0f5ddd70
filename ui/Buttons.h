#pragma once

#include <juce_gui_basics/juce_gui_basics.h>

/** Draws the image stretched into the destination, keeping 18-pixel image corners at 9 units. */
void drawImageNineSlice (juce::Graphics& g, juce::Rectangle<int> destination, const juce::Image& image);

namespace sx
{

/** A push button drawn from a stretchable image, with its name as centred text. */
class Button : public juce::Button
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

} // namespace sx

/** An on/off switch: a pill-shaped track with a round knob. */
class ToggleButtonSwitch : public juce::Button
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
