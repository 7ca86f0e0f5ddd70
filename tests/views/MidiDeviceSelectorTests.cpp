#include "ui/MidiDeviceSelector.h"
#include "ui/LookAndFeelSX.h"
#include "bridge/OSCVocabulary.h"
#include "tests/support/InMemoryMidiPorts.h"
#include "ViewTestSupport.h"

#include <gtest/gtest.h>

namespace
{
    const juce::String virtualRow ("Virtual MIDI Output (to DAW)");

    class Selector : public ::testing::Test
    {
    protected:
        // Devices are listed before the manager and the selector exist, as at start-up.
        void build (juce::StringArray hardware)
        {
            for (auto& name : hardware)
                ids.add (ports.addOutput (name));

            manager = std::make_unique<MidiDeviceManager> (ports);
            selector = std::make_unique<MidiDeviceSelector> (*manager, virtualMidiPortName);
            window.setLookAndFeel (&lookAndFeel);
            window.addAndMakeVisible (*selector);
            selector->setBounds (0, 0, 400, 100);
        }

        ~Selector() override { selector.reset(); window.setLookAndFeel (nullptr); }

        MidiDeviceSelector::MidiOutputSelectorComponentListBox& list() { return *selector->outputList; }

        // On the tick box (x below the row height, 22) or on the text, delivered to the row under the pointer.
        void clickRow (int row, bool onTickBox, bool isDoubleClick = false)
        {
            auto* rowComponent = list().getComponentAt (200, row * 22 + 11);
            ASSERT_TRUE (rowComponent != nullptr && rowComponent != &list());
            sx::test::click (*rowComponent, { onTickBox ? 12.0f : 150.0f, 11.0f }, isDoubleClick);
        }

        // Delivers the manager's pending change messages, then names the open outputs in order.
        juce::StringArray openOutputs()
        {
            manager->dispatchPendingMessages();
            juce::StringArray names;
            for (auto& output : manager->midiOutputs)
                names.add (output->getName());
            return names;
        }

        sx::test::InMemoryMidiPortSystem ports;
        juce::StringArray ids;
        std::unique_ptr<MidiDeviceManager> manager;
        LookAndFeelSX lookAndFeel;
        juce::Component window;
        std::unique_ptr<MidiDeviceSelector> selector;
    };
}

TEST_F (Selector, WithoutHardwareOnlyTheVirtualRowTicked)
{
    build ({});
    EXPECT_EQ (list().items, juce::StringArray (virtualRow));
    EXPECT_TRUE (list().isRowTicked (0));
    EXPECT_EQ (list().getBounds(), juce::Rectangle<int> (0, 32, 400, 68));
    EXPECT_EQ (list().getRowHeight(), 22);
}

TEST_F (Selector, ClicksDoubleClicksAndReturn)
{
    build ({ "Synth A", "Synth B" });
    EXPECT_EQ (list().items, juce::StringArray (virtualRow, "Synth A", "Synth B"));

    clickRow (1, false);
    EXPECT_EQ (list().getSelectedRow(), 1);
    EXPECT_EQ (openOutputs(), juce::StringArray (virtualMidiPortName)) << "the text only selects";
    clickRow (2, true);
    EXPECT_EQ (openOutputs(), juce::StringArray (virtualMidiPortName, "Synth B"));
    EXPECT_TRUE (list().isRowTicked (2));
    clickRow (1, false, true);
    EXPECT_EQ (openOutputs(), juce::StringArray (virtualMidiPortName, "Synth B", "Synth A")) << "toggled once";
    clickRow (1, true, true);   // two clicks and a double click: three flips
    EXPECT_EQ (openOutputs(), juce::StringArray (virtualMidiPortName, "Synth B"));

    list().selectRow (2);
    list().keyPressed (juce::KeyPress (juce::KeyPress::returnKey));
    EXPECT_EQ (openOutputs(), juce::StringArray (virtualMidiPortName));
}

TEST_F (Selector, VirtualRowClosesTheSourceAndReopensItLast)
{
    build ({ "Synth A" });
    list().flipEnablement (0);
    list().flipEnablement (1);
    EXPECT_FALSE (list().isRowTicked (0));
    EXPECT_FALSE (ports.getOpenOutputNames().contains (virtualMidiPortName));
    list().flipEnablement (0);
    EXPECT_EQ (openOutputs(), juce::StringArray ("Synth A", virtualMidiPortName));
}

TEST_F (Selector, RowsFollowTheDevicesOnlyAfterAChangeMessage)
{
    build ({ "Synth A", "Synth B" });
    list().flipEnablement (1);
    openOutputs();

    ports.removeOutput (ids[0]);
    ports.removeOutput (ids[1]);
    ports.addOutput ("Synth C");
    EXPECT_EQ (list().items, juce::StringArray (virtualRow, "Synth A", "Synth B"));

    list().flipEnablement (2);   // vanished and unticked: nothing to open
    list().flipEnablement (1);   // vanished but open: closes
    EXPECT_EQ (openOutputs(), juce::StringArray (virtualMidiPortName));
    EXPECT_EQ (list().items, juce::StringArray (virtualRow, "Synth C"));
}

TEST_F (Selector, HardwareNamedLikeTheVirtualRowTogglesTheVirtualSource)
{
    build ({ virtualRow });
    EXPECT_TRUE (list().isRowTicked (1));
    list().flipEnablement (1);
    EXPECT_TRUE (openOutputs().isEmpty());
    EXPECT_FALSE (list().isRowTicked (1));
}
