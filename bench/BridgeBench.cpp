/*  The OSC-to-MIDI bridge: the translator on its own, then the whole receive path
    (datagram over 127.0.0.1 -> OSCDatagramReceiver -> translator -> in-memory output),
    measured beside a plain blocking UDP receive loop on the same kind of socket with
    the same traffic, which is as fast as any receiver on this machine can be.
*/
#include "bridge/OSCDatagramReceiver.h"
#include "bridge/OSCTranslator.h"
#include "tests/bridge/OscBytes.h"
#include "tests/support/InMemoryMidiPorts.h"

#include <juce_gui_basics/juce_gui_basics.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <new>
#include <thread>

#include <sys/socket.h>

//==============================================================================
// Counts heap allocations made on threads that ask for it, to show that the
// translator allocates nothing per packet once warm.
namespace
{
    thread_local bool countAllocationsHere = false;
    std::atomic<long> allocationsCounted { 0 };

    void* allocate (std::size_t size)
    {
        if (countAllocationsHere)
            ++allocationsCounted;

        if (auto* p = std::malloc (size == 0 ? 1 : size))
            return p;

        throw std::bad_alloc();
    }
}

void* operator new (std::size_t size)                   { return allocate (size); }
void* operator new[] (std::size_t size)                 { return allocate (size); }
void operator delete (void* p) noexcept                 { std::free (p); }
void operator delete[] (void* p) noexcept               { std::free (p); }
void operator delete (void* p, std::size_t) noexcept    { std::free (p); }
void operator delete[] (void* p, std::size_t) noexcept  { std::free (p); }

namespace
{
using Clock = std::chrono::steady_clock;
namespace osc = sx::test::osc;

std::int64_t nowNs()
{
    return std::chrono::duration_cast<std::chrono::nanoseconds> (Clock::now().time_since_epoch()).count();
}

struct CountedScope
{
    CountedScope()  { countAllocationsHere = true; }
    ~CountedScope() { countAllocationsHere = false; }
};

//==============================================================================
// Each datagram is "/sxc/midi/cc" whose three arguments carry an 18-bit sequence number,
// which comes out again in the Control Change's status nibble and data bytes.
constexpr int maxSequence = 1 << 18;

osc::Bytes datagramFor (int sequence)
{
    return osc::message ("/sxc/midi/cc", { ((sequence >> 14) & 0x0f) + 1, (sequence >> 7) & 0x7f, sequence & 0x7f });
}

int sequenceFromMidi (const juce::uint8* midi)
{
    return ((midi[0] & 0x0f) << 14) | (midi[1] << 7) | midi[2];
}

int sequenceFromDatagram (const char* data, int size)
{
    // Address (16 bytes) and type tags (8 bytes), then three big-endian int32.
    if (size < 36)
        return -1;

    auto readInt = [data] (int offset)
    {
        const auto* b = reinterpret_cast<const juce::uint8*> (data + offset);
        return (int) ((b[0] << 24) | (b[1] << 16) | (b[2] << 8) | b[3]);
    };

    return ((readInt (24) - 1) << 14) | (readInt (28) << 7) | readInt (32);
}

/** Send and arrival times by sequence number; arrivals are written by one receiving thread. */
struct Timeline
{
    std::vector<std::int64_t> sent = std::vector<std::int64_t> (maxSequence, 0);
    std::vector<std::int64_t> arrived = std::vector<std::int64_t> (maxSequence, 0);
    std::atomic<int> received { 0 };
    std::atomic<std::int64_t> lastArrival { 0 };

    void reset (int n)
    {
        std::fill_n (sent.begin(), n, 0);
        std::fill_n (arrived.begin(), n, 0);
        received = 0;
        lastArrival = 0;
    }

