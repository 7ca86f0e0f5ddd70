#pragma once

#include "discovery/PacketWriter.h"
#include "platform/NetworkEnvironment.h"

#include <juce_core/juce_core.h>

#include <atomic>
#include <memory>

/** Answers the VR app's LAN session search on UDP port 14001.

    The socket is bound when the responder is made; the thread that answers
    queries runs only between the owner's startThread() and stopThread(). Each
    accepted query gets one advertisement per non-loopback IPv4 interface, sent
    to that interface's broadcast address.
*/
class UEPseudoLANGameServer : private juce::Thread
{
public:
    UEPseudoLANGameServer();
    explicit UEPseudoLANGameServer (std::unique_ptr<NetworkEnvironment> environmentToUse);
    ~UEPseudoLANGameServer() override;

    using juce::Thread::startThread;
    using juce::Thread::stopThread;

private:
    std::unique_ptr<NetworkEnvironment> environment;

public:
    // The owner binds the socket again and hands over the OSC port directly.
    juce::DatagramSocket socket { true };

private:
    PacketWriter lastPacket { 1024 };
    const juce::Uuid serverId;

public:
    const int listenPort = 14001;
    std::atomic<int> advertisedPort { 9001 };
    std::atomic<bool> bound { false };

private:
    void run() override;
    void answerQuery (const SessionNonce& nonce);

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (UEPseudoLANGameServer)
};
