#include "tests/looks/Pixels.h"

#include "ui/Buttons.h"
#include "ui/Fonts.h"
#include "ui/LookAndFeelSX.h"

using namespace looks_test;

namespace
{
    const juce::Colour clear (0x00000000), white (0xFFFFFFFF), red (0xFFFF0000), green (0xFF00FF00), fieldColour (0xFF203040);

    // Clearly visible pixels of the colour's hue.
    int countOfHue (const juce::Image& image, juce::Colour colour)
    {
        return countPixels (image, [colour] (juce::Colour c)
        {
            return c.getAlpha() > 0x40 && std::abs (c.getRed() - colour.getRed()) < 40
                && std::abs (c.getGreen() - colour.getGreen()) < 40 && std::abs (c.getBlue() - colour.getBlue()) < 40;
        });
    }

    juce::Image snapshot (juce::Component& c)
    {
        return paintInto (c.getWidth(), c.getHeight(), [&] (juce::Graphics& g) { c.paintEntireComponent (g, true); });
    }
}

TEST (LookAndFeelSX, ColoursAreFixedAtConstructionAndMenusAreFlat)
{
    std::unique_ptr<LookAndFeelSX> builtDark;
    {
        ScopedAppearance dark (true);
        builtDark = std::make_unique<LookAndFeelSX>();
    }
    ScopedAppearance light (false);
    LookAndFeelSX look;
    EXPECT_EQ (builtDark->findColour (juce::ResizableWindow::backgroundColourId), juce::Colour (0xFF373337));
    EXPECT_EQ (builtDark->findColour (juce::Label::textColourId), white);
    EXPECT_EQ (look.findColour (juce::ResizableWindow::backgroundColourId), juce::Colour (0xFFEFEFEF));
    EXPECT_EQ (look.findColour (juce::PopupMenu::backgroundColourId), juce::Colour (0x00FFFFFF));
    EXPECT_EQ (makeBrandGradient (0.0f, 10.0f, 0.15f).getColour (1), juce::Colour (0x262FAAFF));   // rounded, not cut

    EXPECT_FLOAT_EQ (look.getPopupMenuFont().getHeight(), 20.0f);
    EXPECT_EQ (look.getPopupMenuFont().getTypefaceStyle(), "Regular");
    EXPECT_EQ (look.getPopupMenuBorderSize(), 0);
    // The menu background follows the appearance of the paint, not the colour table.
    const auto menu = paintInto (40, 30, [&] (juce::Graphics& g) { builtDark->drawPopupMenuBackground (g, 40, 30); });
    EXPECT_TRUE (pixelIs (menu, 39, 29, juce::Colour (0xFFEFEFEF), 0));
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

    const auto ticked = paint (true);
    EXPECT_TRUE (pixelIs (ticked, 7, 14, green));   // the square spans x + 2 ...
    EXPECT_TRUE (pixelIs (ticked, 21, 14, green));  // ... to x + w - 2
    EXPECT_TRUE (pixelIs (ticked, 5, 14, clear));
    EXPECT_GT (countOfHue (ticked, red), 40);
}

