// One settings file, from start to quit: the check, the framework's load, the MIDI
// device state restored and stored again, and the whole file written back; then the next
// start, which must read that file as it is.
#include "app/Application.h"
#include "app/SettingsFile.h"
#include "tests/support/InMemoryMidiPorts.h"

#include <cstdlib>

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
    const auto file = folder->getChildFile ("VADizudiv.settings");
    SettingsFile::runLoadPath (juce::MemoryBlock (data, size), file, options, *ports);

    // The next start reads the file written without leaving anything out, and the start after
    // it writes back exactly what it read. (Values may change once: a value read from an
    // attribute is read back from its nested element as the framework writes it.)
    const auto nextStart = [&]
    {
        const auto reopened = SettingsFile::open (file, options);

        if (reopened.problem.isNotEmpty())
            std::abort();

        reopened.properties->save();
        juce::MemoryBlock written;
        file.loadFileAsData (written);
        return written;
    };

    const auto writtenByTheNextStart = nextStart();

    if (nextStart() != writtenByTheNextStart)
        std::abort();

    // Files kept aside would pile up and slow the search for a free name.
    for (const auto& child : folder->findChildFiles (juce::File::findFiles, false))
        child.deleteFile();

    return 0;
}
