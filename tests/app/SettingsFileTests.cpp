#include "app/Application.h"
#include "app/SettingsFile.h"
#include "app/SettingsXmlCheck.h"
#include "bridge/MidiDeviceManager.h"
#include "tests/app/SettingsText.h"
#include "tests/support/InMemoryMidiPorts.h"

#include <gtest/gtest.h>

namespace
{
    std::string repeated (const std::string& s, size_t times)
    {
        std::string result;
        while (times-- > 0)
            result += s;
        return result;
    }

    std::string nested (int depth)  { return repeated ("<a>", (size_t) depth - 1) + "<a/>" + repeated ("</a>", (size_t) depth - 1); }
}

TEST (SettingsXmlCheck, AcceptsWhatTheFrameworkWritesAndHandEditsAndRefusesTheRest)
{
    const std::pair<std::string, bool> cases[] = {
        { "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n\r\n<PROPERTIES>\r\n  <VALUE name=\"k\" val=\"&lt;&amp;&#9;&#233;\"/>\r\n</PROPERTIES>\r\n", true },
        { "\xef\xbb\xbf<!-- c --><a b='1' c = \"\xc3\xa9>\"><![CDATA[<x>]]>t&#x10FFFF;&#1;&apos;</a><!---->\n", true },
        { "<a>\n <b/> &#32;<c></c>\n</a>", true },     // white space beside elements
        { nested (SettingsXmlCheck::maxDepth), true },
        // Declarations of UTF-8 in any case; references with as many digits as the framework reads.
        { "<?xml version=\"1.0\" encoding=\"utf-8\"?><a/>", true }, { "<?xml version='1.0' encoding = 'Utf-8' standalone='yes' ?><a/>", true },
        { "<a b=\"&#000000233;&#x0010FFFF;\">&#000001114111;</a>", true },
        { "<a>" + repeated (" ", SettingsXmlCheck::maxBytes - 7) + "</a>", true },

        { "<a>" + repeated (" ", SettingsXmlCheck::maxBytes - 6) + "</a>", false },
        { nested (SettingsXmlCheck::maxDepth + 1), false },
        { "<PROPERTIES><?x?>D", false }, { "<?x", false }, { "<!DOCTYPE a><a/>", false }, { " <?xml version=\"1.0\"?><a/>", false },
        { "<a>x<b/></a>", false }, { "<a><b/>x</a>", false }, { "<a><![CDATA[]]><b/></a>", false }, { "<a>&#65;<b/></a>", false },
        { "<a>\xff</a>", false }, { "<a>\xc0\xae</a>", false }, { "<a>\xed\xa0\x80</a>", false }, { "<a>\x01</a>", false }, { "<a>\xc3", false },
        { "<a>&</a>", false }, { "<a>&nbsp;</a>", false }, { "<a>&AMP;</a>", false }, { "<a>&#;</a>", false },
        { "<a>&#0;</a>", false }, { "<a>&#xD800;</a>", false }, { "<a>&#x110000;</a>", false },
        { "<a b=\"<\"/>", false }, { "<a b=c/>", false }, { "<a b='1'c='2'/>", false }, { "<a b='1' b='2'/>", false }, { "<a b='1/>", false },
        { "", false }, { "< a/>", false }, { "<a></b>", false }, { "<a>", false }, { "<a/><b/>", false }, { "<a/>x", false },
        { "<a><!-- -- --></a>", false }, { "<a><!-- x -></a>", false }, { "<a>]]></a>", false },
        { "<a b='" + repeated ("x", 8200) + "'/>", false },
        // Read as UTF-8 whatever they say; digits the framework stops short of, or beyond any character.
        { "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?><a/>", false }, { "<?xml version=\"1.0\" encoding=\"UTF8\"?><a/>", false },
        { "<?xml version=\"1.0\" encoding=UTF-8?><a/>", false }, { "<?xml version=\"1.0\"encoding=\"UTF-8\"?><a/>", false },
        { "<?xml encoding=\"UTF-8?>\"?><a/>", false },
        { "<a>&#0000000000233;</a>", false }, { "<a>&#x0000000E9;</a>", false }, { "<a>&#4294967529;</a>", false },     // the root's start tag beyond the framework's first read
    };

    for (const auto& [text, accepted] : cases)
    {
        const auto result = SettingsXmlCheck::check (text.data(), text.size());
        EXPECT_EQ (result.wasOk(), accepted) << text.substr (0, 80) << ": " << result.getErrorMessage();
        EXPECT_FALSE (result.getErrorMessage().containsAnyOf ("\r\n"));

        // What passes, the framework parses (from text, which has no byte order mark), and
        // writes on one line as text that passes again.
        if (accepted)
        {
            const auto body = text.rfind ("\xef\xbb\xbf", 0) == 0 ? text.substr (3) : text;
            const auto element = SettingsXmlCheck::parse (juce::String::fromUTF8 (body.data(), (int) body.size()));
            ASSERT_NE (element, nullptr) << text.substr (0, 80);
            EXPECT_TRUE (SettingsXmlCheck::check (element->toString (juce::XmlElement::TextFormat().singleLine().withoutHeader())).wasOk());
        }
    }
}

