#include "bridge/OSCReceiverSocket.h"

#include "platform/ChildPrograms.h"

#include <sys/socket.h>

namespace
{
    bool setSocketOption (int handle, int option, int value) noexcept
    {
        return ::setsockopt (handle, SOL_SOCKET, option, &value, sizeof (value)) == 0;
    }

    /*  juce::DatagramSocket's constructor switches SO_REUSEADDR on everywhere.
        setEnablePortReuse (false) clears it on Linux but on macOS clears only
        SO_REUSEPORT, leaving SO_REUSEADDR on, which there still lets a socket bind
        a specific address on a port that another holds for every interface. A bind
        refuses a port that is held in any way only when this socket carries neither
        option (Linux shares a port only when both sockets ask for it; the BSD stack
        refuses a duplicate unless this socket asks for it), so both are cleared. */
    bool clearAddressReuse (int handle) noexcept
    {
        bool cleared = setSocketOption (handle, SO_REUSEADDR, 0);
       #ifdef SO_REUSEPORT
        cleared = setSocketOption (handle, SO_REUSEPORT, 0) && cleared;
       #endif
        return cleared;
    }

    /*  Linux silently caps the request at net.core.rmem_max; macOS refuses a request
        above its own limit outright, so halve until the system accepts one rather
        than keep the small buffer the socket was created with. */
    void requestReceiveBuffer (int handle, int bytes) noexcept
    {
        for (; bytes >= 65536; bytes /= 2)
            if (setSocketOption (handle, SO_RCVBUF, bytes))
                return;
    }
}

OSCReceiverSocket::OSCReceiverSocket (int bytesToRequest)
    : receiveBufferBytesToRequest (bytesToRequest)
{
}

OSCReceiverSocket::~OSCReceiverSocket()
{
    // The owner disconnects the receiver before this goes (see the class comment).
    close();
}

bool OSCReceiverSocket::connect (OSCDatagramReceiver& receiver, int port)
{
    disconnect (receiver);

    if (! juce::isPositiveAndBelow (port, 65536))
        return false;

    auto newSocket = std::make_unique<juce::DatagramSocket> (false);
    const auto handle = newSocket->getRawSocketHandle();

    if (handle < 0 || ! clearAddressReuse (handle))
        return false;

    sx::platform::keepFromChildPrograms (handle);

    requestReceiveBuffer (handle, receiveBufferBytesToRequest);

    if (! newSocket->bindToPort (port))
        return false;

    socket = std::move (newSocket);

    if (receiver.connectToSocket (*socket))
        return true;

    close();
    return false;
}

void OSCReceiverSocket::disconnect (OSCDatagramReceiver& receiver)
{
    // The receiver does not shut the socket down: it only stops its thread (which
    // polls every 100 ms), and only then may the socket go. A thread that did not
    // stop (a listener that never returned) may still read it: it is let go of
    // rather than closed under that thread.
    if (! receiver.disconnect())
    {
        [[maybe_unused]] auto* stillInUse = socket.release();
        return;
    }

    close();
}

void OSCReceiverSocket::close()
{
    socket.reset();
}

int OSCReceiverSocket::getBoundPort() const noexcept
{
    return socket != nullptr ? socket->getBoundPort() : -1;
}

int OSCReceiverSocket::getReceiveBufferSize() const noexcept
{
    if (socket == nullptr || socket->getRawSocketHandle() < 0)
        return -1;

    int size = 0;
    socklen_t length = sizeof (size);

    if (::getsockopt (socket->getRawSocketHandle(), SOL_SOCKET, SO_RCVBUF, &size, &length) != 0)
        return -1;

    return size;
}

//==============================================================================
OSCMessageLoopRelay::OSCMessageLoopRelay (Target& targetToCall, int maxPendingElements)
    : target (targetToCall), maxPending ((size_t) juce::jmax (1, maxPendingElements))
{
}

OSCMessageLoopRelay::~OSCMessageLoopRelay()
{
    cancelPendingUpdate();
}

void OSCMessageLoopRelay::oscMessageReceived (const juce::OSCMessage& message)
{
    queue (std::make_unique<juce::OSCBundle::Element> (message));
}

void OSCMessageLoopRelay::oscBundleReceived (const juce::OSCBundle& bundle)
{
    queue (std::make_unique<juce::OSCBundle::Element> (bundle));
}

void OSCMessageLoopRelay::queue (std::unique_ptr<juce::OSCBundle::Element> element)
{
    std::unique_ptr<juce::OSCBundle::Element> dropped;   // freed outside the lock
    bool mustWake = false;

    {
        const juce::ScopedLock sl (lock);

        if (pending.size() >= maxPending)
        {
            dropped = std::move (pending.front());
            pending.pop_front();
            ++numDropped;
        }

        pending.push_back (std::move (element));
        mustWake = ! collecting;
        collecting = true;
    }

    if (mustWake)
        triggerAsyncUpdate();
}

void OSCMessageLoopRelay::deliverPending()
{
    Queue batch;

    {
        const juce::ScopedLock sl (lock);
        batch.swap (pending);

        // A quiet spell ends the collecting; the next element wakes us again.
        if (batch.empty())
            collecting = false;
    }

    if (batch.empty())
    {
        stopTimer();
        return;
    }

    if (! isTimerRunning())
        startTimer (batchIntervalMs);

    for (const auto& element : batch)
    {
        if (element->isMessage())
            target.oscMessageReceived (element->getMessage());
        else
            target.oscBundleReceived (element->getBundle());
    }
}
