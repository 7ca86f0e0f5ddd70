#include "tests/support/InMemoryMidiPorts.h"

#include <algorithm>

namespace sx::test
{

class InMemoryMidiPortSystem::Output : public sx::MidiOutputPort
{
public:
    Output (InMemoryMidiPortSystem& s, sx::MidiPortInfo i) : system (s), info (std::move (i))
    {
        const juce::ScopedLock sl (system.lock);
        system.openOutputs.push_back (this);
    }

    ~Output() override
    {
        const juce::ScopedLock sl (system.lock);
        auto& open = system.openOutputs;
        open.erase (std::remove (open.begin(), open.end(), this), open.end());
    }

    juce::String getName() const override   { return info.name; }

    void sendBlockOfMessagesNow (const juce::MidiBuffer& buffer) override
    {
        system.recordBlock (*this, buffer);
    }

    InMemoryMidiPortSystem& system;
    const sx::MidiPortInfo info;
};

class InMemoryMidiPortSystem::Input : public sx::MidiInputPort
{
public:
    Input (InMemoryMidiPortSystem& s, sx::MidiPortInfo i, sx::MidiInputPortCallback& cb)
        : system (s), info (std::move (i)), callback (cb)
    {
        const juce::ScopedLock sl (system.lock);
        system.openInputs.push_back (this);
    }

    ~Input() override
    {
        const juce::ScopedLock sl (system.lock);
        auto& open = system.openInputs;
        open.erase (std::remove (open.begin(), open.end(), this), open.end());
    }

    juce::String getName() const override   { return info.name; }
    void start() override                    { const juce::ScopedLock sl (system.lock); started = true; }
    void stop() override                     { const juce::ScopedLock sl (system.lock); started = false; }

