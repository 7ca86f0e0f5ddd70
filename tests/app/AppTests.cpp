#include "app/AboutView.h"
#include "app/Application.h"
#include "tests/support/AppHarness.h"

#include <gtest/gtest.h>

namespace juce
{
    // The Linux message loop's own dispatch step, to deliver posted messages without a modal loop.
    bool dispatchNextMessageOnSystemQueue (bool returnIfNoPendingMessages);
}

namespace
{
    // One Xvfb for the whole program, named before the framework first connects and
    // stopped only at exit: the framework ends the program when its server goes away.
    struct PrivateDisplay : ::testing::Environment
    {
        void SetUp() override
        {
            static sx::test::VirtualDisplay display;
            ASSERT_TRUE (display.isRunning());
            setenv ("DISPLAY", display.getName().toRawUTF8(), 1);
        }
    };

    [[maybe_unused]] auto* const privateDisplay = ::testing::AddGlobalTestEnvironment (new PrivateDisplay);

    /** Points HOME at a fresh folder, so that nothing touches the real one. */
    struct ScopedHome
    {
        ScopedHome()    { folder.createDirectory(); setenv ("HOME", folder.getFullPathName().toRawUTF8(), 1); }
        ~ScopedHome()   { folder.deleteRecursively(); }

        juce::File settingsFile() const  { return folder.getChildFile (".config/Sondrevix/VADizudiv.settings"); }

        const juce::File folder = juce::File::getSpecialLocation (juce::File::tempDirectory)
                                    .getNonexistentChildFile ("sx-app-home", {}, false);
    };

    std::unique_ptr<juce::PropertiesFile> reopen (const juce::File& file)
    {
        return std::make_unique<juce::PropertiesFile> (file, Application::getSettingsOptions());
    }

    /** "id text", with "cmd" when the item runs through the command manager (which shows its keys). */
    juce::StringArray describe (const juce::PopupMenu& menu)
    {
        juce::StringArray items;

        for (juce::PopupMenu::MenuItemIterator it (menu); it.next();)
        {
            const auto& item = it.getItem();
            items.add (item.isSeparator ? "-" : juce::String (item.itemID) + " " + item.text
                                                  + (item.commandManager != nullptr ? " cmd" : ""));
        }

        return items;
    }
}

//==============================================================================
class RunningApplication : public ::testing::Test
{
protected:
    void SetUp() override
    {
        app.initialise ({});
        ASSERT_NE (app.getMainWindow(), nullptr);
    }

    void TearDown() override
    {
        juce::ModalComponentManager::getInstance()->cancelAllModalComponents();

        for (int i = 0; i < 1000 && juce::dispatchNextMessageOnSystemQueue (true); ++i) {}

        app.shutdown();
    }

    Application::MainWindow& window()  { return *app.getMainWindow(); }

    ScopedHome home;
    Application app;
};

TEST_F (RunningApplication, SettingsAreWrittenAtOnceAsXmlInTheConfigFolder)
{
    auto& settings = *app.getProperties();
    const auto file = home.settingsFile();
    EXPECT_FALSE (file.getParentDirectory().exists()) << "starting must not create the folder";

    settings.setValue ("portNumber", "9001");
    ASSERT_TRUE (file.existsAsFile()) << "a change is written without delay";

    // With the file gone, any write would bring it back.
    file.deleteFile();
    settings.setValue ("portNumber", "9001");
    EXPECT_FALSE (file.exists()) << "storing the value already held writes nothing";

    const juce::String deviceState = R"(<DEVICESETUP><MIDIOUTPUT name="Sondrevix Connect"/></DEVICESETUP>)";
    settings.setValue ("midiDeviceSettings", deviceState);
    settings.setValue ("PortNumber", "9100");

    const auto xml = juce::parseXML (file);
    ASSERT_NE (xml, nullptr);
    EXPECT_EQ (xml->getTagName(), "PROPERTIES");

    for (auto* value : xml->getChildIterator())
        EXPECT_EQ (value->getTagName(), "VALUE");

    auto* midi = xml->getChildByAttribute ("name", "midiDeviceSettings");
    ASSERT_NE (midi, nullptr);
    EXPECT_NE (midi->getChildByName ("DEVICESETUP"), nullptr) << "an XML value is nested as an element";

    const auto reread = reopen (file);
    EXPECT_EQ (reread->getValue ("midiDeviceSettings"), deviceState) << "read back as one line";
    EXPECT_EQ (reread->getValue ("portNumber"), "9001") << "keys are case-sensitive";
    EXPECT_EQ (reread->getValue ("PortNumber"), "9100");
}

