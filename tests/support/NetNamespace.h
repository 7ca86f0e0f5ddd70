#pragma once

#include <juce_core/juce_core.h>

#include <cstdint>
#include <optional>
#include <vector>

namespace sx::test
{

/** A private Linux network namespace, for tests that need real network
    interfaces (veth pairs with chosen addresses) without touching the host's.

    The namespace starts with only a loopback interface, which is down. It lives
    as long as this object, or longer while sockets, threads or processes made
    inside it remain. Nothing sent inside it can leave it.

    Making one needs root (CAP_SYS_ADMIN) and the "ip" tool; when that is not
    possible isValid() is false and getError() says why, ready for GTEST_SKIP:

    @code
    sx::test::NetNamespace ns;
    if (! ns.isValid())
        GTEST_SKIP() << ns.getError();

    ASSERT_TRUE (ns.bringUpLoopback()) << ns.getError();
    ASSERT_TRUE (ns.addVethPair ("sxa", "sxa-peer", "192.168.1.20/24")) << ns.getError();

    sx::test::DatagramCapture capture (ns);
    sx::test::NetNamespace::Scope inside (ns);
    // Sockets, threads and child processes made from here on live in the namespace.
    @endcode
*/
class NetNamespace
{
public:
    NetNamespace();
    ~NetNamespace();

    bool isValid() const noexcept                    { return handle >= 0; }

    /** Why the namespace could not be made, or why the last command failed. */
    const juce::String& getError() const noexcept    { return error; }

    /** Runs a program inside the namespace (the first item is looked up on PATH,
        "ip" also in the sbin folders) and waits up to 10 s. True when it exits
        with 0; otherwise getError() holds the command and its output.
    */
    bool run (const juce::StringArray& command);

    /** Brings up "lo" with its 127.0.0.1/8. */
    bool bringUpLoopback();

    /** Adds a veth pair, gives `name` the address (with prefix, e.g. "10.0.0.5/8")
        and the broadcast address of that subnet, and brings both ends up. The
        peer end has no address: capture on it to see what left through `name`.
    */
    bool addVethPair (const juce::String& name, const juce::String& peerName,
                      const juce::String& addressWithPrefix);

    /** The interface's index inside the namespace, or 0 when there is none. */
    int getInterfaceIndex (const juce::String& interfaceName) const;

    //==============================================================================
    /** While a Scope exists, the calling thread works inside the namespace.

        Sockets that it opens, juce::Threads that it starts and processes that it
        launches (juce::ChildProcess) belong to the namespace and stay there after
        the Scope ends. Other threads are not affected. Scopes nest.
    */
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
    int handle = -1;   // an open /proc/.../ns/net of the namespace keeps it alive
    juce::String error;

    JUCE_DECLARE_NON_COPYABLE (NetNamespace)
};

//==============================================================================
/** One IPv4 UDP datagram seen on an interface of the namespace. */
struct CapturedDatagram
{
    juce::String interfaceName;
    bool outgoing = false;          // sent through this interface, rather than received on it
    juce::IPAddress source, destination;
    int sourcePort = 0, destinationPort = 0;
    std::vector<uint8_t> payload;
};

/** Watches every IPv4 UDP datagram that crosses any interface of a namespace,
    loopback included, as a raw packet socket sees it: a datagram that leaves
    through one end of a veth pair shows up outgoing there and incoming on the
    peer. Only what arrives after construction is seen.
*/
class DatagramCapture
{
public:
    explicit DatagramCapture (const NetNamespace& ns);
    ~DatagramCapture();

    bool isOpen() const noexcept                     { return fd >= 0; }

    /** Waits up to timeoutMs for the next datagram to destinationPort. */
    std::optional<CapturedDatagram> next (int destinationPort, int timeoutMs);

private:
    int fd = -1;

    JUCE_DECLARE_NON_COPYABLE (DatagramCapture)
};

} // namespace sx::test