TEST (LookAndFeelSX, TextEditorFieldsAndOutlinesOfBothLooks)
{
    LookAndFeelSX look;
    HeroColourTextEditorLAF hero;
    juce::Component parent;
    juce::TextEditor editor;
    editor.setColour (juce::TextEditor::backgroundColourId, fieldColour);
    editor.setColour (juce::TextEditor::outlineColourId, green);
    editor.setBounds (0, 0, 100, 40);
    parent.addAndMakeVisible (editor);

    {
        ScopedAppearance dark (true);
        const auto field = paintEditor (look, editor, true);
        EXPECT_TRUE (pixelIs (field, 50, 20, fieldColour));
        EXPECT_TRUE (pixelIs (field, 0, 0, clear));      // rounded corner
    }
    {
        ScopedAppearance light (false);
        EXPECT_TRUE (pixelIs (paintEditor (look, editor, true), 50, 20, white));
        EXPECT_EQ (editor.findColour (juce::TextEditor::textColourId), juce::Colours::black);

        // The brand field ignores the appearance. At 15 % alpha few bits per channel are left.
        const auto brand = paintEditor (hero, editor, true);
        EXPECT_TRUE (pixelIs (brand, 0, 20, juce::Colour (0x26FF00BF), 14));
        EXPECT_TRUE (pixelIs (brand, 99, 20, juce::Colour (0x262FAAFF), 14));
    }

    const auto outline = paintEditor (look, editor, false);     // 4 pixels wide from the edge
    EXPECT_TRUE (pixelIs (outline, 1, 20, green));
    EXPECT_TRUE (pixelIs (outline, 5, 20, clear));
    const auto brandOutline = paintEditor (hero, editor, false);
    EXPECT_TRUE (pixelIs (brandOutline, 1, 20, brandGradientStart, 6));
    EXPECT_TRUE (pixelIs (brandOutline, 98, 20, brandGradientEnd, 6));   // the gradient ends at w - 4
    EXPECT_TRUE (pixelIs (brandOutline, 50, 20, clear));

    parent.setEnabled (false);     // disabled through its parent only: field but no outline
    EXPECT_TRUE (isBlank (paintEditor (look, editor, false)));
    EXPECT_TRUE (isBlank (paintEditor (hero, editor, false)));
    EXPECT_FALSE (isBlank (paintEditor (look, editor, true)));
}

TEST (LookAndFeelSX, EditableLabelIsAFieldAndPlainLabelIsOutlined)
{
    LookAndFeelSX look;
    juce::Label label ("port", "9001");
    label.setBounds (0, 0, 80, 30);
    label.setColour (juce::Label::textColourId, red);
    label.setColour (juce::Label::outlineColourId, green);
    label.setEditable (true);
    const auto paint = [&] { return paintInto (80, 30, [&] (juce::Graphics& g) { look.drawLabel (g, label); }); };

    {
        ScopedAppearance light (false);
        const auto field = paint();
        EXPECT_TRUE (pixelIs (field, 70, 15, white));
        EXPECT_LT (field.getPixelAt (1, 15).getRed(), 0xE0);        // grey border
        EXPECT_GT (countOfHue (field, red), 10);                    // the text
        EXPECT_EQ (countOfHue (field, green), 0);                   // no outline rectangle
    }
    {
        ScopedAppearance dark (true);
        EXPECT_TRUE (pixelIs (paint(), 70, 15, juce::Colour (0x0DFFFFFF), 2));
        label.showEditor();     // the label's own editor draws the text then
        ASSERT_NE (label.getCurrentTextEditor(), nullptr);
        EXPECT_EQ (countOfHue (paint(), red), 0);
        label.hideEditor (true);
    }

    label.setEditable (false);
    const auto plain = paint();
    EXPECT_TRUE (pixelIs (plain, 0, 15, green));
    EXPECT_GT (countOfHue (plain, red), 10);
}

TEST (Fonts, HeadingAndRegularFontsRenderInARealTypeface)
{
    LookAndFeelSX look;     // names the typeface of every default font: it must still have glyphs

    for (const auto& font : { makeHeadingFont(), makeRegularFont() })
    {
        const auto text = paintInto (200, 40, [&] (juce::Graphics& g)
        {
            g.setColour (white);
            g.setFont (font);
            g.drawText ("Message Log", 0, 0, 200, 40, juce::Justification::centredLeft, false);
        });
        EXPECT_GT (countPixels (text, [] (juce::Colour c) { return c.getAlpha() > 0x80; }), 60);
    }
}

