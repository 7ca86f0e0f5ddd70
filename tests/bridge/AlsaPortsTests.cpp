/*  The real port layer, JUCE's ALSA sequencer code, driven by bridge_alsa_probe in a child
    process under the fake sequencer, whose log shows what reached the ports.
*/
#include <juce_core/juce_core.h>

#include <gtest/gtest.h>

namespace
{
/** The probe's output and error, merged, then its exit status (a crash shows there too). */
juce::String runProbe (const juce::String& environment, const juce::String& arguments)
{
    juce::ChildProcess shell;
    shell.start (juce::StringArray { "/bin/sh", "-c", environment + " " + juce::String (SX_ALSA_PROBE).quoted ('\'')
                                                      + " " + arguments + " 2>&1; echo exit $?" });
    return shell.readAllProcessOutput();
}
} // namespace

TEST (AlsaPorts, TranslatedMidiReachesTheVirtualSourceAndOutputsOpenedByName)
{
    if (juce::String (SX_FAKESEQ_LIB).isEmpty())
        GTEST_SKIP() << "the fake ALSA sequencer was not built";

    const juce::TemporaryFile log (".log");
    const auto output = runProbe ("LD_PRELOAD=" + juce::String (SX_FAKESEQ_LIB).quoted ('\'')
                                    + " FAKESEQ_PORTS='Synth A:out,Dup:out,Dup:out' FAKESEQ_LOG="
                                    + log.getFile().getFullPathName().quoted ('\''),
                                  "'Synth A' Dup");

    // Listed by port name, duplicates kept, and not a word from the sound library.
    EXPECT_EQ (output, "out\tSynth A\t20-0\nout\tDup\t21-0\nout\tDup\t22-0\nstate\t<DEVICESETUP>"
                       "<MIDIOUTPUT name=\"Sondrevix Connect\"/><MIDIOUTPUT name=\"Dup\"/></DEVICESETUP>\nexit 0\n");

    // The log without time stamps and the sequencer's housekeeping.
    juce::StringArray transcript;
    for (const auto& line : juce::StringArray::fromLines (log.getFile().loadFileAsString()))
    {
        auto fields = juce::StringArray::fromTokens (line, "\t", {});
        fields.removeRange (0, fields[0] == "#" ? 2 : 1);

        if (! fields.isEmpty() && ! juce::StringArray { "init", "hw_add", "open", "client_name", "close" }.contains (fields[0]))
            transcript.add (fields.joinIntoString (" "));
    }

    // Of the two "Dup", the first is opened; the bundle reaches each port as its messages in
    // order; the closed port is deleted and skipped from then on. Shutdown follows.
    const juce::StringArray expected {
        "port_create 128:0 Sondrevix Connect R,SUBS_R",
        "port_create 128:1 Synth A R", "connect 128:1 Synth A 20:0 Synth A",
        "port_create 128:2 Dup R",     "connect 128:2 Dup 21:0 Dup",
        "128:0 Sondrevix Connect - 90 3C 7F", "128:0 Sondrevix Connect - 90 40 40", "128:0 Sondrevix Connect - B0 40 7F",
        "128:1 Synth A 20:0 90 3C 7F",        "128:1 Synth A 20:0 90 40 40",        "128:1 Synth A 20:0 B0 40 7F",
        "128:2 Dup 21:0 90 3C 7F",            "128:2 Dup 21:0 90 40 40",            "128:2 Dup 21:0 B0 40 7F",
        "disconnect 128:1 Synth A 20:0 Synth A", "port_delete 128:1 Synth A",
        "128:0 Sondrevix Connect - 80 3C 00", "128:2 Dup 21:0 80 3C 00" };

    transcript.removeRange (expected.size(), transcript.size());
    EXPECT_EQ (transcript.joinIntoString ("\n"), expected.joinIntoString ("\n"));
}

TEST (AlsaPorts, WithoutASequencerTheBridgeRunsAndSaysSoOnce)
{
    if (juce::File ("/dev/snd/seq").exists())
        GTEST_SKIP() << "this machine has a real ALSA sequencer";

    EXPECT_EQ (runProbe ("unset LD_PRELOAD;", "'Synth A'"),
               "VADizudiv: could not create the virtual MIDI output \"Sondrevix Connect\": no MIDI system is available\n"
               "state\t<DEVICESETUP/>\nexit 0\n");
}