TEST (SettingsFile, AFailedWriteIsRetriedAtShutdownWithoutACrash)
{
    const ScopedHome home;

    // A first run stores everything the application keeps, so that closing the
    // second changes no value and only the retry at shutdown can write.
    for (const bool blockWrites : { false, true })
    {
        Application app;
        app.initialise ({});

        if (blockWrites)
        {
            // A plain file where the configuration folder should be: no write can succeed.
            const auto config = home.folder.getChildFile (".config");
            config.deleteRecursively();
            config.replaceWithText ("not a folder");

            app.getProperties()->setValue ("pending", "9100");
            EXPECT_FALSE (app.getProperties()->saveIfNeeded());
            config.deleteFile();
        }

        app.shutdown();
    }

    EXPECT_EQ (reopen (home.settingsFile())->getValue ("pending"), "9100");
}

TEST_F (RunningApplication, CommandTableAndPerformResults)
{
    struct Expected { juce::CommandID id; const char* name; const char* description; const char* category; juce::KeyPress key; };

    const Expected table[] = {
        { 3, "Zoom", "Zooms the sizing of the window to fit the entire screen", "Window",
          juce::KeyPress ('=', juce::ModifierKeys::commandModifier | juce::ModifierKeys::altModifier, 0) },
        { 2, "Minimize", "Minimizes the window", "Window", juce::KeyPress ('m', juce::ModifierKeys::commandModifier, 0) },
        { 4, "Get Support", "Go to customer support web page in browser", "Help", {} },
    };

    auto& commands = *app.getCommandManager();

    for (const auto& expected : table)
    {
        SCOPED_TRACE (expected.name);
        auto* info = commands.getCommandForID (expected.id);
        ASSERT_NE (info, nullptr);
        EXPECT_EQ (info->shortName, expected.name);
        EXPECT_EQ (info->description, expected.description);
        EXPECT_EQ (info->categoryName, expected.category);

        const auto keys = commands.getKeyMappings()->getKeyPressesAssignedToCommand (expected.id);
        EXPECT_EQ (keys, expected.key.isValid() ? juce::Array<juce::KeyPress> { expected.key } : juce::Array<juce::KeyPress>());
    }

    using Invocation = juce::ApplicationCommandTarget::InvocationInfo;
    EXPECT_FALSE (window().perform (Invocation (99)));
    EXPECT_FALSE (window().perform (Invocation (1))) << "the About item is the menu's, not a command";

    EXPECT_TRUE (window().perform (Invocation (3)));
    EXPECT_TRUE (window().isFullScreen());
    EXPECT_TRUE (window().perform (Invocation (2)));

    // A stand-in browser opener, first on PATH, records what it was asked to open.
    const auto bin = home.folder.getChildFile ("bin");
    const auto record = home.folder.getChildFile ("opened.txt");
    bin.createDirectory();
    bin.getChildFile ("xdg-open").replaceWithText ("#!/bin/sh\nprintf '%s' \"$1\" > '" + record.getFullPathName() + "'\n",
                                                   false, false, "\n");
    bin.getChildFile ("xdg-open").setExecutePermission (true);

    const juce::String path (std::getenv ("PATH"));
    setenv ("PATH", (bin.getFullPathName() + ":" + path).toRawUTF8(), 1);
    EXPECT_TRUE (window().perform (Invocation (4)));
    setenv ("PATH", path.toRawUTF8(), 1);

    for (int i = 0; i < 500 && record.loadFileAsString().isEmpty(); ++i)
        juce::Thread::sleep (10);

    EXPECT_EQ (record.loadFileAsString(), "https://sondrevix.example/support");
}

TEST_F (RunningApplication, MenusCarryTheCommandsAndHelpEndsWithAbout)
{
    // Without a global menu bar the menus sit in the window's own bar.
    auto* bar = dynamic_cast<juce::MenuBarComponent*> (window().getMenuBarComponent());
    ASSERT_NE (bar, nullptr);
    auto* model = bar->getModel();
    ASSERT_NE (model, nullptr);

    EXPECT_EQ (model->getMenuBarNames(), (juce::StringArray { "Window", "Help" }));
    EXPECT_EQ (describe (model->getMenuForIndex (0, "Window")), (juce::StringArray { "3 Zoom cmd", "2 Minimize cmd" }));
    EXPECT_EQ (describe (model->getMenuForIndex (1, "Help")), (juce::StringArray { "4 Get Support cmd", "-", "1 About VADizudiv" }));

    model->menuItemSelected (4, 1);
    EXPECT_EQ (juce::Component::getCurrentlyModalComponent(), nullptr) << "only the About item opens a dialog";

    model->menuItemSelected (1, 1);
    auto* dialog = dynamic_cast<juce::DialogWindow*> (juce::Component::getCurrentlyModalComponent());
    ASSERT_NE (dialog, nullptr);
    EXPECT_EQ (dialog->getName(), "About");
    ASSERT_NE (dynamic_cast<AboutView*> (dialog->getContentComponent()), nullptr);
    EXPECT_EQ (dialog->getContentComponent()->getBounds().getWidth(), 280);
    EXPECT_EQ (dialog->getContentComponent()->getBounds().getHeight(), 180);
}
