#include "tests/looks/Pixels.h"

#include "ui/LookAndFeelSX.h"

using namespace looks_test;

namespace
{
    const juce::Colour clear (0x00000000), red (0xFFFF0000), green (0xFF00FF00), fieldColour (0xFF203040);

    /** Clearly visible pixels of the colour's hue (edges on a transparent canvas keep their hue). */
    int countOfHue (const juce::Image& image, juce::Colour colour)
    {
        return countPixels (image, [colour] (juce::Colour c)
        {
            return c.getAlpha() > 0x40 && std::abs (c.getRed() - colour.getRed()) < 40
                && std::abs (c.getGreen() - colour.getGreen()) < 40 && std::abs (c.getBlue() - colour.getBlue()) < 40;
        });
    }

    struct Editor
    {
        Editor()
        {
            editor.setColour (juce::TextEditor::backgroundColourId, fieldColour);
            editor.setColour (juce::TextEditor::outlineColourId, green);
            editor.setBounds (0, 0, 100, 40);
            parent.addAndMakeVisible (editor);
        }

        juce::Image background (juce::LookAndFeel_V4& look)
        {
            return paintInto (100, 40, [&] (juce::Graphics& g) { look.fillTextEditorBackground (g, 100, 40, editor); });
        }

        juce::Image outline (juce::LookAndFeel_V4& look)
        {
            return paintInto (100, 40, [&] (juce::Graphics& g) { look.drawTextEditorOutline (g, 100, 40, editor); });
        }

        juce::Component parent;
        juce::TextEditor editor;
    };
}

TEST (LookAndFeelSX, ColourTableIsFixedByTheAppearanceAtConstruction)
{
    std::unique_ptr<LookAndFeelSX> builtDark;
    {
        ScopedAppearance dark (true);
        builtDark = std::make_unique<LookAndFeelSX>();
    }
    ScopedAppearance light (false);
    LookAndFeelSX builtLight;

    EXPECT_EQ (builtDark->findColour (juce::Label::textColourId), juce::Colour (0xFFFFFFFF));
    EXPECT_EQ (builtDark->findColour (juce::ResizableWindow::backgroundColourId), juce::Colour (0xFF373337));
    EXPECT_EQ (builtLight.findColour (juce::Label::textColourId), juce::Colour (0xFF000000));
    EXPECT_EQ (builtLight.findColour (juce::ResizableWindow::backgroundColourId), juce::Colour (0xFFEFEFEF));
    EXPECT_EQ (builtLight.findColour (juce::PopupMenu::backgroundColourId), juce::Colour (0x00FFFFFF));
    EXPECT_EQ (makeBrandGradient (0.0f, 10.0f, 0.15f).getColour (1), juce::Colour (0x262FAAFF));
}

TEST (LookAndFeelSX, TickBoxIsAnOutlineWithAnInsetRoundedSquareWhenTicked)
{
    LookAndFeelSX look;
    const auto tick = look.getTickShape (20.0f);
    EXPECT_EQ (tick.getBounds(), juce::Rectangle<float> (0.0f, 0.0f, 20.0f, 20.0f));
    EXPECT_TRUE (tick.contains (19.5f, 10.0f));      // a square, not a check mark...
    EXPECT_FALSE (tick.contains (0.3f, 0.3f));       // ...with rounded corners

    juce::ToggleButton button;
    button.setColour (juce::ToggleButton::tickDisabledColourId, red);
    button.setColour (juce::ToggleButton::tickColourId, green);
    const auto paint = [&] (bool ticked)
    {
        return paintInto (30, 30, [&] (juce::Graphics& g) { look.drawTickBox (g, button, 4, 4, 20, 20, ticked, true, true, true); });
    };

    const auto unticked = paint (false);
    EXPECT_TRUE (pixelIs (unticked, 14, 14, clear));
    EXPECT_GT (countOfHue (unticked, red), 40);
    EXPECT_EQ (countOfHue (unticked, green), 0);

    const auto ticked = paint (true);
    EXPECT_TRUE (pixelIs (ticked, 7, 14, green));   // the square spans x + 2 ...
    EXPECT_TRUE (pixelIs (ticked, 21, 14, green));  // ... to x + w - 2
    EXPECT_TRUE (pixelIs (ticked, 5, 14, clear));
    EXPECT_GT (countOfHue (ticked, red), 40);
}

TEST (LookAndFeelSX, TextEditorFieldAndOutlineFollowTheAppearanceAtEveryPaint)
{
    LookAndFeelSX look;
    Editor e;
    e.editor.setText ("text", false);

    {
        ScopedAppearance dark (true);
        const auto field = e.background (look);
        EXPECT_TRUE (pixelIs (field, 50, 20, fieldColour));
        EXPECT_TRUE (pixelIs (field, 0, 0, clear));      // corner 6
    }
    {
        ScopedAppearance light (false);
        EXPECT_TRUE (pixelIs (e.background (look), 50, 20, juce::Colours::white));
        EXPECT_EQ (e.editor.findColour (juce::TextEditor::textColourId), juce::Colours::black);
    }

    // Unfocused: a 4-pixel rounded border in the outline colour, drawn from 0 to 4.
    const auto outline = e.outline (look);
    EXPECT_TRUE (pixelIs (outline, 1, 20, green));
    EXPECT_TRUE (pixelIs (outline, 3, 20, green));
    EXPECT_TRUE (pixelIs (outline, 5, 20, clear));
    EXPECT_TRUE (pixelIs (outline, 50, 38, green));
    EXPECT_TRUE (pixelIs (outline, 0, 0, clear));
}

