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

class ManagerTest : public ::testing::Test
{
protected:
    void SetUp() override   { restartWith ({}); }

    // What the application does at start-up with the text it saved at the last shutdown.
    void restartWith (const juce::String& savedText)
    {
        manager.reset();
        manager = std::make_unique<MidiDeviceManager> (ports);
        manager->addChangeListener (&counter);
        changes();

        if (auto xml = juce::parseXML (savedText))
            manager->initialiseFromXml (*xml);
    }

    // Change messages are asynchronous: delivers any pending one and counts deliveries.
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

TEST_F (ManagerTest, FirstStartHasOnlyTheVirtualSourceAndAttemptsThatOpenNothingStillNotify)
{
    ports.addOutput ("Synth A");
    ports.addInput ("Keys");
    restartWith ("not xml <<");

    manager->setMidiOutputDeviceEnabled ({}, true, false);
    manager->setMidiOutputDeviceEnabled (virtualMidiPortName, true, true);   // already open
    manager->setMidiOutputDeviceEnabled ("Synth A", false, false);           // not open
    manager->setMidiInputDeviceEnabled ("Keys", false);
    EXPECT_EQ (changes(), 0);
    EXPECT_EQ (savedState(), "<DEVICESETUP><MIDIOUTPUT name=\"Sondrevix Connect\"/></DEVICESETUP>");

    manager->setMidiOutputDeviceEnabled ("synth a", true, false);   // names compare exactly
    EXPECT_EQ (changes(), 1);
    ports.failOpening (true);
    manager->setMidiInputDeviceEnabled ("Keys", true);
    EXPECT_EQ (changes(), 1);
    manager->setMidiOutputDeviceEnabled ("Synth A", true, false);
    EXPECT_EQ (changes(), 1);

    ASSERT_EQ (ports.getOpenOutputs().size(), 1);
    EXPECT_TRUE (ports.getOpenOutputs()[0].identifier.startsWith ("virtual-"));
}

TEST_F (ManagerTest, RestoringReopensHardwareAfterTheVirtualSourceAndTheRecreatedOneComesLast)
{
    for (auto* name : { "Synth A", "Synth B", "Other", "Loud" })
        ports.addOutput (name);

    restartWith ("<Setup><MIDIOUTPUT name=\"Synth B\"/><MIDIOUTPUT name=\"Sondrevix Connect\"/>"
                 "<MIDIOUTPUT name=\"Unplugged\"/><MIDIOUTPUT name=\"\"/><MIDIOUTPUT/>"
                 "<midioutput name=\"Synth A\"/>"                    // tag case ignored
                 "<MIDIOUTPUT Name=\"Other\"/>"                      // attribute case is not
                 "<MIDIOUTPUT name=\"Extra\" type=\"virtual\"/>"     // a second virtual source
                 "<MIDIOUTPUT name=\"Loud\" type=\"Virtual\"/>"      // hardware: "Virtual" is not "virtual"
                 "<GROUP><MIDIOUTPUT name=\"Other\"/></GROUP>"        // deeper elements are not read
                 "</Setup>");

    EXPECT_EQ (changes(), 1);
    EXPECT_EQ (savedState(), "<DEVICESETUP><MIDIOUTPUT name=\"Sondrevix Connect\"/><MIDIOUTPUT name=\"Synth B\"/>"
                             "<MIDIOUTPUT name=\"Synth A\"/><MIDIOUTPUT name=\"Extra\"/><MIDIOUTPUT name=\"Loud\"/></DEVICESETUP>");
    EXPECT_TRUE (ports.getOpenOutputs()[3].identifier.startsWith ("virtual-"));
    EXPECT_FALSE (ports.getOpenOutputs()[4].identifier.startsWith ("virtual-"));

    // The others keep their order; the recreated virtual source comes last.
    manager->setMidiOutputDeviceEnabled ("Synth B", false, false);
    manager->setMidiOutputDeviceEnabled (virtualMidiPortName, false, true);
    manager->setMidiOutputDeviceEnabled (virtualMidiPortName, true, true);
    EXPECT_EQ (savedState(), "<DEVICESETUP><MIDIOUTPUT name=\"Synth A\"/><MIDIOUTPUT name=\"Extra\"/><MIDIOUTPUT name=\"Loud\"/>"
                             "<MIDIOUTPUT name=\"Sondrevix Connect\"/></DEVICESETUP>");
}

TEST_F (ManagerTest, InputsOpenInTheSystemsOrderAndAbsentOnesAreRememberedUntilTheyReturn)
{
    const auto firstDup = ports.addInput ("Dup");
    for (auto* name : { "Dup", "Keys", "Pads", "Drums" })
        ports.addInput (name);

    // Of two inputs sharing a name only the first opens.
    manager->setMidiInputDeviceEnabled ("Dup", true);
    ASSERT_EQ (ports.getOpenInputs().size(), 1);
    EXPECT_EQ (ports.getOpenInputs()[0].identifier, firstDup);
    EXPECT_EQ (ports.inject ("Dup", juce::MidiMessage::noteOn (1, 60, (juce::uint8) 100)), 1);   // and is started
    manager->setMidiInputDeviceEnabled ("Drums", true);

    // One the document does not name is closed; the restore may be handed the manager's own
    // document, which every rebuild replaces while it is being read.
    const juce::String expected ("<DEVICESETUP><MIDIINPUT name=\"Keys\"/><MIDIINPUT name=\"Pads\"/>"
                                 "<MIDIINPUT name=\"Away\"/><MIDIINPUT name=\"Gone\"/>"
                                 "<MIDIOUTPUT name=\"Sondrevix Connect\"/></DEVICESETUP>");
    manager->initialiseFromXml (*juce::parseXML ("<DEVICESETUP><MIDIINPUT name=\"Away\"/><MIDIINPUT name=\"Pads\"/>"
                                                 "<MIDIINPUT name=\"Gone\"/><MIDIINPUT name=\"Keys\"/></DEVICESETUP>"));
    EXPECT_EQ (ports.getOpenInputNames(), (juce::StringArray { "Keys", "Pads" }));
    EXPECT_EQ (savedState(), expected);
    manager->initialiseFromXml (*manager->getLastExplicitSettings());
    EXPECT_EQ (savedState(), expected);

    // A remembered input survives later changes and runs; back again it opens, and is listed once.
    const juce::String saved { "<DEVICESETUP><MIDIINPUT name=\"Piano\"/><MIDIOUTPUT name=\"Sondrevix Connect\"/></DEVICESETUP>" };
    restartWith (saved);
    manager->updateXml();
    EXPECT_EQ (savedState(), saved);
    ports.addInput ("Piano");
    restartWith (saved);
    EXPECT_EQ (ports.getOpenInputNames(), juce::StringArray { "Piano" });
    EXPECT_EQ (savedState(), saved);

    // Present but named only in another case: neither opened nor remembered.
    restartWith ("<DEVICESETUP><MIDIINPUT name=\"pads\"/><MIDIINPUT name=\"Piano\"/></DEVICESETUP>");
    EXPECT_EQ (savedState(), saved);

    // Going away, the manager closes its inputs first, while the lock that their
    // deliveries take still exists; the outputs follow.
    manager->setMidiInputDeviceEnabled ("Keys", true);
    manager.reset();
    EXPECT_EQ (ports.getClosedPortNames().strings.getLast(), virtualMidiPortName);
}
