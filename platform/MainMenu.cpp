#include "MainMenu.h"
#include "Appearance.h"

namespace sx::platform
{

#if JUCE_MAC

void setMainMenu (juce::MenuBarModel* model, const juce::PopupMenu* extraAppMenuItems)
{
    juce::MenuBarModel::setMacMainMenu (model, extraAppMenuItems, {});
}

void showMainMenuInWindow (juce::DocumentWindow*) {}

#else

namespace
{
    /** Shows another model's menus, with the items that would sit in a global
        application menu appended to the last menu. Choices go back to the model.
    */
    class WindowMenuModel final : public juce::MenuBarModel,
                                  private juce::MenuBarModel::Listener
    {
    public:
        WindowMenuModel (juce::MenuBarModel& modelToShow, const juce::PopupMenu* extraItems)
            : shown (modelToShow)
        {
            if (extraItems != nullptr)
                appMenuItems = *extraItems;

            shown.addListener (this);
        }

        ~WindowMenuModel() override
        {
            shown.removeListener (this);
        }

        juce::StringArray getMenuBarNames() override
        {
            return shown.getMenuBarNames();
        }

        juce::PopupMenu getMenuForIndex (int topLevelMenuIndex, const juce::String& menuName) override
        {
            auto menu = shown.getMenuForIndex (topLevelMenuIndex, menuName);

            if (topLevelMenuIndex == shown.getMenuBarNames().size() - 1 && appMenuItems.getNumItems() > 0)
            {
                menu.addSeparator();

                for (juce::PopupMenu::MenuItemIterator it (appMenuItems); it.next();)
                    menu.addItem (it.getItem());
            }

            return menu;
        }

        void menuItemSelected (int menuItemID, int topLevelMenuIndex) override
        {
            shown.menuItemSelected (menuItemID, topLevelMenuIndex);
        }

    private:
        void menuBarItemsChanged (juce::MenuBarModel*) override   { menuItemsChanged(); }
        void menuCommandInvoked (juce::MenuBarModel*, const juce::ApplicationCommandTarget::InvocationInfo&) override {}

        juce::MenuBarModel& shown;
        juce::PopupMenu appMenuItems;
    };

    /** The look of the window's menu bar and its pop-up menus. It follows the system's
        appearance by itself while it dresses the bar, as a global menu bar would.
    */
    class WindowMenuLook final : public juce::LookAndFeel_V4,
                                 private juce::DarkModeSettingListener
    {
    public:
        explicit WindowMenuLook (juce::Component& barToDress)
            : bar (&barToDress)
        {
            chooseColours();
            bar->setLookAndFeel (this);
            juce::Desktop::getInstance().addDarkModeSettingListener (this);
        }

        ~WindowMenuLook() override
        {
            juce::Desktop::getInstance().removeDarkModeSettingListener (this);

            if (bar != nullptr)
                bar->setLookAndFeel (nullptr);
        }

        void drawMenuBarBackground (juce::Graphics& g, int width, int height, bool, juce::MenuBarComponent&) override
        {
            g.fillAll (findColour (juce::ResizableWindow::backgroundColourId));
            g.setColour (findColour (juce::PopupMenu::textColourId).withAlpha (0.15f));
            g.fillRect (0, height - 1, width, 1);
        }

        void drawMenuBarItem (juce::Graphics& g, int width, int height, int, const juce::String& itemText,
                              bool isMouseOverItem, bool isMenuOpen, bool, juce::MenuBarComponent& menuBar) override
        {
            if (isMenuOpen || isMouseOverItem)
            {
                g.setColour (findColour (juce::PopupMenu::highlightedBackgroundColourId));
                g.fillRect (0, 0, width, height - 1);
                g.setColour (findColour (juce::PopupMenu::highlightedTextColourId));
            }
            else
            {
                g.setColour (findColour (juce::PopupMenu::textColourId));
            }

            g.setFont (getMenuBarFont (menuBar, 0, itemText));
            g.drawFittedText (itemText, 0, 0, width, height, juce::Justification::centred, 1);
        }

    private:
        void chooseColours()
        {
            const auto dark = isDarkModeActive();

            setColourScheme (dark ? getDarkColourScheme() : getLightColourScheme());
            setColour (juce::PopupMenu::backgroundColourId, dark ? juce::Colour (0xFF373337) : juce::Colour (0xFFF7F7F7));
            setColour (juce::PopupMenu::textColourId, dark ? juce::Colours::white : juce::Colours::black);
            setColour (juce::PopupMenu::highlightedBackgroundColourId, juce::Colour (0xFF2F81BD));
            setColour (juce::PopupMenu::highlightedTextColourId, juce::Colours::white);
            setColour (juce::ResizableWindow::backgroundColourId, dark ? juce::Colour (0xFF2B282B) : juce::Colour (0xFFE2E2E2));
        }

        // Menus opened from the bar take its look, so they follow too.
        void darkModeSettingChanged() override
        {
            chooseColours();

            if (bar != nullptr)
                bar->sendLookAndFeelChange();
        }

        // The window deletes the bar when it drops its menus, which may be before this goes.
        juce::Component::SafePointer<juce::Component> bar;
    };

    struct WindowMainMenu
    {
        std::unique_ptr<WindowMenuModel> model;
        std::unique_ptr<WindowMenuLook> look;
        juce::Component::SafePointer<juce::DocumentWindow> window;

        void attach()
        {
            if (window == nullptr || model == nullptr)
                return;

            window->setMenuBar (model.get());

            if (auto* bar = window->getMenuBarComponent())
                look = std::make_unique<WindowMenuLook> (*bar);
        }

        // The window's menu bar component refers to both the model and the look,
        // so it has to go before either of them.
        void detach()
        {
            if (window != nullptr)
                window->setMenuBar (nullptr);
        }
    };

    WindowMainMenu& windowMainMenu()
    {
        static WindowMainMenu menu;
        return menu;
    }
}

void setMainMenu (juce::MenuBarModel* model, const juce::PopupMenu* extraAppMenuItems)
{
    auto& menu = windowMainMenu();
    menu.detach();
    menu.model.reset();
    menu.look.reset();

    if (model != nullptr)
        menu.model = std::make_unique<WindowMenuModel> (*model, extraAppMenuItems);

    menu.attach();
}

void showMainMenuInWindow (juce::DocumentWindow* window)
{
    auto& menu = windowMainMenu();
    menu.detach();
    menu.look.reset();
    menu.window = window;
    menu.attach();
}

#endif

} // namespace sx::platform
