#include "SettingsFile.h"

#include "app/SettingsXmlCheck.h"
#include "bridge/MidiDeviceManager.h"

#include <algorithm>
#include <string>
#include <utility>
#include <vector>

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
    // white space, in its own sense of white space; so only such a value needs the check
    // before the framework parses it on writing. One that holds an element is written nested
    // and read back at the next start as the framework writes it on one line, which can be
    // longer ('"' becomes "&quot;"): that must pass the check too.
    juce::Result checkValue (const juce::String& value)
    {
        if (*value.getCharPointer().findEndOfWhitespace() != '<')
            return juce::Result::ok();

        if (const auto result = SettingsXmlCheck::check (value); result.failed())
            return result;

        if (const auto element = juce::parseXML (value))
            if (const auto result = SettingsXmlCheck::check (element->toString (juce::XmlElement::TextFormat().singleLine().withoutHeader()));
                result.failed())
                return juce::Result::fail ("as read back, " + result.getErrorMessage());

        return juce::Result::ok();
    }

    //==============================================================================
    /*  Keeps the first bytes written to it, up to a limit, and counts the rest. What the
        framework writes can be far larger than what it read, as each attribute that wraps
        onto a new line is indented by the width of its element's name, and none of that
        needs to be held to be refused.
    */
    class CappedOutputStream final : public juce::OutputStream
    {
    public:
        explicit CappedOutputStream (size_t maxBytesToKeep) : limit (maxBytesToKeep) {}

        bool write (const void* data, size_t numBytes) override
        {
            kept.append (static_cast<const char*> (data), std::min (numBytes, limit - kept.size()));
            written += numBytes;
            return true;
        }

        bool writeRepeatedByte (juce::uint8 byte, size_t numTimes) override
        {
            kept.append (std::min (numTimes, limit - kept.size()), (char) byte);
            written += numTimes;
            return true;
        }

        juce::int64 getPosition() override          { return (juce::int64) written; }
        bool setPosition (juce::int64) override     { return false; }
        void flush() override                       {}

        size_t getNumBytesWritten() const noexcept  { return written; }
        const std::string& getKeptBytes() const noexcept   { return kept; }

    private:
        const size_t limit;
        std::string kept;
        size_t written = 0;
    };

    const juce::String tooLarge { "once written back, larger than " + juce::String ((juce::int64) SettingsXmlCheck::maxBytes) + " bytes" };

    struct WrittenFile
    {
        size_t numBytes;
        juce::Result check;
    };

    // Writes the file as the framework does (see PropertiesFile::saveAsXml) and checks it as
    // the next start will. Every value that the framework parses must have passed checkValue().
    WrittenFile writeAsTheFrameworkDoes (const juce::StringPairArray& values)
    {
        juce::XmlElement document ("PROPERTIES");

        // Built from the back: adding at the end walks the whole list.
        for (auto i = values.size(); --i >= 0;)
        {
            auto element = std::make_unique<juce::XmlElement> ("VALUE");
            element->setAttribute ("name", values.getAllKeys()[i]);

            if (auto nested = juce::parseXML (values.getAllValues()[i]))
                element->addChildElement (nested.release());
            else
                element->setAttribute ("val", values.getAllValues()[i]);

            document.prependChildElement (element.release());
        }

        CappedOutputStream out (SettingsXmlCheck::maxBytes);
        document.writeTo (out, {});
        const auto numBytes = out.getNumBytesWritten();

        if (numBytes > SettingsXmlCheck::maxBytes)
            return { numBytes, juce::Result::fail (tooLarge) };

        const auto check = SettingsXmlCheck::check (out.getKeptBytes().data(), numBytes);
        return { numBytes, check.wasOk() ? check : juce::Result::fail ("once written back, " + check.getErrorMessage()) };
    }

    // What a written file takes besides its values: a file of two values takes it once, and
    // each of them alone once more.
    size_t bytesOfEveryFile()
    {
        juce::StringPairArray first, second, both;
        first.set ("a", {});
        second.set ("b", {});
        both.set ("a", {});
        both.set ("b", {});
        return writeAsTheFrameworkDoes (first).numBytes + writeAsTheFrameworkDoes (second).numBytes - writeAsTheFrameworkDoes (both).numBytes;
    }

    // A key read from the file, for a line on standard error.
    juce::String quoted (const juce::String& key)
    {
        constexpr int maxShown = 64;
        juce::String shown;

        for (const auto c : (key.length() > maxShown ? key.substring (0, maxShown) : key))
            shown += (c < 0x20 || c == 0x7f) ? (juce::juce_wchar) 0xfffd : c;

        return "\"" + shown + (key.length() > maxShown ? "...\"" : "\"");
    }

    // Leaves out the values that the framework cannot write back safely or that would make the
    // written file fail the check; returns each one's key and why, in the order left out.
    juce::StringArray leaveOutUnwritableValues (juce::StringPairArray& values)
    {
        juce::StringArray leftOut;
        std::vector<std::pair<size_t, juce::String>> writable;     // each one's written size on its own, and key
        const auto keys = values.getAllKeys();
        const auto texts = values.getAllValues();

        for (int i = 0; i < keys.size(); ++i)
        {
            auto result = checkValue (texts[i]);
            size_t numBytes = 0;

            // Alone in a file, a value meets every condition of the check but the size, which
            // all values share.
            if (result.wasOk())
            {
                juce::StringPairArray alone;
                alone.set (keys[i], texts[i]);
                const auto written = writeAsTheFrameworkDoes (alone);
                numBytes = written.numBytes;
                result = written.check;
            }

            if (result.failed())
            {
                values.remove (juce::StringRef (keys[i]));
                leftOut.add (quoted (keys[i]) + " (" + result.getErrorMessage() + ")");
            }
            else
            {
                writable.emplace_back (numBytes, keys[i]);
            }
        }

        std::stable_sort (writable.begin(), writable.end(), [] (const auto& a, const auto& b) { return a.first > b.first; });

        // Each value adds to the written file what it takes alone less what any file takes, so
        // the file is not written again after each value left out. (SettingsFile::open() checks
        // the file that the values kept make.)
        const auto overhead = bytesOfEveryFile();
        auto numBytes = writeAsTheFrameworkDoes (values).numBytes;

        for (const auto& [numBytesAlone, key] : writable)
        {
            if (numBytes <= SettingsXmlCheck::maxBytes)
                break;

            values.remove (juce::StringRef (key));
            leftOut.add (quoted (key) + " (" + tooLarge + ")");
            numBytes -= numBytesAlone - overhead;
        }

        return leftOut;
    }

    juce::String describeChangedKeys (const juce::StringPairArray& before, const juce::StringPairArray& after)
    {
        juce::StringArray changed;

        for (int i = 0; i < after.size(); ++i)
            if (! before.containsKey (after.getAllKeys()[i]) || before[after.getAllKeys()[i]] != after.getAllValues()[i])
                changed.add (quoted (after.getAllKeys()[i]));

        for (const auto& key : before.getAllKeys())
            if (! after.containsKey (key))
                changed.add (quoted (key));

        return changed.joinIntoString (", ");
    }

    //==============================================================================
    /*  Properties whose written file always passes the check. Loading leaves out the values
        that would make it fail; a change after which it would fail is undone before it is
        written, so that the file on disk keeps what it had.
    */
    class WritableProperties final : public juce::PropertiesFile
    {
    public:
        WritableProperties (const juce::File& file, const Options& options, SettingsFile::RefusalReporter reporter)
            : juce::PropertiesFile (file, options),
              applicationName (options.applicationName),
              reportRefusal (std::move (reporter)),
              leftOut (leaveOutUnwritableValues (getAllProperties())),
              lastWritable (getAllProperties())
        {
        }

        const juce::StringArray& getLeftOutValues() const noexcept  { return leftOut; }

    protected:
        void propertyChanged() override
        {
            if (const auto result = SettingsFile::checkWrittenFile (getAllProperties()); result.failed())
            {
                const auto changed = describeChangedKeys (lastWritable, getAllProperties());
                getAllProperties() = lastWritable;

                if (reportRefusal != nullptr)
                    reportRefusal (applicationName + ": a change to the settings is not kept, as the next start could not read "
                                     "the file written (" + result.getErrorMessage() + "): " + changed);
                return;
            }

            lastWritable = getAllProperties();
            juce::PropertiesFile::propertyChanged();
        }

    private:
        const juce::String applicationName;
        const SettingsFile::RefusalReporter reportRefusal;
        const juce::StringArray leftOut;
        juce::StringPairArray lastWritable;
    };
}

