#include "discovery/UEPseudoLANGameServer.h"

#include "platform/ChildPrograms.h"

UEPseudoLANGameServer::UEPseudoLANGameServer()
    : UEPseudoLANGameServer (NetworkEnvironment::createSystemEnvironment())
{
}

UEPseudoLANGameServer::UEPseudoLANGameServer (std::unique_ptr<NetworkEnvironment> environmentToUse)
    : juce::Thread ("Discovery_listen"),
      environment (std::move (environmentToUse))
{
    jassert (environment != nullptr);

    // A program we start must not keep the port after we have gone.
    if (socket.getRawSocketHandle() >= 0)
        sx::platform::keepFromChildPrograms (socket.getRawSocketHandle());

    // A failed bind is not an error here: the owner retries it and tells the user.
    bindIfNeeded();
}

UEPseudoLANGameServer::~UEPseudoLANGameServer()
{
    // Closing the socket first cuts a pending readiness wait short, so the
    // thread reaches its exit check well inside the stop timeout.
    socket.shutdown();
    stopThread (2000);
}

bool UEPseudoLANGameServer::bindIfNeeded()
{
    if (! bound.load())
        bound.store (socket.bindToPort (listenPort));

    return bound.load();
}

void UEPseudoLANGameServer::run()
{
    uint8_t buffer[1024];

    while (! threadShouldExit())
    {
        if (socket.waitUntilReady (true, 200) != 1)
        {
            wait (1000);
            continue;
        }

        // Anything past 1023 bytes is dropped by the read; a query needs only 32.
        const auto numRead = socket.read (buffer, 1023, false);

        if (isSessionQuery (numRead, buffer))
            answerQuery (getSessionNonce (buffer));
    }
}

void UEPseudoLANGameServer::answerQuery (const SessionNonce& nonce)
{
    // The interfaces are listed once per query: on a computer with thousands of addresses
    // the listing, not the sending, is what costs.
    for (const auto& entry : environment->getIPv4InterfacesExceptLoopback())
    {
        // A stop (a quit, a rebind) ends an answer between two addresses, so it is served
        // within the owner's time-out however many addresses there are.
        if (threadShouldExit())
            return;

        const auto port = advertisedPort.load();
        lastPacket = makeSessionAdvertisement (nonce, serverId, environment->getComputerName(), entry.address, port);

        // A send that fails only costs this interface its answer; the next query retries.
        socket.write (entry.broadcastAddress.toString(), listenPort,
                      lastPacket.getBytes().data(), (int) lastPacket.getBytes().size());
    }
}
