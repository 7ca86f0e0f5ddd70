#pragma once

#include "MidiPorts.h"

#include <juce_events/juce_events.h>

#include <memory>
#include <vector>

/*  Owns every open MIDI output (the virtual source and each ticked hardware output)
    and every open input, keeps the "DEVICESETUP" document that records them, and
    sends a change message whenever the set of open devices may have changed.
*/
class MidiDeviceManager : public juce::ChangeBroadcaster
{
public:
    /** Uses the system's MIDI devices. */
    MidiDeviceManager();

    /** Uses the given port system, which must outlive the manager. */
    explicit MidiDeviceManager (sx::MidiPortSystem& portSystem);

    ~MidiDeviceManager() override;

    void setMidiOutputDeviceEnabled (const juce::String& name, bool enabled, bool isVirtual);
    void setMidiInputDeviceEnabled (const juce::String& name, bool enabled);

    void updateXml();
    std::unique_ptr<juce::XmlElement> createStateXml() const;
    void initialiseFromXml (const juce::XmlElement& xml);

    sx::MidiPortSystem& getPortSystem() const noexcept { return portSystem; }

    struct MidiCallbackInfo
    {
        juce::String deviceName;
        sx::MidiInputPortCallback* callback = nullptr;
    };

    class CallbackHandler : public sx::MidiInputPortCallback
    {
    public:
        explicit CallbackHandler (MidiDeviceManager& m) : owner (m) {}

        void handleIncomingMidiMessage (const juce::String& sourceName,
                                        const juce::MidiMessage& message) override;

    private:
        MidiDeviceManager& owner;
    };

private:
    sx::MidiPortSystem& portSystem;

public:
    std::unique_ptr<juce::XmlElement> lastExplicitSettings;
    std::unique_ptr<CallbackHandler> callbackHandler;
    juce::StringArray midiInsFromXml;
    std::vector<std::unique_ptr<sx::MidiInputPort>> enabledMidiInputs;
    juce::Array<MidiCallbackInfo> midiCallbacks;
    juce::CriticalSection midiCallbackLock;
    std::vector<std::unique_ptr<sx::MidiOutputPort>> midiOutputs;
    juce::CriticalSection midiOutputLock;
};
