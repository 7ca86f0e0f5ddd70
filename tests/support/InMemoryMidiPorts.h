#pragma once

#include "bridge/MidiPorts.h"

#include <algorithm>
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

    // A port outliving its system would write into freed memory later; fail loudly here instead.
    ~InMemoryMidiPortSystem() override          { jassert (open.empty()); }

    // Lists a device; returns its identifier ("out-N", "in-N"; virtual outputs get "virtual-N").
    juce::String addOutput (const juce::String& name)   { return add (outputs, "out-", name); }
    juce::String addInput (const juce::String& name)    { return add (inputs, "in-", name); }

    // Unlists an output, as unplugging it would; ports already open on it stay open.
    void removeOutput (const juce::String& id)  { const juce::ScopedLock sl (lock); outputs.removeIf ([&] (auto& d) { return d.identifier == id; }); }

    void failOpening (bool shouldFail)          { const juce::ScopedLock sl (lock); failing = shouldFail; }     // openOutput() and openInput() fail
    void clearSentBlocks()                      { const juce::ScopedLock sl (lock); sent.clear(); }

    // Benchmarks stop recording so that sending allocates nothing; onBlockSent is still called.
    void setRecording (bool shouldRecord)       { const juce::ScopedLock sl (lock); recording = shouldRecord; }

    // Called on the sending thread after each block; set it before any traffic flows.
    std::function<void (const juce::String& portName, const juce::MidiBuffer&)> onBlockSent;

    // Every block sent so far in sending order; only those to ports of that name when one is given.
    std::vector<SentBlock> getSentBlocks (const juce::String& portName = {}) const
    {
        const juce::ScopedLock sl (lock);
        std::vector<SentBlock> result;
        std::copy_if (sent.begin(), sent.end(), std::back_inserter (result),
                      [&] (const SentBlock& b) { return portName.isEmpty() || b.portName == portName; });
        return result;
    }

    // The ports open now (virtual outputs included), in the order in which they were opened.
    juce::Array<sx::MidiPortInfo> getOpenOutputs() const    { return openPorts (false); }
    juce::Array<sx::MidiPortInfo> getOpenInputs() const     { return openPorts (true); }
    juce::StringArray getOpenOutputNames() const            { juce::StringArray n; for (auto& p : getOpenOutputs()) n.add (p.name); return n; }
    juce::StringArray getOpenInputNames() const             { juce::StringArray n; for (auto& p : getOpenInputs()) n.add (p.name); return n; }

    // The names of the ports closed so far, in the order in which they were closed.
    juce::StringArray getClosedPortNames() const            { const juce::ScopedLock sl (lock); return closed; }

    // Delivers to every started input open on a device of that name; returns how many got it.
    int inject (const juce::String& inputName, const juce::MidiMessage& message)
    {
        // Under the lock, so that an input cannot close halfway through a delivery.
        const juce::ScopedLock sl (lock);
        int delivered = 0;

        for (auto* port : open)
        {
            if (port->callback != nullptr && port->started && port->info.name == inputName)
            {
                port->callback->handleIncomingMidiMessage (inputName, message);
                ++delivered;
            }
        }

        return delivered;
    }

    juce::Array<sx::MidiPortInfo> getAvailableOutputs() override    { const juce::ScopedLock sl (lock); return outputs; }
    juce::Array<sx::MidiPortInfo> getAvailableInputs() override     { const juce::ScopedLock sl (lock); return inputs; }

    std::unique_ptr<sx::MidiOutputPort> openOutput (const sx::MidiPortInfo& device) override
    {
        return canOpen (outputs, device) ? std::make_unique<Port> (*this, device, nullptr) : nullptr;
    }

    std::unique_ptr<sx::MidiOutputPort> createVirtualOutput (const juce::String& name) override
    {
        const juce::ScopedLock sl (lock);
        return std::make_unique<Port> (*this, sx::MidiPortInfo { name, "virtual-" + juce::String (nextId++) }, nullptr);
    }

    std::unique_ptr<sx::MidiInputPort> openInput (const sx::MidiPortInfo& device, sx::MidiInputPortCallback& callback) override
    {
        return canOpen (inputs, device) ? std::make_unique<Port> (*this, device, &callback) : nullptr;
    }

private:
    // Either end of a device: an input has a callback, an output has none.
    struct Port : sx::MidiOutputPort, sx::MidiInputPort
    {
        Port (InMemoryMidiPortSystem& s, sx::MidiPortInfo i, sx::MidiInputPortCallback* cb)
            : system (s), info (std::move (i)), callback (cb)           { const juce::ScopedLock sl (system.lock); system.open.push_back (this); }

        ~Port() override
        {
            const juce::ScopedLock sl (system.lock);
            system.open.erase (std::find (system.open.begin(), system.open.end(), this));
            system.closed.add (info.name);
        }

        juce::String getName() const override                           { return info.name; }
        void start() override                                           { const juce::ScopedLock sl (system.lock); started = true; }
        void stop() override                                            { const juce::ScopedLock sl (system.lock); started = false; }
        void sendBlockOfMessagesNow (const juce::MidiBuffer& buffer) override
        {
            if (const juce::ScopedLock sl (system.lock); system.recording)
            {
                auto& block = system.sent.emplace_back (SentBlock { info.name, {} });

                for (const auto meta : buffer)
                    block.messages.emplace_back (meta.data, meta.data + meta.numBytes);
            }

            if (system.onBlockSent)
                system.onBlockSent (info.name, buffer);
        }

        InMemoryMidiPortSystem& system;
        const sx::MidiPortInfo info;
        sx::MidiInputPortCallback* const callback;
        bool started = false;
    };

    juce::String add (juce::Array<sx::MidiPortInfo>& list, const char* prefix, const juce::String& name)
    {
        const juce::ScopedLock sl (lock);
        list.add ({ name, prefix + juce::String (nextId++) });
        return list.getLast().identifier;
    }

    bool canOpen (const juce::Array<sx::MidiPortInfo>& list, const sx::MidiPortInfo& device) const
    {
        const juce::ScopedLock sl (lock);
        return ! failing && std::any_of (list.begin(), list.end(), [&] (auto& d) { return d.identifier == device.identifier; });
    }

    juce::Array<sx::MidiPortInfo> openPorts (bool inputs) const
    {
        const juce::ScopedLock sl (lock);
        juce::Array<sx::MidiPortInfo> result;
        for (auto* port : open)
            if ((port->callback != nullptr) == inputs)
                result.add (port->info);
        return result;
    }

    mutable juce::CriticalSection lock;
    juce::Array<sx::MidiPortInfo> outputs, inputs;
    std::vector<Port*> open;
    juce::StringArray closed;
    std::vector<SentBlock> sent;
    int nextId = 1;
    bool failing = false, recording = true;
};

} // namespace sx::test
