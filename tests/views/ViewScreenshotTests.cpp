#include "ui/ConnectionSettingsView.h"
#include "ui/LookAndFeelSX.h"
#include "ui/MidiDeviceSelector.h"
#include "ui/OSCLogListBox.h"
#include "bridge/OSCVocabulary.h"
#include "tests/support/InMemoryMidiPorts.h"
#include "ViewTestSupport.h"

#include <gtest/gtest.h>

// Paints each view on the window's background, in both appearances, into
// <build>/screenshots/views/*.png for a person to look at.
class Screenshot : public ::testing::TestWithParam<bool>
{
protected:
    struct Backdrop : juce::Component
    {
        void paint (juce::Graphics& g) override
        {
            g.fillAll (getCurrentColourScheme().getUIColour (juce::LookAndFeel_V4::ColourScheme::windowBackground));
        }
    };

    // Saves the view at twice its size and returns how many pixels of its top-left
    // text area differ from the background there, to tell that text was drawn.
    int save (juce::Component& view, int width, int height, const juce::String& name)
    {
        backdrop.setLookAndFeel (&lookAndFeel);
        backdrop.setSize (width + 20, height + 20);
        backdrop.addAndMakeVisible (view);
        view.setBounds (10, 10, width, height);
        sx::test::dispatchPostedMessages();

        const auto image = backdrop.createComponentSnapshot (backdrop.getLocalBounds(), true, 2.0f);
        const auto file = juce::File (SX_BINARY_DIR).getChildFile ("screenshots/views/" + name + (GetParam() ? "-dark.png" : "-light.png"));
        file.getParentDirectory().createDirectory();
        file.deleteFile();
        juce::FileOutputStream out (file);
        juce::PNGImageFormat().writeImageToStream (image, out);

        int inked = 0;
        const auto background = image.getPixelAt (1220, 50);   // the blank end of the first row
        for (int y = 40; y < 60; ++y)
            for (int x = 80; x < 280; ++x)
                inked += image.getPixelAt (x, y) != background ? 1 : 0;

        backdrop.removeAllChildren();
        backdrop.setLookAndFeel (nullptr);
        return inked;
    }

    sx::test::ScopedDarkMode appearance { GetParam() };
    LookAndFeelSX lookAndFeel;   // takes its colours from the appearance pinned above
    Backdrop backdrop;
};

TEST_P (Screenshot, EachView)
{
    OSCLogListBox log;
    log.addOSCMessage (juce::OSCMessage ("/sxc/midi/note/on", 1, 60, 0.8f), 0);
    juce::OSCBundle bundle (juce::OSCTimeTag (juce::Time (2026, 11, 5, 9, 7, 3)));
    bundle.addElement (juce::OSCMessage ("/sxc/midi/cc", 1, 74, 64.25f));
    log.addOSCBundle (bundle, 0);
    log.addFormatError (nullptr, 7);
    EXPECT_GT (save (log, 640, 200, "message-log"), 100);

    ConnectionSettingsView settings;
    settings.setSettingsVisible (true);
    settings.ipAddressEditor.setText ("192.168.1.20\r\n10.0.0.5");
    settings.portLabel.setText ("9001", juce::dontSendNotification);
    EXPECT_GT (save (settings, 640, 135, "connection-settings-shown"), 100);
    settings.setSettingsVisible (false);
    EXPECT_GT (save (settings, 640, 27, "connection-settings-hidden"), 100);

    sx::test::InMemoryMidiPortSystem ports;
    ports.addOutput ("Studio Synth");
    ports.addOutput ("USB MIDI Interface with a rather long name that will not fit into the row");
    MidiDeviceManager manager (ports);
    MidiDeviceSelector selector (manager, virtualMidiPortName);
    selector.outputList->selectRow (1);
    selector.outputList->flipEnablement (2);
    manager.dispatchPendingMessages();
    EXPECT_GT (save (selector, 640, 100, "midi-output-selector"), 100);
}

INSTANTIATE_TEST_SUITE_P (Appearance, Screenshot, ::testing::Values (true, false),
                          [] (const auto& info) { return info.param ? "Dark" : "Light"; });