//==============================================================================
SettingsFile::Opened SettingsFile::open (const juce::File& file, const juce::PropertiesFile::Options& options,
                                         RefusalReporter reportRefusal)
{
    if (! file.existsAsFile())
        return { std::make_unique<WritableProperties> (file, options, reportRefusal), {} };

    auto result = checkBeforeParsing (file);

    if (result.wasOk())
    {
        auto properties = std::make_unique<WritableProperties> (file, options, reportRefusal);
        result = properties->isValidFile() ? checkWrittenFile (properties->getAllProperties())
                                           : juce::Result::fail ("not a settings document");

        if (result.wasOk())
        {
            if (properties->getLeftOutValues().isEmpty())
                return { std::move (properties), {} };

            const auto leftOut = options.applicationName + ": the settings file " + file.getFullPathName()
                                   + " holds values that cannot be kept, so they are left out and the other settings are used: "
                                   + properties->getLeftOutValues().joinIntoString ("; ");

            // Written at quit, so that the next start finds only what this one kept.
            properties->setNeedsToBeSaved (true);
            return { std::move (properties), leftOut };
        }
    }   // loading marks nothing as needing a write, so the unusable copy is dropped unsaved

    const auto kept = file.getParentDirectory().getNonexistentChildFile (file.getFileName(), ".unreadable");
    const auto problem = options.applicationName + ": the settings file " + file.getFullPathName()
                           + " cannot be read (" + result.getErrorMessage() + "), so the defaults are used; ";

    if (file.moveFileTo (kept))
        return { std::make_unique<WritableProperties> (file, options, reportRefusal), problem + "it was kept as " + kept.getFullPathName() };

    // Saving over the file would lose it: this run keeps its settings nowhere.
    return { std::make_unique<WritableProperties> (juce::File(), options, reportRefusal),
             problem + "it could not be moved aside, so it is left as it is and this run's settings are not saved" };
}

juce::Result SettingsFile::checkWrittenFile (const juce::StringPairArray& values)
{
    for (int i = 0; i < values.size(); ++i)
        if (const auto result = checkValue (values.getAllValues()[i]); result.failed())
            return juce::Result::fail ("the value of " + quoted (values.getAllKeys()[i]) + ": " + result.getErrorMessage());

    return writeAsTheFrameworkDoes (values).check;
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
