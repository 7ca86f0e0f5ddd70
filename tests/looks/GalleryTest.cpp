#include "tests/looks/Pixels.h"

#include "ui/Buttons.h"
#include "ui/Fonts.h"
#include "ui/LookAndFeelSX.h"

using namespace looks_test;

namespace
{
    /** One appearance's worth of the window's widgets, for people to look at. */
    struct GalleryPanel : public juce::Component
    {
        GalleryPanel()
        {
            setLookAndFeel (&look);

            heading.setFont (makeHeadingFont());
            for (auto* child : std::initializer_list<juce::Component*> { &heading, &configure, &clear,
                                                                          &switchOff, &switchOn, &tickOn, &tickOff,
                                                                          &plain, &warning, &disabled, &port })
                addAndMakeVisible (child);

            switchOn.setToggleState (true, juce::dontSendNotification);
            clear.setState (juce::Button::buttonDown);
            tickOn.setToggleState (true, juce::dontSendNotification);

            for (auto* editor : { &plain, &warning, &disabled, &hero })
            {
                editor->setMultiLine (true);
                editor->setReadOnly (true);
                editor->setFont (makeRegularFont());
                editor->setBorder ({ 10, 12, 10, 12 });
            }

            plain.setText ("A plain text editor", false);
            warning.setText ("Not listening: a red field", false);
            warning.setColour (juce::TextEditor::backgroundColourId, juce::Colour (0x26DD004B));
            warning.setColour (juce::TextEditor::outlineColourId, warningColour);
            disabled.setText ("A disabled editor", false);
            disabled.setEnabled (false);

            hero.setLookAndFeel (&heroLook);
            hero.setText ("1. Put on your headset\n2. Open the app and pick this computer", false);
            addAndMakeVisible (hero);

            port.setEditable (true);
            port.setFont (makeRegularFont());

            setSize (520, 300);
        }

        ~GalleryPanel() override
        {
            hero.setLookAndFeel (nullptr);
            setLookAndFeel (nullptr);
        }

        void paint (juce::Graphics& g) override
        {
            g.fillAll (getCurrentColourScheme().getUIColour (juce::LookAndFeel_V4::ColourScheme::windowBackground));
            g.setGradientFill (makeBrandGradient (0.0f, (float) getWidth()));
            g.fillRect (0, 0, getWidth(), 6);
        }

        void resized() override
        {
            heading.setBounds (10, 12, 240, 32);
            switchOff.setBounds (10, 52, 48, 26);
            switchOn.setBounds (70, 52, 48, 26);
            configure.setBounds (132, 50, 110, 29);
            clear.setBounds (254, 50, 60, 32);
            port.setBounds (330, 52, 80, 26);
            tickOn.setBounds (10, 90, 170, 24);
            tickOff.setBounds (190, 90, 170, 24);
            hero.setBounds (10, 124, 500, 70);
            plain.setBounds (10, 204, 160, 84);
            warning.setBounds (180, 204, 160, 84);
            disabled.setBounds (350, 204, 160, 84);
        }

        LookAndFeelSX look;
        HeroColourTextEditorLAF heroLook;
        juce::Label heading { {}, "Wi-Fi Direct Hotspot" };
        sx::Button configure { "Configure" }, clear { "Clear" };
        ToggleButtonSwitch switchOff { "off" }, switchOn { "on" };
        juce::ToggleButton tickOn { "Virtual MIDI Output" }, tickOff { "Hardware Output" };
        juce::TextEditor plain, warning, disabled, hero;
        juce::Label port { {}, "9001" };
    };

    juce::Image paintPanel (bool dark)
    {
        ScopedAppearance appearance (dark);
        GalleryPanel panel;
        return paintInto (panel.getWidth(), panel.getHeight(), [&] (juce::Graphics& g) { panel.paintEntireComponent (g, true); });
    }
}

// Paints every widget of this folder in both appearances into one picture in the
// build tree, so a change of look can be judged by eye as well as by the pixel tests.
TEST (Gallery, PaintsEveryWidgetInBothAppearances)
{
    const auto dark = paintPanel (true);
    const auto light = paintPanel (false);

    const auto gallery = paintInto (dark.getWidth(), dark.getHeight() + light.getHeight(), [&] (juce::Graphics& g)
    {
        g.drawImageAt (dark, 0, 0);
        g.drawImageAt (light, 0, dark.getHeight());
    });

    const auto file = juce::File (SX_BINARY_DIR).getChildFile ("looks_gallery.png");
    file.deleteFile();
    juce::FileOutputStream stream (file);
    ASSERT_TRUE (stream.openedOk());
    EXPECT_TRUE (juce::PNGImageFormat().writeImageToStream (gallery, stream));

    // Each panel is painted edge to edge by its window background.
    EXPECT_TRUE (pixelIs (dark, 515, 100, juce::Colour (0xFF373337), 0));
    EXPECT_TRUE (pixelIs (light, 515, 100, juce::Colour (0xFFEFEFEF), 0));
}
