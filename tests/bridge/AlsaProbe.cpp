// Runs the bridge on JUCE's real MIDI code for AlsaPortsTests: lists the outputs, opens the
// named ones, sends a bundle, closes the first named output, sends one more message and
// prints the saved state.
#include "bridge/OSCTranslator.h"

#include <iostream>

int main (int argc, char** argv)
{
    juce::ScopedJuceInitialiser_GUI juce;

    for (const auto& d : sx::MidiPortSystem::getDefault().getAvailableOutputs())
        std::cout << "out\t" << d.name << "\t" << d.identifier << "\n";

    OSCTranslator translator;
    auto& manager = translator.getMidiDeviceManager();

    for (int i = 1; i < argc; ++i)
        manager.setMidiOutputDeviceEnabled (argv[i], true, false);

    juce::OSCBundle inner, bundle;
    inner.addElement (juce::OSCMessage ("/sxc/midi/cc", 1, 64, 127));
    bundle.addElement (juce::OSCMessage ("/sxc/midi/note/on", 1, 60, 1.0f));
    bundle.addElement (juce::OSCMessage ("/sxc/midi/note/on", 1, 64, 0.5f));
    bundle.addElement (inner);
    translator.oscBundleReceived (bundle);

    if (argc > 1)
        manager.setMidiOutputDeviceEnabled (argv[1], false, false);

    translator.oscMessageReceived (juce::OSCMessage ("/sxc/midi/note/off", 1, 60));
    std::cout << "state\t" << manager.createStateXml()->toString (juce::XmlElement::TextFormat().singleLine().withoutHeader())
              << std::endl;
    return 0;
}
