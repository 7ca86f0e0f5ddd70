#pragma once

#include "MidiDeviceManager.h"

#include <juce_osc/juce_osc.h>

/*  Turns the VR app's note and controller messages into MIDI on the OSC receiver's
    own thread and sends each packet's MIDI, as one block, to every open output.
*/
class OSCTranslator final : public juce::OSCReceiver::Listener<juce::OSCReceiver::RealtimeCallback>
{
public:
    OSCTranslator();
    explicit OSCTranslator (sx::MidiPortSystem& portSystem);
    ~OSCTranslator() override = default;

    void oscMessageReceived (const juce::OSCMessage& message) override;
    void oscBundleReceived (const juce::OSCBundle& bundle) override;

    MidiDeviceManager& getMidiDeviceManager() noexcept { return midiDeviceManager; }

private:
    void translate (const juce::OSCMessage& message);
    void translateBundle (const juce::OSCBundle& bundle);
    void sendBuffer();

    juce::MidiBuffer midiBuffer;
    MidiDeviceManager midiDeviceManager;
};
