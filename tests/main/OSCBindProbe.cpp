// A second process holding a UDP port for the binding tests: "app PORT" binds as the
// application does (OSCReceiverSocket), "juce PORT" as juce::OSCReceiver::connect()
// does. Prints "held" or "fail", then keeps the port until killed (at most 30 s).
#include "bridge/OSCReceiverSocket.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

int main (int argc, char* argv[])
{
    if (argc != 3)
        return 2;

    juce::ScopedJuceInitialiser_GUI juce;
    const auto port = std::atoi (argv[2]);
    OSCReceiverSocket socket;
    OSCDatagramReceiver receiver;
    juce::OSCReceiver frameworkReceiver;
    const auto held = std::strcmp (argv[1], "app") == 0 ? socket.connect (receiver, port) : frameworkReceiver.connect (port);

    std::printf (held ? "held\n" : "fail\n");
    std::fflush (stdout);
    juce::Thread::sleep (30000);
    socket.disconnect (receiver);
    return 0;
}
