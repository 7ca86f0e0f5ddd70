#include "bridge/OSCDatagramReceiver.h"
#include "bridge/OSCPacketParser.h"

#include <cerrno>

#include <fcntl.h>
#include <sys/socket.h>
#include <sys/time.h>

OSCDatagramReceiver::OSCDatagramReceiver()
    : juce::Thread ("JUCE OSC server")
{
}

OSCDatagramReceiver::~OSCDatagramReceiver()
{
    disconnect();
}

bool OSCDatagramReceiver::connectToSocket (juce::DatagramSocket& socketToUse)
{
    if (! disconnect())
        return false;

    socket = &socketToUse;

    // The framework creates a real-time thread with its scheduling set from the start,
    // so a refusal means no thread at all, and the normal one is started in its place.
    juce::Thread::RealtimeOptions options;
    options.priority = realtimePriority;

    if (startRealtimeThread (options) || startThread())
        return true;

    socket = nullptr;
    return false;
}

bool OSCDatagramReceiver::disconnect()
{
    signalThreadShouldExit();

    if (! waitForThreadToExit (10000))
        return false;

    socket = nullptr;
    return true;
}

void OSCDatagramReceiver::addListener (Listener* listener)
{
    jassert (! isThreadRunning());
    listeners.addIfNotAlreadyThere (listener);
}

void OSCDatagramReceiver::removeListener (Listener* listener)
{
    jassert (! isThreadRunning());
    listeners.removeFirstMatchingValue (listener);
}

void OSCDatagramReceiver::registerFormatErrorHandler (FormatErrorHandler handler)
{
    jassert (! isThreadRunning());
    formatErrorHandler = std::move (handler);
}

void OSCDatagramReceiver::handleDatagram (const char* data, int size)
{
    if (data == nullptr || size < 4)
        return;

    if (const auto content = OSCPacketParser::parse (data, (size_t) size))
    {
        if (content->isMessage())
        {
            const auto& message = content->getMessage();
            for (auto* listener : listeners)
                listener->oscMessageReceived (message);
        }
        else
        {
            const auto& bundle = content->getBundle();
            for (auto* listener : listeners)
                listener->oscBundleReceived (bundle);
        }
    }
    else if (formatErrorHandler != nullptr)
    {
        formatErrorHandler (data, size);
    }
}

void OSCDatagramReceiver::run()
{
    juce::HeapBlock<char> buffer (bufferSize);
    const auto handle = socket->getRawSocketHandle();

    // A blocking receive that gives up every 100 ms, so that the loop notices when to stop.
    // The kernel wakes this thread straight into the read: no poll before it, and none of the
    // framework's per-read checks of the socket's state, each a system call while a note waits.
    const auto flags = fcntl (handle, F_GETFL);
    timeval timeout {};
    timeout.tv_usec = 100 * 1000;

    if (flags < 0 || fcntl (handle, F_SETFL, flags & ~O_NONBLOCK) < 0
         || setsockopt (handle, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof (timeout)) < 0)
        return;

    while (! threadShouldExit())
    {
        const auto size = ::recv (handle, buffer.getData(), (size_t) bufferSize, 0);

        if (threadShouldExit())
            return;

        if (size >= 0)
            handleDatagram (buffer.getData(), (int) size);
        else if (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR)
            return;     // the socket is gone
    }
}
