#include "tests/main/MainComponentRig.h"

#include "platform/Appearance.h"

using namespace sx::test;

namespace
{
    /** Sees every insertion into the editor with the font it is made in, since the last clear. */
    struct InsertionRecorder : juce::TextEditor::InputFilter
    {
        juce::String filterNewText (juce::TextEditor& editor, const juce::String& text) override
        {
            // Text going into an empty editor starts afresh: it was cleared.
            if (editor.getTotalNumChars() == 0)
                runs.clear();

            if (text.isNotEmpty())
                runs.push_back ({ text, editor.getFont() });

            return text;
        }

        juce::StringArray boldRuns() const
        {
            juce::StringArray bold;

            for (const auto& run : runs)
                if (run.font.getTypefaceStyle() == "Bold")
                    bold.add (run.text);

            return bold;
        }

        juce::String allText() const
        {
            juce::String text;

            for (const auto& run : runs)
                text += run.text;

            return text;
        }

        struct Run { juce::String text; juce::Font font; };
        std::vector<Run> runs;
    };

    /** Rewrites the instructions and returns what went in, checking that the font
        is the editor's own regular one before and after and for every plain run. */
    InsertionRecorder rewrite (MainComponent& main, std::function<void()> action)
    {
        InsertionRecorder recorder;
        const auto regular = main.instructionsEditor.getFont();
        main.instructionsEditor.setInputFilter (&recorder, false);
        action();
        main.instructionsEditor.setInputFilter (nullptr, false);

        EXPECT_EQ (recorder.allText(), main.instructionsEditor.getText());
        EXPECT_EQ (main.instructionsEditor.getFont(), regular) << "the font is restored";
        EXPECT_EQ (regular.getTypefaceStyle(), "Regular");
        EXPECT_FLOAT_EQ (regular.getHeight(), 14.0f);

        for (const auto& run : recorder.runs)
        {
            auto withoutStyle = run.font;
            withoutStyle.setTypefaceStyle ("Regular");
            EXPECT_EQ (withoutStyle, regular) << run.text;
        }

        return recorder;
    }

    const juce::String stepTwo ("\n2. Open Sondrevix VR, go to the Main Menu VADizudiv tab, click Find Connection, and select ");

    juce::Colour pixel (MainComponent& main, int x, int y)
    {
        return main.createComponentSnapshot (main.getLocalBounds(), false, 1.0f).getPixelAt (x, y);
    }

    bool near (juce::Colour a, juce::Colour b)
    {
        return std::abs (a.getRed() - b.getRed()) <= 6 && std::abs (a.getGreen() - b.getGreen()) <= 6
            && std::abs (a.getBlue() - b.getBlue()) <= 6;
    }
}

TEST (Instructions, WiFiNetworkAndComputerNameInBold)
{
    MainRig rig;
    auto& main = rig.start();
    const auto recorder = rewrite (main, [&] { main.updateInstructions(); });

    EXPECT_EQ (main.instructionsEditor.getText(),
               "1. Open Wi-Fi settings on your VR headset and connect to HomeNet" + stepTwo + "Studio-Mac");
    EXPECT_EQ (recorder.boldRuns(), juce::StringArray ("HomeNet", "Studio-Mac"));
}

TEST (Instructions, HotspotNetworkNameComesFromTheSharingSettings)
{
    MainRig rig;
    rig.useTools ({}, "Sondrevix Hotspot");
    auto& main = rig.start();
    EXPECT_TRUE (main.hotspotSwitch.getToggleState());

    const auto recorder = rewrite (main, [&] { main.updateInstructions(); });
    EXPECT_EQ (main.instructionsEditor.getText(),
               "1. Open Wi-Fi settings on your VR headset and connect to Sondrevix Hotspot" + stepTwo + "Studio-Mac");
    EXPECT_EQ (recorder.boldRuns(), juce::StringArray ("Sondrevix Hotspot", "Studio-Mac"));
}

TEST (Instructions, UnknownNetworkNotListeningAndDiscoveryFailed)
{
    MainRig rig;
    rig.useTools ({});
    auto& main = rig.start();

    auto recorder = rewrite (main, [&] { main.updateInstructions(); });
    EXPECT_EQ (main.instructionsEditor.getText(),
               "1. Open Wi-Fi settings on your VR headset and connect to the network this computer is connected to." + stepTwo + "Studio-Mac");
    EXPECT_EQ (recorder.boldRuns(), juce::StringArray ("Studio-Mac"));

    recorder = rewrite (main, [&] { main.startListening (70000); });
    EXPECT_EQ (main.instructionsEditor.getText(),
               "Failed to listen on UDP port 70000. Make sure your Wi-Fi is on or router connected via ethernet. Next, try changing "
               "the UDP port number in the Manual VR Connection Settings below to a port available on your computer (1 to 65535). "
               "If this message still shows, you may need to modify firewall settings on your computer to open a UDP port and/or "
               "restart your computer.");
    EXPECT_TRUE (recorder.boldRuns().isEmpty());

    // Discovery unbound replaces either text.
    for (const auto port : { 70000, findFreePort() })
    {
        main.discoveryServer.bound = false;
        recorder = rewrite (main, [&] { main.connectedPort = port > 65535 ? -1 : port; main.updateInstructions(); });
        EXPECT_EQ (main.instructionsEditor.getText(),
                   "AUTOMATIC CONNECTION DISCOVERY FAILED\nYour computer is blocking UDP port 14001, so VADizudiv is invisible to "
                   "the VR app. You can still connect using the Manual VR Connection Settings below or you can unblock the port "
                   "to find this computer in the VR app menu.");
        EXPECT_EQ (recorder.boldRuns(), juce::StringArray ("AUTOMATIC CONNECTION DISCOVERY FAILED"));
    }

    main.discoveryServer.bound = true;
}

