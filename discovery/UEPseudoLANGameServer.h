#pragma once

#include "discovery/PacketWriter.h"
#include "platform/NetworkEnvironment.h"

#include <juce_core/juce_core.h>

#include <atomic>
#include <memory>

/** Answers the VR app's LAN session search on UDP port 14001.

    The socket is bound when the responder is made, and the owner may retry a bind
    that failed; the thread that answers queries runs only between the owner's
    startThread() and stopThread(). Each accepted query gets one advertisement per
    non-loopback IPv4 interface, sent to that interface's broadcast address.
*/
class UEPseudoLANGameServer final : private juce::Thread
{
public:
    UEPseudoLANGameServer();
    explicit UEPseudoLANGameServer (std::unique_ptr<NetworkEnvironment> environmentToUse);
    ~UEPseudoLANGameServer() override;

    using juce::Thread::startThread;
    using juce::Thread::stopThread;

    /** Binds the socket to the discovery port unless that succeeded before, and says
        whether it is bound: a failed bind is tried again at every call, a successful one
        is kept. Only while the thread is stopped. */
    bool bindIfNeeded();

    /** Whether the socket is bound to the discovery port, so that queries can arrive. */
    bool isBound() const noexcept                   { return bound.load(); }

    /** The OSC port that every later advertisement carries; the thread reads it afresh
        for each one, so it may be set while the thread runs. */
    void setAdvertisedPort (int port) noexcept      { advertisedPort.store (port); }
    int getAdvertisedPort() const noexcept          { return advertisedPort.load(); }

private:
    std::unique_ptr<NetworkEnvironment> environment;
    juce::DatagramSocket socket { true };
    PacketWriter lastPacket { 1024 };
    const juce::Uuid serverId;
    const int listenPort = 14001;
    std::atomic<int> advertisedPort { 9001 };
    std::atomic<bool> bound { false };

    void run() override;
    void answerQuery (const SessionNonce& nonce);

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (UEPseudoLANGameServer)
};
