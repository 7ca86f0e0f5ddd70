#pragma once

#include <juce_gui_basics/juce_gui_basics.h>

namespace sx::platform
{

/** Puts the application's menus where the system shows them.

    On macOS this is the global menu bar, and the extra items go at the top of
    the application menu. Systems without a global menu bar show the menus in the
    main window's own menu bar instead (see showMainMenuInWindow), with the extra
    items at the end of the last menu after a separator, since there is no
    application menu to hold them.

    Pass nullptr to take the menus away again. The model and the extra items must
    stay alive until then.
*/
void setMainMenu (juce::MenuBarModel* model, const juce::PopupMenu* extraAppMenuItems);

/** Names the window whose own menu bar carries the main menu where the system
    has no global menu bar; nullptr detaches it. Does nothing on macOS.

    A window must detach itself before its own destructor finishes, because the
    menu bar it holds refers to the main menu's model.
*/
void showMainMenuInWindow (juce::DocumentWindow* window);

} // namespace sx::platform
