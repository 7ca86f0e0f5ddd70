#include "bridge/OSCTranslator.h"
#include "bridge/OSCVocabulary.h"

#include <array>
#include <string_view>

namespace
{
    /*  The first components of an OSC address, split as the framework splits them (at
        '/', empty components dropped), but read in place: the receiver thread must not
        allocate for every packet. Components past the fourth are never examined.
    */
    class AddressComponents final
    {
    public:
        explicit AddressComponents (const char* text) noexcept
        {
            while (*text != 0 && count < (int) parts.size())
            {
                while (*text == '/')
                    ++text;

                const auto* start = text;

                while (*text != 0 && *text != '/')
                    ++text;

                if (text > start)
                    parts[(size_t) count++] = std::string_view (start, (size_t) (text - start));
            }
        }

        bool has (int index) const noexcept     { return index < count; }

        /** Exact, case-sensitive comparison of a whole component. */
        bool is (int index, const juce::String& token) const noexcept
        {
            return has (index) && parts[(size_t) index] == std::string_view (token.toRawUTF8());
        }

    private:
        std::array<std::string_view, 4> parts;
        int count = 0;
    };

    int readInt (const juce::OSCMessage& message, int index) noexcept
    {
        const auto& argument = message[index];
        return argument.isInt32() ? (int) argument.getInt32() : 0;
    }

    float readFloat (const juce::OSCMessage& message, int index) noexcept
    {
        const auto& argument = message[index];
        return argument.isFloat32() ? argument.getFloat32() : 0.0f;
    }

    int readChannel (const juce::OSCMessage& message) noexcept
    {
        return juce::jlimit (1, 16, readInt (message, 0));
    }

    juce::uint8 velocityToMidiByte (float velocity) noexcept
    {
        const auto scaled = velocity * 127.0f;

        // Clamped before rounding: roundToInt gives meaningless results for values beyond
        // the int range, infinities and NaN, which a sender may well produce.
        if (! (scaled > 0.0f))
            return 0;

        if (scaled >= 127.0f)
            return 127;

        return (juce::uint8) juce::roundToInt (scaled);
    }

    /** Empties the buffer when the send ends, however it ends, so that no packet's MIDI
        can leak into the next one. */
    struct ClearWhenDone
    {
        juce::MidiBuffer& buffer;
        ~ClearWhenDone() { buffer.clear(); }
    };
}

//==============================================================================
OSCTranslator::OSCTranslator()
    : OSCTranslator (sx::MidiPortSystem::getDefault())
{
}

OSCTranslator::OSCTranslator (sx::MidiPortSystem& portSystem)
    : midiDeviceManager (portSystem)
{
    // Reserved once so that translating a packet needs no allocation on the receiver thread.
    midiBuffer.ensureSize (1000);
}

void OSCTranslator::oscMessageReceived (const juce::OSCMessage& message)
{
    translate (message);
    sendBuffer();
}

void OSCTranslator::oscBundleReceived (const juce::OSCBundle& bundle)
{
    translateBundle (bundle);
    sendBuffer();
}

//==============================================================================
void OSCTranslator::translate (const juce::OSCMessage& message)
{
    using namespace oscAddressTokens;

    const auto address = message.getAddressPattern().toString();
    const AddressComponents components (address.toRawUTF8());

    if (! components.is (0, sxc) || ! components.has (1))
        return;

    if (components.is (1, ableton) || components.is (1, dmx) || components.is (1, settings))
        return;

    if (! components.is (1, midi) || ! components.has (2))
        return;

    const auto numArguments = message.size();

    if (components.is (2, note))
    {
        if (components.is (3, on) && numArguments == 3)
            midiBuffer.addEvent (juce::MidiMessage::noteOn (readChannel (message),
                                                            readInt (message, 1) & 0x7f,
                                                            velocityToMidiByte (readFloat (message, 2))), 0);
        else if (components.is (3, off) && numArguments == 2)
            midiBuffer.addEvent (juce::MidiMessage::noteOff (readChannel (message),
                                                             readInt (message, 1) & 0x7f), 0);
    }
    else if (components.is (2, cc) && numArguments == 3)
    {
        midiBuffer.addEvent (juce::MidiMessage::controllerEvent (readChannel (message),
                                                                 readInt (message, 1) & 0x7f,
                                                                 readInt (message, 2) & 0x7f), 0);
    }
}

void OSCTranslator::translateBundle (const juce::OSCBundle& bundle)
{
    for (const auto& element : bundle)
    {
        if (element.isMessage())
            translate (element.getMessage());
        else if (element.isBundle())
            translateBundle (element.getBundle());
    }
}

void OSCTranslator::sendBuffer()
{
    if (midiBuffer.isEmpty())
        return;

    const ClearWhenDone clearer { midiBuffer };
    midiDeviceManager.sendBlockToAllOutputs (midiBuffer);
}