TEST (LookAndFeelSX, DisabledTextEditorHasBackgroundButNoOutlineInEitherLook)
{
    ScopedAppearance dark (true);
    LookAndFeelSX look;
    HeroColourTextEditorLAF hero;
    Editor e;
    e.parent.setEnabled (false);     // disabled through its parent only

    EXPECT_TRUE (isBlank (e.outline (look)));
    EXPECT_TRUE (isBlank (e.outline (hero)));
    EXPECT_TRUE (pixelIs (e.background (look), 50, 20, fieldColour));
    EXPECT_FALSE (isBlank (e.background (hero)));
}

TEST (HeroColourTextEditorLAF, DrawsTheBrandGradientFieldAndOutline)
{
    HeroColourTextEditorLAF hero;
    Editor e;

    for (const auto dark : { true, false })
    {
        ScopedAppearance appearance (dark);
        const auto field = e.background (hero);
        // At 15 % alpha the stored premultiplied colour keeps only a few bits per channel.
        EXPECT_TRUE (pixelIs (field, 0, 20, juce::Colour (0x26FF00BF), 14));
        EXPECT_TRUE (pixelIs (field, 99, 20, juce::Colour (0x262FAAFF), 14));
        EXPECT_TRUE (pixelIs (field, 0, 0, clear));
    }

    const auto outline = e.outline (hero);
    EXPECT_TRUE (pixelIs (outline, 1, 20, brandGradientStart, 6));
    EXPECT_TRUE (pixelIs (outline, 98, 20, brandGradientEnd, 6));   // the gradient ends at w - 4
    EXPECT_TRUE (pixelIs (outline, 50, 20, clear));
}

TEST (LookAndFeelSX, EditableLabelIsAFieldAndPlainLabelIsOutlined)
{
    LookAndFeelSX look;
    juce::Label label ("port", "9001");
    label.setBounds (0, 0, 80, 30);
    label.setColour (juce::Label::backgroundColourId, clear);
    label.setColour (juce::Label::textColourId, red);
    label.setColour (juce::Label::outlineColourId, green);
    const auto paint = [&] { return paintInto (80, 30, [&] (juce::Graphics& g) { look.drawLabel (g, label); }); };

    label.setEditable (true);
    {
        ScopedAppearance light (false);
        const auto field = paint();
        EXPECT_TRUE (pixelIs (field, 70, 15, juce::Colours::white));
        EXPECT_LT (field.getPixelAt (1, 15).getRed(), 0xE0);        // grey border over the white
        EXPECT_GT (countOfHue (field, red), 10);                    // the text
        EXPECT_EQ (countOfHue (field, green), 0);                   // no outline rectangle
    }
    {
        ScopedAppearance dark (true);
        EXPECT_TRUE (pixelIs (paint(), 70, 15, juce::Colour (0x0DFFFFFF), 2));

        // While editing, the label's own editor draws the text.
        label.showEditor();
        ASSERT_NE (label.getCurrentTextEditor(), nullptr);
        const auto editing = paint();
        EXPECT_EQ (countOfHue (editing, red), 0);
        EXPECT_TRUE (pixelIs (editing, 70, 15, juce::Colour (0x0DFFFFFF), 2));
        label.hideEditor (true);
    }

    label.setEditable (false);
    label.setColour (juce::Label::backgroundColourId, juce::Colour (0xFF101010));
    const auto plain = paint();
    EXPECT_TRUE (pixelIs (plain, 0, 15, green));
    EXPECT_TRUE (pixelIs (plain, 40, 29, green));
    EXPECT_GT (countOfHue (plain, red), 10);

    label.setEnabled (false);     // half alpha over the background
    EXPECT_TRUE (pixelIs (paint(), 0, 15, juce::Colour (0xFF088808), 4));
}

TEST (LookAndFeelSX, PopupMenusAreFlatBorderlessWithARoundTick)
{
    LookAndFeelSX look;
    const auto font = look.getPopupMenuFont();
    EXPECT_FLOAT_EQ (font.getHeight(), 20.0f);
    EXPECT_EQ (font.getTypefaceStyle(), "Regular");
    EXPECT_FLOAT_EQ (font.getExtraKerningFactor(), 0.0f);
    EXPECT_EQ (look.getPopupMenuBorderSize(), 0);

    for (const auto dark : { true, false })
    {
        ScopedAppearance appearance (dark);
        const auto menu = paintInto (40, 30, [&] (juce::Graphics& g) { look.drawPopupMenuBackground (g, 40, 30); });
        EXPECT_TRUE (pixelIs (menu, 0, 0, juce::Colour (dark ? 0xFF373337 : 0xFFEFEFEF), 0));
        EXPECT_TRUE (pixelIs (menu, 39, 29, juce::Colour (dark ? 0xFF373337 : 0xFFEFEFEF), 0));
    }

    // The tick fills a 13.2-unit box round (17, 15); at height 1 its 4-unit corners make it a disc.
    const auto item = paintInto (200, 30, [&] (juce::Graphics& g)
    {
        look.drawPopupMenuItem (g, { 0, 0, 200, 30 }, false, true, false, true, false, {}, {}, nullptr, &red);
    });
    EXPECT_TRUE (pixelIs (item, 17, 15, red));
    EXPECT_TRUE (pixelIs (item, 12, 15, red));
    EXPECT_TRUE (pixelIs (item, 11, 9, clear));
}
