#include "SettingsFile.h"

#include "app/SettingsXmlCheck.h"
#include "bridge/MidiDeviceManager.h"

namespace
{
    juce::Result checkBeforeParsing (const juce::File& file)
    {
        juce::FileInputStream in (file);

        if (! in.openedOk())
            return juce::Result::fail ("it cannot be opened");

        // Of a huge file, only enough to see that it is too large.
        juce::MemoryBlock bytes;
        in.readIntoMemoryBlock (bytes, (ssize_t) SettingsXmlCheck::maxBytes + 1);
        return SettingsXmlCheck::check (bytes.getData(), bytes.getSize());
    }

    // The framework's parser goes past a value's first character only when that is '<' after
    // white space, in its own sense of white space.
    juce::Result checkValuesParsedOnWriting (juce::PropertiesFile& properties)
    {
        for (const auto& value : properties.getAllProperties().getAllValues())
            if (*value.getCharPointer().findEndOfWhitespace() == '<')
                if (const auto result = SettingsXmlCheck::check (value); result.failed())
                    return juce::Result::fail ("a value that could not be written back: " + result.getErrorMessage());

        return juce::Result::ok();
    }
}

//==============================================================================
SettingsFile::Opened SettingsFile::open (const juce::File& file, const juce::PropertiesFile::Options& options)
{
    if (! file.existsAsFile())
        return { std::make_unique<juce::PropertiesFile> (file, options), {} };

    auto result = checkBeforeParsing (file);

    if (result.wasOk())
    {
        auto properties = std::make_unique<juce::PropertiesFile> (file, options);
        result = properties->isValidFile() ? checkValuesParsedOnWriting (*properties)
                                           : juce::Result::fail ("not a settings document");

        if (result.wasOk())
            return { std::move (properties), {} };
    }   // loading marks nothing as needing a write, so the unusable copy is dropped unsaved

    const auto kept = file.getParentDirectory().getNonexistentChildFile (file.getFileName(), ".unreadable");
    const auto problem = options.applicationName + ": the settings file " + file.getFullPathName()
                           + " cannot be read (" + result.getErrorMessage() + "), so the defaults are used; ";

    if (file.moveFileTo (kept))
        return { std::make_unique<juce::PropertiesFile> (file, options), problem + "it was kept as " + kept.getFullPathName() };

    // Saving over the file would lose it: this run keeps its settings nowhere.
    return { std::make_unique<juce::PropertiesFile> (juce::File(), options),
             problem + "it could not be moved aside, so it is left as it is and this run's settings are not saved" };
}

void SettingsFile::restoreMidiDeviceState (const juce::PropertiesFile& properties, MidiDeviceManager& devices)
{
    if (auto state = SettingsXmlCheck::parse (properties.getValue ("midiDeviceSettings", {})))
        devices.initialiseFromXml (*state);
}

void SettingsFile::storeMidiDeviceState (juce::PropertiesFile& properties, const MidiDeviceManager& devices)
{
    const auto state = devices.createStateXml();
    properties.setValue ("midiDeviceSettings",
                         state != nullptr ? juce::var (state->toString (juce::XmlElement::TextFormat().singleLine().withoutHeader()))
                                          : juce::var());
}

juce::String SettingsFile::runLoadPath (const juce::MemoryBlock& fileBytes, const juce::File& file,
                                        const juce::PropertiesFile::Options& options, sx::MidiPortSystem& midiPorts)
{
    file.replaceWithData (fileBytes.getData(), fileBytes.getSize());
    const auto opened = open (file, options);
    auto& properties = *opened.properties;

    // As the main component restores the MIDI device state, and stores it at quit.
    MidiDeviceManager devices (midiPorts);
    restoreMidiDeviceState (properties, devices);
    storeMidiDeviceState (properties, devices);

    // At quit every value, stored or not, passes through the framework's parser and writer.
    properties.save();
    return opened.problem;
}
