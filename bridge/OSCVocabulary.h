#pragma once

#include <juce_core/juce_core.h>

/** The name of the virtual MIDI source that music software selects as its input. */
extern const juce::String virtualMidiPortName;

/** The OSC address components the bridge understands, compared case-sensitively. */
namespace oscAddressTokens
{
    extern const juce::String sxc;
    extern const juce::String midi;
    extern const juce::String note;
    extern const juce::String on;
    extern const juce::String off;
    extern const juce::String cc;
    extern const juce::String dmx;
    extern const juce::String ableton;
    extern const juce::String settings;
}
