#include "tests/looks/Pixels.h"

#include "ui/Buttons.h"
#include "ui/Fonts.h"
#include "ui/LookAndFeelSX.h"

using namespace looks_test;

namespace
{
    const juce::Colour clear (0x00000000), white (0xFFFFFFFF), offTrack (0xFFBFBFBF);

    juce::Image snapshot (juce::Component& c)
    {
        return paintInto (c.getWidth(), c.getHeight(), [&] (juce::Graphics& g) { c.paintEntireComponent (g, true); });
    }

    /** Columns then rows of the pieces as "destination x+w/source x+w ..." for comparison. */
    std::string describe (const std::array<NineSlicePiece, 9>& pieces)
    {
        juce::String columns, rows;

        for (size_t i = 0; i < 3; ++i)
        {
            const auto& c = pieces[i];
            const auto& r = pieces[i * 3];
            columns << c.destination.getX() << "+" << c.destination.getWidth() << "/" << c.source.getX() << "+" << c.source.getWidth() << " ";
            rows << r.destination.getY() << "+" << r.destination.getHeight() << "/" << r.source.getY() << "+" << r.source.getHeight() << " ";
        }

        return (columns + "| " + rows).trim().toStdString();
    }

    /** A 68 x 70 image whose nine regions (cut 18 | 32 | 18 and 18 | 34 | 18) have distinct colours. */
    juce::Image makeRegionImage()
    {
        const juce::Colour colours[] = { juce::Colours::red,  juce::Colours::grey,    juce::Colours::lime,
                                         juce::Colours::grey, juce::Colours::magenta, juce::Colours::grey,
                                         juce::Colours::blue, juce::Colours::grey,    juce::Colours::yellow };
        const int columns[] = { 0, 18, 50, 68 }, rows[] = { 0, 18, 52, 70 };

        return paintInto (68, 70, [&] (juce::Graphics& g)
        {
            for (int i = 0; i < 9; ++i)
            {
                g.setColour (colours[i]);
                g.fillRect (juce::Rectangle<int>::leftTopRightBottom (columns[i % 3], rows[i / 3], columns[i % 3 + 1], rows[i / 3 + 1]));
            }
        });
    }
}

