#include "app/Application.h"
#include "app/SettingsFile.h"
#include "app/SettingsXmlCheck.h"
#include "bridge/MidiDeviceManager.h"
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
