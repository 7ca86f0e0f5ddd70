#include "AppTestSupport.h"

#include "app/AboutView.h"
#include "app/Application.h"
#include "app/MenuBar.h"
#include "platform/Appearance.h"
#include "tests/support/AppHarness.h"

#include <gtest/gtest.h>

namespace
{
    /** The window tests need an X display of their own: one Xvfb for the whole
        program, named in DISPLAY before the framework first connects. It is
        stopped only at exit, after the framework has hung up: the framework
        ends the program when its server goes away under it.
    */
    class PrivateDisplay : public ::testing::Environment
    {
    public:
        void SetUp() override
        {
            static std::unique_ptr<sx::test::VirtualDisplay> display;
            display = std::make_unique<sx::test::VirtualDisplay>();
            ASSERT_TRUE (display->isRunning()) << "Xvfb or xsettingsd could not be started";
            setenv ("DISPLAY", display->getName().toRawUTF8(), 1);
        }
    };

    [[maybe_unused]] auto* const privateDisplay = ::testing::AddGlobalTestEnvironment (new PrivateDisplay);

    using CommandIDs = Application::MainWindow::CommandIDs;

    juce::Array<juce::DialogWindow*> findAboutDialogs()
    {
        juce::Array<juce::DialogWindow*> dialogs;

        for (int i = 0; i < juce::TopLevelWindow::getNumTopLevelWindows(); ++i)
            if (auto* dialog = dynamic_cast<juce::DialogWindow*> (juce::TopLevelWindow::getTopLevelWindow (i)))
                if (dialog->getName() == "About" && dialog->isVisible())
                    dialogs.add (dialog);

        return dialogs;
    }

    void closeAboutDialogs()
    {
        for (auto* dialog : findAboutDialogs())
            dialog->exitModalState (0);

        sx::test::dispatchPostedMessages();
    }

    struct MenuItem { int id; juce::String text; juce::ApplicationCommandManager* commands; bool enabled, separator; };

