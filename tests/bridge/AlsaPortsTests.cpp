// The real port layer, JUCE's ALSA sequencer code, driven by bridge_alsa_probe in a child
// process under the fake sequencer, whose log shows what reached the ports.
#include "tests/support/FakeSequencer.h"

#include <juce_core/juce_core.h>

#include <gtest/gtest.h>

namespace
{
// The probe's output and error, merged, then its exit status (a crash shows there too).
juce::String runProbe (const juce::String& environment, const juce::String& arguments, const juce::String& after = {})
{
    juce::ChildProcess shell;
    shell.start (juce::StringArray { "/bin/sh", "-c", environment + " " + juce::String (SX_ALSA_PROBE).quoted ('\'')
                                                      + " " + arguments + " 2>&1; echo exit $?; " + after });
    return shell.readAllProcessOutput();
}
} // namespace

TEST (AlsaPorts, TranslatedMidiReachesTheVirtualSourceAndOutputsOpenedByName)
{
    SX_REQUIRE_FAKE_SEQUENCER();

    const juce::TemporaryFile tmp (".log");
    const auto log = tmp.getFile().getFullPathName().quoted ('\'');

    // After the probe's listing (by port name, duplicates kept, not a word from the sound
    // library), the log without time stamps and the sequencer's housekeeping, up to shutdown.
    EXPECT_EQ (runProbe ("LD_PRELOAD=" + juce::String (SX_FAKESEQ_LIB).quoted ('\'')
                           + " FAKESEQ_PORTS='Synth A:out,Dup:out,Dup:out' FAKESEQ_LOG=" + log, "'Synth A' Dup",
                         "sed -E 's/^(#\t)?[0-9]+\t//' " + log + " | grep -vE '^(init|hw_add|open|client_name|close)\t' | head -n 18 | tr '\t' ' '"),
               "out\tSynth A\t20-0\nout\tDup\t21-0\nout\tDup\t22-0\nstate\t<DEVICESETUP>"
               "<MIDIOUTPUT name=\"Sondrevix Connect\"/><MIDIOUTPUT name=\"Dup\"/></DEVICESETUP>\nexit 0\n"
               // Of the two "Dup", the first is opened; the bundle reaches each port as its messages
               // in order; the closed port is deleted and skipped from then on.
               "port_create 128:0 Sondrevix Connect R,SUBS_R\n"
               "port_create 128:1 Synth A R\nconnect 128:1 Synth A 20:0 Synth A\n"
               "port_create 128:2 Dup R\nconnect 128:2 Dup 21:0 Dup\n"
               "128:0 Sondrevix Connect - 90 3C 7F\n128:0 Sondrevix Connect - 90 40 40\n128:0 Sondrevix Connect - B0 40 7F\n"
               "128:1 Synth A 20:0 90 3C 7F\n128:1 Synth A 20:0 90 40 40\n128:1 Synth A 20:0 B0 40 7F\n"
               "128:2 Dup 21:0 90 3C 7F\n128:2 Dup 21:0 90 40 40\n128:2 Dup 21:0 B0 40 7F\n"
               "disconnect 128:1 Synth A 20:0 Synth A\nport_delete 128:1 Synth A\n"
               "128:0 Sondrevix Connect - 80 3C 00\n128:2 Dup 21:0 80 3C 00\n");
}

TEST (AlsaPorts, WithoutASequencerTheBridgeRunsAndSaysSoOnce)
{
    if (juce::File ("/dev/snd/seq").exists())
        GTEST_SKIP() << "this machine has a real ALSA sequencer";

    EXPECT_EQ (runProbe ("unset LD_PRELOAD;", "'Synth A'"),
               "VADizudiv: could not create the virtual MIDI output \"Sondrevix Connect\": no MIDI system is available\n"
               "state\t<DEVICESETUP/>\nexit 0\n");
}
