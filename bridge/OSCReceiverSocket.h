#pragma once

#include "bridge/OSCDatagramReceiver.h"

#include <juce_osc/juce_osc.h>

#include <atomic>
#include <deque>
#include <memory>

/*  The UDP socket that the OSC receiver (OSCDatagramReceiver) listens on.

    juce::OSCReceiver::connect() makes its own socket with address reuse switched on
    and a 64 KiB receive buffer. With reuse on, a second copy of the application can
    bind the same port without an error (Linux lets two such sockets share it), so it
    never falls back to a free port and only one of the two copies receives anything;
    and 64 KiB holds little more than a hundred small datagrams, so a chord or a
    controller sweep that arrives while the receiver thread is busy overflows it and
    notes are lost.

    This class opens a new socket for every bind with reuse switched off, so the bind
    fails whenever anything else holds the port, asks for a large receive buffer, and
    hands the socket to the receiver with connectToSocket().

    The receiver does not own the socket and does not shut it down on disconnect: it
    only waits for its thread. So every call here first disconnects the receiver and
    only then closes or replaces the socket, and this object must outlive the
    receiver's use of it (declare it before the receiver, so that it is destroyed
    after it). Message thread only.
*/
class OSCReceiverSocket final
{
public:
    /** What the receiver asks the system for: room for a burst of a few thousand
        small datagrams. The system may grant less (Linux caps it at net.core.rmem_max). */
    static constexpr int defaultReceiveBufferBytes = 4 * 1024 * 1024;

    explicit OSCReceiverSocket (int receiveBufferBytesToRequest = defaultReceiveBufferBytes);
    ~OSCReceiverSocket();

    /** Disconnects the receiver, closes the current socket, opens a new one bound to
        the port on every interface (0 lets the system choose a free port) and starts
        the receiver on it. False when the port is out of range, held by anyone else,
        or the receiver refused the socket; the receiver is then left disconnected. */
    bool connect (OSCDatagramReceiver& receiver, int port);

    /** Disconnects the receiver (waiting for its thread), then closes the socket. */
    void disconnect (OSCDatagramReceiver& receiver);

    /** The port the socket is bound to, read back from the system; -1 when unbound. */
    int getBoundPort() const noexcept;

    /** The receive buffer the system granted, as the system reports it (Linux reports
        twice what was asked, the extra covering its own bookkeeping per datagram);
        -1 when no socket is open. */
    int getReceiveBufferSize() const noexcept;

private:
    void close();

    const int receiveBufferBytesToRequest;
    std::unique_ptr<juce::DatagramSocket> socket;

    JUCE_DECLARE_NON_COPYABLE (OSCReceiverSocket)
};

//==============================================================================
/*  Hands what the receiver thread receives to a message-loop listener, in batches.

    Registered as a message-loop listener, the target would cost the receiver thread
    one posted message per datagram: an allocation, the message queue's lock (which
    the message thread holds while it removes from the front of that queue, longer
    the further behind it is) and a write to the event loop's wake-up pipe. At tens of
    thousands of datagrams a second that more than halves what the receiver thread
    can take in, and the socket's buffer overflows: notes are lost. Registered as a
    real-time listener instead, this relay only queues a copy under a short lock. The
    first element after a quiet spell wakes the message thread at once; while traffic
    keeps coming, the message thread collects the queue every batchIntervalMs instead,
    so the receiver thread signals nothing per datagram. The target's callbacks run on
    the message thread, in arrival order, as before.

    While the message thread is held up (a blocking shell command, a modal box) only
    the newest maxPending elements are kept, so memory stays bounded; with maxPending
    at least the number of lines the message log keeps, the log ends up showing the
    same lines. Create and destroy it on the message thread, and destroy it only after
    the receiver is disconnected or it is removed from the receiver.
*/
class OSCMessageLoopRelay final : public juce::OSCReceiver::Listener<juce::OSCReceiver::RealtimeCallback>,
                                  private juce::AsyncUpdater,
                                  private juce::Timer
{
public:
    using Target = juce::OSCReceiver::Listener<juce::OSCReceiver::MessageLoopCallback>;

    static constexpr int batchIntervalMs = 10;

    OSCMessageLoopRelay (Target& target, int maxPending);
    ~OSCMessageLoopRelay() override;

    /** Receiver thread. */
    void oscMessageReceived (const juce::OSCMessage& message) override;
    void oscBundleReceived (const juce::OSCBundle& bundle) override;

    /** Elements that were let go because the message thread fell behind. */
    int getNumDropped() const noexcept { return numDropped.load(); }

private:
    using Queue = std::deque<std::unique_ptr<juce::OSCBundle::Element>>;

    void queue (std::unique_ptr<juce::OSCBundle::Element> element);
    void deliverPending();
    void handleAsyncUpdate() override   { deliverPending(); }
    void timerCallback() override       { deliverPending(); }

    Target& target;
    const size_t maxPending;
    juce::CriticalSection lock;
    Queue pending;                          // guarded by lock
    bool collecting = false;                // guarded by lock: the message thread will collect
    std::atomic<int> numDropped { 0 };

    JUCE_DECLARE_NON_COPYABLE (OSCMessageLoopRelay)
};