TEST (SettingsFile, AFileWrittenByTheApplicationLoadsWithTheSameValuesAndIsWrittenBackUnchanged)
{
    const juce::TemporaryFile folder;
    const auto file = folder.getFile().getChildFile ("VADizudiv.settings");
    const auto options = Application::getSettingsOptions();
    sx::test::InMemoryMidiPortSystem ports;
    const auto synth = juce::String::fromUTF8 ("Synth \"<&'\xc3\xa9>\"\t");
    ports.addOutput (synth);

    juce::StringPairArray values;
    {
        // As the application writes the file at quit.
        MidiDeviceManager devices (ports);
        devices.setMidiOutputDeviceEnabled (synth, true, false);
        juce::PropertiesFile written (file, options);
        written.setValue ("windowState", "fs 100 50 400 3000");
        written.setValue ("portNumber", "9100");
        written.setValue ("midiDeviceSettings", devices.createStateXml()->toString (juce::XmlElement::TextFormat().singleLine().withoutHeader()));
        written.setValue ("connectionSettingsVisible", true);
        values = written.getAllProperties();
    }

    juce::MemoryBlock bytes, bytesAfter;
    ASSERT_TRUE (file.loadFileAsData (bytes));
    EXPECT_EQ (SettingsFile::runLoadPath (bytes, file, options, ports), "");
    EXPECT_TRUE (file.loadFileAsData (bytesAfter) && bytesAfter == bytes) << file.loadFileAsString();
    EXPECT_EQ (SettingsFile::open (file, options).properties->getAllProperties(), values);
    folder.getFile().deleteRecursively();
}

namespace
{
    std::string valueElement (const std::string& key, const std::string& value)
    {
        return "<VALUE name=\"" + key + "\" val=\"" + sx::test::escapedForAttribute (value) + "\"/>";
    }

    // A port system that counts how often the device lists are read.
    struct CountingMidiPorts final : public sx::test::InMemoryMidiPortSystem
    {
        juce::Array<sx::MidiPortInfo> getAvailableOutputs() override   { ++listings; return InMemoryMidiPortSystem::getAvailableOutputs(); }
        juce::Array<sx::MidiPortInfo> getAvailableInputs() override    { ++listings; return InMemoryMidiPortSystem::getAvailableInputs(); }
        int listings = 0;
    };

    class SettingsLoad : public ::testing::Test
    {
    protected:
        SettingsLoad()              { folder.getFile().createDirectory(); }
        ~SettingsLoad() override    { folder.getFile().deleteRecursively(); }

        // The whole load path on the text; returns the problem line.
        juce::String load (const std::string& text)
        {
            return SettingsFile::runLoadPath (juce::MemoryBlock (text.data(), text.size()), file, options, ports);
        }

        std::string bytesOnDisk() const                 { return file.loadFileAsString().toStdString(); }
        juce::StringPairArray valuesOnDisk() const      { return juce::PropertiesFile (file, options).getAllProperties(); }
        bool anythingSetAside() const                   { return ! folder.getFile().findChildFiles (juce::File::findFiles, false, "*.unreadable").isEmpty(); }

        // The file the load wrote is read by the next start as it is, and written back unchanged.
        void expectTheFileWrittenLoadsBackUnchanged()
        {
            const auto written = bytesOnDisk();
            EXPECT_LE (written.size(), SettingsXmlCheck::maxBytes);
            EXPECT_EQ (load (written), "");
            EXPECT_TRUE (bytesOnDisk() == written);
            EXPECT_FALSE (anythingSetAside());
        }

        const juce::TemporaryFile folder;
        const juce::File file { folder.getFile().getChildFile ("VADizudiv.settings") };
        const juce::PropertiesFile::Options options { Application::getSettingsOptions() };
        CountingMidiPorts ports;
    };
}

