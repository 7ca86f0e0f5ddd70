#include "ui/LookAndFeelSX.h"

#include "platform/Appearance.h"
#include "ui/Fonts.h"

namespace
{
    constexpr float textEditorCorner = 6.0f;
    constexpr float textEditorOutlineThickness = 4.0f;
    constexpr float fieldCorner = 4.0f;

    bool isInsideAlertWindow (const juce::TextEditor& editor)
    {
        return dynamic_cast<juce::AlertWindow*> (editor.getParentComponent()) != nullptr;
    }
}

LookAndFeelSX::LookAndFeelSX()
{
    // Fonts find their typeface through the default look-and-feel, not through the
    // one a component uses, so the name has to go there to reach every text.
    juce::LookAndFeel::getDefaultLookAndFeel().setDefaultSansSerifTypefaceName (getSansSerifFamilyName());

    chooseColoursForCurrentAppearance();
}

void LookAndFeelSX::chooseColoursForCurrentAppearance()
{
    // Qualified, because the base's own getCurrentColourScheme would return its old scheme.
    setColourScheme (::getCurrentColourScheme());

    // A transparent menu colour makes the framework treat the menu window as
    // non-opaque, so drawPopupMenuBackground alone decides what shows.
    setColour (juce::PopupMenu::backgroundColourId, juce::Colour (0x00FFFFFF));
}

juce::Path LookAndFeelSX::getTickShape (float height)
{
    juce::Path path;
    path.addRoundedRectangle (0.0f, 0.0f, height, height, 4.0f, 4.0f, true, true, true, true);
    return path;
}

void LookAndFeelSX::drawTickBox (juce::Graphics& g, juce::Component& component,
                                 float x, float y, float w, float h,
                                 bool ticked, bool, bool, bool)
{
    g.setColour (component.findColour (juce::ToggleButton::tickDisabledColourId));
    g.drawRoundedRectangle (x, y, w, h, 4.0f, 1.0f);

    if (! ticked)
        return;

    g.setColour (component.findColour (juce::ToggleButton::tickColourId));
    const auto tick = getTickShape (h);
    g.fillPath (tick, tick.getTransformToScaleToFit (x + 2.0f, y + 2.0f,
                                                     juce::jmax (0.0f, w - 4.0f),
                                                     juce::jmax (0.0f, h - 4.0f),
                                                     false));
}

void LookAndFeelSX::fillTextEditorBackground (juce::Graphics& g, int width, int height,
                                              juce::TextEditor& textEditor)
{
    if (isInsideAlertWindow (textEditor))
    {
        LookAndFeel_V4::fillTextEditorBackground (g, width, height, textEditor);
        return;
    }

    juce::Colour fill;

    if (sx::platform::isDarkModeActive())
    {
        fill = textEditor.findColour (juce::TextEditor::backgroundColourId);
    }
    else
    {
        // Until the window hears of a change of appearance, the colour table may still
        // hold the dark scheme's white text; on the white light-mode field it would
        // vanish, so the text follows the field (recolourTextInEditors undoes this).
        textEditor.applyColourToAllText (juce::Colours::black, true);
        fill = juce::Colours::white;
    }

    g.setColour (fill);
    g.fillRoundedRectangle (0.0f, 0.0f, (float) width, (float) height, textEditorCorner);
}

void LookAndFeelSX::drawTextEditorOutline (juce::Graphics& g, int width, int height,
                                           juce::TextEditor& textEditor)
{
    if (isInsideAlertWindow (textEditor) || ! textEditor.isEnabled())
        return;

    const auto focused = textEditor.hasKeyboardFocus (true) && ! textEditor.isReadOnly();
    g.setColour (textEditor.findColour (focused ? juce::TextEditor::focusedOutlineColourId
                                                : juce::TextEditor::outlineColourId));
    g.drawRoundedRectangle (2.0f, 2.0f, (float) width - 4.0f, (float) height - 4.0f,
                            textEditorCorner, textEditorOutlineThickness);
}

void LookAndFeelSX::drawPopupMenuBackground (juce::Graphics& g, int width, int height)
{
    g.setColour (::getCurrentColourScheme().getUIColour (juce::LookAndFeel_V4::ColourScheme::windowBackground));
    g.fillRect (0, 0, width, height);
}

