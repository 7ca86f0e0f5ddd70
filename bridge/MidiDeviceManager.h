#pragma once

#include "MidiPorts.h"

#include <juce_events/juce_events.h>

#include <memory>
#include <vector>

/*  Owns every open MIDI output (the virtual source and each ticked hardware output)
    and every open input, keeps the "DEVICESETUP" document that records them, and
    sends a change message whenever the set of open devices may have changed.
*/
class MidiDeviceManager final : public juce::ChangeBroadcaster
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

    /** The manager's own "DEVICESETUP" document, which every change replaces; null before the
        first. createStateXml() hands out a copy of it. */
    const juce::XmlElement* getLastExplicitSettings() const noexcept    { return lastExplicitSettings.get(); }

    sx::MidiPortSystem& getPortSystem() const noexcept { return portSystem; }

    /** Sends the buffer as one block to every open output, on the calling thread (the OSC
        receiver's). Holds the output lock for the whole send, so that the message thread
        cannot close an output under it, and allocates nothing. */
    void sendBlockToAllOutputs (const juce::MidiBuffer& buffer);

    /** True when an output of that name is open. Message thread only: it is the only
        thread that opens and closes outputs, so it reads them without the lock. */
    bool isOutputOpen (const juce::String& name) const;

private:
    struct MidiCallbackInfo
    {
        juce::String deviceName;
        sx::MidiInputPortCallback* callback = nullptr;
    };

    class CallbackHandler final : public sx::MidiInputPortCallback
    {
    public:
        explicit CallbackHandler (MidiDeviceManager& m) : owner (m) {}

        void handleIncomingMidiMessage (const juce::String& sourceName,
                                        const juce::MidiMessage& message) override;

    private:
        MidiDeviceManager& owner;
    };

    // Open or close one device from a list the caller read from the system; they leave the
    // document and the change message to the caller. openOutput() returns whether it opened one.
    bool openOutput (const juce::String& name, bool isVirtual, const juce::Array<sx::MidiPortInfo>& available);
    void closeOutput (const juce::String& name);
    void openInput (const juce::String& name, const juce::Array<sx::MidiPortInfo>& available);
    void closeInput (const juce::String& name);

    sx::MidiPortSystem& portSystem;
    std::unique_ptr<juce::XmlElement> lastExplicitSettings;
    std::unique_ptr<CallbackHandler> callbackHandler;
    juce::StringArray midiInsFromXml;
    std::vector<std::unique_ptr<sx::MidiInputPort>> enabledMidiInputs;
    juce::Array<MidiCallbackInfo> midiCallbacks;
    juce::CriticalSection midiCallbackLock;
    std::vector<std::unique_ptr<sx::MidiOutputPort>> midiOutputs;
    juce::CriticalSection midiOutputLock;
};
