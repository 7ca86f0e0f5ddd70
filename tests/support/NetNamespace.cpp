#include "tests/support/NetNamespace.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <linux/if_packet.h>
#include <net/ethernet.h>
#include <net/if.h>
#include <poll.h>
#include <sched.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <thread>

namespace sx::test
{

static int openThreadNamespace()    { return ::open ("/proc/thread-self/ns/net", O_RDONLY | O_CLOEXEC); }

NetNamespace::NetNamespace()
{
    // unshare() needs root and moves only the calling thread, so a short-lived thread makes the
    // namespace and leaves a handle behind, while the test's own threads stay where they are.
    std::thread ([this]
    {
        if (::unshare (CLONE_NEWNET) != 0 || (handle = openThreadNamespace()) < 0)
            error = "making a network namespace failed: " + juce::String (std::strerror (errno));
    }).join();
}

NetNamespace::~NetNamespace()
{
    if (handle >= 0)
        ::close (handle);
}

bool NetNamespace::run (const juce::String& commands)
{
    const Scope inside (*this);
    juce::ChildProcess process;

    if (! inside.isActive() || ! process.start (juce::StringArray { "sh", "-c", commands }))
        error = "could not run " + commands;
    else if (! process.waitForProcessToFinish (10000))    // before reading, which could wait for ever
        error = commands + " did not finish";
    else if (process.getExitCode() != 0)
        error = commands + " failed: " + process.readAllProcessOutput().trim();
    else
        return true;

    process.kill();
    return false;
}

bool NetNamespace::addVethPair (const juce::String& name, const juce::String& peerName, const juce::String& addressWithPrefix)
{
    // Without "brd +" the interface has no broadcast address, and the system reports its own address in its place.
    return run ("ip link add " + name + " type veth peer name " + peerName
                + " && ip address add " + addressWithPrefix + " brd + dev " + name
                + " && ip link set " + name + " up && ip link set " + peerName + " up"
                + " && " SX_SOURCE_DIR "/tests/support/wait-links-up " + name + " " + peerName);
}

juce::Array<juce::IPAddress> NetNamespace::addVethPairWithAddresses (const juce::String& name, const juce::String& peerName, int count)
{
    juce::Array<juce::IPAddress> addresses { juce::IPAddress (10, 1, 0, 1) };
    juce::String batch;

    for (int i = 2; i <= count; ++i)
    {
        addresses.add ({ 10, 1, (juce::uint8) (i >> 8), (juce::uint8) i });
        batch << "address add " << addresses.getLast().toString() << "/16 brd + dev " << name << "\n";
    }

    // One ip process for the rest: thousands of addresses are added in a fraction of a second.
    const juce::TemporaryFile file;

    if (! addVethPair (name, peerName, "10.1.0.1/16")
         || (batch.isNotEmpty() && ! (file.getFile().replaceWithText (batch)
                                       && run ("ip -batch " + file.getFile().getFullPathName().quoted()))))
        return {};

    return addresses;
}

//==============================================================================
NetNamespace::Scope::Scope (const NetNamespace& ns)
{
    if (ns.isValid() && (previous = openThreadNamespace()) >= 0 && ::setns (ns.handle, CLONE_NEWNET) != 0)
    {
        ::close (previous);
        previous = -1;
    }
}

NetNamespace::Scope::~Scope()
{
    // A thread that could not go back would quietly send later tests' traffic into the namespace.
    if (previous >= 0 && ::setns (previous, CLONE_NEWNET) != 0)
        std::abort();

    if (previous >= 0)
        ::close (previous);
}

//==============================================================================
// Only ETH_P_ALL sees outgoing packets too.
static int openCaptureSocket()      { return ::socket (AF_PACKET, SOCK_DGRAM | SOCK_CLOEXEC, htons (ETH_P_ALL)); }

DatagramCapture::DatagramCapture() : fd (openCaptureSocket()) {}

DatagramCapture::DatagramCapture (const NetNamespace& ns)
{
    if (const NetNamespace::Scope inside (ns); inside.isActive())
        fd = openCaptureSocket();
}

DatagramCapture::~DatagramCapture()
{
    if (fd >= 0)
        ::close (fd);
}

std::optional<CapturedDatagram> DatagramCapture::next (int destinationPort, int timeoutMs)
{
    const auto deadline = juce::Time::getMillisecondCounter() + (juce::uint32) juce::jmax (0, timeoutMs);

    for (auto now = juce::Time::getMillisecondCounter(); fd >= 0 && now < deadline; now = juce::Time::getMillisecondCounter())
    {
        pollfd pfd { fd, POLLIN, 0 };

        if (::poll (&pfd, 1, (int) (deadline - now)) <= 0)
            continue;

        uint8_t packet[65536] {};
        sockaddr_ll from {};
        socklen_t fromLength = sizeof (from);
        const auto size = ::recvfrom (fd, packet, sizeof (packet), 0, (sockaddr*) &from, &fromLength);

        const auto headerSize = (size_t) (packet[0] & 0x0f) * 4;
        const auto* udp = packet + headerSize;
        const auto udpLength = (size_t) ((udp[4] << 8) | udp[5]);

        if (from.sll_protocol != htons (ETH_P_IP) || size < 20 || (packet[0] >> 4) != 4 || packet[9] != IPPROTO_UDP
             || (size_t) size < headerSize + 8 || ((udp[2] << 8) | udp[3]) != destinationPort
             || udpLength < 8 || headerSize + udpLength > (size_t) size)
            continue;

        // The socket belongs to the namespace, so it names the namespace's interfaces.
        ifreq request {};
        request.ifr_ifindex = from.sll_ifindex;
        ::ioctl (fd, SIOCGIFNAME, &request);

        return CapturedDatagram { request.ifr_name, from.sll_pkttype == PACKET_OUTGOING,
                                  juce::IPAddress (packet[16], packet[17], packet[18], packet[19]),
                                  std::vector<uint8_t> (udp + 8, udp + udpLength) };
    }

    return std::nullopt;
}

} // namespace sx::test
