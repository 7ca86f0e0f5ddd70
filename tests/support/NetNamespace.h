#pragma once

#include <juce_core/juce_core.h>

#include <cstdint>
#include <optional>
#include <vector>

namespace sx::test
{

/** A private network namespace, so that tests get real interfaces without touching the host's.
    It starts with only loopback, down. Without root or the ip tool, getError() says why, for GTEST_SKIP.
*/
class NetNamespace
{
public:
    NetNamespace();
    ~NetNamespace();

    bool isValid() const noexcept                    { return handle >= 0; }
    const juce::String& getError() const noexcept    { return error; }

    bool bringUpLoopback()                           { return run ("ip link set lo up"); }

    // A veth pair with the address (and its subnet's broadcast) on `name`; the peer end has none.
    bool addVethPair (const juce::String& name, const juce::String& peerName, const juce::String& addressWithPrefix);

    // A veth pair whose end `name` holds `count` addresses of 10.1.0.0/16 (broadcast 10.1.255.255):
    // 10.1.0.1, 10.1.0.2 and on, returned in that order, which is the system's; empty on failure.
    juce::Array<juce::IPAddress> addVethPairWithAddresses (const juce::String& name, const juce::String& peerName, int count);

    /** While it exists, the calling thread works inside the namespace; the sockets, threads and
        processes that it makes there stay there. Other threads are unaffected; Scopes nest. */
    class Scope
    {
    public:
        explicit Scope (const NetNamespace& ns);
        ~Scope();

        bool isActive() const noexcept               { return previous >= 0; }

    private:
        int previous = -1;

        JUCE_DECLARE_NON_COPYABLE (Scope)
    };

private:
    bool run (const juce::String& shellCommands);

    int handle = -1;   // an open ns/net file keeps the namespace alive
    juce::String error;

    JUCE_DECLARE_NON_COPYABLE (NetNamespace)
};

//==============================================================================
/** One IPv4 UDP datagram seen on an interface of the namespace. */
struct CapturedDatagram
{
    juce::String interfaceName;
    bool outgoing = false;          // sent through this interface, rather than received on it
    juce::IPAddress destination;
    std::vector<uint8_t> payload;
};

/** Every IPv4 UDP datagram crossing any interface of the namespace, loopback included, from now on:
    one leaving through a veth end shows up outgoing there and incoming on its peer. */
class DatagramCapture
{
public:
    DatagramCapture();                                  // in the calling thread's namespace
    explicit DatagramCapture (const NetNamespace& ns);
    ~DatagramCapture();

    bool isOpen() const noexcept                     { return fd >= 0; }

    std::optional<CapturedDatagram> next (int destinationPort, int timeoutMs);

private:
    int fd = -1;

    JUCE_DECLARE_NON_COPYABLE (DatagramCapture)
};

} // namespace sx::test
