#include "bridge/MidiPorts.h"

#include <cstdio>

#if JUCE_LINUX
 #include <alsa/asoundlib.h>
 #include <unistd.h>
#endif

namespace sx
{
namespace
{
#if JUCE_LINUX
    // libasound prints its own diagnostics, several lines per attempt, whenever the
    // sequencer cannot be opened. We report the failure once, in our own words.
    void ignoreAlsaError (const char*, int, const char*, int, const char*, ...) {}
#endif

    juce::String describeMidiSystemFailure()
    {
       #if JUCE_LINUX
        if (::access ("/dev/snd/seq", F_OK) != 0)
            return "no MIDI system is available";
       #endif

        return "the MIDI system refused the request";
    }

    void reportFailure (const juce::String& text)
    {
        // One write per line, so that concurrent reports cannot interleave mid-line.
        const auto line = "VADizudiv: " + text + "\n";
        std::fputs (line.toRawUTF8(), stderr);
        std::fflush (stderr);
    }

    juce::Array<MidiPortInfo> toPortInfos (const juce::Array<juce::MidiDeviceInfo>& devices)
    {
        juce::Array<MidiPortInfo> result;

        for (const auto& d : devices)
            result.add ({ d.name, d.identifier });

        return result;
    }

    //==============================================================================
    class JuceOutputPort final : public MidiOutputPort
    {
    public:
        explicit JuceOutputPort (std::unique_ptr<juce::MidiOutput> o) : output (std::move (o)) {}

        juce::String getName() const override   { return output->getName(); }

        void sendBlockOfMessagesNow (const juce::MidiBuffer& buffer) override
        {
            output->sendBlockOfMessagesNow (buffer);
        }

    private:
        std::unique_ptr<juce::MidiOutput> output;
    };

    //==============================================================================
    class JuceInputPort final : public MidiInputPort
    {
    public:
        explicit JuceInputPort (MidiInputPortCallback& cb) : forwarder (cb) {}

        bool open (const MidiPortInfo& device)
        {
            input = juce::MidiInput::openDevice (device.identifier, &forwarder);
            return input != nullptr;
        }

        juce::String getName() const override   { return input->getName(); }
        void start() override                    { input->start(); }
        void stop() override                     { input->stop(); }

    private:
        struct Forwarder final : public juce::MidiInputCallback
        {
            explicit Forwarder (MidiInputPortCallback& cb) : callback (cb) {}

            void handleIncomingMidiMessage (juce::MidiInput* source, const juce::MidiMessage& message) override
            {
                callback.handleIncomingMidiMessage (source != nullptr ? source->getName() : juce::String(), message);
            }

            MidiInputPortCallback& callback;
        };

        // Declared first so that it outlives the input, which may call it until it is closed.
        Forwarder forwarder;
        std::unique_ptr<juce::MidiInput> input;
    };

    //==============================================================================
    class JuceMidiPortSystem final : public MidiPortSystem
    {
    public:
        JuceMidiPortSystem()
        {
           #if JUCE_LINUX
            snd_lib_error_set_handler (&ignoreAlsaError);
           #endif
        }

        juce::Array<MidiPortInfo> getAvailableOutputs() override
        {
            return toPortInfos (juce::MidiOutput::getAvailableDevices());
        }

        juce::Array<MidiPortInfo> getAvailableInputs() override
        {
            return toPortInfos (juce::MidiInput::getAvailableDevices());
        }

        std::unique_ptr<MidiOutputPort> openOutput (const MidiPortInfo& device) override
        {
            if (auto output = juce::MidiOutput::openDevice (device.identifier))
                return std::make_unique<JuceOutputPort> (std::move (output));

            reportFailure ("could not open the MIDI output \"" + device.name + "\"");
            return nullptr;
        }

        std::unique_ptr<MidiOutputPort> createVirtualOutput (const juce::String& name) override
        {
            if (auto output = juce::MidiOutput::createNewDevice (name))
                return std::make_unique<JuceOutputPort> (std::move (output));

            reportFailure ("could not create the virtual MIDI output \"" + name + "\": " + describeMidiSystemFailure());
            return nullptr;
        }

        std::unique_ptr<MidiInputPort> openInput (const MidiPortInfo& device, MidiInputPortCallback& callback) override
        {
            auto port = std::make_unique<JuceInputPort> (callback);

            if (port->open (device))
                return port;

            reportFailure ("could not open the MIDI input \"" + device.name + "\"");
            return nullptr;
        }
    };
}

MidiPortSystem& MidiPortSystem::getDefault()
{
    static JuceMidiPortSystem system;
    return system;
}

} // namespace sx
