#include "bridge/MidiDeviceManager.h"
#include "bridge/OSCVocabulary.h"

#include <algorithm>

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
    if (name.isEmpty())
        return;

    const auto existing = std::find_if (midiOutputs.begin(), midiOutputs.end(),
                                        [&] (const auto& o) { return o->getName() == name; });

    if (existing != midiOutputs.end())
    {
        if (enabled)
            return;

        // Destroyed under the lock: the receiver thread may be halfway through a send.
        const juce::ScopedLock sl (midiOutputLock);
        midiOutputs.erase (existing);
    }
    else
    {
        if (! enabled)
            return;

        const juce::ScopedLock sl (midiOutputLock);
        std::unique_ptr<sx::MidiOutputPort> opened;

        if (isVirtual)
        {
            opened = portSystem.createVirtualOutput (name);
        }
        else
        {
            for (const auto& device : portSystem.getAvailableOutputs())
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

        if (opened != nullptr)
            midiOutputs.push_back (std::move (opened));
    }

    updateXml();
    sendChangeMessage();
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
    const bool isOpen = containsPortNamed (enabledMidiInputs, name);

    if (enabled == isOpen)
        return;

    if (enabled)
    {
        if (name.isNotEmpty() && callbackHandler != nullptr)
        {
            for (const auto& device : portSystem.getAvailableInputs())
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
    }
    else
    {
        enabledMidiInputs.erase (std::remove_if (enabledMidiInputs.begin(), enabledMidiInputs.end(),
                                                 [&] (const auto& i) { return i->getName() == name; }),
                                 enabledMidiInputs.end());
    }

    updateXml();
    sendChangeMessage();
}

//==============================================================================
void MidiDeviceManager::updateXml()
{
    lastExplicitSettings = std::make_unique<juce::XmlElement> (deviceSetupTag);

    for (const auto& input : enabledMidiInputs)
        lastExplicitSettings->createNewChildElement (midiInputTag)->setAttribute (nameAttribute, input->getName());

    if (! midiInsFromXml.isEmpty())
    {
        const auto available = portSystem.getAvailableInputs();

        for (const auto& remembered : midiInsFromXml)
        {
            const bool isAvailable = std::any_of (available.begin(), available.end(),
                                                  [&] (const sx::MidiPortInfo& d) { return d.name.equalsIgnoreCase (remembered); });

            // An absent device keeps its place, so it is reopened once it is plugged in again.
            if (! isAvailable)
                lastExplicitSettings->createNewChildElement (midiInputTag)->setAttribute (nameAttribute, remembered);
        }
    }

    for (const auto& output : midiOutputs)
        lastExplicitSettings->createNewChildElement (midiOutputTag)->setAttribute (nameAttribute, output->getName());
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
    // first rebuild below would delete while it is being walked.
    const juce::XmlElement xml (state);
    lastExplicitSettings = std::make_unique<juce::XmlElement> (xml);

    midiInsFromXml.clear();

    for (const auto* child : xml.getChildIterator())
        if (child->getTagName().equalsIgnoreCase (midiInputTag))
            midiInsFromXml.add (child->getStringAttribute (nameAttribute));

    for (const auto& device : portSystem.getAvailableInputs())
        setMidiInputDeviceEnabled (device.name, midiInsFromXml.contains (device.name, false));

    for (const auto* child : xml.getChildIterator())
        if (child->getTagName().equalsIgnoreCase (midiOutputTag))
            setMidiOutputDeviceEnabled (child->getStringAttribute (nameAttribute), true,
                                        child->getStringAttribute (typeAttribute) == virtualType);
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
