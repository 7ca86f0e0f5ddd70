/*  The settings file at start-up with a long MIDI device list: opening the file (the check, the
    framework's load) and restoring the MIDI device state from it, which the application does
    before it starts listening.

    The lists are of remembered inputs without a name and of outputs that are not plugged in, as
    a hand-made file may hold them; the port system lists one input and one output of other
    names. "compact" files hold the list on one line, "as written" ones are indented as the
    framework writes them.
*/
#include "app/Application.h"
#include "app/SettingsFile.h"
#include "bridge/MidiDeviceManager.h"
#include "tests/support/InMemoryMidiPorts.h"

#include <chrono>
#include <cstdio>

namespace
{
using Clock = std::chrono::steady_clock;

struct Row
{
    int inputs, outputs;
    bool indented;
};

juce::String deviceList (const Row& row)
{
    juce::XmlElement setup ("DEVICESETUP");

    for (int i = 0; i < row.inputs; ++i)
        setup.createNewChildElement ("MIDIINPUT");

    for (int i = 0; i < row.outputs; ++i)
        setup.createNewChildElement ("MIDIOUTPUT")->setAttribute ("name", "a");

    return setup.toString (juce::XmlElement::TextFormat().singleLine().withoutHeader());
}

juce::String settingsText (const Row& row)
{
    if (row.indented)
    {
        juce::XmlElement properties ("PROPERTIES");
        auto* value = properties.createNewChildElement ("VALUE");
        value->setAttribute ("name", "midiDeviceSettings");
        value->addChildElement (juce::parseXML (deviceList (row)).release());
        return properties.toString();
    }

    return "<PROPERTIES><VALUE name=\"midiDeviceSettings\">" + deviceList (row) + "</VALUE></PROPERTIES>";
}

// Milliseconds per run, over as many runs as fit in a quarter of a second (at least one).
template <typename Function>
double millisecondsPerRun (Function&& run)
{
    const auto start = Clock::now();
    int runs = 0;

    do
    {
        run();
        ++runs;
    } while (Clock::now() - start < std::chrono::milliseconds (250));

    return std::chrono::duration<double, std::milli> (Clock::now() - start).count() / runs;
}
}

int main()
{
    juce::ScopedJuceInitialiser_GUI juce;
    const juce::TemporaryFile folder;
    folder.getFile().createDirectory();
    const auto file = folder.getFile().getChildFile ("VADizudiv.settings");
    const auto options = Application::getSettingsOptions();

    sx::test::InMemoryMidiPortSystem ports;
    ports.addInput ("Keys");
    ports.addOutput ("Synth A");

    std::printf ("Settings file with a long MIDI device list: open (check and load) and restore\n\n");
    std::printf ("%-10s %7s %8s %8s %10s %12s %12s\n", "form", "inputs", "outputs", "bytes", "open ms", "state kept", "restore ms");

    const Row rows[] = { { 335, 185, false }, { 670, 370, false }, { 1345, 740, false }, { 2690, 1480, false },
                         { 500, 200, true }, { 1000, 400, true }, { 2000, 800, true } };

    for (const auto& row : rows)
    {
        const auto text = settingsText (row);
        file.replaceWithText (text);

        bool kept = false;
        const auto openMs = millisecondsPerRun ([&]
        {
            kept = SettingsFile::open (file, options).properties->containsKey ("midiDeviceSettings");
            file.replaceWithText (text);    // in case the open moved it aside
        });

        // The restore on its own, from the same state whatever the open kept of it.
        juce::PropertiesFile state (juce::File(), options);
        state.setValue ("midiDeviceSettings", deviceList (row));

        const auto restoreMs = millisecondsPerRun ([&]
        {
            MidiDeviceManager devices (ports);
            SettingsFile::restoreMidiDeviceState (state, devices);
        });

        std::printf ("%-10s %7d %8d %8d %10.2f %12s %12.2f\n", row.indented ? "as written" : "compact", row.inputs, row.outputs,
                     (int) text.getNumBytesAsUTF8(), openMs, kept ? "yes" : "no", restoreMs);
    }

    folder.getFile().deleteRecursively();
    return 0;
}