    void arrive (int sequence)
    {
        const auto t = nowNs();
        if (sequence >= 0 && sequence < maxSequence && arrived[(size_t) sequence] == 0)
        {
            arrived[(size_t) sequence] = t;
            lastArrival.store (t, std::memory_order_release);
            received.fetch_add (1, std::memory_order_release);
        }
    }
};

//==============================================================================
/** One way of receiving the datagrams; both are measured with the same sender. */
class Path
{
public:
    virtual ~Path() = default;
    virtual int getPort() const = 0;
    Timeline timeline;
};

/** The application's path: OSCDatagramReceiver, the translator as a real-time listener,
    and an in-memory virtual source that notes when each block arrives. */
class TranslatorPath : public Path,
                       private juce::OSCReceiver::Listener<juce::OSCReceiver::RealtimeCallback>
{
public:
    TranslatorPath()
    {
        ports.setRecording (false);
        ports.onBlockSent = [this] (const juce::String&, const juce::MidiBuffer& buffer)
        {
            for (const auto meta : buffer)
                timeline.arrive (sequenceFromMidi (meta.data));
        };

        socket.bindToPort (0, "127.0.0.1");
        receiver.addListener (this);
        receiver.connectToSocket (socket);
    }

    ~TranslatorPath() override
    {
        receiver.disconnect();
        receiver.removeListener (this);
    }

    int getPort() const override   { return socket.getBoundPort(); }

    std::atomic<long> packets { 0 };

private:
    // Stands between the receiver and the translator only to count what the translator
    // allocates; the receiver's own parsing allocates and is not counted.
    void oscMessageReceived (const juce::OSCMessage& m) override
    {
        const CountedScope counting;
        translator.oscMessageReceived (m);
        ++packets;
    }

    void oscBundleReceived (const juce::OSCBundle& b) override
    {
        const CountedScope counting;
        translator.oscBundleReceived (b);
        ++packets;
    }

    sx::test::InMemoryMidiPortSystem ports;
    OSCTranslator translator { ports };
    juce::DatagramSocket socket { false };
    OSCDatagramReceiver receiver;
};

/** The ceiling: one thread blocked in recv() on the same kind of socket. */
class PlainUdpPath : public Path
{
public:
    PlainUdpPath()
    {
        socket.bindToPort (0, "127.0.0.1");

        timeval timeout { 0, 50 * 1000 };   // lets the loop notice that it should stop
        ::setsockopt (socket.getRawSocketHandle(), SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof (timeout));

        thread = std::thread ([this] {
            std::vector<char> buffer (65535);
            while (! stop)
            {
                const auto n = ::recv (socket.getRawSocketHandle(), buffer.data(), buffer.size(), 0);
                if (n > 0)
                    timeline.arrive (sequenceFromDatagram (buffer.data(), (int) n));
            }
        });
    }

    ~PlainUdpPath() override
    {
        stop = true;
        thread.join();
    }

    int getPort() const override   { return socket.getBoundPort(); }

private:
    juce::DatagramSocket socket { false };
    std::atomic<bool> stop { false };
    std::thread thread;
};

//==============================================================================
struct RunResult
{
    int sent = 0, received = 0;
    double seconds = 0;
    std::int64_t p50 = 0, p99 = 0, p999 = 0;