TEST (NineSlice, CornersShrinkAndMiddlesVanishAtSmallSizes)
{
    // Columns then rows as "destination x+w/source x+w".
    const auto describe = [] (juce::Rectangle<int> destination, int imageWidth, int imageHeight)
    {
        const auto pieces = getNineSlicePieces (destination, imageWidth, imageHeight);
        juce::String columns, rows;
        for (size_t i = 0; i < 3; ++i)
        {
            const auto &c = pieces[i], &r = pieces[i * 3];
            columns << c.destination.getX() << "+" << c.destination.getWidth() << "/" << c.source.getX() << "+" << c.source.getWidth() << " ";
            rows << r.destination.getY() << "+" << r.destination.getHeight() << "/" << r.source.getY() << "+" << r.source.getHeight() << " ";
        }
        return (columns + "| " + rows).trim();
    };

    // A 60 x 32 button from the 68 x 70 image: 18-pixel corners at 9 units, middles stretched.
    EXPECT_EQ (describe ({ 10, 20, 60, 32 }, 68, 70), "10+9/0+18 19+42/18+32 61+9/50+18 | 20+9/0+18 29+14/18+34 43+9/52+18");
    // 12 wide: no middle, the right column gets the 3 left over. 9 tall: only the top row.
    EXPECT_EQ (describe ({ 0, 4, 12, 9 }, 68, 70), "0+9/0+18 9+0/18+32 9+3/50+18 | 4+9/0+18 13+0/18+34 13+0/52+18");
    // 5 wide: all left column. A 20-pixel image: its right column is 2 pixels.
    EXPECT_EQ (describe ({ 0, 0, 5, 30 }, 20, 70), "0+5/0+18 5+0/18+0 5+0/18+2 | 0+9/0+18 9+12/18+34 21+9/52+18");

    // Drawn: each region lands in its place. A grey 68 x 70 image with a red top-left
    // corner, a yellow bottom-right one and a magenta centre.
    const auto source = paintInto (68, 70, [] (juce::Graphics& g)
    {
        g.fillAll (juce::Colours::grey);
        g.setColour (juce::Colours::red);       g.fillRect (0, 0, 18, 18);
        g.setColour (juce::Colours::yellow);    g.fillRect (50, 52, 18, 18);
        g.setColour (juce::Colours::magenta);   g.fillRect (18, 18, 32, 34);
    });
    const auto image = paintInto (60, 40, [&] (juce::Graphics& g) { drawImageNineSlice (g, { 10, 5, 40, 30 }, source); });
    EXPECT_TRUE (pixelIs (image, 14, 9, juce::Colours::red));
    EXPECT_TRUE (pixelIs (image, 45, 30, juce::Colours::yellow));
    EXPECT_TRUE (pixelIs (image, 30, 20, juce::Colours::magenta));
    EXPECT_TRUE (pixelIs (image, 45, 9, juce::Colours::grey));
    EXPECT_TRUE (pixelIs (image, 5, 20, clear));

    // No image, or no room: nothing drawn (and no division by a zero source size).
    EXPECT_TRUE (isBlank (paintInto (20, 20, [&] (juce::Graphics& g)
    {
        drawImageNineSlice (g, { 0, 0, 20, 20 }, juce::Image());
        drawImageNineSlice (g, { 0, 0, 0, 0 }, source);
    })));
}

TEST (ToggleButtonSwitch, KnobSitsAtEitherEndOfAPillTrackByToggleStateOnly)
{
    ToggleButtonSwitch hotspot ("Wi-Fi Direct Hotspot Button");
    hotspot.setBounds (0, 0, 48, 26);
    EXPECT_TRUE (hotspot.getClickingTogglesState());
    hotspot.setState (juce::Button::buttonDown);         // held down changes nothing: only the toggle state counts

    const auto off = snapshot (hotspot);
    EXPECT_TRUE (pixelIs (off, 4, 13, white));           // knob: diameter 20 from x 3
    EXPECT_TRUE (pixelIs (off, 22, 13, white, 10));
    EXPECT_TRUE (pixelIs (off, 40, 13, juce::Colour (0xFFBFBFBF)));
    EXPECT_TRUE (pixelIs (off, 1, 13, clear, 16));       // track from 2 to 46 (a trace of shadow)
    EXPECT_TRUE (pixelIs (off, 46, 13, clear));
    EXPECT_TRUE (pixelIs (off, 2, 2, clear, 20));        // pill ends

    hotspot.setToggleState (true, juce::dontSendNotification);
    const auto on = snapshot (hotspot);
    EXPECT_TRUE (pixelIs (on, 26, 13, white));           // knob from x 25
    EXPECT_TRUE (pixelIs (on, 43, 13, white, 10));
    EXPECT_TRUE (pixelIs (on, 20, 13, brandGradientEnd));

    hotspot.setBounds (0, 0, 4, 26);                     // narrower than its insets
    EXPECT_TRUE (isBlank (snapshot (hotspot)));
}