TEST (Layout, StandardWindowSettingsShownAndTooShort)
{
    MainRig rig;
    auto& main = rig.start();
    ASSERT_EQ (main.getBounds(), juce::Rectangle<int> (0, 0, 700, 800));

    EXPECT_EQ (main.statusLabel.getBounds(), juce::Rectangle<int> (0, 0, 700, 38));
    EXPECT_EQ (main.hotspotCaptionArea, juce::Rectangle<int> (10, 54, 680, 25));
    EXPECT_EQ (main.hotspotSwitch.getY(), 53);
    EXPECT_EQ (main.hotspotSwitch.getWidth(), 48);
    EXPECT_EQ (main.hotspotSwitch.getHeight(), 26);
    EXPECT_EQ (main.configureButton.getY(), 52);
    EXPECT_EQ (main.configureButton.getHeight(), 29);
    EXPECT_EQ (main.configureButton.getRight(), main.hotspotHelpButton.getX() - 14);
    EXPECT_EQ (main.hotspotHelpButton.getBounds(), juce::Rectangle<int> (665, 54, 25, 25));
    EXPECT_EQ (main.instructionsEditor.getY(), 95);
    EXPECT_EQ (main.instructionsEditor.getHeight(), main.instructionsEditor.getTextHeight() + 20);

    // Bottom up: settings, selector, then the log with its heading.
    const auto& settings = main.connectionSettingsView;
    EXPECT_EQ (settings.getBounds(), juce::Rectangle<int> (10, 800 - 10 - 27, 680, 27));
    EXPECT_EQ (main.midiDeviceSelector.getBounds(), juce::Rectangle<int> (10, settings.getY() - 110, 680, 100));
    EXPECT_EQ (main.logHeadingLabel.getY(), main.instructionsEditor.getBottom() + 10);
    EXPECT_EQ (main.logHeadingLabel.getHeight(), 32);
    EXPECT_EQ (main.logListBox.getY(), main.logHeadingLabel.getBottom());
    EXPECT_EQ (main.logListBox.getBottom(), main.midiDeviceSelector.getY() - 10);
    EXPECT_EQ (main.clearButton.getBounds(), juce::Rectangle<int> (620, main.logListBox.getBottom() - 40, 60, 32));

    const auto logHeight = main.logListBox.getHeight();
    main.connectionSettingsView.setSettingsVisible (true);
    EXPECT_EQ (settings.getHeight(), 135);
    EXPECT_EQ (settings.getBottom(), 790);
    EXPECT_EQ (main.logListBox.getHeight(), logHeight - 108);

    // Too short: the log goes first, the pieces at the bottom keep their size.
    const auto instructions = main.instructionsEditor.getBounds();
    main.setSize (700, 800 - (logHeight - 108));
    EXPECT_EQ (main.logListBox.getHeight(), 0);
    EXPECT_EQ (main.logHeadingLabel.getHeight(), 32);
    EXPECT_EQ (main.midiDeviceSelector.getHeight(), 100);
    EXPECT_EQ (settings.getHeight(), 135);
    EXPECT_EQ (main.instructionsEditor.getBounds(), instructions);

    main.setSize (700, 120);

    for (auto* child : main.getChildren())
        EXPECT_LE (child->getBottom(), 120) << child->getName();
}

TEST (Painting, HeaderIsTheGradientOnlyWhileListening)
{
    for (const auto dark : { true, false })
    {
        sx::platform::setDarkModeOverride (dark);
        MainRig rig;
        auto& main = rig.start();
        const auto background = dark ? juce::Colour (0xFF373337) : juce::Colour (0xFFEFEFEF);

        EXPECT_TRUE (near (pixel (main, 1, 2), juce::Colour (0xFFFF00BF)));
        EXPECT_TRUE (near (pixel (main, 698, 35), juce::Colour (0xFF2FAAFF)));
        EXPECT_TRUE (near (pixel (main, 350, 39), background));
        EXPECT_TRUE (near (pixel (main, 5, 400), background));

        main.startListening (0);
        EXPECT_EQ (pixel (main, 1, 2), juce::Colour (0xFFDD004B));
        EXPECT_EQ (pixel (main, 698, 35), juce::Colour (0xFFDD004B));

        // For the eye: the warning look at the window's real width.
        main.setSize (400, 650);
        const auto file = juce::File (SX_BINARY_DIR "/screenshots/main").getChildFile (dark ? "not-listening-dark.png" : "not-listening-light.png");
        file.getParentDirectory().createDirectory();
        juce::FileOutputStream out (file);
        out.setPosition (0);
        out.truncate();
        juce::PNGImageFormat().writeImageToStream (main.createComponentSnapshot (main.getLocalBounds()), out);

        rig.quit();
    }

    sx::platform::setDarkModeOverride (std::nullopt);
}
