#include "AppTestSupport.h"

#include "app/Application.h"
#include "platform/SettingsLocation.h"

#include <gtest/gtest.h>

namespace
{
    std::unique_ptr<juce::PropertiesFile> openSettings()
    {
        const auto options = Application::getSettingsOptions();
        return std::make_unique<juce::PropertiesFile> (sx::platform::getSettingsFile (options), options);
    }

    const juce::String deviceState = R"(<DEVICESETUP><MIDIOUTPUT name="Sondrevix Connect"/></DEVICESETUP>)";
}

TEST (SettingsFile, LivesInTheUsersConfigurationFolderAndIsWrittenAtOnce)
{
    sx::test::ScopedHome home;
    const auto expected = home.get().getChildFile (".config/Sondrevix/VADizudiv.settings");

    auto settings = openSettings();
    EXPECT_EQ (settings->getFile(), expected);
    EXPECT_FALSE (expected.getParentDirectory().exists()) << "opening must not create the folder";

    settings->setValue ("windowState", "10 20 400 650");
    EXPECT_TRUE (expected.existsAsFile()) << "a change is written without any delay";
    EXPECT_FALSE (settings->needsToBeSaved());
}

TEST (SettingsFile, XmlFormNestsDeviceStateAndReadsItBackAsOneLine)
{
    sx::test::ScopedHome home;

    {
        auto settings = openSettings();
        settings->setValue ("windowState", "10 20 400 650");
        settings->setValue ("portNumber", "9001");
        settings->setValue ("midiDeviceSettings", deviceState);
        settings->setValue ("connectionSettingsVisible", false);
    }

    const auto xml = juce::parseXML (openSettings()->getFile());
    ASSERT_NE (xml, nullptr);
    EXPECT_EQ (xml->getTagName(), "PROPERTIES");

    juce::StringArray names;

    for (auto* value : xml->getChildIterator())
    {
        EXPECT_EQ (value->getTagName(), "VALUE");
        names.add (value->getStringAttribute ("name"));
    }

    EXPECT_EQ (names, (juce::StringArray { "windowState", "portNumber", "midiDeviceSettings", "connectionSettingsVisible" }));

    auto* midi = xml->getChildByAttribute ("name", "midiDeviceSettings");
    ASSERT_NE (midi, nullptr);
    EXPECT_FALSE (midi->hasAttribute ("val"));
    ASSERT_NE (midi->getChildByName ("DEVICESETUP"), nullptr);
    EXPECT_EQ (midi->getChildByName ("DEVICESETUP")->getChildByName ("MIDIOUTPUT")->getStringAttribute ("name"), "Sondrevix Connect");
    EXPECT_EQ (xml->getChildByAttribute ("name", "connectionSettingsVisible")->getStringAttribute ("val"), "0");

    const auto readBack = openSettings()->getValue ("midiDeviceSettings");
    EXPECT_EQ (readBack, deviceState);
    EXPECT_FALSE (readBack.containsAnyOf ("\r\n"));
    EXPECT_FALSE (readBack.contains ("<?xml"));
}

TEST (SettingsFile, KeyNamesAreCaseSensitive)
{
    sx::test::ScopedHome home;
    const auto file = openSettings()->getFile();
    file.getParentDirectory().createDirectory();
    file.replaceWithText (R"(<?xml version="1.0" encoding="UTF-8"?>
<PROPERTIES><VALUE name="PortNumber" val="9100"/><VALUE name="portnumber" val="9200"/></PROPERTIES>)");

    auto settings = openSettings();
    EXPECT_EQ (settings->getValue ("portNumber", "9001"), "9001");
    EXPECT_EQ (settings->getValue ("PortNumber"), "9100");
}

TEST (SettingsFile, StoringTheValueAlreadyHeldWritesNothing)
{
    sx::test::ScopedHome home;
    auto settings = openSettings();
    settings->setValue ("portNumber", "9001");

    // With the file gone, any write would bring it back.
    ASSERT_TRUE (settings->getFile().deleteFile());
    settings->setValue ("portNumber", "9001");
    EXPECT_FALSE (settings->getFile().exists());

    settings->setValue ("portNumber", "9002");
    EXPECT_TRUE (settings->getFile().existsAsFile());
}

TEST (SettingsFile, AFailedWriteStaysPendingAndIsWrittenByTheNextSave)
{
    sx::test::ScopedHome home;

    // A plain file where the configuration folder should be: the folder cannot be made.
    const auto blocker = home.get().getChildFile (".config");
    blocker.replaceWithText ("not a folder");

    auto settings = openSettings();
    settings->setValue ("windowState", "10 20 400 650");
    settings->setValue ("portNumber", "9100");
    EXPECT_TRUE (settings->needsToBeSaved());
    EXPECT_FALSE (settings->saveIfNeeded());

    blocker.deleteFile();
    EXPECT_TRUE (settings->saveIfNeeded());
    EXPECT_FALSE (settings->needsToBeSaved());

    auto reread = openSettings();
    EXPECT_EQ (reread->getValue ("windowState"), "10 20 400 650");
    EXPECT_EQ (reread->getValue ("portNumber"), "9100");
}
