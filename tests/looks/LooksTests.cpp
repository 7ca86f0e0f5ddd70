#include "platform/Appearance.h"
#include "tests/support/AppHarness.h"
#include "ui/Buttons.h"
#include "ui/Fonts.h"
#include "ui/LookAndFeelSX.h"

#include <gtest/gtest.h>

namespace
{
    const juce::Colour clear (0x00000000), white (0xFFFFFFFF), red (0xFFFF0000), green (0xFF00FF00), fieldColour (0xFF203040);

    template <typename Painter>
    juce::Image paintInto (int width, int height, Painter&& painter)
    {
        juce::Image image (juce::Image::ARGB, width, height, true);
        juce::Graphics g (image);
        painter (g);
        return image;
    }

    // Within a tolerance per channel: antialiasing, and premultiplied storage at low alpha.
    ::testing::AssertionResult pixelIs (const juce::Image& image, int x, int y, juce::Colour want, int tolerance = 3)
    {
        const auto got = image.getPixelAt (x, y);
        const auto far = [&] (auto channel) { return std::abs ((got.*channel)() - (want.*channel)()) > tolerance; };
        if (far (&juce::Colour::getAlpha) || far (&juce::Colour::getRed) || far (&juce::Colour::getGreen) || far (&juce::Colour::getBlue))
            return ::testing::AssertionFailure() << "(" << x << ", " << y << ") is " << got.toDisplayString (true);
        return ::testing::AssertionSuccess();
    }

    // Pixels above the alpha of the colour's hue, or of any colour.
    int countOfHue (const juce::Image& image, std::optional<juce::Colour> hue = {}, int minAlpha = 0x40)
    {
        int count = 0;
        for (int y = 0; y < image.getHeight(); ++y)
            for (int x = 0; x < image.getWidth(); ++x)
            {
                const auto c = image.getPixelAt (x, y);
                count += c.getAlpha() > minAlpha && (! hue || (std::abs (c.getRed() - hue->getRed()) < 40
                            && std::abs (c.getGreen() - hue->getGreen()) < 40 && std::abs (c.getBlue() - hue->getBlue()) < 40));
            }
        return count;
    }

    bool isBlank (const juce::Image& image)   { return countOfHue (image, {}, 0) == 0; }

    // An alert window lays itself out on a screen as it is built. The display is a static
    // so that it outlives main(): the framework's X connection closes after the tests.
    struct PrivateDisplay : ::testing::Environment
    {
        void SetUp() override
        {
            static sx::test::VirtualDisplay display;
            ASSERT_TRUE (display.isRunning()) << "Xvfb or xsettingsd could not be started";
            setenv ("DISPLAY", display.getName().toRawUTF8(), 1);
        }
    };

    [[maybe_unused]] auto* const privateDisplay = ::testing::AddGlobalTestEnvironment (new PrivateDisplay);

    struct ScopedAppearance
    {
        explicit ScopedAppearance (bool dark)   { sx::platform::setDarkModeOverride (dark); }
        ~ScopedAppearance()                     { sx::platform::setDarkModeOverride (std::nullopt); }
    };
}

