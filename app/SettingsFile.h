#pragma once

#include <juce_data_structures/juce_data_structures.h>

#include <functional>
#include <memory>

class MidiDeviceManager;
namespace sx { class MidiPortSystem; }

/*  Opens the application's settings file so that neither reading it now nor writing it back
    later can hang or crash, and so that every file written loads back at the next start.

    A file is unreadable when it fails SettingsXmlCheck or when the framework then cannot read
    it as a properties document. An unreadable file is moved aside, under the same name with
    ".unreadable" added (numbered when that name is taken), and the defaults are used; the file
    is not parsed by the framework at all when it fails the check.

    Of a readable file, a value is left out, and named in the open's problem line, when the
    framework would have to parse it as XML to write the file back (it tries every value, to
    nest those that hold an element) and it fails the check, or when the file written back
    would not pass the check: the writer indents nested values and writes '"' and every
    non-ASCII character as a reference, so a file can grow several times over. While the whole
    written file is too large, the values that take the most room in it go, largest first.

    The properties that open() returns refuse, and report, any later change after which the
    written file would not pass the check: the values stay as they were before it.
*/
class SettingsFile final
{
public:
    struct Opened
    {
        std::unique_ptr<juce::PropertiesFile> properties;
        juce::String problem;   // one line for the user when the file on disk was unreadable or values were left out; else empty
    };

    /** Receives one line for the user for each change that the properties refused. */
    using RefusalReporter = std::function<void (const juce::String& line)>;

    static Opened open (const juce::File& file, const juce::PropertiesFile::Options& options,
                        RefusalReporter reportRefusal = {});

    /** Ok when the file that the framework would write for these values passes the check, so
        that the next start reads every one of them; else what is wrong, in one line. */
    static juce::Result checkWrittenFile (const juce::StringPairArray& values);

    /** Restores the MIDI device state kept under "midiDeviceSettings". Only a whole, well-formed
        document that can also be written back at quit is restored; anything else leaves the
        devices as they are. */
    static void restoreMidiDeviceState (const juce::PropertiesFile& properties, MidiDeviceManager& devices);

    /** Keeps the devices' state under "midiDeviceSettings" as one line of XML; the empty text
        when there is none. */
    static void storeMidiDeviceState (juce::PropertiesFile& properties, const MidiDeviceManager& devices);

    /** What the application does with a settings file's bytes from start to quit, without a
        window, for fuzzing: writes them to the file, opens it, restores the MIDI device state
        from it and stores that state and the whole file again, as the main component does.
        Returns the open's problem line. The file, and any copy kept aside, stay in the file's
        folder.
    */
    static juce::String runLoadPath (const juce::MemoryBlock& fileBytes, const juce::File& file,
                                     const juce::PropertiesFile::Options& options, sx::MidiPortSystem& midiPorts);
};
