#include "tests/looks/Pixels.h"

#include "tests/support/AppHarness.h"
#include "ui/LookAndFeelSX.h"

using namespace looks_test;

namespace
{
    // An alert window lays itself out on a screen as it is built. The display is a
    // static so that it outlives main(): the framework's X connection closes after the tests.
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

    const auto field = paintEditor (look, editor, true);
    EXPECT_TRUE (pixelIs (field, 0, 0, background));           // square corners
    EXPECT_TRUE (pixelIs (field, 50, 38, background));
    EXPECT_TRUE (pixelIs (field, 50, 39, outline));
    EXPECT_TRUE (isBlank (paintEditor (look, editor, false)));

    // The brand look knows nothing of alert windows: its gradient outline stays.
    EXPECT_TRUE (pixelIs (paintEditor (hero, editor, false), 1, 20, brandGradientStart, 6));
}