TEST (Fonts, HeadingAndRegularFontsRenderInARealTypeface)
{
    // Building the look names the typeface of every default font; the text must still
    // come out as glyphs of a real face.
    LookAndFeelSX look;
    const auto heading = makeHeadingFont(), regular = makeRegularFont();

    EXPECT_EQ (heading.getTypefaceStyle(), "Semibold");
    EXPECT_FLOAT_EQ (heading.getHeight(), 22.0f);
    EXPECT_EQ (regular.getTypefaceStyle(), "Regular");
    EXPECT_FLOAT_EQ (regular.getHeight(), 16.0f);

    for (const auto& font : { heading, regular })
    {
        EXPECT_FLOAT_EQ (font.getExtraKerningFactor(), 0.0408f);
        EXPECT_GT (font.getStringWidthFloat ("Message Log"), font.getHeight() * 3.0f);

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
    // The button image in a 60 x 32 button: 18-pixel corners at 9 units, middles stretched.
    EXPECT_EQ (describe (getNineSlicePieces ({ 10, 20, 60, 32 }, 68, 70)),
               "10+9/0+18 19+42/18+32 61+9/50+18 | 20+9/0+18 29+14/18+34 43+9/52+18");

    // 12 wide: no middle, the right column gets the 3 left over. 9 tall: only the top row.
    EXPECT_EQ (describe (getNineSlicePieces ({ 0, 4, 12, 9 }, 68, 70)),
               "0+9/0+18 9+0/18+32 9+3/50+18 | 4+9/0+18 13+0/18+34 13+0/52+18");

    // 5 wide: everything is left column. An image of 20 x 70: its right column is 2 pixels.
    EXPECT_EQ (describe (getNineSlicePieces ({ 0, 0, 5, 30 }, 20, 70)),
               "0+5/0+18 5+0/18+0 5+0/18+2 | 0+9/0+18 9+12/18+34 21+9/52+18");

    for (const auto& piece : getNineSlicePieces ({ 0, 0, 30, 30 }, 0, 0))
        EXPECT_TRUE (piece.source.isEmpty());
}

TEST (NineSlice, DrawsEachImageRegionIntoItsPlace)
{
    const auto source = makeRegionImage();

    const auto image = paintInto (60, 40, [&] (juce::Graphics& g) { drawImageNineSlice (g, { 10, 5, 40, 30 }, source); });
    EXPECT_TRUE (pixelIs (image, 14, 9, juce::Colours::red));
    EXPECT_TRUE (pixelIs (image, 45, 9, juce::Colours::lime));
    EXPECT_TRUE (pixelIs (image, 14, 30, juce::Colours::blue));
    EXPECT_TRUE (pixelIs (image, 45, 30, juce::Colours::yellow));
    EXPECT_TRUE (pixelIs (image, 30, 20, juce::Colours::magenta));
    EXPECT_TRUE (pixelIs (image, 30, 9, juce::Colours::grey));
    EXPECT_TRUE (pixelIs (image, 5, 20, clear));
    EXPECT_TRUE (pixelIs (image, 30, 37, clear));

    const auto small = paintInto (20, 20, [&] (juce::Graphics& g) { drawImageNineSlice (g, { 2, 2, 12, 9 }, source); });
    EXPECT_TRUE (pixelIs (small, 6, 6, juce::Colours::red));
    EXPECT_TRUE (pixelIs (small, 12, 6, juce::Colours::lime));   // the right corner squeezed into 3
    EXPECT_TRUE (pixelIs (small, 6, 12, clear));

    EXPECT_TRUE (isBlank (paintInto (20, 20, [&] (juce::Graphics& g)
    {
        drawImageNineSlice (g, { 0, 0, 20, 20 }, juce::Image());
        drawImageNineSlice (g, { 0, 0, 0, 0 }, source);
    })));
}

TEST (SxButton, DrawsTheStoredImagesWithTextInTheAppearanceOfThePaint)
{
    sx::Button button ("Clear");
    button.setBounds (0, 0, 60, 32);

    // Text pixels are nearly opaque; the face around them is a quarter alpha.
    const auto whiteText = [] (juce::Colour c) { return c.getAlpha() > 0xC0 && c.getBrightness() > 0.9f; };
    const auto blackText = [] (juce::Colour c) { return c.getAlpha() > 0xC0 && c.getBrightness() < 0.2f; };

    {
        ScopedAppearance dark (true);
        const auto up = snapshot (button);
        EXPECT_TRUE (pixelIs (up, 5, 16, juce::Colour (0x40FFFFFF)));
        EXPECT_TRUE (pixelIs (up, 0, 0, clear, 8));
        EXPECT_GT (countPixels (up, whiteText), 20);
        EXPECT_EQ (countPixels (up, blackText), 0);

        button.setState (juce::Button::buttonDown);
        EXPECT_TRUE (pixelIs (snapshot (button), 5, 16, juce::Colour (0x5CFFFFFF)));
        button.setState (juce::Button::buttonNormal);
    }

    ScopedAppearance light (false);
    const auto up = snapshot (button);
    EXPECT_GT (countPixels (up, blackText), 20);
    EXPECT_EQ (countPixels (up, whiteText), 0);
}

TEST (ToggleButtonSwitch, KnobSitsAtEitherEndOfAPillTrackByToggleStateOnly)
{
    ToggleButtonSwitch hotspot ("Wi-Fi Direct Hotspot Button");
    hotspot.setBounds (0, 0, 48, 26);
    EXPECT_TRUE (hotspot.getClickingTogglesState());

    const auto off = snapshot (hotspot);
    EXPECT_TRUE (pixelIs (off, 13, 13, white));          // knob: diameter 20 from x 3
    EXPECT_TRUE (pixelIs (off, 4, 13, white));
    EXPECT_TRUE (pixelIs (off, 22, 13, white, 10));
    EXPECT_TRUE (pixelIs (off, 40, 13, offTrack));
    EXPECT_TRUE (pixelIs (off, 30, 3, offTrack));
    EXPECT_TRUE (pixelIs (off, 1, 13, clear, 16));       // track from 2 to 46 (a trace of shadow)
    EXPECT_TRUE (pixelIs (off, 46, 13, clear));
    EXPECT_TRUE (pixelIs (off, 2, 2, clear, 20));        // pill ends

    // Held down it looks the same: only the toggle state counts.
    hotspot.setState (juce::Button::buttonDown);
    const auto held = snapshot (hotspot);
    hotspot.setState (juce::Button::buttonNormal);
    for (int y = 0; y < 26; ++y)
        for (int x = 0; x < 48; ++x)
            ASSERT_EQ (held.getPixelAt (x, y), off.getPixelAt (x, y)) << x << ", " << y;

    hotspot.setToggleState (true, juce::dontSendNotification);
    const auto on = snapshot (hotspot);
    EXPECT_TRUE (pixelIs (on, 35, 13, white));           // knob from x 25
    EXPECT_TRUE (pixelIs (on, 26, 13, white));
    EXPECT_TRUE (pixelIs (on, 43, 13, white, 10));
    EXPECT_TRUE (pixelIs (on, 8, 13, brandGradientEnd));
    EXPECT_TRUE (pixelIs (on, 20, 13, brandGradientEnd));
    EXPECT_LT (on.getPixelAt (35, 24).getBrightness(), brandGradientEnd.getBrightness() - 0.05f);   // shadow below
}

TEST (ToggleButtonSwitch, DegenerateSizesDrawNothingOrAnUprightEllipse)
{
    ToggleButtonSwitch hotspot ("switch");

    for (const auto state : { false, true })
    {
        hotspot.setToggleState (state, juce::dontSendNotification);

        hotspot.setBounds (0, 0, 4, 26);
        EXPECT_TRUE (isBlank (snapshot (hotspot)));

        hotspot.setBounds (0, 0, 6, 26);
        const auto thin = snapshot (hotspot);
        EXPECT_TRUE (pixelIs (thin, 3, 13, state ? brandGradientEnd : offTrack));   // track, no knob

        hotspot.setBounds (0, 0, 20, 40);        // an ellipse 14 x 34 at x 3 in both states
        const auto tall = snapshot (hotspot);
        EXPECT_TRUE (pixelIs (tall, 10, 5, white));
        EXPECT_TRUE (pixelIs (tall, 10, 35, white));
        EXPECT_FALSE (pixelIs (tall, 10, 37, white, 20));
    }
}
