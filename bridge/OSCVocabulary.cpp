#include "bridge/OSCVocabulary.h"

const juce::String virtualMidiPortName { "Sondrevix Connect" };

namespace oscAddressTokens
{
    const juce::String sxc      { "sxc" };
    const juce::String midi     { "midi" };
    const juce::String note     { "note" };
    const juce::String on       { "on" };
    const juce::String off      { "off" };
    const juce::String cc       { "cc" };
    const juce::String dmx      { "dmx" };
    const juce::String ableton  { "ableton" };
    const juce::String settings { "settings" };
}
