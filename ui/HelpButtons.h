#pragma once

#include <juce_gui_basics/juce_gui_basics.h>

#include <functional>
#include <memory>

/** The help icon, in the variant for the appearance current now; it is not swapped later. */
std::unique_ptr<juce::Drawable> createHelpIcon();

/** Gives an image button of the window its common look: no edge indent, no
    on-state background, a pointing hand. */
void styleIconButton (juce::DrawableButton& button);

/** Makes the button a help button: the common look, a copy of the icon, and onClick. */
void setUpHelpButton (juce::DrawableButton& button, const juce::Drawable* icon, std::function<void()> onClick);

/** Opens a native information box with an OK button, without owner or callback. */
void showHelpBox (const juce::String& title, const juce::String& text);
