#pragma once

#include <juce_gui_basics/juce_gui_basics.h>

namespace sx
{

/** The "Window" and "Help" menus, built from the main window's commands. */
class MenuBarModel final : public juce::MenuBarModel
{
public:
    /** The command manager holds the commands that the menus show; it must outlive the model. */
    explicit MenuBarModel (juce::ApplicationCommandManager* commandManager);
    ~MenuBarModel() override;

    juce::StringArray getMenuBarNames() override;
    juce::PopupMenu getMenuForIndex (int topLevelMenuIndex, const juce::String& menuName) override;
    void menuItemSelected (int menuItemID, int topLevelMenuIndex) override;

    /** The id of the "About VADizudiv" item of the application menu. */
    static constexpr int aboutItemID = 1;

    /** Opens a new modal About dialog; it deletes itself when closed. */
    static void showAboutDialog();

private:
    juce::ApplicationCommandManager* const commandManager;
};

} // namespace sx

/** Installs the application's menus for as long as it lives. It is given no
    bounds, so it takes no room in the window: the menus show where the system
    shows an application's main menu.
*/
class MenuBar final : public juce::MenuBarComponent
{
public:
    explicit MenuBar (juce::ApplicationCommandManager* commandManager);
    ~MenuBar() override;

private:
    sx::MenuBarModel model;
    juce::PopupMenu extraAppleMenuItems;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (MenuBar)
};