TEST_F (SettingsLoad, AValueThatCannotBeWrittenBackSafelyIsLeftOutAndNamedAndTheRestIsKept)
{
    // Written back nested in its VALUE element, a value may be 30 elements deep and no more.
    const std::string mixed = "<D>x<a><b/></a></D>";
    // Read back from its nested element, a value comes as the framework writes it on one line,
    // where each '"' takes six bytes: the root's start tag may grow past the first 8 KiB.
    const auto quotedAttribute = [] (size_t quotes) { return "<a b='" + std::string (quotes, '"') + "'/>"; };
    const auto problem = load ("<PROPERTIES>" + valueElement ("portNumber", "9100") + valueElement ("note", "<none>")
                               + valueElement ("mixed", mixed) + valueElement ("deepest", nested (SettingsXmlCheck::maxDepth - 2))
                               + valueElement ("too\ndeep", nested (SettingsXmlCheck::maxDepth - 1))
                               + valueElement ("quotes", quotedAttribute (1360)) + valueElement ("more quotes", quotedAttribute (1370))
                               + "</PROPERTIES>");

    EXPECT_FALSE (problem.containsAnyOf ("\r\n")) << problem;
    for (const auto* named : { "\"note\" (an unclosed element", "\"mixed\" (text and child elements",
                               "\"too\xef\xbf\xbd" "deep\" (once written back, elements nested",
                               "\"more quotes\" (as read back, the root element's start tag ends beyond" })
        EXPECT_TRUE (problem.contains (juce::CharPointer_UTF8 (named))) << problem;
    EXPECT_FALSE (problem.contains ("portNumber") || problem.contains ("deepest") || problem.contains ("\"quotes\"")) << problem;

    const auto values = valuesOnDisk();
    EXPECT_EQ (values.getAllKeys(), juce::StringArray ({ "portNumber", "deepest", "quotes", "midiDeviceSettings" }));
    EXPECT_EQ (values["portNumber"], "9100");
    EXPECT_FALSE (anythingSetAside());
    expectTheFileWrittenLoadsBackUnchanged();
}

// The writer indents nested values and writes '"' and every non-ASCII character as a reference.
TEST_F (SettingsLoad, AFileThatWouldGrowTooLargeWhenWrittenLosesItsLargestValueAndTheRestLoadsBackUnchanged)
{
    std::string devices = "<DEVICESETUP>";
    for (int i = 0; i < 2636; ++i)
        devices += juce::String::formatted ("<MIDIINPUT name=\"%04d\"/>", i).toStdString();
    devices += "</DEVICESETUP>";

    std::string cjk;
    for (int i = 0; i < 8200; ++i)
        cjk += "\xe4\xb8\xad";

    const std::pair<std::string, std::string> cases[] = {
        { "quotes", "<VALUE name=\"quotes\" val='" + std::string (10930, '"') + "'/>" },
        { "text", valueElement ("text", cjk) },
        { "midiDeviceSettings", "<VALUE name=\"midiDeviceSettings\">" + devices + "</VALUE>" },
        // Each small enough alone, together too large: the one that takes more room goes.
        { "more", "<VALUE name=\"less\" val='" + std::string (5000, '"') + "'/><VALUE name=\"more\" val='" + std::string (6000, '"') + "'/>" },
    };

    for (const auto& [key, element] : cases)
    {
        SCOPED_TRACE (key);
        const auto text = "<PROPERTIES>" + valueElement ("portNumber", "9100") + element + valueElement ("small", "\"") + "</PROPERTIES>";
        ASSERT_TRUE (SettingsXmlCheck::check (text.data(), text.size()).wasOk());

        const auto problem = load (text);
        EXPECT_TRUE (problem.startsWith ("VADizudiv: the settings file ")
                     && problem.endsWith (": \"" + key + "\" (once written back, larger than 65536 bytes)")) << problem;

        const auto values = valuesOnDisk();
        EXPECT_EQ (values["portNumber"], "9100");
        EXPECT_EQ (values["small"], "\"");
        EXPECT_TRUE (key == "midiDeviceSettings" || ! values.containsKey (key));
        EXPECT_EQ (values.containsKey ("less"), key == "more");
        expectTheFileWrittenLoadsBackUnchanged();
    }
}

