#include "bridge/OSCDatagramReceiver.h"
#include "bridge/OSCPacketParser.h"

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

    while (! threadShouldExit())
    {
        const auto ready = socket->waitUntilReady (true, 100);

        if (ready < 0 || threadShouldExit())
            return;

        if (ready == 0)
            continue;

        handleDatagram (buffer.getData(), socket->read (buffer.getData(), bufferSize, false));
    }
}
