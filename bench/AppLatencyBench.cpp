/*  Note latency of the real application, window and message log showing under Xvfb,
    beside a minimal program that receives the same OSC and sends the same MIDI: a
    plain blocking UDP loop that parses the note and hands it to a framework virtual
    MIDI output. Both run on the fake ALSA sequencer, which logs every MIDI message
    with its CLOCK_MONOTONIC time; a note's latency is that time less the time taken
    just before its datagram was sent.

    The two programs get the same notes, interleaved (each pair of datagrams goes out
    together, in alternating order), at 1,000 and 10,000 notes a second each, first
    with real-time rights (root, as we run) and then without: both programs started
    through prlimit --rtprio=0 and setpriv without CAP_SYS_NICE. Then both again with
    each program confined to a CPU of its own (taskset): the application's receiver
    thread then always shares its CPU with the message thread, the case where the
    log's painting delays notes, whatever else the machine is running. The sender
    has a CPU to itself, which neither program may use. The scheduling
    policy of the application's receiver thread, read from the system, is printed
    beside each table.

    From the scheduler's statistics each row also gives the time the sending thread
    (the application's receiver thread, the minimal program's only thread) spent
    ready to run but waiting for a CPU, per note, and for the application the share
    of a CPU its message thread used (the log, painting, the relay).

    The whole run happens in a network namespace of its own (it re-runs itself
    through tests/support/run-isolated), so the application's ports and discovery
    answers stay inside it.

        bench_AppLatencyBench [notes per rate, default 20000]
*/
#include "tests/bridge/OscBytes.h"
#include "tests/support/AppHarness.h"

