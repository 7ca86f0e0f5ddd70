/*  A second process that holds an OSC port, for the binding tests.

    osc_bind_probe app PORT   binds as the application does: PORT, else any free
                              port (three attempts)
    osc_bind_probe juce PORT  binds as juce::OSCReceiver::connect() does (address reuse on)

    Prints "port N" (or "failed") once bound, then "got ADDRESS" for every message
    received, and exits after "/probe/quit" or 30 seconds, whichever comes first.
*/
#include "bridge/OSCReceiverSocket.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace
{
    struct Printer : juce::OSCReceiver::Listener<juce::OSCReceiver::RealtimeCallback>
    {
        void oscMessageReceived (const juce::OSCMessage& message) override
        {
            const auto address = message.getAddressPattern().toString();
            std::printf ("got %s\n", address.toRawUTF8());
            std::fflush (stdout);

            if (address == "/probe/quit")
                quit.signal();
        }

        void oscBundleReceived (const juce::OSCBundle&) override {}

        juce::WaitableEvent quit;
    };

    void reportPort (int port)
    {
        if (port > 0)
            std::printf ("port %d\n", port);
        else
            std::printf ("failed\n");

        std::fflush (stdout);
    }
}

int main (int argc, char* argv[])
{
    if (argc != 3)
        return 2;

    juce::ScopedJuceInitialiser_GUI juce;
    const bool asTheApplication = std::strcmp (argv[1], "app") == 0;
    const int requestedPort = std::atoi (argv[2]);

    Printer printer;
    juce::OSCReceiver receiver;
    receiver.addListener (&printer);

    if (asTheApplication)
    {
        OSCReceiverSocket socket;
        bool connected = socket.connect (receiver, requestedPort);

        for (int attempt = 0; attempt < 3 && ! connected; ++attempt)
            connected = socket.connect (receiver, 0);

        reportPort (connected ? socket.getBoundPort() : -1);
        printer.quit.wait (30000);
        socket.disconnect (receiver);
    }
    else
    {
        reportPort (receiver.connect (requestedPort) ? requestedPort : -1);
        printer.quit.wait (30000);
        receiver.disconnect();
    }

    receiver.removeListener (&printer);
    return 0;
}
