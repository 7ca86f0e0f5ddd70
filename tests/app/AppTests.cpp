#include "app/AboutView.h"
#include "app/Application.h"
#include "platform/Appearance.h"
#include "platform/MainMenu.h"
#include "tests/support/AppHarness.h"
#include "tests/support/ImageDifferences.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <unistd.h>

namespace juce { bool dispatchNextMessageOnSystemQueue (bool returnIfNoPendingMessages); }   // the Linux message loop's step

namespace
{
    // One Xvfb for the whole program, named before the framework first connects and
    // stopped only at exit: the framework ends the program when its server goes away.
    sx::test::VirtualDisplay& sharedDisplay()
    {
        static sx::test::VirtualDisplay display;
        return display;
    }

    struct PrivateDisplay : ::testing::Environment
    {
        void SetUp() override
        {
            ASSERT_TRUE (sharedDisplay().isRunning());
            setenv ("DISPLAY", sharedDisplay().getName().toRawUTF8(), 1);
        }
    };

    [[maybe_unused]] auto* const privateDisplay = ::testing::AddGlobalTestEnvironment (new PrivateDisplay);

    /** Points HOME at a fresh folder, so that nothing touches the real one. */
    struct ScopedHome
    {
        ScopedHome()    { folder.createDirectory(); setenv ("HOME", folder.getFullPathName().toRawUTF8(), 1); }
        ~ScopedHome()   { folder.deleteRecursively(); }

        juce::PropertiesFile reopen() const  { return { folder.getChildFile (".config/Sondrevix/VADizudiv.settings"), Application::getSettingsOptions() }; }

        const juce::File folder = juce::File::getSpecialLocation (juce::File::tempDirectory).getNonexistentChildFile ("sx-app-home-" + juce::String (getpid()) + "-", {}, false);
    };
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
    const auto file = settings.getFile();
    EXPECT_EQ (file, home.folder.getChildFile (".config/Sondrevix/VADizudiv.settings"));
    EXPECT_FALSE (file.getParentDirectory().exists()) << "starting must not create the folder";

    settings.setValue ("portNumber", "9001");
    ASSERT_TRUE (file.existsAsFile()) << "a change is written without delay";
    file.deleteFile();      // with the file gone, any write would bring it back
    settings.setValue ("portNumber", "9001");
    EXPECT_FALSE (file.exists()) << "storing the value already held writes nothing";

    const juce::String deviceState = R"(<DEVICESETUP><MIDIOUTPUT name="Sondrevix Connect"/></DEVICESETUP>)";
    settings.setValue ("midiDeviceSettings", deviceState);
    settings.setValue ("PortNumber", "9100");
    // An XML value is nested as an element, read back as one line; keys are case-sensitive.
    EXPECT_EQ (juce::parseXML (file)->toString (juce::XmlElement::TextFormat().singleLine().withoutHeader()),
               R"(<PROPERTIES><VALUE name="portNumber" val="9001"/><VALUE name="midiDeviceSettings">)" + deviceState
                   + R"(</VALUE><VALUE name="PortNumber" val="9100"/></PROPERTIES>)");
    const auto reread = home.reopen();
    EXPECT_EQ (reread.getValue ("midiDeviceSettings") + " " + reread.getValue ("portNumber"), deviceState + " 9001");
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

    EXPECT_EQ (home.reopen().getValue ("pending"), "9100");
}

TEST_F (RunningApplication, CommandTableAndPerformResults)
{
    auto& commands = *app.getCommandManager();
    juce::StringArray table;
    for (const auto id : { 3, 2, 4 })
    {
        const auto* info = commands.getCommandForID (id);
        table.add (info->shortName + "|" + info->description + "|" + info->categoryName);
        for (auto& key : commands.getKeyMappings()->getKeyPressesAssignedToCommand (id))
            table.getReference (table.size() - 1) << "|" << key.getTextDescription();
    }
    EXPECT_EQ (table, juce::StringArray ({ "Zoom|Zooms the sizing of the window to fit the entire screen|Window|ctrl + alt + =",
                                           "Minimize|Minimizes the window|Window|ctrl + M",
                                           "Get Support|Go to customer support web page in browser|Help" }));

    using Invocation = juce::ApplicationCommandTarget::InvocationInfo;
    EXPECT_FALSE (window().perform (Invocation (99)));
    EXPECT_FALSE (window().perform (Invocation (1))) << "the About item is the menu's, not a command";
    EXPECT_TRUE (window().perform (Invocation (3)) && window().isFullScreen());
    EXPECT_TRUE (window().perform (Invocation (2)));

    // A stand-in browser opener, first on PATH, records what it was asked to open.
    const auto opener = home.folder.getChildFile ("bin/xdg-open"), record = home.folder.getChildFile ("opened.txt");
    opener.create();
    opener.replaceWithText ("#!/bin/sh\nprintf '%s' \"$1\" > '" + record.getFullPathName() + "'\n", false, false, "\n");
    opener.setExecutePermission (true);
    const juce::String path (std::getenv ("PATH"));
    setenv ("PATH", (opener.getParentDirectory().getFullPathName() + ":" + path).toRawUTF8(), 1);
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
    ASSERT_TRUE (bar != nullptr && bar->getModel() != nullptr);
    auto& model = *bar->getModel();
    const auto names = model.getMenuBarNames();

    // The bar's names, then "id text" of each item, with "cmd" when the item runs through the command manager (which shows its keys).
    juce::StringArray items { names.joinIntoString (" ") };
    for (int index = 0; index < names.size(); ++index)
    {
        const auto menu = model.getMenuForIndex (index, names[index]);
        for (juce::PopupMenu::MenuItemIterator it (menu); it.next();)
            items.add (it.getItem().isSeparator ? "-" : juce::String (it.getItem().itemID) + " " + it.getItem().text
                                                            + (it.getItem().commandManager != nullptr ? " cmd" : ""));
    }
    EXPECT_EQ (items, juce::StringArray ({ "Window Help", "3 Zoom cmd", "2 Minimize cmd", "4 Get Support cmd", "-", "1 About VADizudiv" }));

    model.menuItemSelected (1, 1);
    auto* dialog = dynamic_cast<juce::DialogWindow*> (juce::Component::getCurrentlyModalComponent());
    ASSERT_NE (dialog, nullptr);
    EXPECT_EQ (dialog->getName(), "About");
    auto* about = dynamic_cast<AboutView*> (dialog->getContentComponent());
    EXPECT_TRUE (about != nullptr && about->getLocalBounds() == juce::Rectangle<int> (280, 180));
}

