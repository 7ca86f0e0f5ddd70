#include "bridge/MidiDeviceManager.h"
#include "bridge/OSCVocabulary.h"

#include <algorithm>
#include <optional>
#include <set>
#include <utility>

namespace
{
    template <typename PortPointer>
    bool containsPortNamed (const std::vector<PortPointer>& ports, const juce::String& name)
    {
        for (const auto& port : ports)
            if (port->getName() == name)
                return true;

        return false;
    }

    const juce::String deviceSetupTag  { "DEVICESETUP" };
    const juce::String midiInputTag    { "MIDIINPUT" };
    const juce::String midiOutputTag   { "MIDIOUTPUT" };
    const juce::String nameAttribute   { "name" };
    const juce::String typeAttribute   { "type" };
    const juce::String virtualType     { "virtual" };

    // The order in which equalsIgnoreCase() finds names equal.
    struct IgnoringCase
    {
        bool operator() (const juce::String& a, const juce::String& b) const    { return a.compareIgnoreCase (b) < 0; }
    };
}

//==============================================================================
MidiDeviceManager::MidiDeviceManager()
    : MidiDeviceManager (sx::MidiPortSystem::getDefault())
{
}

MidiDeviceManager::MidiDeviceManager (sx::MidiPortSystem& system)
    : portSystem (system)
{
    callbackHandler = std::make_unique<CallbackHandler> (*this);

    // The virtual source exists whatever state is restored later, so music software
    // always finds it while the application runs.
    setMidiOutputDeviceEnabled (virtualMidiPortName,
                                ! containsPortNamed (midiOutputs, virtualMidiPortName),
                                true);
}

MidiDeviceManager::~MidiDeviceManager()
{
    // An open input may deliver on the system's thread until it is closed, and delivery
    // takes midiCallbackLock and reads midiCallbacks, which member order would destroy
    // before the inputs: close the inputs while both still exist.
    enabledMidiInputs.clear();
}

//==============================================================================
void MidiDeviceManager::setMidiOutputDeviceEnabled (const juce::String& name, bool enabled, bool isVirtual)
{
    if (name.isEmpty() || enabled == isOutputOpen (name))
        return;

    if (enabled)
        openOutput (name, isVirtual, isVirtual ? juce::Array<sx::MidiPortInfo>() : portSystem.getAvailableOutputs());
    else
        closeOutput (name);

    updateXml();
    sendChangeMessage();
}

bool MidiDeviceManager::openOutput (const juce::String& name, bool isVirtual, const juce::Array<sx::MidiPortInfo>& available)
{
    const juce::ScopedLock sl (midiOutputLock);
    std::unique_ptr<sx::MidiOutputPort> opened;

    if (isVirtual)
    {
        opened = portSystem.createVirtualOutput (name);
    }
    else
    {
        for (const auto& device : available)
        {
            if (device.name == name)
            {
                // Only the first of several devices sharing a name is reachable by name.
                if (device.identifier.isNotEmpty())
                    opened = portSystem.openOutput (device);

                break;
            }
        }
    }

    if (opened == nullptr)
        return false;

    midiOutputs.push_back (std::move (opened));
    return true;
}

void MidiDeviceManager::closeOutput (const juce::String& name)
{
    const auto existing = std::find_if (midiOutputs.begin(), midiOutputs.end(),
                                        [&] (const auto& o) { return o->getName() == name; });

    // Destroyed under the lock: the receiver thread may be halfway through a send.
    const juce::ScopedLock sl (midiOutputLock);
    midiOutputs.erase (existing);
}

void MidiDeviceManager::sendBlockToAllOutputs (const juce::MidiBuffer& buffer)
{
    const juce::ScopedLock sl (midiOutputLock);

    for (const auto& output : midiOutputs)
        output->sendBlockOfMessagesNow (buffer);
}

bool MidiDeviceManager::isOutputOpen (const juce::String& name) const
{
    return containsPortNamed (midiOutputs, name);
}

//==============================================================================
void MidiDeviceManager::setMidiInputDeviceEnabled (const juce::String& name, bool enabled)
{
    if (enabled == containsPortNamed (enabledMidiInputs, name))
        return;

    if (enabled)
        openInput (name, portSystem.getAvailableInputs());
    else
        closeInput (name);

    updateXml();
    sendChangeMessage();
}

void MidiDeviceManager::openInput (const juce::String& name, const juce::Array<sx::MidiPortInfo>& available)
{
    if (name.isEmpty() || callbackHandler == nullptr)
        return;

    for (const auto& device : available)
    {
        if (device.name == name)
        {
            if (auto input = portSystem.openInput (device, *callbackHandler))
            {
                enabledMidiInputs.push_back (std::move (input));
                enabledMidiInputs.back()->start();
            }

            break;
        }
    }
}

