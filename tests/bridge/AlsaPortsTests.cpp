/*  The real port layer, i.e. JUCE's ALSA sequencer code, driven by bridge_alsa_probe in
    a child process under the fake sequencer, whose log shows what reached the ports.
*/
#include <juce_core/juce_core.h>

#include <gtest/gtest.h>

#include <csignal>
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace
{
struct ProcessResult
{
    int exitCode = -1;
    juce::String out, err;
};

/** Runs the probe with extra environment variables; "LD_PRELOAD" with an empty value removes it. */
ProcessResult runProbe (const juce::StringArray& args, const juce::StringPairArray& env, const juce::File& dir)
{
    const auto outFile = dir.getChildFile ("stdout.txt");
    const auto errFile = dir.getChildFile ("stderr.txt");

    std::vector<std::string> envStrings;
    for (char** e = environ; *e != nullptr; ++e)
    {
        const juce::String entry (*e);
        if (! env.containsKey (entry.upToFirstOccurrenceOf ("=", false, false)))
            envStrings.push_back (*e);
    }
    for (const auto& key : env.getAllKeys())
        if (env[key].isNotEmpty())
            envStrings.push_back ((key + "=" + env[key]).toStdString());

    std::vector<std::string> argStrings { SX_ALSA_PROBE };
    for (const auto& a : args)
        argStrings.push_back (a.toStdString());

    std::vector<char*> argv, envp;
    for (auto& s : argStrings)  argv.push_back (s.data());
    for (auto& s : envStrings)  envp.push_back (s.data());
    argv.push_back (nullptr);
    envp.push_back (nullptr);

    const auto outPath = outFile.getFullPathName().toStdString();
    const auto errPath = errFile.getFullPathName().toStdString();

    const auto pid = ::fork();
    if (pid == 0)
    {
        ::dup2 (::open (outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644), 1);
        ::dup2 (::open (errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644), 2);
        ::execve (argv[0], argv.data(), envp.data());
        ::_exit (127);
    }

    ProcessResult result;
    int status = 0;

    for (int i = 0; i < 3000; ++i)   // 30 s at most
    {
        if (::waitpid (pid, &status, WNOHANG) == pid)
        {
            result.exitCode = WIFEXITED (status) ? WEXITSTATUS (status) : 128 + WTERMSIG (status);
            break;
        }
        ::usleep (10000);
    }

    if (result.exitCode == -1)
    {
        ::kill (pid, SIGKILL);
        ::waitpid (pid, &status, 0);
    }

    result.out = outFile.loadFileAsString();
    result.err = errFile.loadFileAsString();
    return result;
}

struct LogLine
{
    bool isMeta;
    juce::StringArray fields;   // after the time stamp: kind and arguments, or address, name, dests, bytes
};

std::vector<LogLine> readLog (const juce::File& log)
{
    std::vector<LogLine> lines;
    juce::StringArray text;
    log.readLines (text);

    for (const auto& line : text)
    {
        if (line.isEmpty())
            continue;

        auto fields = juce::StringArray::fromTokens (line, "\t", {});
        const bool meta = fields[0] == "#";
        fields.removeRange (0, meta ? 2 : 1);
        lines.push_back ({ meta, fields });
    }

    return lines;
}

/** The MIDI lines of the log as "source name: bytes", in order. */
juce::StringArray midiSent (const std::vector<LogLine>& log)
{
    juce::StringArray result;
    for (const auto& l : log)
        if (! l.isMeta)
            result.add (l.fields[1] + ": " + l.fields[3]);
    return result;
}

juce::StringArray metaOfKind (const std::vector<LogLine>& log, const juce::String& kind)
{
    juce::StringArray result;
    for (const auto& l : log)
        if (l.isMeta && l.fields[0] == kind)
            result.add (juce::StringArray (l.fields.begin() + 1, l.fields.size() - 1).joinIntoString ("\t"));
    return result;
}

class AlsaPortsTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        if (juce::String (SX_FAKESEQ_LIB).isEmpty())
            GTEST_SKIP() << "the fake ALSA sequencer was not built (fakeseq.c not found at configure time)";

        ASSERT_TRUE (dir.createDirectory());
    }

    void TearDown() override
    {
        dir.deleteRecursively();
    }

    ProcessResult runWithFakeSequencer (const juce::StringArray& args, const juce::String& hardware)
    {
        juce::StringPairArray env;
        env.set ("LD_PRELOAD", SX_FAKESEQ_LIB);
        env.set ("FAKESEQ_PORTS", hardware);
        env.set ("FAKESEQ_LOG", log.getFullPathName());
        env.set ("FAKESEQ_INJECT", inject.getFullPathName());
        inject.create();
        return runProbe (args, env, dir);
    }

    juce::File dir { juce::File::getSpecialLocation (juce::File::tempDirectory)
                         .getNonexistentChildFile ("sx-alsa-ports", {}, false) };
    juce::File log { dir.getChildFile ("fakeseq.log") };
    juce::File inject { dir.getChildFile ("inject.txt") };
};

} // namespace