// The window's own menu bar follows the desktop's appearance by itself, as a system's menu bar
// would: switched, it paints as a bar made in the new appearance does.
TEST_F (RunningApplication, MenuBarFollowsTheDesktopsAppearance)
{
    const auto paintBar = [&]
    {
        auto* bar = window().getMenuBarComponent();
        return bar->createComponentSnapshot (bar->getLocalBounds(), true, 1.0f);
    };
    const auto switchDesktop = [] (bool dark)
    {
        const auto end = juce::Time::getMillisecondCounter() + 5000;
        for (auto sent = sharedDisplay().setDarkMode (dark); sent && juce::Desktop::getInstance().isDarkModeActive() != dark
                                                                   && juce::Time::getMillisecondCounter() < end;)
            if (! juce::dispatchNextMessageOnSystemQueue (true))
                juce::Thread::sleep (1);
        return juce::Desktop::getInstance().isDarkModeActive() == dark;
    };

    const auto light = paintBar();
    ASSERT_TRUE (switchDesktop (true));
    const auto switched = paintBar();
    sx::platform::showMainMenuInWindow (&window());     // a bar made in the dark
    EXPECT_NE (sx::test::describeDifferences (switched, light), juce::String());
    EXPECT_EQ (sx::test::describeDifferences (switched, paintBar()), juce::String());
    EXPECT_TRUE (switchDesktop (false));
}

// The hotspot's help button opens a box that says what the hotspot is for, in the words a reader gets.
TEST_F (RunningApplication, HotspotHelpBoxExplainsTheHotspot)
{
    const auto& children = window().getContentComponent()->getChildren();
    const auto button = std::find_if (children.begin(), children.end(), [] (auto* c) { return c->getName() == "Help with Wi-Fi Direct Hotspot"; });
    ASSERT_NE (button, children.end());
    dynamic_cast<juce::Button&> (**button).triggerClick();

    juce::AlertWindow* box = nullptr;
    for (const auto end = juce::Time::getMillisecondCounter() + 5000; box == nullptr && juce::Time::getMillisecondCounter() < end;)
    {
        if (! juce::dispatchNextMessageOnSystemQueue (true))
            juce::Thread::sleep (1);
        box = dynamic_cast<juce::AlertWindow*> (juce::Component::getCurrentlyModalComponent());
    }

    ASSERT_NE (box, nullptr);
    EXPECT_EQ (box->getName(), "Wi-Fi Direct Hotspot Help");
    EXPECT_EQ (box->getDescription(), "Wi-Fi Direct Hotspot Help. For low latency performance, turn on the switch to broadcast a Wi-Fi "
               "direct hotspot from your computer and connect your VR headset directly to the broadcasted network. This eliminates "
               "latency caused by using an external Wi-Fi router and allows you to use Sondrevix without needing external networking hardware.");
}

//==============================================================================
// The logo is 68 high from y = 10, then a gap of 10; the name row is 24 high and the
// version row 32, cut from what is left. At a height of 100 the name row keeps only
// 2 pixels and the version row none, so only the name's top shows.
TEST (AboutView, RowsAtDialogSizeAndWhenShort)
{
    const Application app;   // the view takes the name and version from the running application
    sx::platform::setDarkModeOverride (true);

    for (const auto& [height, textRowCentres] : { std::pair<int, std::vector<double>> { 180, { 100, 128 } }, { 100, { 89 } } })
    {
        AboutView view;
        view.setSize (280, height);
        const auto image = view.createComponentSnapshot (view.getLocalBounds(), true, 1.0f);

        // The runs of rows that hold more than the background: the logo, then each text row.
        std::vector<juce::Range<int>> runs;
        for (int y = 0; y < height; ++y)
        {
            bool ink = false;
            for (int x = 0; x < 280; ++x)
                ink = ink || std::abs (image.getPixelAt (x, y).getBrightness() - juce::Colour (0xFF373337).getBrightness()) > 0.05f;
            if (ink && ! runs.empty() && runs.back().getEnd() == y)
                runs.back().setEnd (y + 1);
            else if (ink)
                runs.push_back ({ y, y + 1 });
        }
        ASSERT_EQ (runs.size(), textRowCentres.size() + 1) << height;
        EXPECT_TRUE (runs[0].getStart() >= 10 && runs[0].getEnd() <= 78 && runs[0].getLength() >= 60);
        for (size_t i = 0; i < textRowCentres.size(); ++i)
            EXPECT_NEAR ((runs[i + 1].getStart() + runs[i + 1].getEnd()) / 2.0, textRowCentres[i], 3.0) << height;
    }
    sx::platform::setDarkModeOverride (std::nullopt);
}