void MidiDeviceManager::closeInput (const juce::String& name)
{
    enabledMidiInputs.erase (std::remove_if (enabledMidiInputs.begin(), enabledMidiInputs.end(),
                                             [&] (const auto& i) { return i->getName() == name; }),
                             enabledMidiInputs.end());
}

//==============================================================================
void MidiDeviceManager::updateXml()
{
    std::vector<std::pair<const juce::String*, juce::String>> entries;   // tag and name, in document order

    for (const auto& input : enabledMidiInputs)
        entries.emplace_back (&midiInputTag, input->getName());

    if (! midiInsFromXml.isEmpty())
    {
        std::set<juce::String, IgnoringCase> available;

        for (const auto& device : portSystem.getAvailableInputs())
            available.insert (device.name);

        // An absent device keeps its place, so it is reopened once it is plugged in again.
        for (const auto& remembered : midiInsFromXml)
            if (available.count (remembered) == 0)
                entries.emplace_back (&midiInputTag, remembered);
    }

    for (const auto& output : midiOutputs)
        entries.emplace_back (&midiOutputTag, output->getName());

    // Built from the back: adding at the end walks the whole list, which made a long list cost
    // the square of its length.
    lastExplicitSettings = std::make_unique<juce::XmlElement> (deviceSetupTag);

    for (auto entry = entries.rbegin(); entry != entries.rend(); ++entry)
    {
        auto child = std::make_unique<juce::XmlElement> (*entry->first);
        child->setAttribute (nameAttribute, entry->second);
        lastExplicitSettings->prependChildElement (child.release());
    }
}

std::unique_ptr<juce::XmlElement> MidiDeviceManager::createStateXml() const
{
    if (lastExplicitSettings == nullptr)
        return {};

    return std::make_unique<juce::XmlElement> (*lastExplicitSettings);
}

void MidiDeviceManager::initialiseFromXml (const juce::XmlElement& state)
{
    // Read from a private copy: the caller may hand back our own document, which the
    // rebuild below replaces.
    const juce::XmlElement xml (state);
    lastExplicitSettings = std::make_unique<juce::XmlElement> (xml);

    midiInsFromXml.clear();

    for (const auto* child : xml.getChildIterator())
        if (child->getTagName().equalsIgnoreCase (midiInputTag))
            midiInsFromXml.add (child->getStringAttribute (nameAttribute));

    // The system lists its devices once, and the document is rebuilt once at the end when
    // anything was opened, closed or tried: a long list in the file costs in proportion to
    // its length, however many of its devices are absent.
    const auto availableInputs = portSystem.getAvailableInputs();
    const std::set<juce::String> wantedInputs (midiInsFromXml.begin(), midiInsFromXml.end());
    bool changed = false;

    for (const auto& device : availableInputs)
    {
        const bool wanted = wantedInputs.count (device.name) > 0;

        if (wanted != containsPortNamed (enabledMidiInputs, device.name))
        {
            if (wanted)
                openInput (device.name, availableInputs);
            else
                closeInput (device.name);

            changed = true;
        }
    }

    std::set<juce::String> openOutputs;
    std::optional<juce::Array<sx::MidiPortInfo>> availableOutputs;
    const juce::Array<sx::MidiPortInfo> noOutputs;   // a virtual one opens without the list

    for (const auto& output : midiOutputs)
        openOutputs.insert (output->getName());

    for (const auto* child : xml.getChildIterator())
    {
        if (! child->getTagName().equalsIgnoreCase (midiOutputTag))
            continue;

        const auto name = child->getStringAttribute (nameAttribute);
        const bool isVirtual = child->getStringAttribute (typeAttribute) == virtualType;

        if (name.isEmpty() || openOutputs.count (name) > 0)
            continue;

        if (! isVirtual && ! availableOutputs.has_value())
            availableOutputs = portSystem.getAvailableOutputs();

        if (openOutput (name, isVirtual, isVirtual ? noOutputs : *availableOutputs))
            openOutputs.insert (name);

        changed = true;
    }

    if (changed)
    {
        updateXml();
        sendChangeMessage();
    }
}

//==============================================================================
void MidiDeviceManager::CallbackHandler::handleIncomingMidiMessage (const juce::String& sourceName,
                                                                    const juce::MidiMessage& message)
{
    // Active sensing arrives several times a second from some devices and carries nothing.
    if (message.getRawDataSize() > 0 && message.getRawData()[0] == 0xfe)
        return;

    const juce::ScopedLock sl (owner.midiCallbackLock);

    for (const auto& info : owner.midiCallbacks)
        if (info.deviceName.isEmpty() || info.deviceName == sourceName)
            info.callback->handleIncomingMidiMessage (sourceName, message);
}
