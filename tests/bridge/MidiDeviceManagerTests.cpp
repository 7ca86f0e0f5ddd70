#include "bridge/MidiDeviceManager.h"
#include "bridge/OSCVocabulary.h"
#include "tests/support/InMemoryMidiPorts.h"

#include <gtest/gtest.h>

#include <utility>

namespace
{
struct ChangeCounter : public juce::ChangeListener
{
    void changeListenerCallback (juce::ChangeBroadcaster*) override   { ++count; }
    int count = 0;
};

const juce::String firstStartState { "<DEVICESETUP><MIDIOUTPUT name=\"Sondrevix Connect\"/></DEVICESETUP>" };

class ManagerTest : public ::testing::Test
{
protected:
    void SetUp() override   { restartWith ({}); }

    /** What the application does at start-up with the text it saved at the last shutdown. */
    void restartWith (const juce::String& savedText)
    {
        manager.reset();
        manager = std::make_unique<MidiDeviceManager> (ports);
        manager->addChangeListener (&counter);
        changes();

        if (auto xml = juce::parseXML (savedText))
            manager->initialiseFromXml (*xml);
    }

    /** Change messages are asynchronous: delivers any pending one and counts deliveries. */
    int changes()
    {
        manager->dispatchPendingMessages();
        return std::exchange (counter.count, 0);
    }

    juce::String savedState() const
    {
        return manager->createStateXml()->toString (juce::XmlElement::TextFormat().singleLine().withoutHeader());
    }

    sx::test::InMemoryMidiPortSystem ports;
    ChangeCounter counter;
    std::unique_ptr<MidiDeviceManager> manager;
};
} // namespace

TEST_F (ManagerTest, FirstStartHasOnlyTheVirtualSource)
{
    EXPECT_EQ (ports.getOpenOutputNames(), juce::StringArray { virtualMidiPortName });
    EXPECT_TRUE (ports.getOpenOutputs()[0].identifier.startsWith ("virtual-"));
    EXPECT_EQ (savedState(), firstStartState);

    restartWith ("not xml <<");
    EXPECT_EQ (savedState(), firstStartState);
}

TEST_F (ManagerTest, ChangeMessagesFollowEveryAttemptButNotNoOps)
{
    ports.addOutput ("Synth A");
    ports.addInput ("Keys");

    manager->setMidiOutputDeviceEnabled ({}, true, false);
    manager->setMidiOutputDeviceEnabled (virtualMidiPortName, true, true);   // already open
    manager->setMidiOutputDeviceEnabled ("Synth A", false, false);           // not open
    manager->setMidiInputDeviceEnabled ("Keys", false);
    EXPECT_EQ (changes(), 0);

    manager->setMidiInputDeviceEnabled ("Keys", true);
    manager->setMidiInputDeviceEnabled ("Keys", false);
    EXPECT_EQ (changes(), 1);   // several in a row arrive as one

    // Attempts that open nothing still notify; names compare exactly.
    manager->setMidiOutputDeviceEnabled ("synth a", true, false);
    EXPECT_EQ (changes(), 1);
    manager->setMidiInputDeviceEnabled ("Nowhere", true);
    EXPECT_EQ (changes(), 1);
    ports.failOpening (true);
    manager->setMidiOutputDeviceEnabled ("Synth A", true, false);
    EXPECT_EQ (changes(), 1);

    EXPECT_EQ (savedState(), firstStartState);
}

TEST_F (ManagerTest, OfDevicesSharingANameOnlyTheFirstOpens)
{
    const auto firstOutput = ports.addOutput ("Dup");
    ports.addOutput ("Dup");
    const auto firstInput = ports.addInput ("Dup");
    ports.addInput ("Dup");

    for (int i = 0; i < 2; ++i)
    {
        manager->setMidiOutputDeviceEnabled ("Dup", true, false);
        manager->setMidiInputDeviceEnabled ("Dup", true);
    }

    ASSERT_EQ (ports.getOpenOutputs().size(), 2);
    EXPECT_EQ (ports.getOpenOutputs()[1].identifier, firstOutput);
    ASSERT_EQ (ports.getOpenInputs().size(), 1);
    EXPECT_EQ (ports.getOpenInputs()[0].identifier, firstInput);
    EXPECT_EQ (ports.inject ("Dup", juce::MidiMessage::noteOn (1, 60, (juce::uint8) 100)), 1);   // started
}

TEST_F (ManagerTest, OutputsKeepTheOpeningOrderAndTheRecreatedVirtualSourceComesLast)
{
    for (auto* name : { "A", "B", "C" })
        ports.addOutput (name);

    for (auto* name : { "C", "A", "B" })
        manager->setMidiOutputDeviceEnabled (name, true, false);

    manager->setMidiOutputDeviceEnabled ("A", false, false);
    EXPECT_EQ (ports.getOpenOutputNames(), (juce::StringArray { virtualMidiPortName, "C", "B" }));

    manager->setMidiOutputDeviceEnabled (virtualMidiPortName, false, true);
    EXPECT_EQ (ports.getOpenOutputNames(), (juce::StringArray { "C", "B" }));
    manager->setMidiOutputDeviceEnabled (virtualMidiPortName, true, true);

    EXPECT_EQ (ports.getOpenOutputNames(), (juce::StringArray { "C", "B", virtualMidiPortName }));
    EXPECT_EQ (savedState(), "<DEVICESETUP><MIDIOUTPUT name=\"C\"/><MIDIOUTPUT name=\"B\"/>"
                             "<MIDIOUTPUT name=\"Sondrevix Connect\"/></DEVICESETUP>");
}

