#pragma once

#include "ColourSchemes.h"

/** The look of the whole window. */
class LookAndFeelSX : public juce::LookAndFeel_V4
{
public:
    LookAndFeelSX();

    /** Fills the colour table from the scheme of the appearance current now, with this
        look's own colours on top. Made once when the look is made; the window calls it
        again when the appearance changes. */
    void chooseColoursForCurrentAppearance();

    juce::Path getTickShape (float height) override;
    void drawTickBox (juce::Graphics&, juce::Component&, float x, float y, float w, float h,
                      bool ticked, bool isEnabled, bool isMouseOverButton, bool isButtonDown) override;
    void fillTextEditorBackground (juce::Graphics&, int width, int height, juce::TextEditor&) override;
    void drawTextEditorOutline (juce::Graphics&, int width, int height, juce::TextEditor&) override;
    void drawPopupMenuBackground (juce::Graphics&, int width, int height) override;
    void drawPopupMenuItem (juce::Graphics&, const juce::Rectangle<int>& area,
                            bool isSeparator, bool isActive, bool isHighlighted, bool isTicked,
                            bool hasSubMenu, const juce::String& text,
                            const juce::String& shortcutKeyText,
                            const juce::Drawable* icon, const juce::Colour* textColour) override;
    juce::Font getPopupMenuFont() override;
    int getPopupMenuBorderSize() override;
    void drawLabel (juce::Graphics&, juce::Label&) override;
};

/** Gives the text that the editors in this component's tree already hold the colour
    that their look gives new text now, as after a change of the appearance.

    An editor of this window holds no text colour of its own: its text takes its look's.
    Only the light field gives it one (black), which this takes away again, so that every
    editor ends up as one made in the appearance current now.
*/
void recolourTextInEditors (juce::Component& root);

/** The brand look of the pairing instructions: a gradient field with a gradient outline. */
class HeroColourTextEditorLAF final : public LookAndFeelSX
{
public:
    HeroColourTextEditorLAF() = default;

    void fillTextEditorBackground (juce::Graphics&, int width, int height, juce::TextEditor&) override;
    void drawTextEditorOutline (juce::Graphics&, int width, int height, juce::TextEditor&) override;
};