    std::vector<MenuItem> itemsOf (const juce::PopupMenu& menu)
    {
        std::vector<MenuItem> items;

        for (juce::PopupMenu::MenuItemIterator it (menu); it.next();)
        {
            const auto& item = it.getItem();
            items.push_back ({ item.itemID, item.text, item.commandManager, item.isEnabled, item.isSeparator });
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
        closeAboutDialogs();
        app.shutdown();
    }

    Application::MainWindow& window()                   { return *app.getMainWindow(); }
    juce::ApplicationCommandManager& commandManager()   { return *app.getCommandManager(); }

    sx::test::ScopedHome home;
    Application app;
};

TEST_F (RunningApplication, FirstRunOpensCentredAt400By650WithTheWidthFixed)
{
    EXPECT_EQ (window().getName(), "VADizudiv");
    EXPECT_TRUE (window().isVisible());
    EXPECT_TRUE (window().isUsingNativeTitleBar());
    EXPECT_EQ (window().getWidth(), 400);
    EXPECT_EQ (window().getHeight(), 650);

    const auto screen = juce::Desktop::getInstance().getDisplays().getPrimaryDisplay()->userArea;
    EXPECT_NEAR (window().getBounds().getCentreX(), screen.getCentreX(), 1);
    EXPECT_NEAR (window().getBounds().getCentreY(), screen.getCentreY(), 1);

    auto* limits = window().getConstrainer();
    ASSERT_NE (limits, nullptr);
    EXPECT_EQ (limits->getMinimumWidth(), 400);
    EXPECT_EQ (limits->getMaximumWidth(), 400);
    EXPECT_EQ (limits->getMinimumHeight(), 600);
    EXPECT_EQ (limits->getMaximumHeight(), 3000);
    EXPECT_TRUE (window().isResizable());
}

TEST_F (RunningApplication, CommandTableListsZoomMinimizeAndGetSupport)
{
    juce::Array<juce::CommandID> ids;
    window().getAllCommands (ids);
    EXPECT_EQ (ids, (juce::Array<juce::CommandID> { 3, 2, 4 }));

    struct Expected { juce::CommandID id; const char* name; const char* description; const char* category; juce::KeyPress key; };

    const Expected table[] = {
        { 3, "Zoom", "Zooms the sizing of the window to fit the entire screen", "Window",
          juce::KeyPress ('=', juce::ModifierKeys::commandModifier | juce::ModifierKeys::altModifier, 0) },
        { 2, "Minimize", "Minimizes the window", "Window", juce::KeyPress ('m', juce::ModifierKeys::commandModifier, 0) },
        { 4, "Get Support", "Go to customer support web page in browser", "Help", {} },
    };

    for (const auto& expected : table)
    {
        SCOPED_TRACE (expected.name);
        auto* info = commandManager().getCommandForID (expected.id);
        ASSERT_NE (info, nullptr) << "registered with the command manager";
        EXPECT_EQ (info->shortName, expected.name);
        EXPECT_EQ (info->description, expected.description);
        EXPECT_EQ (info->categoryName, expected.category);
        EXPECT_EQ (info->flags, 0);

        const auto keys = commandManager().getKeyMappings()->getKeyPressesAssignedToCommand (expected.id);

        if (expected.key.isValid())
            EXPECT_EQ (keys, (juce::Array<juce::KeyPress> { expected.key }));
        else
            EXPECT_TRUE (keys.isEmpty());
    }

    EXPECT_EQ (commandManager().getFirstCommandTarget (3), &window());
    EXPECT_EQ (window().getNextCommandTarget(), nullptr);

    juce::ApplicationCommandInfo untouched (99);
    window().getCommandInfo (99, untouched);
    EXPECT_TRUE (untouched.shortName.isEmpty());
    EXPECT_TRUE (untouched.defaultKeypresses.isEmpty());
}

TEST_F (RunningApplication, PerformHandlesItsOwnCommandsOnly)
{
    EXPECT_FALSE (window().perform (juce::ApplicationCommandTarget::InvocationInfo (99)));
    EXPECT_FALSE (window().perform (juce::ApplicationCommandTarget::InvocationInfo (1)));

    EXPECT_TRUE (window().perform (juce::ApplicationCommandTarget::InvocationInfo (CommandIDs::zoom)));
    EXPECT_TRUE (window().isFullScreen());
    EXPECT_TRUE (window().perform (juce::ApplicationCommandTarget::InvocationInfo (CommandIDs::zoom)));
    EXPECT_TRUE (window().isFullScreen()) << "zooming a full-screen window changes nothing";

    EXPECT_TRUE (window().perform (juce::ApplicationCommandTarget::InvocationInfo (CommandIDs::minimize)));
}

TEST_F (RunningApplication, GetSupportOpensTheSupportPageInTheBrowser)
{
    // A stand-in browser opener first on PATH records what it was asked to open.
    const auto bin = home.get().getChildFile ("bin");
    const auto record = home.get().getChildFile ("opened.txt");
    bin.createDirectory();
    bin.getChildFile ("xdg-open").replaceWithText ("#!/bin/sh\nprintf '%s' \"$1\" > '" + record.getFullPathName() + "'\n",
                                                   false, false, "\n");
    bin.getChildFile ("xdg-open").setExecutePermission (true);

    const juce::String previousPath (std::getenv ("PATH"));
    setenv ("PATH", (bin.getFullPathName() + ":" + previousPath).toRawUTF8(), 1);
    const auto handled = window().perform (juce::ApplicationCommandTarget::InvocationInfo (CommandIDs::getSupport));
    setenv ("PATH", previousPath.toRawUTF8(), 1);

    EXPECT_TRUE (handled);

    for (int i = 0; i < 500 && record.loadFileAsString().isEmpty(); ++i)
        juce::Thread::sleep (10);

    EXPECT_EQ (record.loadFileAsString(), "https://sondrevix.example/support");
}

TEST_F (RunningApplication, KeyPressesInTheWindowInvokeTheirCommands)
{
    auto* peer = window().getPeer();
    ASSERT_NE (peer, nullptr);

    peer->handleKeyPress (juce::KeyPress ('=', juce::ModifierKeys::commandModifier | juce::ModifierKeys::altModifier, 0));
    sx::test::dispatchPostedMessages();
    EXPECT_TRUE (window().isFullScreen());
}

TEST_F (RunningApplication, MenusShowTheWindowsCommandsWithTheirKeys)
{
    MenuBar bar (&commandManager());
    EXPECT_EQ (bar.model.getMenuBarNames(), (juce::StringArray { "Window", "Help" }));
    EXPECT_EQ (bar.getModel(), &bar.model);

    // Command items carry the command manager, through which the menu shows each
    // command's key press and invokes it.
    const auto windowMenu = itemsOf (bar.model.getMenuForIndex (0, "Window"));
    ASSERT_EQ (windowMenu.size(), 2u);
    EXPECT_EQ (windowMenu[0].id, 3);
    EXPECT_EQ (windowMenu[0].text, "Zoom");
    EXPECT_EQ (windowMenu[1].id, 2);
    EXPECT_EQ (windowMenu[1].text, "Minimize");

    const auto helpMenu = itemsOf (bar.model.getMenuForIndex (1, "ignored"));
    ASSERT_EQ (helpMenu.size(), 1u);
    EXPECT_EQ (helpMenu[0].id, 4);
    EXPECT_EQ (helpMenu[0].text, "Get Support");

    for (const auto& item : { windowMenu[0], windowMenu[1], helpMenu[0] })
    {
        EXPECT_EQ (item.commands, &commandManager());
        EXPECT_TRUE (item.enabled);
    }

    EXPECT_TRUE (itemsOf (bar.model.getMenuForIndex (2, "Window")).empty());
    EXPECT_TRUE (itemsOf (bar.model.getMenuForIndex (-1, {})).empty());

    const auto appMenu = itemsOf (bar.extraAppleMenuItems);
    ASSERT_EQ (appMenu.size(), 1u);
    EXPECT_EQ (appMenu[0].id, 1);
    EXPECT_EQ (appMenu[0].text, "About VADizudiv");
}

TEST_F (RunningApplication, WindowMenuBarEndsHelpWithTheAboutItem)
{
    // Without a global menu bar the menus sit in the window's own bar, above the content.
    auto* bar = dynamic_cast<juce::MenuBarComponent*> (window().getMenuBarComponent());
    ASSERT_NE (bar, nullptr);
    EXPECT_GT (bar->getHeight(), 0);
    EXPECT_GE (window().getContentComponent()->getY(), bar->getBottom());

    auto* model = bar->getModel();
    ASSERT_NE (model, nullptr);
    EXPECT_EQ (model->getMenuBarNames(), (juce::StringArray { "Window", "Help" }));

    const auto help = itemsOf (model->getMenuForIndex (1, "Help"));
    ASSERT_EQ (help.size(), 3u);
    EXPECT_EQ (help[0].text, "Get Support");
    EXPECT_TRUE (help[1].separator);
    EXPECT_EQ (help[2].id, 1);
    EXPECT_EQ (help[2].text, "About VADizudiv");

    EXPECT_EQ (itemsOf (model->getMenuForIndex (0, "Window")).size(), 2u) << "the Window menu is unchanged";

    // Choosing it through the window's bar opens the About dialog.
    model->menuItemSelected (1, 1);
    EXPECT_EQ (findAboutDialogs().size(), 1);
}

TEST_F (RunningApplication, AboutItemOpensANewModalDialogEachTime)
{
    sx::platform::setDarkModeOverride (true);
    sx::MenuBarModel model;
    model.commandManager = &commandManager();

    model.menuItemSelected (4, 1);
    EXPECT_TRUE (findAboutDialogs().isEmpty()) << "only the About item opens the dialog";

    model.menuItemSelected (1, 0);
    auto dialogs = findAboutDialogs();
    ASSERT_EQ (dialogs.size(), 1);

    auto* dialog = dialogs.getFirst();
    EXPECT_TRUE (dialog->isCurrentlyModal());
    EXPECT_TRUE (dialog->isUsingNativeTitleBar());
    EXPECT_FALSE (dialog->isResizable());
    EXPECT_EQ (dialog->getBackgroundColour(), juce::Colour (0xFF373337));

    auto* view = dynamic_cast<AboutView*> (dialog->getContentComponent());
    ASSERT_NE (view, nullptr);
    EXPECT_EQ (view->getWidth(), 280);
    EXPECT_EQ (view->getHeight(), 180);

    sx::platform::setDarkModeOverride (false);
    model.menuItemSelected (1, -1);
    dialogs = findAboutDialogs();
    ASSERT_EQ (dialogs.size(), 2);
    EXPECT_TRUE (dialogs.contains (dialog));

    for (auto* other : dialogs)
    {
        if (other != dialog)
        {
            EXPECT_EQ (other->getBackgroundColour(), juce::Colour (0xFFEFEFEF));
        }
    }

    sx::platform::setDarkModeOverride (std::nullopt);
}

TEST_F (RunningApplication, ShutdownStoresTheWindowState)
{
    const auto state = window().getWindowStateAsString();
    app.shutdown();

    auto settings = std::make_unique<juce::PropertiesFile> (home.get().getChildFile (".config/Sondrevix/VADizudiv.settings"),
                                                             Application::getSettingsOptions());
    EXPECT_EQ (settings->getValue ("windowState"), state);

    // A second shutdown by TearDown finds no window and must do nothing harmful.
}