// Every widget in both appearances, written to the build tree to judge a change of look by eye.
TEST (Gallery, PaintsEveryWidgetInBothAppearances)
{
    const auto gallery = paintInto (520, 400, [] (juce::Graphics& g)
    {
        for (const auto dark : { true, false })
        {
            ScopedAppearance appearance (dark);
            LookAndFeelSX look;
            HeroColourTextEditorLAF heroLook;
            juce::Component panel;
            juce::Label port ({}, "9001");
            sx::Button button ("Configure");
            ToggleButtonSwitch switchOff ("off"), switchOn ("on");
            juce::ToggleButton tickOn ("Virtual MIDI Output"), tickOff ("Hardware Output");
            juce::TextEditor hero, plain;

            panel.setLookAndFeel (&look);
            hero.setLookAndFeel (&heroLook);
            port.setEditable (true);
            switchOn.setToggleState (true, juce::dontSendNotification);
            tickOn.setToggleState (true, juce::dontSendNotification);
            hero.setText ("1. Put on your headset\n2. Open the app and pick this computer");
            plain.setText ("A plain text editor");

            const std::pair<juce::Component*, juce::Rectangle<int>> layout[] {
                { &switchOff, { 10, 10, 48, 26 } }, { &switchOn, { 70, 10, 48, 26 } }, { &button, { 132, 8, 110, 29 } },
                { &port, { 256, 10, 80, 26 } }, { &tickOn, { 10, 46, 170, 24 } }, { &tickOff, { 190, 46, 170, 24 } },
                { &hero, { 10, 80, 500, 60 } }, { &plain, { 10, 150, 245, 40 } } };
            for (auto& [component, bounds] : layout)
            {
                component->setBounds (bounds);
                panel.addAndMakeVisible (component);
            }
            panel.setSize (520, 200);

            const juce::Graphics::ScopedSaveState state (g);
            g.setOrigin (0, dark ? 0 : 200);
            g.reduceClipRegion (panel.getLocalBounds());
            g.fillAll (getCurrentColourScheme().getUIColour (juce::LookAndFeel_V4::ColourScheme::windowBackground));
            panel.paintEntireComponent (g, true);
        }
    });

    const auto file = juce::File (SX_BINARY_DIR).getChildFile ("looks_gallery.png");
    file.deleteFile();
    juce::FileOutputStream stream (file);
    EXPECT_TRUE (stream.openedOk() && juce::PNGImageFormat().writeImageToStream (gallery, stream));
    EXPECT_TRUE (pixelIs (gallery, 515, 100, juce::Colour (0xFF373337), 0));
    EXPECT_TRUE (pixelIs (gallery, 515, 300, juce::Colour (0xFFEFEFEF), 0));

    // The image button's text takes the appearance of the paint: white on dark, black on light.
    const auto textPixels = [&] (int top, bool bright)
    {
        return countPixels (gallery.getClippedImage ({ 140, top + 12, 94, 20 }), [bright] (juce::Colour c)
        {
            return bright ? c.getBrightness() > 0.9f : c.getBrightness() < 0.2f;
        });
    };
    EXPECT_GT (textPixels (0, true), 20);
    EXPECT_GT (textPixels (200, false), 20);
}
