#pragma once

#include <juce_core/juce_core.h>

#include <gtest/gtest.h>

/*  For tests that run MIDI through the fake ALSA sequencer (tests/fakeseq). Where it was not
    built they skip, but under CI (the CI variable set) a skip would hide that they never ran,
    so there they fail instead.
*/
#define SX_REQUIRE_FAKE_SEQUENCER()                                                              \
    if (juce::String (SX_FAKESEQ_LIB).isEmpty())                                                 \
    {                                                                                            \
        if (juce::SystemStats::getEnvironmentVariable ("CI", {}).isNotEmpty())                  \
            FAIL() << "the fake ALSA sequencer was not built, and CI must run this test";        \
        else                                                                                     \
            GTEST_SKIP() << "the fake ALSA sequencer was not built";                             \
    }
