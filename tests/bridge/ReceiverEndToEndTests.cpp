#include "bridge/OSCDatagramReceiver.h"
#include "bridge/OSCTranslator.h"
#include "bridge/OSCVocabulary.h"
#include "tests/bridge/OscBytes.h"
#include "tests/support/InMemoryMidiPorts.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include <linux/capability.h>
#include <pthread.h>
#include <sched.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace osc = sx::test::osc;

namespace
{
    // Registered after the translator, as the log's relay is: by the time it sees the first
    // message, that message's MIDI must be out, so that nothing done for the log delays it.
    struct MidiAlreadySentProbe final : OSCDatagramReceiver::Listener
    {
        explicit MidiAlreadySentProbe (sx::test::InMemoryMidiPortSystem& p) : ports (p) {}

        void oscMessageReceived (const juce::OSCMessage&) override
        {
            if (blocksSentBeforeFirstMessage < 0)
                blocksSentBeforeFirstMessage = (int) ports.getSentBlocks ("Synth A").size();
        }

        void oscBundleReceived (const juce::OSCBundle&) override {}

        sx::test::InMemoryMidiPortSystem& ports;
        std::atomic<int> blocksSentBeforeFirstMessage { -1 };
    };
}

// Hand-built datagrams over 127.0.0.1 into a real receiver with the translator registered
// as the application registers it, first.
TEST (ReceiverEndToEnd, DatagramsBecomeMidiAndMalformedPacketsNeverReachTheTranslator)
{
    sx::test::InMemoryMidiPortSystem ports;
    ports.addOutput ("Synth A");
    OSCTranslator translator (ports);
    translator.getMidiDeviceManager().setMidiOutputDeviceEnabled ("Synth A", true, false);

    juce::DatagramSocket receiveSocket (false), sendSocket (false);
    ASSERT_TRUE (receiveSocket.bindToPort (0, "127.0.0.1"));
    std::atomic<int> formatErrors { 0 };
    OSCDatagramReceiver receiver;
    MidiAlreadySentProbe logStandIn (ports);
    receiver.addListener (&translator);
    receiver.addListener (&logStandIn);
    receiver.registerFormatErrorHandler ([&] (const char*, int) { ++formatErrors; });
    ASSERT_TRUE (receiver.connectToSocket (receiveSocket));

    const auto note = osc::message ("/sxc/midi/note/on", { 1, 60, 1.0f });
    auto truncated = note, unsupportedType = osc::message ("/sxc/midi/cc", { 1, 2, 3 });
    truncated.resize (truncated.size() - 4);
    unsupportedType[19] = 'x';                  // ",iii" -> ",iix"
    auto oversizedElement = osc::bundle ({ note }), brokenSecondElement = osc::bundle ({ note, note });
    oversizedElement[19] = 0xff;                // the element's size field
    brokenSecondElement.resize (brokenSecondElement.size() - 6);

    const std::vector<osc::Bytes> datagrams {
        note, { '/', 's', 'x', 'c' }, truncated, unsupportedType, oversizedElement, brokenSecondElement,  // 5 malformed
        { '/', 's', 'x' },                      // shorter than any packet: dropped unseen
        // One block per output and packet, however deep the nesting; non-MIDI elements skipped.
        osc::bundle ({ osc::message ("/sxc/midi/note/on", { 1, 60, 0.5f }), osc::message ("/sxc/midi/note/on", { 1, 64, 0.1f }),
                       osc::bundle ({ osc::message ("/sxc/dmx/x", { 1 }), osc::message ("/sxc/midi/cc", { 1, 64, 127 }),
                                      osc::bundle ({ osc::message ("/sxc/midi/note/off", { 3, 62 }) }) }) }),
        osc::message ("/sxc/midi/note/off", { 2, 60 }) };

    for (const auto& d : datagrams)
        ASSERT_EQ (sendSocket.write ("127.0.0.1", receiveSocket.getBoundPort(), d.data(), (int) d.size()), (int) d.size());

    for (int i = 0; i < 400 && ports.getSentBlocks ("Synth A").size() < 3; ++i)
        juce::Thread::sleep (5);

    for (const auto& port : { virtualMidiPortName, juce::String ("Synth A") })
    {
        const auto blocks = ports.getSentBlocks (port);
        ASSERT_EQ (blocks.size(), 3u) << port;
        EXPECT_EQ (blocks[0].messages, (std::vector<osc::Bytes> { { 0x90, 60, 127 } }));
        EXPECT_EQ (blocks[1].messages, (std::vector<osc::Bytes> { { 0x90, 60, 64 }, { 0x90, 64, 13 }, { 0xb0, 64, 127 }, { 0x82, 62, 0 } }));
        EXPECT_EQ (blocks[2].messages, (std::vector<osc::Bytes> { { 0x81, 60, 0 } }));
    }

    EXPECT_EQ (formatErrors.load(), 5);
    EXPECT_EQ (logStandIn.blocksSentBeforeFirstMessage.load(), 1) << "listeners are called in the order added";
    ASSERT_TRUE (receiver.disconnect());
}

