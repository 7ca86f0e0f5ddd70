#pragma once

#include "bridge/MidiPorts.h"

#include <cstdint>
#include <functional>
#include <vector>

namespace sx::test
{

/*  A MIDI port system in memory, for tests and benchmarks: scripted devices (duplicate names
    allowed, listed in the order added), every block sent to an open output recorded, and
    incoming MIDI injected as a device's own thread would deliver it.
    Every member function is thread-safe; it must outlive every port it opened.
*/
class InMemoryMidiPortSystem : public sx::MidiPortSystem
{
public:
    struct SentBlock
    {
        juce::String portName;
        std::vector<std::vector<std::uint8_t>> messages;
    };

    ~InMemoryMidiPortSystem() override;

    /** Lists a device; returns its identifier ("out-N", "in-N"; virtual outputs get "virtual-N"). */
    juce::String addOutput (const juce::String& name)   { return add (outputs, "out-", name); }
    juce::String addInput (const juce::String& name)    { return add (inputs, "in-", name); }

    /** Unlists an output, as unplugging it would; ports already open on it stay open. */
    void removeOutput (const juce::String& id)  { const juce::ScopedLock sl (lock); outputs.removeIf ([&] (auto& d) { return d.identifier == id; }); }

    /** Makes openOutput() and openInput() fail. */
    void failOpening (bool shouldFail)          { const juce::ScopedLock sl (lock); failing = shouldFail; }

    /** Every block sent so far in sending order; only those to ports of that name when one is given. */
    std::vector<SentBlock> getSentBlocks (const juce::String& portName = {}) const;
    void clearSentBlocks()                      { const juce::ScopedLock sl (lock); sent.clear(); }

    /** Benchmarks stop recording so that sending allocates nothing; onBlockSent is still called. */
    void setRecording (bool shouldRecord)       { const juce::ScopedLock sl (lock); recording = shouldRecord; }

    /** Called on the sending thread after each block; set it before any traffic flows. */
    std::function<void (const juce::String& portName, const juce::MidiBuffer&)> onBlockSent;

    /** The ports open now (virtual outputs included), in the order in which they were opened. */
    juce::Array<sx::MidiPortInfo> getOpenOutputs() const;
    juce::Array<sx::MidiPortInfo> getOpenInputs() const;
    juce::StringArray getOpenOutputNames() const;
    juce::StringArray getOpenInputNames() const;

    /** Delivers to every started input open on a device of that name; returns how many got it. */
    int inject (const juce::String& inputName, const juce::MidiMessage& message);

    juce::Array<sx::MidiPortInfo> getAvailableOutputs() override    { const juce::ScopedLock sl (lock); return outputs; }
    juce::Array<sx::MidiPortInfo> getAvailableInputs() override     { const juce::ScopedLock sl (lock); return inputs; }
    std::unique_ptr<sx::MidiOutputPort> openOutput (const sx::MidiPortInfo& device) override;
    std::unique_ptr<sx::MidiOutputPort> createVirtualOutput (const juce::String& name) override;
    std::unique_ptr<sx::MidiInputPort> openInput (const sx::MidiPortInfo& device, sx::MidiInputPortCallback& callback) override;

private:
    class Output;
    class Input;

    juce::String add (juce::Array<sx::MidiPortInfo>& list, const char* prefix, const juce::String& name);
    bool canOpen (const juce::Array<sx::MidiPortInfo>& list, const sx::MidiPortInfo& device) const;
    void record (const juce::String& portName, const juce::MidiBuffer& buffer);

    mutable juce::CriticalSection lock;
    juce::Array<sx::MidiPortInfo> outputs, inputs;
    std::vector<Output*> openOutputs;
    std::vector<Input*> openInputs;
    std::vector<SentBlock> sent;
    int nextId = 1;
    bool failing = false, recording = true;
};

} // namespace sx::test
