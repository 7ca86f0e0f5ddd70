/*  Drives the bridge on JUCE's real MIDI code, for AlsaPortsTests, which starts it with
    the fake ALSA sequencer preloaded (or without it, to see the failure path).

    bridge_alsa_probe send NAME...   lists the devices, opens the named hardware outputs,
                                     sends a bundle, closes the first named output, sends
                                     one more message and prints the saved state
    bridge_alsa_probe input          restores a state naming the input "Keys In", feeds it
                                     through FAKESEQ_INJECT and prints what arrived
*/
#include "bridge/OSCTranslator.h"

#include <cstdio>
#include <iostream>

namespace
{
void printDevices (sx::MidiPortSystem& system)
{
    for (const auto& d : system.getAvailableOutputs())
        std::cout << "out\t" << d.name << "\t" << d.identifier << "\n";

    for (const auto& d : system.getAvailableInputs())
        std::cout << "in\t" << d.name << "\t" << d.identifier << "\n";
}

void printState (const MidiDeviceManager& manager)
{
    const auto xml = manager.createStateXml();
    std::cout << "state\t" << (xml != nullptr ? xml->toString (juce::XmlElement::TextFormat().singleLine().withoutHeader())
                                              : juce::String()) << std::endl;
}

int send (const juce::StringArray& names)
{
    printDevices (sx::MidiPortSystem::getDefault());

    OSCTranslator translator;
    auto& manager = translator.getMidiDeviceManager();

    for (const auto& name : names)
        manager.setMidiOutputDeviceEnabled (name, true, false);

    juce::OSCBundle inner;
    inner.addElement (juce::OSCMessage ("/sxc/midi/cc", 1, 64, 127));

    juce::OSCBundle bundle;
    bundle.addElement (juce::OSCMessage ("/sxc/midi/note/on", 1, 60, 1.0f));
    bundle.addElement (juce::OSCMessage ("/sxc/midi/note/on", 1, 64, 0.5f));
    bundle.addElement (inner);
    translator.oscBundleReceived (bundle);

    if (! names.isEmpty())
        manager.setMidiOutputDeviceEnabled (names[0], false, false);

    translator.oscMessageReceived (juce::OSCMessage ("/sxc/midi/note/off", 1, 60));

    printState (manager);
    return 0;
}

struct Recorder : public sx::MidiInputPortCallback
{
    void handleIncomingMidiMessage (const juce::String& source, const juce::MidiMessage& m) override
    {
        const juce::ScopedLock sl (lock);
        lines.add (source + ":" + juce::String::toHexString (m.getRawData(), m.getRawDataSize()));
    }

    juce::CriticalSection lock;
    juce::StringArray lines;
};

int input()
{
    MidiDeviceManager manager;
    Recorder recorder;

    {
        const juce::ScopedLock sl (manager.midiCallbackLock);
        manager.midiCallbacks.add ({ {}, &recorder });
    }

    if (auto xml = juce::parseXML ("<DEVICESETUP><MIDIINPUT name=\"Keys In\"/></DEVICESETUP>"))
        manager.initialiseFromXml (*xml);

    printState (manager);

    // The input is connected now, so injected messages have a subscriber.
    juce::File (juce::SystemStats::getEnvironmentVariable ("FAKESEQ_INJECT", {}))
        .appendText ("Keys In FE\nKeys In 90 40 7F\n");

    for (int i = 0; i < 300; ++i)
    {
        {
            const juce::ScopedLock sl (recorder.lock);
            if (! recorder.lines.isEmpty())
                break;
        }
        juce::Thread::sleep (10);
    }

    juce::Thread::sleep (100);   // anything arriving late would be a fault too

    {
        const juce::ScopedLock sl (recorder.lock);
        for (const auto& line : recorder.lines)
            std::cout << "received\t" << line << "\n";
    }

    const juce::ScopedLock sl (manager.midiCallbackLock);
    manager.midiCallbacks.clear();
    return 0;
}
} // namespace

int main (int argc, char** argv)
{
    juce::ScopedJuceInitialiser_GUI juce;

    const juce::String mode (argc > 1 ? argv[1] : "");
    juce::StringArray names;

    for (int i = 2; i < argc; ++i)
        names.add (argv[i]);

    if (mode == "send")   return send (names);
    if (mode == "input")  return input();

    std::cerr << "usage: bridge_alsa_probe send NAME... | input\n";
    return 2;
}