#include <juce_audio_devices/juce_audio_devices.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <optional>
#include <vector>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sched.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace
{
using namespace sx::test;
namespace osc = sx::test::osc;

constexpr int appPort = 9001;           // the application's default
constexpr int minimalPort = 9002;
const char* const minimalPortName = "Minimal Out";

std::int64_t monotonicNs()
{
    timespec t {};
    clock_gettime (CLOCK_MONOTONIC, &t);
    return (std::int64_t) t.tv_sec * 1000000000 + t.tv_nsec;
}

void sleepUntilNs (std::int64_t when)
{
    const timespec t { (time_t) (when / 1000000000), (long) (when % 1000000000) };
    while (clock_nanosleep (CLOCK_MONOTONIC, TIMER_ABSTIME, &t, nullptr) == EINTR) {}
}

//==============================================================================
// The minimal program: one thread, a blocking receive, the note parsed in place.
std::uint32_t readBigEndian (const std::uint8_t* p)
{
    return ((std::uint32_t) p[0] << 24) | ((std::uint32_t) p[1] << 16) | ((std::uint32_t) p[2] << 8) | p[3];
}

std::optional<juce::MidiMessage> noteFrom (const std::uint8_t* data, int size)
{
    static const std::string on = "/sxc/midi/note/on", off = "/sxc/midi/note/off";
    const auto matches = [&] (const std::string& address, const char* tags, int argumentBytes)
    {
        const auto addressBytes = (int) ((address.size() + 4) & ~(size_t) 3);
        const auto tagBytes = (int) ((std::strlen (tags) + 4) & ~(size_t) 3);
        return size == addressBytes + tagBytes + argumentBytes
            && std::memcmp (data, address.c_str(), address.size() + 1) == 0
            && std::memcmp (data + addressBytes, tags, std::strlen (tags) + 1) == 0;
    };

    if (matches (on, ",iif", 12))
    {
        const auto* args = data + size - 12;
        const auto bits = readBigEndian (args + 8);
        float velocity = 0;
        std::memcpy (&velocity, &bits, sizeof (velocity));
        return juce::MidiMessage::noteOn (juce::jlimit (1, 16, (int) readBigEndian (args)), (int) (readBigEndian (args + 4) & 0x7f),
                                          (juce::uint8) juce::jlimit (0, 127, juce::roundToInt (velocity * 127.0f)));
    }

    if (matches (off, ",ii", 8))
    {
        const auto* args = data + size - 8;
        return juce::MidiMessage::noteOff (juce::jlimit (1, 16, (int) readBigEndian (args)), (int) (readBigEndian (args + 4) & 0x7f));
    }

    return std::nullopt;
}

int runMinimal()
{
    const auto output = juce::MidiOutput::createNewDevice (minimalPortName);
    const auto handle = socket (AF_INET, SOCK_DGRAM, 0);
    sockaddr_in address {};
    address.sin_family = AF_INET;
    address.sin_port = htons (minimalPort);
    address.sin_addr.s_addr = htonl (INADDR_LOOPBACK);

    if (output == nullptr || handle < 0 || bind (handle, (const sockaddr*) &address, sizeof (address)) != 0)
    {
        std::fprintf (stderr, "minimal: no MIDI output or no socket\n");
        return 1;
    }

    std::uint8_t buffer[1500];

    for (;;)
        if (const auto size = recv (handle, buffer, sizeof (buffer), 0); size > 0)
            if (const auto note = noteFrom (buffer, (int) size))
                output->sendMessageNow (*note);
}

//==============================================================================
// Note i goes to both programs as note (i mod 128) on channel (i / 128) mod 16 + 1; even
// ones are note-ons at full velocity, odd ones note-offs, so the MIDI bytes tell the
// notes apart well enough to check the order the logs are matched in.
osc::Bytes datagramFor (int i)
{
    const auto channel = (i / 128) % 16 + 1, note = i % 128;
    return i % 2 == 0 ? osc::message ("/sxc/midi/note/on", { channel, note, 1.0f })
                      : osc::message ("/sxc/midi/note/off", { channel, note });
}

juce::String midiFor (int i)
{
    const auto channel = (i / 128) % 16, note = i % 128;
    return juce::String::toHexString (i % 2 == 0 ? 0x90 + channel : 0x80 + channel).toUpperCase() + " "
         + juce::String::toHexString (note).paddedLeft ('0', 2).toUpperCase() + (i % 2 == 0 ? " 7F" : " 00");
}

struct SentMidi
{
    std::int64_t ns;
    juce::String bytes;
};

/** The MIDI lines of a fake sequencer log from a byte offset on, from one port. */
std::vector<SentMidi> readMidiLog (const juce::File& log, juce::int64 fromByte, const juce::String& portName)
{
    juce::FileInputStream in (log);
    std::vector<SentMidi> result;

    if (! in.openedOk() || ! in.setPosition (fromByte))
        return result;

    for (const auto& line : juce::StringArray::fromLines (in.readString()))
        if (const auto fields = juce::StringArray::fromTokens (line, "\t", {}); fields.size() == 5 && fields[0] != "#" && fields[2] == portName)
            result.push_back ({ fields[0].getLargeIntValue(), fields[4] });

    return result;
}

/** A thread's scheduling policy and priority as the system reports them, e.g. "SCHED_RR 10". */
juce::String schedulingOf (pid_t tid)
{
    const auto policy = sched_getscheduler (tid);
    sched_param param {};
    sched_getparam (tid, &param);
    const auto name = policy == SCHED_OTHER ? "SCHED_OTHER" : policy == SCHED_FIFO ? "SCHED_FIFO" : policy == SCHED_RR ? "SCHED_RR" : "unknown";
    return juce::String (name) + " " + juce::String (param.sched_priority);
}

/** The first thread of a process that has this name, or 0. */
pid_t findThread (pid_t pid, const juce::String& threadName)
{
    for (const auto& task : juce::File ("/proc/" + juce::String (pid) + "/task").findChildFiles (juce::File::findDirectories, false))
        if (task.getChildFile ("comm").loadFileAsString().trim() == threadName)
            return (pid_t) task.getFileName().getIntValue();

    return 0;
}

/** A thread's time on a CPU and time waiting for one (ready to run), in ns, from the scheduler's statistics. */
struct CpuTimes
{
    std::int64_t running = 0, waiting = 0;
};

CpuTimes cpuTimesOf (pid_t tid)
{
    // Every thread is reachable as /proc/<its id>, though only processes are listed there.
    const auto fields = juce::StringArray::fromTokens (juce::File ("/proc/" + juce::String (tid) + "/schedstat").loadFileAsString(), " ", {});
    return { fields[0].getLargeIntValue(), fields[1].getLargeIntValue() };
}

//==============================================================================
struct Program
{
    Program (juce::String n, int p, juce::File l, juce::String m)
        : name (std::move (n)), port (p), log (std::move (l)), midiPortName (std::move (m)) {}

    juce::String name;
    int port;
    juce::File log;
    juce::String midiPortName;
    std::vector<std::int64_t> sendTimes;
    juce::int64 logStart = 0;
    pid_t sendingThread = 0;        // the thread that receives the datagrams and sends the MIDI
    pid_t messageThread = 0;        // the application's message thread; 0 for none
    CpuTimes sendingAtStart, messageAtStart;
};

class Sender
{
public:
    Sender() : handle (socket (AF_INET, SOCK_DGRAM, 0)) {}
    ~Sender() { close (handle); }

    std::int64_t send (int port, const osc::Bytes& datagram) const
    {
        sockaddr_in to {};
        to.sin_family = AF_INET;
        to.sin_port = htons ((std::uint16_t) port);
        to.sin_addr.s_addr = htonl (INADDR_LOOPBACK);
        const auto now = monotonicNs();
        sendto (handle, datagram.data(), datagram.size(), 0, (const sockaddr*) &to, sizeof (to));
        return now;
    }

private:
    int handle;
};

/** Sends notes to one program until one comes out, so that both are warm and ready. */
bool waitUntilPlaying (const Sender& sender, const Program& program)
{
    for (int i = 0; i < 750; ++i)
    {
        sender.send (program.port, datagramFor (0));
        juce::Thread::sleep (20);

        if (! readMidiLog (program.log, 0, program.midiPortName).empty())
            return true;
    }

    return false;
}

struct Row
{
    juce::String program;
    int received = 0, lost = 0, misordered = 0;
    double p50 = 0, p99 = 0, p999 = 0, max = 0;
    double waitUsPerNote = 0;               // the sending thread's time ready but waiting for a CPU
    std::optional<double> messageThreadCpu; // the share of one CPU the message thread used
};

Row measure (Program& program, int notes, std::int64_t duration)
{
    Row row;
    row.program = program.name;
    row.waitUsPerNote = (double) (cpuTimesOf (program.sendingThread).waiting - program.sendingAtStart.waiting) / 1000.0 / notes;

    if (program.messageThread != 0)
        row.messageThreadCpu = (double) (cpuTimesOf (program.messageThread).running - program.messageAtStart.running) / (double) duration;

    std::vector<SentMidi> sent;

    for (int i = 0; i < 500 && (int) sent.size() < notes; ++i, juce::Thread::sleep (20))
        sent = readMidiLog (program.log, program.logStart, program.midiPortName);

    std::vector<double> latencies;

    for (size_t i = 0; i < sent.size() && i < program.sendTimes.size(); ++i)
    {
        if (sent[i].bytes != midiFor ((int) i))
            ++row.misordered;

        latencies.push_back ((double) (sent[i].ns - program.sendTimes[i]) / 1000.0);
    }

    row.received = (int) latencies.size();
    row.lost = notes - row.received;
    std::sort (latencies.begin(), latencies.end());

    if (! latencies.empty())
    {
        const auto at = [&] (double q) { return latencies[std::min (latencies.size() - 1, (size_t) (q * (double) latencies.size()))]; };
        row.p50 = at (0.5);
        row.p99 = at (0.99);
        row.p999 = at (0.999);
        row.max = latencies.back();
    }

    return row;
}

std::vector<Row> runRate (const Sender& sender, Program& app, Program& minimal, int rate, int notes)
{
    for (auto* program : { &app, &minimal })
    {
        program->logStart = program->log.getSize();
        program->sendTimes.assign ((size_t) notes, 0);
        program->sendingAtStart = cpuTimesOf (program->sendingThread);
        program->messageAtStart = cpuTimesOf (program->messageThread);
    }

    const auto period = 1000000000 / rate;
    const auto start = monotonicNs() + 50000000;

    for (int i = 0; i < notes; ++i)
    {
        sleepUntilNs (start + (std::int64_t) i * period);
        const auto datagram = datagramFor (i);
        auto* first = i % 2 == 0 ? &app : &minimal;
        auto* second = i % 2 == 0 ? &minimal : &app;
        first->sendTimes[(size_t) i] = sender.send (first->port, datagram);
        second->sendTimes[(size_t) i] = sender.send (second->port, datagram);
    }

    const auto duration = monotonicNs() - start;
    return { measure (app, notes, duration), measure (minimal, notes, duration) };
}

void printTable (const juce::String& condition, const juce::String& appThread, const juce::String& minimalThread,
                 const std::vector<std::pair<int, std::vector<Row>>>& results)
{
    // Other work on the machine shows in both programs' tails alike; the load says how much there was.
    std::printf ("\n%s: application's receiver thread %s, minimal program's thread %s; load average %s\n",
                 condition.toRawUTF8(), appThread.toRawUTF8(), minimalThread.toRawUTF8(),
                 juce::File ("/proc/loadavg").loadFileAsString().upToFirstOccurrenceOf (" ", false, false).toRawUTF8());
    std::printf ("| notes/s | program     | received | lost | p50 us | p99 us | p99.9 us | max us | CPU wait us/note | message thread CPU |\n");
    std::printf ("|--------:|-------------|---------:|-----:|-------:|-------:|---------:|-------:|-----------------:|-------------------:|\n");

    for (const auto& [rate, rows] : results)
        for (const auto& r : rows)
            std::printf ("| %7d | %-11s | %8d | %4d | %6.0f | %6.0f | %8.0f | %6.0f | %16.1f | %18s |%s\n", rate, r.program.toRawUTF8(), r.received, r.lost,
                         r.p50, r.p99, r.p999, r.max, r.waitUsPerNote,
                         r.messageThreadCpu ? (juce::String (*r.messageThreadCpu * 100.0, 1) + " %").toRawUTF8() : "",
                         r.misordered > 0 ? " (MIDI out of order!)" : "");

    std::fflush (stdout);
}

int runBench (int notes)
{
    if (juce::String (SX_FAKESEQ_LIB).isEmpty() || ! AppProcess::getDefaultBinary().existsAsFile())
    {
        std::fprintf (stderr, "needs the fake ALSA sequencer and the application, built\n");
        return 1;
    }

    prctl (PR_SET_TIMERSLACK, 1UL);     // send on time at 10,000 pairs a second

    VirtualDisplay display;

    if (! display.isRunning())
    {
        std::fprintf (stderr, "no virtual display\n");
        return 1;
    }

    std::printf ("%d notes per program and rate; latency = fake sequencer's log time - time before sendto\n", notes);

    const Sender sender;
    const auto self = juce::File::getSpecialLocation (juce::File::currentExecutableFile).getFullPathName();
    const juce::StringArray withoutRights { "prlimit", "--rtprio=0:0", "setpriv", "--inh-caps=-sys_nice", "--bounding-set=-sys_nice", "--" };

    // The sender keeps the first CPU this process may use to itself: datagrams from the
    // network arrive on no CPU of the receiver's choosing, and a program woken on the
    // sender's CPU would run the moment the sender sleeps, a head start the other lacks.
    // The programs get the others, or in the confined runs the last two, one each.
    cpu_set_t allowed;
    CPU_ZERO (&allowed);
    sched_getaffinity (0, sizeof (allowed), &allowed);
    juce::StringArray cpus;
    for (int cpu = 0; cpu < CPU_SETSIZE; ++cpu)
        if (CPU_ISSET (cpu, &allowed))
            cpus.add (juce::String (cpu));

    if (cpus.size() < 3)
    {
        std::fprintf (stderr, "needs three CPUs\n");
        return 1;
    }

    cpu_set_t senderCpu;
    CPU_ZERO (&senderCpu);
    CPU_SET (cpus[0].getIntValue(), &senderCpu);
    sched_setaffinity (0, sizeof (senderCpu), &senderCpu);
    const auto programCpus = juce::StringArray (cpus.begin() + 1, cpus.size() - 1).joinIntoString (",");

    for (const auto& [withRights, confined] : { std::pair { true, false }, { false, false }, { true, true }, { false, true } })
    {
        const auto appCpu = cpus[cpus.size() - 2], minimalCpu = cpus[cpus.size() - 1];
        const auto launcherFor = [&, withRights = withRights, confined = confined] (const juce::String& cpu)
        {
            auto launcher = withRights ? juce::StringArray() : withoutRights;
            launcher.addArray ({ "taskset", "-c", confined ? cpu : programCpus });
            return launcher;
        };

        const auto work = juce::File::createTempFile ("sx-latency");
        work.createDirectory();
        Program app { "application", appPort, work.getChildFile ("app-midi.log"), "Sondrevix Connect" };
        Program minimal { "minimal", minimalPort, work.getChildFile ("minimal-midi.log"), minimalPortName };

        AppProcess::Options options;
        options.environment.set ("LD_PRELOAD", SX_FAKESEQ_LIB);
        options.environment.set ("FAKESEQ_LOG", app.log.getFullPathName());
        options.launcher = launcherFor (appCpu);
        AppProcess appProcess (display, options);

        auto environment = Subprocess::getInheritedEnvironment();
        environment.set ("LD_PRELOAD", SX_FAKESEQ_LIB);
        environment.set ("FAKESEQ_LOG", minimal.log.getFullPathName());
        auto command = launcherFor (minimalCpu);
        command.addArray ({ self, "minimal" });
        Subprocess minimalProcess (command, environment, work.getChildFile ("minimal-output.log"));

        if (! appProcess.start() || display.waitForWindow ("VADizudiv", 15000, appProcess.getPid()) == 0
            || ! waitUntilPlaying (sender, app) || ! waitUntilPlaying (sender, minimal))
        {
            std::fprintf (stderr, "the programs did not start:\n%s\n%s\n", appProcess.getOutput().toRawUTF8(),
                          work.getChildFile ("minimal-output.log").loadFileAsString().toRawUTF8());
            return 1;
        }

        app.sendingThread = findThread (appProcess.getPid(), "JUCE OSC server");
        app.messageThread = appProcess.getPid();
        minimal.sendingThread = minimalProcess.getPid();
        juce::Thread::sleep (500);
        std::vector<std::pair<int, std::vector<Row>>> results;

        for (const auto rate : { 1000, 10000 })
        {
            runRate (sender, app, minimal, rate, std::min (notes, 1000));     // warm-up at this rate, not counted
            juce::Thread::sleep (200);
            results.push_back ({ rate, runRate (sender, app, minimal, rate, notes) });
            juce::Thread::sleep (200);
        }

        printTable (juce::String (withRights ? "With real-time rights" : "Without real-time rights (RLIMIT_RTPRIO 0, no CAP_SYS_NICE)")
                      + (confined ? ", each program confined to one CPU (" + appCpu + " and " + minimalCpu + ")"
                                  : ", both programs on CPUs " + programCpus) + ", sender on CPU " + cpus[0],
                    schedulingOf (app.sendingThread), schedulingOf (minimalProcess.getPid()),
                    results);
        work.deleteRecursively();
    }

    return 0;
}
} // namespace

int main (int argc, char* argv[])
{
    if (argc > 1 && juce::String (argv[1]) == "minimal")
        return runMinimal();

    // Everything happens in a network namespace of our own: the application binds its
    // ports and answers discovery there.
    if (std::getenv ("SX_LATENCY_BENCH_ISOLATED") == nullptr)
    {
        setenv ("SX_LATENCY_BENCH_ISOLATED", "1", 1);
        const juce::String launcher (SX_SOURCE_DIR "/tests/support/run-isolated");
        const auto self = juce::File::getSpecialLocation (juce::File::currentExecutableFile).getFullPathName();
        std::vector<char*> arguments { const_cast<char*> (launcher.toRawUTF8()), const_cast<char*> (self.toRawUTF8()) };

        for (int i = 1; i < argc; ++i)
            arguments.push_back (argv[i]);

        arguments.push_back (nullptr);
        execv (arguments[0], arguments.data());
        std::perror ("run-isolated");
        return 1;
    }

    return runBench (argc > 1 ? juce::jmax (100, std::atoi (argv[1])) : 20000);
}
