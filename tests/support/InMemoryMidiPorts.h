#pragma once

#include "bridge/MidiPorts.h"

#include <cstdint>
#include <functional>
#include <vector>

namespace sx::test
{

/*  A MIDI port system that lives in memory, for tests and benchmarks.

    - Scripted hardware: addOutput()/addInput() list devices (duplicate names allowed,
      each gets its own identifier); removeOutput()/removeInput() make one vanish, as an
      unplugged device would. Listing order is the order in which they were added.
    - Recording: every block sent to any open output (hardware or virtual) is recorded
      as the port's name, the identifier it was opened with and the bytes of each
      message, in order. Sends may come from any thread.
    - Failures: failVirtualCreation(true) makes createVirtualOutput() return null;
      failOpening(true) makes openOutput() and openInput() return null.
    - Input: inject() hands a message to every started input opened on that name,
      on the calling thread, as a device's own thread would.

    Every member function is thread-safe. Ports hold a reference to the system, so
    the system must outlive every port it opened.
*/
class InMemoryMidiPortSystem : public sx::MidiPortSystem
{
public:
    /** One sendBlockOfMessagesNow() call on one port. */
    struct SentBlock
    {
        juce::String portName;
        juce::String identifier;                          // "virtual-N" for virtual sources
        std::vector<std::vector<std::uint8_t>> messages;  // each message's bytes, in order
    };

    InMemoryMidiPortSystem();
    ~InMemoryMidiPortSystem() override;

    //==============================================================================
    // Scripting the devices

    /** Lists a hardware output; returns its identifier ("out-1", "out-2", ...). */
    juce::String addOutput (const juce::String& name);
    /** Lists an input; returns its identifier ("in-1", "in-2", ...). */
    juce::String addInput (const juce::String& name);

    /** Unlists a device by identifier. Ports already open on it stay open. */
    void removeOutput (const juce::String& identifier);
    void removeInput (const juce::String& identifier);

    void failVirtualCreation (bool shouldFail);
    void failOpening (bool shouldFail);

    //==============================================================================
    // Observing

    /** Every block sent so far, to any port, in sending order. */
    std::vector<SentBlock> getSentBlocks() const;
    /** Blocks sent to ports of that name only. */
    std::vector<SentBlock> getSentBlocks (const juce::String& portName) const;
    void clearSentBlocks();

    /** Stops (or resumes) recording blocks; onBlockSent is still called. Benchmarks use
        this so that sending allocates nothing. */
    void setRecording (bool shouldRecord);

    /** Called on the sending thread after each block, with the port's name. Set it before
        any traffic flows; it is not guarded against concurrent reassignment. */
    std::function<void (const juce::String& portName, const juce::MidiBuffer&)> onBlockSent;

    /** Outputs open right now (virtual ones included), in the order in which they were opened. */
    juce::Array<sx::MidiPortInfo> getOpenOutputs() const;
    /** Inputs open right now, in the order in which they were opened. */
    juce::Array<sx::MidiPortInfo> getOpenInputs() const;
    juce::StringArray getOpenOutputNames() const;
    juce::StringArray getOpenInputNames() const;

    //==============================================================================
    // Incoming MIDI

    /** Delivers the message to every started input open on a device of that name; returns
        how many inputs received it. */
    int inject (const juce::String& inputName, const juce::MidiMessage& message);

    //==============================================================================
    // sx::MidiPortSystem
    juce::Array<sx::MidiPortInfo> getAvailableOutputs() override;
    juce::Array<sx::MidiPortInfo> getAvailableInputs() override;
    std::unique_ptr<sx::MidiOutputPort> openOutput (const sx::MidiPortInfo& device) override;
    std::unique_ptr<sx::MidiOutputPort> createVirtualOutput (const juce::String& name) override;
    std::unique_ptr<sx::MidiInputPort> openInput (const sx::MidiPortInfo& device,
                                                  sx::MidiInputPortCallback& callback) override;

private:
    class Output;
    class Input;
    friend class Output;
    friend class Input;

    void recordBlock (const Output&, const juce::MidiBuffer&);

    mutable juce::CriticalSection lock;
    juce::Array<sx::MidiPortInfo> outputs, inputs;
    std::vector<Output*> openOutputs;
    std::vector<Input*> openInputs;
    std::vector<SentBlock> sent;
    int nextOutputId = 1, nextInputId = 1, nextVirtualId = 1;
    bool shouldFailVirtual = false, shouldFailOpening = false, recording = true;

    JUCE_DECLARE_NON_COPYABLE (InMemoryMidiPortSystem)
};

} // namespace sx::test