TEST_F (AlsaPortsTest, TranslatedMidiReachesTheVirtualSourceAndOpenedHardware)
{
    const auto result = runWithFakeSequencer ({ "send", "Synth A", "Dup" }, "Synth A:out,Dup:out,Dup:out,Keys In:in");
    ASSERT_EQ (result.exitCode, 0) << result.err;
    EXPECT_FALSE (result.err.contains ("ALSA lib")) << result.err;

    // Hardware is listed by port name, duplicates kept, in the sequencer's order.
    EXPECT_TRUE (result.out.contains ("out\tSynth A\t20-0\nout\tDup\t21-0\nout\tDup\t22-0\nin\tKeys In\t23-0\n")) << result.out;

    const auto lines = readLog (log);
    const auto created = metaOfKind (lines, "port_create");
    ASSERT_FALSE (created.isEmpty());
    EXPECT_TRUE (created[0].endsWith ("\tSondrevix Connect\tR,SUBS_R")) << created[0];

    // Opened by name: of the two "Dup" outputs, the first.
    const auto connects = metaOfKind (lines, "connect");
    ASSERT_EQ (connects.size(), 2) << connects.joinIntoString ("\n");
    EXPECT_TRUE (connects[0].endsWith ("\tSynth A\t20:0\tSynth A")) << connects[0];
    EXPECT_TRUE (connects[1].endsWith ("\tDup\t21:0\tDup")) << connects[1];

    // The bundle goes to each port as one run of its messages, in opening order; after
    // "Synth A" is closed the next message skips it.
    EXPECT_EQ (midiSent (lines), (juce::StringArray {
        "Sondrevix Connect: 90 3C 7F", "Sondrevix Connect: 90 40 40", "Sondrevix Connect: B0 40 7F",
        "Synth A: 90 3C 7F",           "Synth A: 90 40 40",           "Synth A: B0 40 7F",
        "Dup: 90 3C 7F",               "Dup: 90 40 40",               "Dup: B0 40 7F",
        "Sondrevix Connect: 80 3C 00", "Dup: 80 3C 00" }));

    const auto deleted = metaOfKind (lines, "port_delete");
    ASSERT_FALSE (deleted.isEmpty());
    EXPECT_TRUE (deleted[0].endsWith ("\tSynth A")) << deleted[0];

    EXPECT_TRUE (result.out.contains ("state\t<DEVICESETUP><MIDIOUTPUT name=\"Sondrevix Connect\"/>"
                                      "<MIDIOUTPUT name=\"Dup\"/></DEVICESETUP>\n")) << result.out;
}

TEST_F (AlsaPortsTest, RestoredInputsDeliverEverythingButActiveSensing)
{
    const auto result = runWithFakeSequencer ({ "input" }, "Keys In:in");
    ASSERT_EQ (result.exitCode, 0) << result.err;

    EXPECT_TRUE (result.out.contains ("state\t<DEVICESETUP><MIDIINPUT name=\"Keys In\"/>"
                                      "<MIDIOUTPUT name=\"Sondrevix Connect\"/></DEVICESETUP>\n")) << result.out;
    EXPECT_TRUE (result.out.endsWith ("received\tKeys In:90 40 7f\n")) << result.out;
    EXPECT_EQ (juce::StringArray::fromLines (result.out).indexOf ("received\tKeys In:fe"), -1) << result.out;
}

TEST_F (AlsaPortsTest, WithoutASequencerTheBridgeRunsAndSaysSoOnce)
{
    if (juce::File ("/dev/snd/seq").exists())
        GTEST_SKIP() << "this machine has a real ALSA sequencer";

    juce::StringPairArray env;
    env.set ("LD_PRELOAD", {});
    const auto result = runProbe ({ "send", "Synth A" }, env, dir);

    ASSERT_EQ (result.exitCode, 0) << result.err;
    EXPECT_EQ (result.err, "VADizudiv: could not create the virtual MIDI output \"Sondrevix Connect\": "
                           "no MIDI system is available\n");
    EXPECT_TRUE (result.out.endsWith ("state\t<DEVICESETUP/>\n")) << result.out;
}