//==============================================================================
namespace
{
    // The receiver thread's scheduling policy, as the thread itself reads it when a datagram comes.
    struct SchedulingProbe final : OSCDatagramReceiver::Listener
    {
        void oscMessageReceived (const juce::OSCMessage&) override  { record(); }
        void oscBundleReceived (const juce::OSCBundle&) override    { record(); }

        void record()
        {
            int scheduler = -1;
            sched_param param {};
            pthread_getschedparam (pthread_self(), &scheduler, &param);
            policy = scheduler;
            ++received;
        }

        std::atomic<int> policy { -1 }, received { 0 };
    };

    // Whether the calling thread may start a SCHED_RR thread, asked as the framework asks.
    bool mayStartRealtimeThread()
    {
        pthread_attr_t attributes;
        pthread_attr_init (&attributes);
        pthread_attr_setinheritsched (&attributes, PTHREAD_EXPLICIT_SCHED);
        pthread_attr_setschedpolicy (&attributes, SCHED_RR);
        const sched_param param { 10 };
        pthread_attr_setschedparam (&attributes, &param);
        pthread_t thread {};
        const auto started = pthread_create (&thread, &attributes, [] (void*) -> void* { return nullptr; }, nullptr) == 0;
        pthread_attr_destroy (&attributes);

        if (started)
            pthread_join (thread, nullptr);

        return started;
    }

    // Runs the body as a user without real-time rights would: RLIMIT_RTPRIO at 0 and, on a
    // thread of its own (capabilities belong to threads), no CAP_SYS_NICE.
    template <typename Body>
    void withoutRealtimeRights (Body&& body)
    {
        rlimit saved {};
        getrlimit (RLIMIT_RTPRIO, &saved);
        const rlimit none { 0, saved.rlim_max };
        setrlimit (RLIMIT_RTPRIO, &none);

        std::thread ([&body]
        {
            __user_cap_header_struct header { _LINUX_CAPABILITY_VERSION_3, 0 };
            __user_cap_data_struct capabilities[2] {};
            syscall (SYS_capget, &header, capabilities);
            capabilities[CAP_SYS_NICE / 32].effective &= ~(1u << (CAP_SYS_NICE % 32));
            syscall (SYS_capset, &header, capabilities);
            body();
        }).join();

        setrlimit (RLIMIT_RTPRIO, &saved);
    }
}

// The receiver thread sends the MIDI, so it asks for a real-time priority; where the system
// refuses, notes must still flow on a normal thread.
TEST (ReceiverThread, RealTimeWhereTheSystemAllowsItANormalThreadWhereItRefuses)
{
    const auto receiveANote = [] (bool expectRealtime)
    {
        juce::DatagramSocket receiveSocket (false), sendSocket (false);
        ASSERT_TRUE (receiveSocket.bindToPort (0, "127.0.0.1"));
        SchedulingProbe probe;
        OSCDatagramReceiver receiver;
        receiver.addListener (&probe);

        // Twice: a reconnection starts the thread again, with the same request.
        for (int connection = 0; connection < 2; ++connection)
        {
            ASSERT_TRUE (receiver.connectToSocket (receiveSocket));
            EXPECT_EQ (receiver.isRealtime(), expectRealtime);

            probe.received = 0;
            const auto note = osc::message ("/sxc/midi/note/on", { 1, 60, 1.0f });
            ASSERT_EQ (sendSocket.write ("127.0.0.1", receiveSocket.getBoundPort(), note.data(), (int) note.size()), (int) note.size());

            for (int i = 0; i < 400 && probe.received == 0; ++i)
                juce::Thread::sleep (5);

            EXPECT_EQ (probe.received.load(), 1);
            EXPECT_EQ (probe.policy.load(), expectRealtime ? SCHED_RR : SCHED_OTHER);
        }

        ASSERT_TRUE (receiver.disconnect());
        EXPECT_FALSE (receiver.isRealtime());
        receiver.removeListener (&probe);
    };

    // Real-time as root; a normal thread where even root has no rights (some containers).
    receiveANote (mayStartRealtimeThread());

    withoutRealtimeRights ([&]
    {
        ASSERT_FALSE (mayStartRealtimeThread());
        receiveANote (false);
    });
}
