#include "tests/looks/Pixels.h"

#include "tests/support/AppHarness.h"
#include "ui/LookAndFeelSX.h"

using namespace looks_test;

namespace
{
    /** An alert window lays itself out on a screen as it is built, so these cases
        need an X display, named in DISPLAY before the framework first connects.
        The display outlives main(): the framework closes its connection when the
        GUI shuts down, after the tests, and a server gone before that is fatal.
    */
    class PrivateDisplay : public ::testing::Environment
    {
    public:
        void SetUp() override
        {
            auto& display = getDisplay();
            display = std::make_unique<sx::test::VirtualDisplay>();
            ASSERT_TRUE (display->isRunning()) << "Xvfb or xsettingsd could not be started";
            setenv ("DISPLAY", display->getName().toRawUTF8(), 1);
        }

    private:
        static std::unique_ptr<sx::test::VirtualDisplay>& getDisplay()
        {
            static std::unique_ptr<sx::test::VirtualDisplay> display;
            return display;
        }
    };

    [[maybe_unused]] auto* const privateDisplay = ::testing::AddGlobalTestEnvironment (new PrivateDisplay);
}

TEST (LookAndFeelSX, TextEditorInAlertWindowIsFlatWithABottomLine)
{
    ScopedAppearance light (false);     // which would otherwise give a white rounded field
    LookAndFeelSX look;
    HeroColourTextEditorLAF hero;

    const juce::Colour background (0xFF203040), outline (0xFF00FF00);
    juce::AlertWindow alert ("title", "message", juce::MessageBoxIconType::NoIcon);
    juce::TextEditor editor;
    editor.setColour (juce::TextEditor::backgroundColourId, background);
    editor.setColour (juce::TextEditor::outlineColourId, outline);
    editor.setBounds (0, 0, 100, 40);
    alert.addAndMakeVisible (editor);

    const auto paint = [&] (juce::LookAndFeel_V4& l, bool fill)
    {
        return paintInto (100, 40, [&] (juce::Graphics& g)
        {
            if (fill)       l.fillTextEditorBackground (g, 100, 40, editor);
            else            l.drawTextEditorOutline (g, 100, 40, editor);
        });
    };

    const auto field = paint (look, true);
    EXPECT_TRUE (pixelIs (field, 0, 0, background));           // square corners
    EXPECT_TRUE (pixelIs (field, 50, 20, background));
    EXPECT_TRUE (pixelIs (field, 50, 38, background));
    EXPECT_TRUE (pixelIs (field, 50, 39, outline));
    EXPECT_TRUE (pixelIs (field, 99, 39, outline));

    EXPECT_TRUE (isBlank (paint (look, false)));

    // The brand look knows nothing of alert windows: its gradient outline stays.
    EXPECT_TRUE (pixelIs (paint (hero, false), 1, 20, brandGradientStart, 6));
}