    InMemoryMidiPortSystem& system;
    const sx::MidiPortInfo info;
    sx::MidiInputPortCallback& callback;
    bool started = false;
};

//==============================================================================
InMemoryMidiPortSystem::InMemoryMidiPortSystem() = default;

InMemoryMidiPortSystem::~InMemoryMidiPortSystem()
{
    // A port outliving its system would write into freed memory later; fail loudly here instead.
    jassert (openOutputs.empty() && openInputs.empty());
}

juce::String InMemoryMidiPortSystem::addOutput (const juce::String& name)
{
    const juce::ScopedLock sl (lock);
    const auto id = "out-" + juce::String (nextOutputId++);
    outputs.add ({ name, id });
    return id;
}

juce::String InMemoryMidiPortSystem::addInput (const juce::String& name)
{
    const juce::ScopedLock sl (lock);
    const auto id = "in-" + juce::String (nextInputId++);
    inputs.add ({ name, id });
    return id;
}

static void removeByIdentifier (juce::Array<sx::MidiPortInfo>& list, const juce::String& identifier)
{
    list.removeIf ([&] (const sx::MidiPortInfo& d) { return d.identifier == identifier; });
}

void InMemoryMidiPortSystem::removeOutput (const juce::String& identifier)
{
    const juce::ScopedLock sl (lock);
    removeByIdentifier (outputs, identifier);
}

void InMemoryMidiPortSystem::removeInput (const juce::String& identifier)
{
    const juce::ScopedLock sl (lock);
    removeByIdentifier (inputs, identifier);
}

void InMemoryMidiPortSystem::failVirtualCreation (bool shouldFail)
{
    const juce::ScopedLock sl (lock);
    shouldFailVirtual = shouldFail;
}

void InMemoryMidiPortSystem::failOpening (bool shouldFail)
{
    const juce::ScopedLock sl (lock);
    shouldFailOpening = shouldFail;
}

//==============================================================================
void InMemoryMidiPortSystem::recordBlock (const Output& port, const juce::MidiBuffer& buffer)
{
    {
        const juce::ScopedLock sl (lock);

        if (recording)
        {
            SentBlock block { port.info.name, port.info.identifier, {} };

            for (const auto meta : buffer)
                block.messages.emplace_back (meta.data, meta.data + meta.numBytes);

            sent.push_back (std::move (block));
        }
    }

    if (onBlockSent)
        onBlockSent (port.info.name, buffer);
}

std::vector<InMemoryMidiPortSystem::SentBlock> InMemoryMidiPortSystem::getSentBlocks() const
{
    const juce::ScopedLock sl (lock);
    return sent;
}

std::vector<InMemoryMidiPortSystem::SentBlock> InMemoryMidiPortSystem::getSentBlocks (const juce::String& portName) const
{
    const juce::ScopedLock sl (lock);
    std::vector<SentBlock> result;
    std::copy_if (sent.begin(), sent.end(), std::back_inserter (result),
                  [&] (const SentBlock& b) { return b.portName == portName; });
    return result;
}

void InMemoryMidiPortSystem::clearSentBlocks()
{
    const juce::ScopedLock sl (lock);
    sent.clear();
}

void InMemoryMidiPortSystem::setRecording (bool shouldRecord)
{
    const juce::ScopedLock sl (lock);
    recording = shouldRecord;
}

juce::Array<sx::MidiPortInfo> InMemoryMidiPortSystem::getOpenOutputs() const
{
    const juce::ScopedLock sl (lock);
    juce::Array<sx::MidiPortInfo> result;
    for (auto* o : openOutputs)
        result.add (o->info);
    return result;
}

juce::Array<sx::MidiPortInfo> InMemoryMidiPortSystem::getOpenInputs() const
{
    const juce::ScopedLock sl (lock);
    juce::Array<sx::MidiPortInfo> result;
    for (auto* i : openInputs)
        result.add (i->info);
    return result;
}

static juce::StringArray namesOf (const juce::Array<sx::MidiPortInfo>& list)
{
    juce::StringArray names;
    for (const auto& d : list)
        names.add (d.name);
    return names;
}

juce::StringArray InMemoryMidiPortSystem::getOpenOutputNames() const   { return namesOf (getOpenOutputs()); }
juce::StringArray InMemoryMidiPortSystem::getOpenInputNames() const    { return namesOf (getOpenInputs()); }

int InMemoryMidiPortSystem::inject (const juce::String& inputName, const juce::MidiMessage& message)
{
    // Delivered under the lock, so an input cannot be closed halfway through a delivery.
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
juce::Array<sx::MidiPortInfo> InMemoryMidiPortSystem::getAvailableOutputs()
{
    const juce::ScopedLock sl (lock);
    return outputs;
}

juce::Array<sx::MidiPortInfo> InMemoryMidiPortSystem::getAvailableInputs()
{
    const juce::ScopedLock sl (lock);
    return inputs;
}

static bool containsIdentifier (const juce::Array<sx::MidiPortInfo>& list, const juce::String& identifier)
{
    return std::any_of (list.begin(), list.end(),
                        [&] (const sx::MidiPortInfo& d) { return d.identifier == identifier; });
}

std::unique_ptr<sx::MidiOutputPort> InMemoryMidiPortSystem::openOutput (const sx::MidiPortInfo& device)
{
    {
        const juce::ScopedLock sl (lock);

        if (shouldFailOpening || device.identifier.isEmpty() || ! containsIdentifier (outputs, device.identifier))
            return nullptr;
    }

    return std::make_unique<Output> (*this, device);
}

std::unique_ptr<sx::MidiOutputPort> InMemoryMidiPortSystem::createVirtualOutput (const juce::String& name)
{
    juce::String id;

    {
        const juce::ScopedLock sl (lock);

        if (shouldFailVirtual)
            return nullptr;

        id = "virtual-" + juce::String (nextVirtualId++);
    }

    return std::make_unique<Output> (*this, sx::MidiPortInfo { name, id });
}

std::unique_ptr<sx::MidiInputPort> InMemoryMidiPortSystem::openInput (const sx::MidiPortInfo& device,
                                                                      sx::MidiInputPortCallback& callback)
{
    {
        const juce::ScopedLock sl (lock);

        if (shouldFailOpening || device.identifier.isEmpty() || ! containsIdentifier (inputs, device.identifier))
            return nullptr;
    }

    return std::make_unique<Input> (*this, device, callback);
}

} // namespace sx::test
