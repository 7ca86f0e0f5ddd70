#include "bridge/OSCReceiverSocket.h"

#include <gtest/gtest.h>

#include <sys/socket.h>

#include <atomic>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

namespace
{
    void send (int port, const juce::String& address)
    {
        juce::OSCSender sender;
        ASSERT_TRUE (sender.connect ("127.0.0.1", port));
        ASSERT_TRUE (sender.send (address, 1));
    }

    // osc_bind_probe (OSCBindProbe.cpp) in a child process; it ends after /probe/quit or 30 s.
    class Probe
    {
    public:
        Probe (const char* mode, int port)
            : output (::popen (("exec " SX_OSC_BIND_PROBE " " + std::string (mode) + " " + std::to_string (port)).c_str(), "r"))
        {
        }

        ~Probe()
        {
            if (output != nullptr)
                ::pclose (output);
        }

        std::string readLine()
        {
            char line[256];

            if (output == nullptr || std::fgets (line, sizeof (line), output) == nullptr)
                return {};

            return std::string (line, std::strcspn (line, "\n"));
        }

        /** The port the probe reports having bound, -1 when it failed. */
        int readPort()
        {
            const auto line = readLine();
            return line.rfind ("port ", 0) == 0 ? std::stoi (line.substr (5)) : -1;
        }

        /** Asks the probe to quit; returns every line it printed until then. */
        std::vector<std::string> quit (int port)
        {
            send (port, "/probe/quit");
            std::vector<std::string> lines;

            for (auto line = readLine(); ! line.empty() && lines.size() < 100; line = readLine())
                lines.push_back (line);

            return lines;
        }

    private:
        FILE* output;
    };

    struct Collector : juce::OSCReceiver::Listener<juce::OSCReceiver::RealtimeCallback>
    {
        void oscMessageReceived (const juce::OSCMessage& message) override
        {
            const juce::ScopedLock sl (lock);
            addresses.add (message.getAddressPattern().toString());
            arrived.signal();
        }

        void oscBundleReceived (const juce::OSCBundle&) override {}

        bool waitFor (const juce::String& address)
        {
            for (int i = 0; i < 50 && ! has (address); ++i)
                arrived.wait (100);

            return has (address);
        }

        bool has (const juce::String& address)
        {
            const juce::ScopedLock sl (lock);
            return addresses.contains (address);
        }

        juce::CriticalSection lock;
        juce::StringArray addresses;
        juce::WaitableEvent arrived;
    };

    // A receiver with a listener, torn down in the order the application uses.
    struct Listening
    {
        Listening()  { receiver.addListener (&collector); }
        ~Listening() { socket.disconnect (receiver); receiver.removeListener (&collector); }

        OSCReceiverSocket socket;
        juce::OSCReceiver receiver;
        Collector collector;
    };

    int findFreePort()
    {
        juce::DatagramSocket s (false);
        s.bindToPort (0);
        return s.getBoundPort();
    }

    bool portIsFree (int port)
    {
        OSCReceiverSocket socket;
        juce::OSCReceiver receiver;
        return socket.connect (receiver, port);
    }
}

// Two copies of the application: each ends up on its own port and receives only its own traffic.
TEST (OSCReceiverSocket, PortHeldByAnotherCopyFailsAndTheFallbackReceivesOnAFreePort)
{
    const int port = findFreePort();
    Probe other ("app", port);
    ASSERT_EQ (other.readPort(), port);

    Listening app;
    EXPECT_FALSE (app.socket.connect (app.receiver, port));
    EXPECT_EQ (app.socket.getBoundPort(), -1);

    ASSERT_TRUE (app.socket.connect (app.receiver, 0));
    const int fallback = app.socket.getBoundPort();
    EXPECT_GT (fallback, 0);
    EXPECT_NE (fallback, port);

    send (fallback, "/to/fallback");
    send (port, "/to/other");
    EXPECT_TRUE (app.collector.waitFor ("/to/fallback"));

    const auto received = other.quit (port);
    EXPECT_EQ (received, (std::vector<std::string> { "got /to/other", "got /probe/quit" }));
    EXPECT_FALSE (app.collector.has ("/to/other"));
}