TEST (LookAndFeelSX, TickBoxIsAnOutlineWithAnInsetRoundedSquareWhenTicked)
{
    LookAndFeelSX look;
    const auto tick = look.getTickShape (20.0f);
    EXPECT_EQ (tick.getBounds(), juce::Rectangle<float> (0.0f, 0.0f, 20.0f, 20.0f));
    EXPECT_FALSE (tick.contains (0.3f, 0.3f));       // a square with rounded corners, not a check mark
    EXPECT_FLOAT_EQ (look.getPopupMenuFont().getHeight(), 20.0f);
    EXPECT_EQ (look.getPopupMenuBorderSize(), 0);

    juce::ToggleButton button;
    button.setColour (juce::ToggleButton::tickDisabledColourId, red);
    button.setColour (juce::ToggleButton::tickColourId, green);
    const auto paint = [&] (bool ticked)
    {
        return paintInto (30, 30, [&] (juce::Graphics& g) { look.drawTickBox (g, button, 4, 4, 20, 20, ticked, true, true, true); });
    };

    const auto unticked = paint (false), ticked = paint (true);
    EXPECT_TRUE (pixelIs (unticked, 14, 14, clear));
    EXPECT_GT (countOfHue (unticked, red), 40);
    EXPECT_GT (countOfHue (ticked, red), 40);
    EXPECT_TRUE (pixelIs (ticked, 7, 14, green));   // the square spans x + 2 ...
    EXPECT_TRUE (pixelIs (ticked, 21, 14, green));  // ... to x + w - 2
    EXPECT_TRUE (pixelIs (ticked, 5, 14, clear));
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
    const auto paintEditor = [&] (juce::LookAndFeel_V4& l, bool background)
    {
        return paintInto (100, 40, [&] (juce::Graphics& g) { background ? l.fillTextEditorBackground (g, 100, 40, editor)
                                                                        : l.drawTextEditorOutline (g, 100, 40, editor); });
    };

    ScopedAppearance dark (true);
    EXPECT_TRUE (pixelIs (paintEditor (look, true), 50, 20, fieldColour));
    sx::platform::setDarkModeOverride (false);
    EXPECT_TRUE (pixelIs (paintEditor (look, true), 50, 20, white));
    EXPECT_EQ (editor.findColour (juce::TextEditor::textColourId), juce::Colours::black);
    // The brand field ignores the appearance. At 15 % alpha few bits per channel are left.
    EXPECT_TRUE (pixelIs (paintEditor (hero, true), 99, 20, juce::Colour (0x262FAAFF), 14));

    EXPECT_TRUE (pixelIs (paintEditor (look, false), 1, 20, green));
    const auto brandOutline = paintEditor (hero, false);
    EXPECT_TRUE (pixelIs (brandOutline, 1, 20, brandGradientStart, 6));
    EXPECT_TRUE (pixelIs (brandOutline, 98, 20, brandGradientEnd, 6));   // the gradient ends at w - 4

    parent.setEnabled (false);     // disabled through its parent only: field but no outline
    EXPECT_TRUE (isBlank (paintEditor (look, false)));
    EXPECT_TRUE (isBlank (paintEditor (hero, false)));
    EXPECT_FALSE (isBlank (paintEditor (look, true)));

    // In an alert window, flat with a bottom line even in light mode; the brand look keeps its outline.
    juce::AlertWindow alert ("title", "message", juce::MessageBoxIconType::NoIcon);
    alert.addAndMakeVisible (editor);
    const auto field = paintEditor (look, true);
    EXPECT_TRUE (pixelIs (field, 0, 0, fieldColour));
    EXPECT_TRUE (pixelIs (field, 50, 39, green));
    EXPECT_TRUE (isBlank (paintEditor (look, false)));
    EXPECT_TRUE (pixelIs (paintEditor (hero, false), 1, 20, brandGradientStart, 6));
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

    ScopedAppearance light (false);
    const auto field = paint();
    EXPECT_TRUE (pixelIs (field, 70, 15, white));
    EXPECT_GT (countOfHue (field, red), 10);                    // the text, but no outline rectangle
    EXPECT_EQ (countOfHue (field, green), 0);

    sx::platform::setDarkModeOverride (true);
    EXPECT_TRUE (pixelIs (paint(), 70, 15, juce::Colour (0x0DFFFFFF), 2));
    label.showEditor();     // the label's own editor draws the text then
    EXPECT_EQ (countOfHue (paint(), red), 0);
    label.hideEditor (true);

    label.setEditable (false);
    const auto plain = paint();
    EXPECT_TRUE (pixelIs (plain, 0, 15, green));
    EXPECT_GT (countOfHue (plain, red), 10);
}

