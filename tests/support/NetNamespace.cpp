#include "tests/support/NetNamespace.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <linux/if_packet.h>
#include <net/ethernet.h>
#include <net/if.h>
#include <netinet/in.h>
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

namespace
{
    juce::String describeErrno (const char* what, int code)
    {
        return juce::String (what) + " failed: " + juce::String (std::strerror (code));
    }

    int openCurrentThreadNamespace()
    {
        return ::open ("/proc/thread-self/ns/net", O_RDONLY | O_CLOEXEC);
    }

    juce::String findProgram (const juce::String& name)
    {
        if (name != "ip")
            return name;

        for (auto* folder : { "/usr/sbin", "/sbin", "/usr/bin", "/bin" })
        {
            const auto file = juce::File (folder).getChildFile (name);

            if (file.existsAsFile())
                return file.getFullPathName();
        }

        return name;
    }
}

//==============================================================================
NetNamespace::NetNamespace()
{
    if (::geteuid() != 0)
    {
        error = "network namespaces need root";
        return;
    }

    // unshare() moves only the calling thread, so a short-lived thread makes the
    // namespace and leaves an open handle behind; the test's threads stay put.
    int result = -1, code = 0;
    const char* failedStep = nullptr;

    std::thread maker ([&]
    {
        if (::unshare (CLONE_NEWNET) != 0)
            failedStep = "unshare(CLONE_NEWNET)";
        else if ((result = openCurrentThreadNamespace()) < 0)
            failedStep = "opening the new namespace";

        code = errno;
    });

    maker.join();

    if (failedStep != nullptr)
    {
        error = describeErrno (failedStep, code);
        return;
    }

    handle = result;

    if (! run ({ "ip", "-V" }))
    {
        error = "the ip tool is not usable: " + error;
        ::close (handle);
        handle = -1;
    }
}

NetNamespace::~NetNamespace()
{
    if (handle >= 0)
        ::close (handle);
}

bool NetNamespace::run (const juce::StringArray& command)
{
    if (! isValid() || command.isEmpty())
        return false;

    juce::StringArray args (command);
    args.set (0, findProgram (args[0]));

    const Scope inside (*this);

    if (! inside.isActive())
    {
        error = describeErrno ("setns", errno);
        return false;
    }

    juce::ChildProcess process;

    if (! process.start (args))
    {
        error = "could not start " + args.joinIntoString (" ");
        return false;
    }

    const auto output = process.readAllProcessOutput();

    if (! process.waitForProcessToFinish (10000))
    {
        process.kill();
        error = args.joinIntoString (" ") + " did not finish";
        return false;
    }

    if (const auto exitCode = process.getExitCode(); exitCode != 0)
    {
        error = args.joinIntoString (" ") + " exited with " + juce::String (exitCode) + ": " + output.trim();
        return false;
    }

    return true;
}

bool NetNamespace::bringUpLoopback()
{
    return run ({ "ip", "link", "set", "lo", "up" });
}

bool NetNamespace::addVethPair (const juce::String& name, const juce::String& peerName,
                                const juce::String& addressWithPrefix)
{
    // "brd +" matters: without it the interface has no broadcast address, and the
    // system reports the interface's own address in its place.
    return run ({ "ip", "link", "add", name, "type", "veth", "peer", "name", peerName })
        && run ({ "ip", "address", "add", addressWithPrefix, "brd", "+", "dev", name })
        && run ({ "ip", "link", "set", name, "up" })
        && run ({ "ip", "link", "set", peerName, "up" });
}

int NetNamespace::getInterfaceIndex (const juce::String& interfaceName) const
{
    const Scope inside (*this);
    return inside.isActive() ? (int) ::if_nametoindex (interfaceName.toRawUTF8()) : 0;
}

//==============================================================================
NetNamespace::Scope::Scope (const NetNamespace& ns)
{
    if (! ns.isValid())
        return;

    previous = openCurrentThreadNamespace();

    if (previous >= 0 && ::setns (ns.handle, CLONE_NEWNET) != 0)
    {
        const auto code = errno;
        ::close (previous);
        previous = -1;
        errno = code;
    }
}

NetNamespace::Scope::~Scope()
{
    if (previous < 0)
        return;

    // Should the way back fail, this thread would go on inside the namespace and
    // quietly send later tests' traffic there; stopping is the safer outcome.
    if (::setns (previous, CLONE_NEWNET) != 0)
        std::abort();

    ::close (previous);
}

//==============================================================================
DatagramCapture::DatagramCapture (const NetNamespace& ns)
{
    const NetNamespace::Scope inside (ns);

    if (inside.isActive())
        fd = ::socket (AF_PACKET, SOCK_DGRAM | SOCK_CLOEXEC, htons (ETH_P_ALL));   // only "all" sees outgoing packets
}

DatagramCapture::~DatagramCapture()
{
    if (fd >= 0)
        ::close (fd);
}

std::optional<CapturedDatagram> DatagramCapture::next (int destinationPort, int timeoutMs)
{
    const auto deadline = juce::Time::getMillisecondCounter() + (juce::uint32) juce::jmax (0, timeoutMs);

    while (fd >= 0)
    {
        const auto now = juce::Time::getMillisecondCounter();

        if (now >= deadline)
            break;

        pollfd pfd { fd, POLLIN, 0 };

        if (::poll (&pfd, 1, (int) (deadline - now)) <= 0)
            continue;

        uint8_t packet[65536];
        sockaddr_ll from {};
        socklen_t fromLength = sizeof (from);
        const auto size = ::recvfrom (fd, packet, sizeof (packet), 0, (sockaddr*) &from, &fromLength);

        if (from.sll_protocol != htons (ETH_P_IP) || size < 20 || (packet[0] >> 4) != 4 || packet[9] != IPPROTO_UDP)
            continue;

        const auto headerSize = (size_t) (packet[0] & 0x0f) * 4;

        if ((size_t) size < headerSize + 8)
            continue;

        const auto* udp = packet + headerSize;
        const auto udpLength = (size_t) ((udp[4] << 8) | udp[5]);

        if (((udp[2] << 8) | udp[3]) != destinationPort || udpLength < 8 || headerSize + udpLength > (size_t) size)
            continue;

        CapturedDatagram datagram;

        // The packet socket belongs to the namespace, so it names the namespace's interfaces.
        ifreq request {};
        request.ifr_ifindex = from.sll_ifindex;

        if (::ioctl (fd, SIOCGIFNAME, &request) == 0)
            datagram.interfaceName = request.ifr_name;

        datagram.outgoing = from.sll_pkttype == PACKET_OUTGOING;
        datagram.source = juce::IPAddress (packet[12], packet[13], packet[14], packet[15]);
        datagram.destination = juce::IPAddress (packet[16], packet[17], packet[18], packet[19]);
        datagram.sourcePort = (udp[0] << 8) | udp[1];
        datagram.destinationPort = destinationPort;
        datagram.payload.assign (udp + 8, udp + udpLength);
        return datagram;
    }

    return std::nullopt;
}

} // namespace sx::test
