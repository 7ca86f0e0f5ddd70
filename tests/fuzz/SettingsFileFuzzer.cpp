// One settings file, from start to quit: the check, the framework's load, the MIDI
// device state restored and stored again, and the whole file written back.
#include "app/Application.h"
#include "app/SettingsFile.h"
#include "tests/support/InMemoryMidiPorts.h"

namespace
{
    juce::ScopedJuceInitialiser_GUI* framework = nullptr;
    juce::File* folder = nullptr;
    sx::test::InMemoryMidiPortSystem* ports = nullptr;
}

extern "C" int LLVMFuzzerInitialize (int*, char***)
{
    // Made once and never destroyed (see cmake/Fuzzing.cmake).
    framework = new juce::ScopedJuceInitialiser_GUI();
    folder = new juce::File (juce::File::createTempFile ("-settings-fuzz"));
    folder->createDirectory();
    ports = new sx::test::InMemoryMidiPortSystem();
    ports->addOutput ("Synth A");
    ports->addInput ("Keys");
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput (const uint8_t* data, size_t size)
{
    const auto options = Application::getSettingsOptions();
    SettingsFile::runLoadPath (juce::MemoryBlock (data, size), folder->getChildFile ("VADizudiv.settings"), options, *ports);

    // Files kept aside would pile up and slow the search for a free name.
    for (const auto& file : folder->findChildFiles (juce::File::findFiles, false))
        file.deleteFile();

    return 0;
}
