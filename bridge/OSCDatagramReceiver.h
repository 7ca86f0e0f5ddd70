#pragma once

#include <juce_osc/juce_osc.h>

/*  The application's OSC receiver: it stands where juce::OSCReceiver stood, with the
    parts of it the application uses, but every datagram goes through OSCPacketParser
    rather than the framework's own parser, which a single malformed datagram can
    crash (see OSCPacketParser.h). The framework's receiver has no hook between its
    socket and its parser, so this class owns the receive loop.

    Like the framework's receiver it runs a thread named "JUCE OSC server" that waits
    on the socket (100 ms at a time, so that it notices when to stop), reads each
    datagram into a 65,535-byte buffer and ignores datagrams under four bytes. A
    well-formed datagram goes at once, on that thread, to the real-time listeners
    (OSCTranslator, and OSCMessageLoopRelay for whatever needs the message thread);
    a malformed one goes to the format error handler only.

    The socket is not owned and not shut down on disconnect: the owner of the socket
    (OSCReceiverSocket) disconnects first and only then closes it.

    Listeners and the handler are read by the receiver thread without a lock: add,
    remove or register them only while it is disconnected. disconnect() returns once
    the thread has stopped, and from then on nothing is called from it.
*/
class OSCDatagramReceiver final : private juce::Thread
{
public:
    using Listener = juce::OSCReceiver::Listener<juce::OSCReceiver::RealtimeCallback>;
    using FormatErrorHandler = juce::OSCReceiver::FormatErrorHandler;

    /** What the receive loop reads a datagram into, as the framework's loop does. */
    static constexpr int bufferSize = 65535;

    OSCDatagramReceiver();
    ~OSCDatagramReceiver() override;

    /** Disconnects, then starts the receiver thread on that socket, which must stay
        open until disconnect() has returned. False if the thread could not start.

        The thread asks for a real-time priority: it sends the MIDI, and as a normal
        thread it waits for a CPU behind the message thread's painting, which shows in
        the notes' timing. Where the system refuses (no CAP_SYS_NICE, RLIMIT_RTPRIO
        below the priority) it runs as a normal thread instead. */
    bool connectToSocket (juce::DatagramSocket& socket);

    /** The priority the receiver thread asks for: above every normal thread, below the
        audio threads of sound servers and music software, which run at higher ones. */
    static constexpr int realtimePriority = 1;     // of 0 to 10; SCHED_RR 10 on Linux

    /** The running receiver thread got its real-time priority. */
    bool isRealtime() const noexcept        { return isThreadRunning() && juce::Thread::isRealtime(); }

    /** Stops the receiver thread, waiting up to 10 s for it. False only when the
        thread is still running then (a listener that never returns); the socket must
        then not be closed. */
    bool disconnect();

    bool isConnected() const noexcept   { return isThreadRunning(); }

    /** Called on the receiver thread for every well-formed datagram, in the order added.
        Only while disconnected. */
    void addListener (Listener* listener);
    void removeListener (Listener* listener);

    /** Called on the receiver thread with every malformed datagram; nullptr for none.
        Only while disconnected. */
    void registerFormatErrorHandler (FormatErrorHandler handler);

    /** What the receiver thread does with each datagram it reads: datagrams under four
        bytes are ignored; the rest are checked and parsed, then handed to the listeners
        or, when malformed, to the format error handler. Runs on the calling thread and
        needs no socket, so tests and fuzzing harnesses drive the receive chain with it.
        Never call it while the receiver thread runs. */
    void handleDatagram (const char* data, int size);

private:
    void run() override;

    juce::DatagramSocket* socket = nullptr;     // set only while the thread is stopped
    // Called in the order added, unlike juce::ListenerList (newest first): the translator,
    // added first, sends the MIDI before the log's relay copies the message.
    juce::Array<Listener*> listeners;
    FormatErrorHandler formatErrorHandler;

    JUCE_DECLARE_NON_COPYABLE (OSCDatagramReceiver)
};
