#include "tests/support/InMemoryMidiPorts.h"

#include <algorithm>

namespace sx::test
{

template <typename Port>
static void unlist (std::vector<Port*>& list, Port* port)       { list.erase (std::remove (list.begin(), list.end(), port), list.end()); }

template <typename Port>
static juce::Array<sx::MidiPortInfo> infosOf (const std::vector<Port*>& list)
{
    juce::Array<sx::MidiPortInfo> result;
    for (auto* port : list)
        result.add (port->info);
    return result;
}

class InMemoryMidiPortSystem::Output : public sx::MidiOutputPort
{
public:
    Output (InMemoryMidiPortSystem& s, sx::MidiPortInfo i) : system (s), info (std::move (i))   { const juce::ScopedLock sl (system.lock); system.openOutputs.push_back (this); }
    ~Output() override                                                  { const juce::ScopedLock sl (system.lock); unlist (system.openOutputs, this); }

    juce::String getName() const override                               { return info.name; }
    void sendBlockOfMessagesNow (const juce::MidiBuffer& buffer) override   { system.record (info.name, buffer); }

    InMemoryMidiPortSystem& system;
    const sx::MidiPortInfo info;
};

class InMemoryMidiPortSystem::Input : public sx::MidiInputPort
{
public:
    Input (InMemoryMidiPortSystem& s, sx::MidiPortInfo i, sx::MidiInputPortCallback& cb)
        : system (s), info (std::move (i)), callback (cb)               { const juce::ScopedLock sl (system.lock); system.openInputs.push_back (this); }
    ~Input() override                                                   { const juce::ScopedLock sl (system.lock); unlist (system.openInputs, this); }

    juce::String getName() const override                               { return info.name; }
    void start() override                                               { const juce::ScopedLock sl (system.lock); started = true; }
    void stop() override                                                { const juce::ScopedLock sl (system.lock); started = false; }

    InMemoryMidiPortSystem& system;
    const sx::MidiPortInfo info;
    sx::MidiInputPortCallback& callback;
    bool started = false;
};

//==============================================================================
InMemoryMidiPortSystem::~InMemoryMidiPortSystem()
{
    // A port outliving its system would write into freed memory later; fail loudly here instead.
    jassert (openOutputs.empty() && openInputs.empty());
}

juce::String InMemoryMidiPortSystem::add (juce::Array<sx::MidiPortInfo>& list, const char* prefix, const juce::String& name)
{
    const juce::ScopedLock sl (lock);
    const auto id = prefix + juce::String (nextId++);
    list.add ({ name, id });
    return id;
}

void InMemoryMidiPortSystem::record (const juce::String& portName, const juce::MidiBuffer& buffer)
{
    {
        const juce::ScopedLock sl (lock);

        if (recording)
        {
            auto& block = sent.emplace_back (SentBlock { portName, {} });

            for (const auto meta : buffer)
                block.messages.emplace_back (meta.data, meta.data + meta.numBytes);
        }
    }

    if (onBlockSent)
        onBlockSent (portName, buffer);
}

std::vector<InMemoryMidiPortSystem::SentBlock> InMemoryMidiPortSystem::getSentBlocks (const juce::String& portName) const
{
    const juce::ScopedLock sl (lock);
    std::vector<SentBlock> result;
    std::copy_if (sent.begin(), sent.end(), std::back_inserter (result),
                  [&] (const SentBlock& b) { return portName.isEmpty() || b.portName == portName; });
    return result;
}

juce::Array<sx::MidiPortInfo> InMemoryMidiPortSystem::getOpenOutputs() const   { const juce::ScopedLock sl (lock); return infosOf (openOutputs); }
juce::Array<sx::MidiPortInfo> InMemoryMidiPortSystem::getOpenInputs() const    { const juce::ScopedLock sl (lock); return infosOf (openInputs); }
juce::StringArray InMemoryMidiPortSystem::getOpenOutputNames() const           { juce::StringArray n; for (auto& d : getOpenOutputs()) n.add (d.name); return n; }
juce::StringArray InMemoryMidiPortSystem::getOpenInputNames() const            { juce::StringArray n; for (auto& d : getOpenInputs()) n.add (d.name); return n; }

int InMemoryMidiPortSystem::inject (const juce::String& inputName, const juce::MidiMessage& message)
{
    // Delivered under the lock, so that an input cannot close halfway through a delivery.
    const juce::ScopedLock sl (lock);
    int delivered = 0;

    for (auto* input : openInputs)
    {
        if (input->started && input->info.name == inputName)
        {
            input->callback.handleIncomingMidiMessage (input->info.name, message);
            ++delivered;
        }
    }

    return delivered;
}

//==============================================================================
bool InMemoryMidiPortSystem::canOpen (const juce::Array<sx::MidiPortInfo>& list, const sx::MidiPortInfo& device) const
{
    const juce::ScopedLock sl (lock);
    return ! failing && std::any_of (list.begin(), list.end(), [&] (const sx::MidiPortInfo& d) { return d.identifier == device.identifier; });
}

std::unique_ptr<sx::MidiOutputPort> InMemoryMidiPortSystem::openOutput (const sx::MidiPortInfo& device)
{
    return canOpen (outputs, device) ? std::make_unique<Output> (*this, device) : nullptr;
}

std::unique_ptr<sx::MidiOutputPort> InMemoryMidiPortSystem::createVirtualOutput (const juce::String& name)
{
    const juce::ScopedLock sl (lock);
    return std::make_unique<Output> (*this, sx::MidiPortInfo { name, "virtual-" + juce::String (nextId++) });
}

std::unique_ptr<sx::MidiInputPort> InMemoryMidiPortSystem::openInput (const sx::MidiPortInfo& device, sx::MidiInputPortCallback& callback)
{
    return canOpen (inputs, device) ? std::make_unique<Input> (*this, device, callback) : nullptr;
}

} // namespace sx::test
