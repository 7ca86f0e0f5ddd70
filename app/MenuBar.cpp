#include "MenuBar.h"
#include "AboutView.h"
#include "Application.h"

#include "platform/MainMenu.h"
#include "ui/ColourSchemes.h"

namespace sx
{

MenuBarModel::MenuBarModel (juce::ApplicationCommandManager* cm) : commandManager (cm) {}

MenuBarModel::~MenuBarModel() = default;

juce::StringArray MenuBarModel::getMenuBarNames()
{
    return { "Window", "Help" };
}

juce::PopupMenu MenuBarModel::getMenuForIndex (int topLevelMenuIndex, const juce::String&)
{
    juce::PopupMenu menu;

    if (topLevelMenuIndex == 0)
    {
        menu.addCommandItem (commandManager, Application::MainWindow::zoom);
        menu.addCommandItem (commandManager, Application::MainWindow::minimize);
    }
    else if (topLevelMenuIndex == 1)
    {
        menu.addCommandItem (commandManager, Application::MainWindow::getSupport);
    }

    return menu;
}

void MenuBarModel::menuItemSelected (int menuItemID, int)
{
    if (menuItemID == aboutItemID)
        showAboutDialog();
}

void MenuBarModel::showAboutDialog()
{
    const auto& scheme = getCurrentColourScheme();

    auto view = std::make_unique<AboutView>();
    view->setSize (280, 180);

    juce::DialogWindow::LaunchOptions options;
    options.dialogTitle = "About";
    options.dialogBackgroundColour = scheme.getUIColour (juce::LookAndFeel_V4::ColourScheme::windowBackground);
    options.content.setOwned (view.release());
    options.useNativeTitleBar = true;
    options.resizable = false;

    // This framework version fits the window to the content while it still has
    // its own title bar and only then switches to the native one, which leaves
    // the content 28 pixels taller and 2 wider than asked for: size it again.
    if (auto* dialog = options.launchAsync())
        dialog->setContentComponentSize (280, 180);
}

} // namespace sx

//==============================================================================
MenuBar::MenuBar (juce::ApplicationCommandManager* commandManager)
    : juce::MenuBarComponent (nullptr),
      model (commandManager)
{
    model.setApplicationCommandManagerToWatch (commandManager);
    setModel (&model);

    extraAppleMenuItems.addItem (sx::MenuBarModel::aboutItemID, "About VADizudiv", true, false);

    sx::platform::setMainMenu (&model, &extraAppleMenuItems);
}

MenuBar::~MenuBar()
{
    setModel (nullptr);
    sx::platform::setMainMenu (nullptr, nullptr);
}
