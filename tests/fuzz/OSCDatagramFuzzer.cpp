// One datagram on the OSC port, through the whole receive chain as the application
// wires it: the check and parse, the translator sending MIDI, and the message log's
// lines (which the application builds on the message thread; here on this one).
#include "bridge/OSCDatagramReceiver.h"
#include "bridge/OSCTranslator.h"
#include "tests/support/InMemoryMidiPorts.h"
#include "ui/OSCLogListBox.h"

namespace
{
    juce::ScopedJuceInitialiser_GUI* framework = nullptr;
    struct LogFeeder : OSCDatagramReceiver::Listener
    {
        explicit LogFeeder (OSCLogListBox& l) : log (l) {}
        void oscMessageReceived (const juce::OSCMessage& m) override   { log.addOSCMessage (m, 0); }
        void oscBundleReceived (const juce::OSCBundle& b) override     { log.addOSCBundle (b, 0); }
        OSCLogListBox& log;
    };

    struct Chain
    {
        Chain()
        {
            ports.setRecording (false);     // memory stays flat however long the run
            receiver.addListener (&translator);
            receiver.addListener (&feeder);
            receiver.registerFormatErrorHandler ([this] (const char* data, int size) { log.addFormatError (data, size); });
        }

        sx::test::InMemoryMidiPortSystem ports;
        OSCTranslator translator { ports };
        OSCLogListBox log;
        LogFeeder feeder { log };
        OSCDatagramReceiver receiver;
    };

    Chain* chain = nullptr;
}

extern "C" int LLVMFuzzerInitialize (int*, char***)
{
    // Made once and never destroyed (see cmake/Fuzzing.cmake).
    framework = new juce::ScopedJuceInitialiser_GUI();
    chain = new Chain();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput (const uint8_t* data, size_t size)
{
    // The receive loop reads at most this much of a datagram.
    if (size > (size_t) OSCDatagramReceiver::bufferSize)
        return 0;

    chain->receiver.handleDatagram (reinterpret_cast<const char*> (data), (int) size);

    // The newest line, as the log paints it.
    if (const auto rows = chain->log.getNumRows(); rows > 0)
        chain->log.getLineForRow (rows - 1);

    return 0;
}