void LookAndFeelSX::drawPopupMenuItem (juce::Graphics& g, const juce::Rectangle<int>& area,
                                       bool isSeparator, bool isActive, bool isHighlighted,
                                       bool isTicked, bool hasSubMenu, const juce::String& text,
                                       const juce::String& shortcutKeyText,
                                       const juce::Drawable* icon, const juce::Colour* textColour)
{
    // The framework's item drawing, which reaches this class's font and tick shape.
    LookAndFeel_V4::drawPopupMenuItem (g, area, isSeparator, isActive, isHighlighted, isTicked,
                                       hasSubMenu, text, shortcutKeyText, icon, textColour);
}

juce::Font LookAndFeelSX::getPopupMenuFont()
{
    juce::Font font (20.0f);
    font.setTypefaceStyle (getFaceStyle ("Regular"));
    return font;
}

int LookAndFeelSX::getPopupMenuBorderSize()
{
    return 0;
}

void LookAndFeelSX::drawLabel (juce::Graphics& g, juce::Label& label)
{
    g.fillAll (label.findColour (juce::Label::backgroundColourId));

    const auto alpha = label.isEnabled() ? 1.0f : 0.5f;

    const auto drawText = [&]
    {
        const auto font = getLabelFont (label);
        g.setColour (label.findColour (juce::Label::textColourId).withMultipliedAlpha (alpha));
        g.setFont (font);

        const auto textArea = getLabelBorderSize (label).subtractedFrom (label.getLocalBounds());
        g.drawFittedText (label.getText(), textArea, label.getJustificationType(),
                          juce::jmax (1, (int) ((float) textArea.getHeight() / font.getHeight())),
                          label.getMinimumHorizontalScale());
    };

    if (label.isEditable())
    {
        // Editable labels look like input fields, in the appearance of the moment.
        const auto dark = sx::platform::isDarkModeActive();
        const auto w = (float) label.getWidth();
        const auto h = (float) label.getHeight();

        g.setColour (dark ? juce::Colour (0x0DFFFFFF) : juce::Colour (0xFFFFFFFF));
        g.fillRoundedRectangle (0.0f, 0.0f, w, h, fieldCorner);

        g.setColour (dark ? juce::Colour (0x0DFFFFFF) : juce::Colour (0xFFACACAC));
        g.drawRoundedRectangle (1.0f, 1.0f, juce::jmax (0.0f, w - 2.0f), juce::jmax (0.0f, h - 2.0f),
                                fieldCorner, 1.0f);

        // While editing, the label's own text editor draws the text.
        if (! label.isBeingEdited())
            drawText();

        return;
    }

    if (! label.isBeingEdited())
    {
        drawText();
        g.setColour (label.findColour (juce::Label::outlineColourId).withMultipliedAlpha (alpha));
    }
    else if (label.isEnabled())
    {
        g.setColour (label.findColour (juce::Label::outlineColourId));
    }

    g.drawRect (label.getLocalBounds());
}

void recolourTextInEditors (juce::Component& root)
{
    if (auto* editor = dynamic_cast<juce::TextEditor*> (&root))
    {
        editor->removeColour (juce::TextEditor::textColourId);
        editor->applyColourToAllText (editor->findColour (juce::TextEditor::textColourId), false);
    }

    for (auto* child : root.getChildren())
        recolourTextInEditors (*child);
}

//==============================================================================
void HeroColourTextEditorLAF::fillTextEditorBackground (juce::Graphics& g, int width, int height,
                                                       juce::TextEditor&)
{
    g.setGradientFill (makeBrandGradient (0.0f, (float) width, 0.15f));
    g.fillRoundedRectangle (0.0f, 0.0f, (float) width, (float) height, textEditorCorner);
}

void HeroColourTextEditorLAF::drawTextEditorOutline (juce::Graphics& g, int width, int height,
                                                    juce::TextEditor& textEditor)
{
    if (! textEditor.isEnabled())
        return;

    g.setGradientFill (makeBrandGradient (0.0f, (float) width - 4.0f));
    g.drawRoundedRectangle (2.0f, 2.0f, (float) width - 4.0f, (float) height - 4.0f,
                            textEditorCorner, textEditorOutlineThickness);
}