TEST_F (SettingsLoad, AChangeAfterWhichTheFileCouldNotBeReadBackIsUndoneAndReported)
{
    juce::StringArray reported;
    file.replaceWithText ("<PROPERTIES>" + valueElement ("portNumber", "9100") + "</PROPERTIES>");
    const auto opened = SettingsFile::open (file, options, [&] (const juce::String& line) { reported.add (line); });
    auto& properties = *opened.properties;
    const auto before = bytesOnDisk();

    properties.setValue ("quotes", juce::String::repeatedString ("\"", 11000));
    properties.setValue ("portNumber", "<a>x<b/></a>");     // the writer would crash on it
    EXPECT_EQ (properties.getAllProperties().getAllKeys(), juce::StringArray ("portNumber"));
    EXPECT_EQ (properties.getValue ("portNumber"), "9100");
    EXPECT_EQ (bytesOnDisk(), before);

    ASSERT_EQ (reported.size(), 2);
    EXPECT_TRUE (reported[0].startsWith ("VADizudiv: a change to the settings is not kept") && reported[0].endsWith (": \"quotes\"")) << reported[0];
    EXPECT_TRUE (reported[1].contains ("text and child elements") && reported[1].endsWith (": \"portNumber\"")) << reported[1];

    properties.setValue ("portNumber", "9200");
    EXPECT_EQ (valuesOnDisk()["portNumber"], "9200");
    EXPECT_EQ (reported.size(), 2);
}

TEST_F (SettingsLoad, ALongDeviceListIsRestoredFromOneListingOfTheDevices)
{
    ports.addInput ("Keys");
    ports.addOutput ("Synth A");
    juce::XmlElement setup ("DEVICESETUP");
    juce::StringArray expected { "<MIDIINPUT name=\"Keys\"/>" };
    for (int i = 0; i < 1000; ++i)
    {
        setup.createNewChildElement ("MIDIINPUT")->setAttribute ("name", "Away " + juce::String (i));
        expected.add ("<MIDIINPUT name=\"Away " + juce::String (i) + "\"/>");
    }
    setup.createNewChildElement ("MIDIINPUT")->setAttribute ("name", "Keys");
    for (int i = 0; i < 500; ++i)
        setup.createNewChildElement ("MIDIOUTPUT")->setAttribute ("name", "Gone " + juce::String (i));
    setup.createNewChildElement ("MIDIOUTPUT")->setAttribute ("name", "Synth A");
    expected.addArray ({ "<MIDIOUTPUT name=\"Sondrevix Connect\"/>", "<MIDIOUTPUT name=\"Synth A\"/>" });

    const auto text = "<PROPERTIES><VALUE name=\"midiDeviceSettings\">" + setup.toString (juce::XmlElement::TextFormat().singleLine().withoutHeader()).toStdString()
                        + "</VALUE></PROPERTIES>";
    file.replaceWithText (text);
    const auto opened = SettingsFile::open (file, options);
    ASSERT_EQ (opened.problem, "");

    MidiDeviceManager devices (ports);
    ports.listings = 0;
    SettingsFile::restoreMidiDeviceState (*opened.properties, devices);
    EXPECT_LE (ports.listings, 3);
    EXPECT_EQ (ports.getOpenInputNames(), juce::StringArray ("Keys"));
    EXPECT_EQ (ports.getOpenOutputNames(), juce::StringArray ("Sondrevix Connect", "Synth A"));
    EXPECT_EQ (devices.createStateXml()->toString (juce::XmlElement::TextFormat().singleLine().withoutHeader()),
               "<DEVICESETUP>" + expected.joinIntoString ({}) + "</DEVICESETUP>");
}

TEST_F (SettingsLoad, OnlyUTF8IsReadAndLongCharacterReferencesAreReadAsTheFrameworkDoes)
{
    const auto body = "<PROPERTIES><VALUE name=\"portNumber\" val=\"9100\"/><VALUE name=\"name\" val=\"caf&#000000233;\"/></PROPERTIES>";

    for (const auto* encoding : { "", " encoding=\"UTF-8\"", " encoding='utf-8'" })
    {
        SCOPED_TRACE (encoding);
        EXPECT_EQ (load (std::string ("<?xml version=\"1.0\"") + encoding + "?>" + body), "");
        EXPECT_EQ (valuesOnDisk()["name"], juce::CharPointer_UTF8 ("caf\xc3\xa9"));
        EXPECT_EQ (valuesOnDisk()["portNumber"], "9100");
    }

    const auto problem = load (std::string ("<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>") + body);
    EXPECT_TRUE (problem.contains ("(an encoding other than UTF-8 at byte ") && problem.endsWith (" kept as " + file.getFullPathName() + ".unreadable")) << problem;
    EXPECT_EQ (valuesOnDisk()["portNumber"], "");
}