    double lossPercent() const   { return sent > 0 ? 100.0 * (sent - received) / sent : 0; }
    double throughput() const    { return seconds > 0 ? received / seconds : 0; }
};

/** Sends n datagrams at the given rate (0: as fast as possible), waits until they have
    all arrived or nothing has arrived for 200 ms, and summarises. */
RunResult run (Path& path, int n, double ratePerSecond)
{
    std::vector<osc::Bytes> datagrams;
    for (int i = 0; i < n; ++i)
        datagrams.push_back (datagramFor (i));

    auto& t = path.timeline;
    t.reset (n);

    juce::DatagramSocket sender (false);
    const auto port = path.getPort();

    std::thread sendThread ([&] {
        const auto start = nowNs();
        const auto interval = ratePerSecond > 0 ? (std::int64_t) (1.0e9 / ratePerSecond) : 0;

        for (int i = 0; i < n; ++i)
        {
            if (interval > 0)
                while (nowNs() < start + i * interval)
                    ;   // spin: sleeping would blur the pacing at 10 kHz

            t.sent[(size_t) i] = nowNs();
            sender.write ("127.0.0.1", port, datagrams[(size_t) i].data(), (int) datagrams[(size_t) i].size());
        }
    });

    sendThread.join();

    for (int lastCount = -1, quietFor = 0; quietFor < 200 && t.received.load() < n;)
    {
        std::this_thread::sleep_for (std::chrono::milliseconds (1));
        const auto count = t.received.load (std::memory_order_acquire);
        quietFor = count == lastCount ? quietFor + 1 : 0;
        lastCount = count;
    }

    RunResult r;
    r.sent = n;
    r.received = t.received.load (std::memory_order_acquire);
    r.seconds = r.received > 0 ? (t.lastArrival.load (std::memory_order_acquire) - t.sent[0]) * 1.0e-9 : 0;

    std::vector<std::int64_t> latencies;
    for (int i = 0; i < n; ++i)
        if (t.arrived[(size_t) i] != 0)
            latencies.push_back (t.arrived[(size_t) i] - t.sent[(size_t) i]);

    if (! latencies.empty())
    {
        std::sort (latencies.begin(), latencies.end());
        auto at = [&] (double q) { return latencies[std::min (latencies.size() - 1, (size_t) (q * (double) latencies.size()))]; };
        r.p50 = at (0.5);
        r.p99 = at (0.99);
        r.p999 = at (0.999);
    }

    return r;
}

double ratio (double ours, double ceiling)   { return ceiling > 0 ? ours / ceiling : 0; }

//==============================================================================
void benchTranslatorAlone()
{
    sx::test::InMemoryMidiPortSystem ports;
    ports.setRecording (false);
    OSCTranslator translator (ports);   // its virtual source is the one output

    const juce::OSCMessage single ("/sxc/midi/note/on", 1, 60, 0.8f);

    juce::OSCBundle bundle;
    for (int i = 0; i < 16; ++i)
        bundle.addElement (juce::OSCMessage ("/sxc/midi/cc", 1 + i % 16, i, 127 - i));

    auto timePerCall = [] (int calls, auto&& fn)
    {
        for (int i = 0; i < calls / 10; ++i)   // warm up
            fn();

        const auto before = allocationsCounted.load();
        const auto start = nowNs();
        {
            const CountedScope counting;
            for (int i = 0; i < calls; ++i)
                fn();
        }
        const auto ns = (double) (nowNs() - start) / calls;
        return std::make_pair (ns, allocationsCounted.load() - before);
    };

    const auto [singleNs, singleAllocs] = timePerCall (1'000'000, [&] { translator.oscMessageReceived (single); });
    const auto [bundleNs, bundleAllocs] = timePerCall (200'000, [&] { translator.oscBundleReceived (bundle); });

    std::printf ("Translator alone (one in-memory output)\n");
    std::printf ("| packet              | ns per packet | ns per message | allocations |\n");
    std::printf ("|---------------------|--------------:|---------------:|------------:|\n");
    std::printf ("| single Note On      | %13.1f | %14.1f | %11ld |\n", singleNs, singleNs, singleAllocs);
    std::printf ("| bundle of 16 CC     | %13.1f | %14.1f | %11ld |\n\n", bundleNs, bundleNs / 16, bundleAllocs);
}

void benchReceivePath()
{
    TranslatorPath ours;
    PlainUdpPath ceiling;

    run (ours, 2000, 0);      // warm both: sockets, caches, the translator's buffer
    run (ceiling, 2000, 0);
    const auto warmAllocations = allocationsCounted.load();
    const auto warmPackets = ours.packets.load();

    struct Row { const char* name; int n; double rate; };
    const Row rows[] = {
        { "burst of 1,000",        1000,  0 },
        { "burst of 10,000",       10000, 0 },
        { "1,000 msgs/s for 1 s",  1000,  1000 },
        { "10,000 msgs/s for 1 s", 10000, 10000 },
    };

    // The machine may be shared: each row runs three times per path, in alternating
    // order, and the run with the median p50 latency is shown.
    auto medianOf = [] (std::vector<RunResult> runs)
    {
        std::sort (runs.begin(), runs.end(), [] (const RunResult& x, const RunResult& y) { return x.p50 < y.p50; });
        return runs[runs.size() / 2];
    };

    std::printf ("Receive path over 127.0.0.1: OSCDatagramReceiver + translator (ours) vs. plain blocking UDP loop (ceiling)\n");
    std::printf ("Median of 3 runs each; ratio = ours / ceiling\n");
    std::printf ("| traffic               | path    | received | loss %%  | msgs/s     | p50 us  | p99 us  | p99.9 us |\n");
    std::printf ("|-----------------------|---------|---------:|--------:|-----------:|--------:|--------:|---------:|\n");

    for (const auto& row : rows)
    {
        std::vector<RunResult> oursRuns, ceilingRuns;

        for (int i = 0; i < 3; ++i)
        {
            if (i % 2 == 0)
            {
                oursRuns.push_back (run (ours, row.n, row.rate));
                ceilingRuns.push_back (run (ceiling, row.n, row.rate));
            }
            else
            {
                ceilingRuns.push_back (run (ceiling, row.n, row.rate));
                oursRuns.push_back (run (ours, row.n, row.rate));
            }
        }

        const auto a = medianOf (oursRuns);
        const auto b = medianOf (ceilingRuns);

        auto print = [&] (const char* label, const RunResult& r)
        {
            std::printf ("| %-21s | %-7s | %8d | %7.2f | %10.0f | %7.1f | %7.1f | %8.1f |\n", row.name, label,
                         r.received, r.lossPercent(), r.throughput(), r.p50 / 1e3, r.p99 / 1e3, r.p999 / 1e3);
        };

        print ("ours", a);
        print ("ceiling", b);
        std::printf ("| %-21s | ratio   | %8.2f | %7s | %10.2f | %7.2f | %7.2f | %8.2f |\n", row.name,
                     ratio (a.received, b.received), "",
                     ratio (a.throughput(), b.throughput()),
                     ratio ((double) a.p50, (double) b.p50), ratio ((double) a.p99, (double) b.p99), ratio ((double) a.p999, (double) b.p999));
    }

    std::printf ("\nAllocations inside the translator on the receiver thread after warm-up: %ld in %ld packets\n",
                 allocationsCounted.load() - warmAllocations, ours.packets.load() - warmPackets);
}
} // namespace

int main()
{
    juce::ScopedJuceInitialiser_GUI juce;

    const auto start = nowNs();
    benchTranslatorAlone();
    benchReceivePath();
    std::printf ("Total run time: %.1f s\n", (nowNs() - start) * 1e-9);
    return 0;
}
