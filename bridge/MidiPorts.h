#pragma once

#include <juce_audio_devices/juce_audio_devices.h>

#include <memory>

/*  The MIDI port layer.

    Every MIDI device the application touches is reached through a MidiPortSystem:
    the real one wraps juce::MidiOutput / juce::MidiInput (CoreMIDI on macOS, the
    ALSA sequencer on Linux); an in-memory one lets tests script the devices and
    see every block that was sent.
*/
namespace sx
{

/** One device as the system lists it: its display name and the identifier used to open it. */
struct MidiPortInfo
{
    juce::String name;
    juce::String identifier;
};

/** An open MIDI output. Destroying it closes the device (a virtual source disappears). */
class MidiOutputPort
{
public:
    virtual ~MidiOutputPort() = default;

    virtual juce::String getName() const = 0;

    /** Delivers every event of the buffer immediately, on the calling thread. */
    virtual void sendBlockOfMessagesNow (const juce::MidiBuffer& buffer) = 0;
};

/** An open MIDI input. Destroying it stops and closes the device. */
class MidiInputPort
{
public:
    virtual ~MidiInputPort() = default;

    virtual juce::String getName() const = 0;
    virtual void start() = 0;
    virtual void stop() = 0;
};

/** Receives the messages of an open input, on the device's own thread. */
class MidiInputPortCallback
{
public:
    virtual ~MidiInputPortCallback() = default;

    virtual void handleIncomingMidiMessage (const juce::String& sourceName,
                                            const juce::MidiMessage& message) = 0;
};

class MidiPortSystem
{
public:
    virtual ~MidiPortSystem() = default;

    /** Hardware outputs, in the order in which the system lists them (duplicate names kept). */
    virtual juce::Array<MidiPortInfo> getAvailableOutputs() = 0;

    /** Inputs, in the order in which the system lists them (duplicate names kept). */
    virtual juce::Array<MidiPortInfo> getAvailableInputs() = 0;

    /** Opens a hardware output by identifier; null when it cannot be opened. */
    virtual std::unique_ptr<MidiOutputPort> openOutput (const MidiPortInfo& device) = 0;

    /** Creates a virtual source of that name that other applications can read; null on failure. */
    virtual std::unique_ptr<MidiOutputPort> createVirtualOutput (const juce::String& name) = 0;

    /** Opens an input by identifier, delivering to the callback once started; null on failure. */
    virtual std::unique_ptr<MidiInputPort> openInput (const MidiPortInfo& device,
                                                      MidiInputPortCallback& callback) = 0;

    /** The system the application uses: JUCE's MIDI devices. */
    static MidiPortSystem& getDefault();
};

} // namespace sx
