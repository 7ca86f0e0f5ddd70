#include <gtest/gtest.h>
#include <juce_gui_basics/juce_gui_basics.h>

// Every test program runs with JUCE's message manager and GUI classes set up,
// so components can be built and painted into images without a window.
int main (int argc, char** argv)
{
    ::testing::InitGoogleTest (&argc, argv);
    juce::ScopedJuceInitialiser_GUI juce;
    return RUN_ALL_TESTS();
}