TEST (Fonts, HeadingAndRegularFontsRenderInARealTypefaceAndAFaceTheFamilyHas)
{
    LookAndFeelSX look;     // names the typeface of every default font: it must still have glyphs
    const auto faces = juce::Font::findAllTypefaceStyles (getSansSerifFamilyName());

    for (const auto& font : { makeHeadingFont(), makeRegularFont() })
    {
        // A face the family lacks would leave the framework to take whichever face it lists first.
        EXPECT_TRUE (faces.contains (font.getTypefaceStyle())) << font.getTypefaceStyle();
        EXPECT_GT (countOfHue (paintInto (200, 40, [&] (juce::Graphics& g)
        {
            g.setFont (font);
            g.drawText ("Message Log", 0, 0, 200, 40, juce::Justification::centredLeft, false);
        }), {}, 0x80), 60);
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

    // Drawn: a grey image with a red top-left corner and a magenta centre lands in place.
    const auto source = paintInto (68, 70, [] (juce::Graphics& g)
    {
        g.fillAll (juce::Colours::grey);
        g.setColour (juce::Colours::red);       g.fillRect (0, 0, 18, 18);
        g.setColour (juce::Colours::magenta);   g.fillRect (18, 18, 32, 34);
    });
    const auto image = paintInto (60, 40, [&] (juce::Graphics& g) { drawImageNineSlice (g, { 10, 5, 40, 30 }, source); });
    EXPECT_TRUE (pixelIs (image, 14, 9, juce::Colours::red));
    EXPECT_TRUE (pixelIs (image, 30, 20, juce::Colours::magenta));

    // No image, or no room: nothing drawn (and no division by a zero source size).
    EXPECT_TRUE (isBlank (paintInto (20, 20, [&] (juce::Graphics& g)
    {
        drawImageNineSlice (g, { 0, 0, 20, 20 }, juce::Image());
        drawImageNineSlice (g, { 0, 0, 0, 0 }, source);
    })));
}

TEST (ToggleButtonSwitch, KnobSitsAtEitherEndOfAPillTrackByToggleStateOnly)
{
    sx::ToggleButtonSwitch hotspot ("Wi-Fi Direct Hotspot Button");
    const auto snapshot = [&] { return paintInto (hotspot.getWidth(), 26, [&] (juce::Graphics& g) { hotspot.paintEntireComponent (g, true); }); };
    hotspot.setBounds (0, 0, 48, 26);
    hotspot.setState (juce::Button::buttonDown);         // held down changes nothing: only the toggle state counts

    const auto off = snapshot();
    EXPECT_TRUE (pixelIs (off, 4, 13, white));           // knob: diameter 20 from x 3
    EXPECT_TRUE (pixelIs (off, 40, 13, juce::Colour (0xFFBFBFBF)));
    EXPECT_TRUE (pixelIs (off, 1, 13, clear, 16));       // track from 2 to 46 (a trace of shadow)

    hotspot.setToggleState (true, juce::dontSendNotification);
    const auto on = snapshot();
    EXPECT_TRUE (pixelIs (on, 26, 13, white));           // knob from x 25
    EXPECT_TRUE (pixelIs (on, 20, 13, brandGradientEnd));

    hotspot.setBounds (0, 0, 4, 26);                     // narrower than its insets
    EXPECT_TRUE (isBlank (snapshot()));
}

// Every widget in both appearances, written to <build>/looks_gallery.png to judge a change of look by eye.
TEST (Gallery, PaintsEveryWidgetInBothAppearances)
{
    juce::Image gallery (juce::Image::ARGB, 520, 400, true);
    for (const auto dark : { true, false })
    {
        ScopedAppearance appearance (dark);
        LookAndFeelSX look;
        HeroColourTextEditorLAF heroLook;
        juce::Component panel;
        juce::Label port ({}, "9001");
        sx::Button button ("Configure");
        sx::ToggleButtonSwitch switchOff ("off"), switchOn ("on");
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

        juce::Graphics g (gallery);
        g.setOrigin (0, dark ? 0 : 200);
        g.reduceClipRegion (panel.getLocalBounds());
        g.fillAll (getCurrentColourScheme().getUIColour (juce::LookAndFeel_V4::ColourScheme::windowBackground));
        panel.paintEntireComponent (g, true);
    }

    const auto file = juce::File (SX_BINARY_DIR).getChildFile ("looks_gallery.png");
    file.deleteFile();
    juce::FileOutputStream stream (file);
    EXPECT_TRUE (stream.openedOk() && juce::PNGImageFormat().writeImageToStream (gallery, stream));
}