TEST (OSCReceiverSocket, PortHeldByAPlainFrameworkReceiverFails)
{
    const int port = findFreePort();
    Probe other ("juce", port);
    ASSERT_EQ (other.readPort(), port);

   #if JUCE_LINUX
    // The trap this class exists for: a socket made the framework's way shares the port.
    {
        juce::DatagramSocket plain (false);
        EXPECT_TRUE (plain.bindToPort (port));
    }
   #endif

    Listening app;
    EXPECT_FALSE (app.socket.connect (app.receiver, port));
    ASSERT_TRUE (app.socket.connect (app.receiver, 0));
    EXPECT_NE (app.socket.getBoundPort(), port);
    other.quit (port);
}

TEST (OSCReceiverSocket, ReportsTheReceiveBufferTheSystemGranted)
{
    const auto grantedFor = [] (int request)
    {
        OSCReceiverSocket socket (request);
        juce::OSCReceiver receiver;
        EXPECT_TRUE (socket.connect (receiver, 0));
        const int granted = socket.getReceiveBufferSize();
        socket.disconnect (receiver);
        EXPECT_EQ (socket.getReceiveBufferSize(), -1);
        return granted;
    };

    const int asked = OSCReceiverSocket::defaultReceiveBufferBytes;
    const int granted = grantedFor (asked);
    std::cout << "receive buffer asked " << asked << ", granted " << granted << std::endl;

   #if JUCE_LINUX
    // Linux caps the request at rmem_max (privileged or not) and reports it doubled.
    int rmemMax = 0;
    std::ifstream ("/proc/sys/net/core/rmem_max") >> rmemMax;
    ASSERT_GT (rmemMax, 0);
    EXPECT_EQ (granted, 2 * std::min (asked, rmemMax));
    EXPECT_EQ (grantedFor (212992 / 2), 212992);
   #else
    EXPECT_GT (granted, 65536);
   #endif
}

TEST (OSCReceiverSocket, RebindingReleasesThePortItHeld)
{
    const int port = findFreePort();
    Listening app;

    // The same port twice in a row: the first socket is gone before the second binds.
    ASSERT_TRUE (app.socket.connect (app.receiver, port));
    ASSERT_TRUE (app.socket.connect (app.receiver, port));
    EXPECT_EQ (app.socket.getBoundPort(), port);
    send (port, "/again");
    EXPECT_TRUE (app.collector.waitFor ("/again"));

    ASSERT_TRUE (app.socket.connect (app.receiver, 0));
    EXPECT_TRUE (portIsFree (port));

    // A failed bind leaves nothing bound, not the previous socket.
    ASSERT_TRUE (app.socket.connect (app.receiver, port));
    EXPECT_FALSE (app.socket.connect (app.receiver, 70000));
    EXPECT_FALSE (app.socket.connect (app.receiver, -1));
    EXPECT_EQ (app.socket.getBoundPort(), -1);
    EXPECT_TRUE (portIsFree (port));
}

TEST (OSCReceiverSocket, RebindingUnderTrafficKeepsTheReceiverOffClosedSockets)
{
    const int port = findFreePort();
    Listening app;
    std::atomic<bool> stop { false };

    std::thread sender ([&]
    {
        juce::DatagramSocket out (false);
        const char packet[] = "/t\0\0,\0\0\0";

        while (! stop)
            out.write ("127.0.0.1", port, packet, 8);
    });

    for (int i = 0; i < 20; ++i)
    {
        ASSERT_TRUE (app.socket.connect (app.receiver, port));
        juce::Thread::sleep (5);
    }

    stop = true;
    sender.join();
    EXPECT_TRUE (app.collector.waitFor ("/t"));
}