TEST_F (ManagerTest, RestoringReopensHardwareAfterTheVirtualSource)
{
    ports.addOutput ("Synth A");
    ports.addOutput ("Synth B");

    restartWith ("<DEVICESETUP><MIDIOUTPUT name=\"Synth B\"/><MIDIOUTPUT name=\"Sondrevix Connect\"/>"
                 "<MIDIOUTPUT name=\"Unplugged\"/><MIDIOUTPUT name=\"\"/><MIDIOUTPUT/></DEVICESETUP>");

    EXPECT_EQ (ports.getOpenOutputNames(), (juce::StringArray { virtualMidiPortName, "Synth B" }));
    EXPECT_EQ (savedState(), "<DEVICESETUP><MIDIOUTPUT name=\"Sondrevix Connect\"/>"
                             "<MIDIOUTPUT name=\"Synth B\"/></DEVICESETUP>");
    EXPECT_EQ (changes(), 1);
}

TEST_F (ManagerTest, TheReaderFollowsItsCaseRules)
{
    for (auto* name : { "Synth A", "Other", "Loud" })
        ports.addOutput (name);

    restartWith ("<Setup>"
                 "<midioutput name=\"Synth A\"/>"                    // tag case ignored
                 "<MIDIOUTPUT Name=\"Other\"/>"                      // attribute case is not
                 "<MIDIOUTPUT name=\"Extra\" type=\"virtual\"/>"     // a second virtual source
                 "<MIDIOUTPUT name=\"Loud\" type=\"Virtual\"/>"      // hardware: "Virtual" is not "virtual"
                 "<GROUP><MIDIOUTPUT name=\"Other\"/></GROUP>"        // deeper elements are not read
                 "</Setup>");

    EXPECT_EQ (ports.getOpenOutputNames(), (juce::StringArray { virtualMidiPortName, "Synth A", "Extra", "Loud" }));
    EXPECT_TRUE (ports.getOpenOutputs()[2].identifier.startsWith ("virtual-"));
    EXPECT_FALSE (ports.getOpenOutputs()[3].identifier.startsWith ("virtual-"));
}

TEST_F (ManagerTest, RestoringFromItsOwnDocumentIsSafe)
{
    ports.addOutput ("Synth A");
    ports.addInput ("Keys");
    manager->setMidiOutputDeviceEnabled ("Synth A", true, false);
    manager->setMidiInputDeviceEnabled ("Keys", true);

    // Every rebuild replaces the element being read; the restore must not walk freed memory.
    manager->initialiseFromXml (*manager->lastExplicitSettings);
    EXPECT_EQ (savedState(), "<DEVICESETUP><MIDIINPUT name=\"Keys\"/><MIDIOUTPUT name=\"Sondrevix Connect\"/>"
                             "<MIDIOUTPUT name=\"Synth A\"/></DEVICESETUP>");
}

TEST_F (ManagerTest, TheStateListsOpenInputsThenRememberedInputsThenOutputs)
{
    for (auto* name : { "Keys", "Pads", "Drums" })
        ports.addInput (name);

    ports.addOutput ("Synth A");
    manager->setMidiInputDeviceEnabled ("Drums", true);

    manager->initialiseFromXml (*juce::parseXML ("<DEVICESETUP><MIDIOUTPUT name=\"Synth A\"/><MIDIINPUT name=\"Away\"/>"
                                                 "<MIDIINPUT name=\"Pads\"/><MIDIINPUT name=\"Gone\"/>"
                                                 "<MIDIINPUT name=\"Keys\"/></DEVICESETUP>"));

    // Inputs open in the system's order, not the document's; one it does not name is closed.
    EXPECT_EQ (ports.getOpenInputNames(), (juce::StringArray { "Keys", "Pads" }));
    EXPECT_EQ (savedState(), "<DEVICESETUP><MIDIINPUT name=\"Keys\"/><MIDIINPUT name=\"Pads\"/>"
                             "<MIDIINPUT name=\"Away\"/><MIDIINPUT name=\"Gone\"/>"
                             "<MIDIOUTPUT name=\"Sondrevix Connect\"/><MIDIOUTPUT name=\"Synth A\"/></DEVICESETUP>");
}

TEST_F (ManagerTest, RememberedInputsSurviveRunsUntilTheirDeviceReturns)
{
    const juce::String saved { "<DEVICESETUP><MIDIINPUT name=\"Keys\"/><MIDIOUTPUT name=\"Sondrevix Connect\"/></DEVICESETUP>" };

    restartWith (saved);
    manager->updateXml();   // as any later change would
    EXPECT_EQ (savedState(), saved);

    ports.addInput ("Keys");
    restartWith (saved);
    EXPECT_EQ (ports.getOpenInputNames(), juce::StringArray { "Keys" });
    EXPECT_EQ (savedState(), saved);   // now as an open input, once

    // Present but named only in another case: neither opened nor remembered.
    ports.addInput ("Pads");
    restartWith ("<DEVICESETUP><MIDIINPUT name=\"pads\"/><MIDIINPUT name=\"Keys\"/></DEVICESETUP>");
    EXPECT_EQ (ports.getOpenInputNames(), juce::StringArray { "Keys" });
    EXPECT_EQ (savedState(), saved);
}
