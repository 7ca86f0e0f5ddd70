#include "bridge/MidiDeviceManager.h"
#include "bridge/OSCVocabulary.h"
#include "tests/support/InMemoryMidiPorts.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

namespace
{
struct ChangeCounter : public juce::ChangeListener
{
    void changeListenerCallback (juce::ChangeBroadcaster*) override   { ++count; }
    int count = 0;
};

juce::String oneLine (const juce::XmlElement& xml)
{
    return xml.toString (juce::XmlElement::TextFormat().singleLine().withoutHeader());
}

class ManagerTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        makeManager();
    }

    void makeManager()
    {
        if (manager != nullptr)
            manager->removeChangeListener (&changes);

        manager = std::make_unique<MidiDeviceManager> (ports);
        manager->addChangeListener (&changes);
        changesSinceLastCheck();
    }

    /** Change messages are asynchronous; this delivers any pending one and counts deliveries. */
    int changesSinceLastCheck()
    {
        manager->dispatchPendingMessages();
        const auto n = changes.count;
        changes.count = 0;
        return n;
    }

    juce::StringArray openOutputNames() const
    {
        juce::StringArray names;
        for (const auto& o : manager->midiOutputs)
            names.add (o->getName());
        return names;
    }

    juce::String savedState() const
    {
        const auto xml = manager->createStateXml();
        return xml != nullptr ? oneLine (*xml) : juce::String();
    }

    /** What the application does at start-up with the text it saved at the last shutdown. */
    void restartWith (const juce::String& savedText)
    {
        manager.reset();
        makeManager();

        if (auto xml = juce::parseXML (savedText))
            manager->initialiseFromXml (*xml);
    }

    sx::test::InMemoryMidiPortSystem ports;
    ChangeCounter changes;
    std::unique_ptr<MidiDeviceManager> manager;
};

const juce::String firstStartState { "<DEVICESETUP><MIDIOUTPUT name=\"Sondrevix Connect\"/></DEVICESETUP>" };

} // namespace

//==============================================================================
TEST_F (ManagerTest, TheVirtualSourceExistsFromConstruction)
{
    EXPECT_EQ (openOutputNames(), juce::StringArray { virtualMidiPortName });
    EXPECT_TRUE (ports.getOpenOutputs()[0].identifier.startsWith ("virtual-"));
    EXPECT_EQ (savedState(), firstStartState);
}

TEST_F (ManagerTest, AFailedVirtualSourceStillRebuildsTheStateAndNotifies)
{
    manager.reset();
    ports.failVirtualCreation (true);
    makeManager();   // counts and discards the constructor's message, so check the state instead

    EXPECT_TRUE (manager->midiOutputs.empty());
    EXPECT_EQ (savedState(), "<DEVICESETUP/>");

    manager->setMidiOutputDeviceEnabled (virtualMidiPortName, true, true);
    EXPECT_EQ (changesSinceLastCheck(), 1);
}

TEST_F (ManagerTest, RequestsThatChangeNothingSendNoChangeMessage)
{
    ports.addOutput ("Synth A");

    manager->setMidiOutputDeviceEnabled ({}, true, false);
    manager->setMidiOutputDeviceEnabled ({}, true, true);
    manager->setMidiOutputDeviceEnabled (virtualMidiPortName, true, true);   // already open
    manager->setMidiOutputDeviceEnabled (virtualMidiPortName, true, false);
    manager->setMidiOutputDeviceEnabled ("Synth A", false, false);           // not open

    EXPECT_EQ (changesSinceLastCheck(), 0);
    EXPECT_EQ (openOutputNames(), juce::StringArray { virtualMidiPortName });
}

TEST_F (ManagerTest, AnOpenAttemptThatOpensNothingStillNotifies)
{
    ports.addOutput ("Synth A");

    manager->setMidiOutputDeviceEnabled ("Nowhere", true, false);
    EXPECT_EQ (changesSinceLastCheck(), 1);

    manager->setMidiOutputDeviceEnabled ("synth a", true, false);   // names compare exactly
    EXPECT_EQ (changesSinceLastCheck(), 1);

    ports.failOpening (true);
    manager->setMidiOutputDeviceEnabled ("Synth A", true, false);
    EXPECT_EQ (changesSinceLastCheck(), 1);

    EXPECT_EQ (openOutputNames(), juce::StringArray { virtualMidiPortName });
    EXPECT_EQ (savedState(), firstStartState);
}

TEST_F (ManagerTest, OpenAndCloseKeepTheOpeningOrder)
{
    ports.addOutput ("A");
    ports.addOutput ("B");
    ports.addOutput ("C");

    for (auto* name : { "C", "A", "B" })
        manager->setMidiOutputDeviceEnabled (name, true, false);

    EXPECT_EQ (openOutputNames(), (juce::StringArray { virtualMidiPortName, "C", "A", "B" }));

    manager->setMidiOutputDeviceEnabled ("A", false, false);
    EXPECT_EQ (openOutputNames(), (juce::StringArray { virtualMidiPortName, "C", "B" }));
    EXPECT_EQ (ports.getOpenOutputNames(), (juce::StringArray { virtualMidiPortName, "C", "B" }));   // really closed
    EXPECT_EQ (changesSinceLastCheck(), 1);   // several messages in a row arrive as one

    // The virtual source re-created now stands after the hardware, here and in the state.
    manager->setMidiOutputDeviceEnabled (virtualMidiPortName, false, true);
    EXPECT_EQ (ports.getOpenOutputNames(), (juce::StringArray { "C", "B" }));
    manager->setMidiOutputDeviceEnabled (virtualMidiPortName, true, true);

    EXPECT_EQ (openOutputNames(), (juce::StringArray { "C", "B", virtualMidiPortName }));
    EXPECT_EQ (savedState(), "<DEVICESETUP><MIDIOUTPUT name=\"C\"/><MIDIOUTPUT name=\"B\"/>"
                             "<MIDIOUTPUT name=\"Sondrevix Connect\"/></DEVICESETUP>");
}

TEST_F (ManagerTest, OfTwoOutputsWithOneNameOnlyTheFirstCanBeOpened)
{
    const auto first = ports.addOutput ("Dup");
    ports.addOutput ("Dup");

    manager->setMidiOutputDeviceEnabled ("Dup", true, false);
    manager->setMidiOutputDeviceEnabled ("Dup", true, false);
    ASSERT_EQ (ports.getOpenOutputs().size(), 2);
    EXPECT_EQ (ports.getOpenOutputs()[1].identifier, first);

    manager->setMidiOutputDeviceEnabled ("Dup", false, false);
    manager->setMidiOutputDeviceEnabled ("Dup", true, false);
    EXPECT_EQ (ports.getOpenOutputs()[1].identifier, first);
}

TEST_F (ManagerTest, AVanishedOutputCannotBeOpenedButAnOpenOneStaysOpen)
{
    const auto a = ports.addOutput ("A");
    const auto b = ports.addOutput ("B");
    manager->setMidiOutputDeviceEnabled ("A", true, false);

    ports.removeOutput (a);
    ports.removeOutput (b);
    manager->setMidiOutputDeviceEnabled ("B", true, false);

    EXPECT_EQ (openOutputNames(), (juce::StringArray { virtualMidiPortName, "A" }));
}

//==============================================================================
TEST_F (ManagerTest, InputsOpenStartAndCloseByName)
{
    ports.addInput ("Keys");
    ports.addInput ("Keys");
    ports.addInput ("Pads");

    manager->setMidiInputDeviceEnabled ("Keys", true);
    EXPECT_EQ (changesSinceLastCheck(), 1);
    manager->setMidiInputDeviceEnabled ("Keys", true);     // already open
    manager->setMidiInputDeviceEnabled ("Pads", false);    // not open
    EXPECT_EQ (changesSinceLastCheck(), 0);

    ASSERT_EQ (ports.getOpenInputs().size(), 1);
    EXPECT_EQ (ports.getOpenInputs()[0].identifier, "in-1");
    EXPECT_EQ (ports.inject ("Keys", juce::MidiMessage::noteOn (1, 60, (juce::uint8) 100)), 1);   // started

    manager->setMidiInputDeviceEnabled ("Keys", false);
    EXPECT_TRUE (ports.getOpenInputs().isEmpty());
    EXPECT_EQ (changesSinceLastCheck(), 1);

    manager->setMidiInputDeviceEnabled ("Nowhere", true);
    EXPECT_EQ (changesSinceLastCheck(), 1);
}

namespace
{
struct RecordingCallback : public sx::MidiInputPortCallback
{
    void handleIncomingMidiMessage (const juce::String& source, const juce::MidiMessage& m) override
    {
        received.add (source + ":" + juce::String::toHexString (m.getRawData(), m.getRawDataSize()));
    }

    juce::StringArray received;
};
}

TEST_F (ManagerTest, IncomingMidiGoesToMatchingCallbacksExceptActiveSensing)
{
    ports.addInput ("Keys");
    ports.addInput ("Pads");
    manager->setMidiInputDeviceEnabled ("Keys", true);
    manager->setMidiInputDeviceEnabled ("Pads", true);

    // With no callback registered, which is how the application runs, MIDI goes nowhere.
    EXPECT_EQ (ports.inject ("Keys", juce::MidiMessage::noteOn (1, 60, (juce::uint8) 100)), 1);

    RecordingCallback all, keysOnly, otherCase;
    {
        const juce::ScopedLock sl (manager->midiCallbackLock);
        manager->midiCallbacks.add ({ {}, &all });
        manager->midiCallbacks.add ({ "Keys", &keysOnly });
        manager->midiCallbacks.add ({ "keys", &otherCase });
    }

    ports.inject ("Keys", juce::MidiMessage (0xfe));
    ports.inject ("Keys", juce::MidiMessage (0x90, 60, 100));
    ports.inject ("Pads", juce::MidiMessage (0xb0, 1, 2));

    EXPECT_EQ (all.received, (juce::StringArray { "Keys:90 3c 64", "Pads:b0 01 02" }));
    EXPECT_EQ (keysOnly.received, (juce::StringArray { "Keys:90 3c 64" }));
    EXPECT_TRUE (otherCase.received.isEmpty());

    const juce::ScopedLock sl (manager->midiCallbackLock);
    manager->midiCallbacks.clear();
}

TEST_F (ManagerTest, ActiveSensingIsDroppedWithoutWaitingForTheCallbackLock)
{
    ports.addInput ("Keys");
    manager->setMidiInputDeviceEnabled ("Keys", true);

    std::atomic<bool> locked { false }, release { false };
    std::thread holder ([&] {
        const juce::ScopedLock sl (manager->midiCallbackLock);
        locked = true;
        while (! release)
            std::this_thread::yield();
    });

    while (! locked)
        std::this_thread::yield();

    // Would block until the holder lets go if the lock were taken first.
    std::atomic<bool> delivered { false };
    std::thread sender ([&] { ports.inject ("Keys", juce::MidiMessage (0xfe)); delivered = true; });

    for (int i = 0; i < 200 && ! delivered; ++i)
        std::this_thread::sleep_for (std::chrono::milliseconds (5));

    EXPECT_TRUE (delivered.load());
    release = true;
    holder.join();
    sender.join();
}

//==============================================================================
TEST_F (ManagerTest, FirstStartSavesOnlyTheVirtualSource)
{
    restartWith ({});
    EXPECT_EQ (savedState(), firstStartState);

    restartWith ("not xml <<");
    EXPECT_EQ (savedState(), firstStartState);
}

TEST_F (ManagerTest, RestoringReopensHardwareAfterTheVirtualSource)
{
    ports.addOutput ("Synth A");
    ports.addOutput ("Synth B");

    restartWith ("<DEVICESETUP><MIDIOUTPUT name=\"Synth B\"/><MIDIOUTPUT name=\"Sondrevix Connect\"/>"
                 "<MIDIOUTPUT name=\"Unplugged\"/><MIDIOUTPUT name=\"\"/><MIDIOUTPUT/></DEVICESETUP>");

    EXPECT_EQ (openOutputNames(), (juce::StringArray { virtualMidiPortName, "Synth B" }));
    EXPECT_EQ (savedState(), "<DEVICESETUP><MIDIOUTPUT name=\"Sondrevix Connect\"/>"
                             "<MIDIOUTPUT name=\"Synth B\"/></DEVICESETUP>");
    EXPECT_EQ (changesSinceLastCheck(), 1);
}

TEST_F (ManagerTest, TheVirtualSourceIsCreatedEvenWhenTheSavedStateLacksIt)
{
    ports.addOutput ("Synth A");
    manager->setMidiOutputDeviceEnabled ("Synth A", true, false);
    manager->setMidiOutputDeviceEnabled (virtualMidiPortName, false, true);
    const auto saved = savedState();
    EXPECT_EQ (saved, "<DEVICESETUP><MIDIOUTPUT name=\"Synth A\"/></DEVICESETUP>");

    restartWith (saved);
    EXPECT_EQ (openOutputNames(), (juce::StringArray { virtualMidiPortName, "Synth A" }));
}

TEST_F (ManagerTest, TheReaderFollowsItsCaseRules)
{
    ports.addOutput ("Synth A");
    ports.addOutput ("Other");
    ports.addOutput ("Loud");

    restartWith ("<Setup>"
                 "<midioutput name=\"Synth A\"/>"                    // tag case ignored
                 "<MIDIOUTPUT Name=\"Other\"/>"                      // attribute case is not
                 "<MIDIOUTPUT name=\"Extra\" type=\"virtual\"/>"     // a second virtual source
                 "<MIDIOUTPUT name=\"Loud\" type=\"Virtual\"/>"      // hardware, since "Virtual" is not "virtual"
                 "<GROUP><MIDIOUTPUT name=\"Other\"/></GROUP>"        // deeper elements are not read
                 "</Setup>");

    EXPECT_EQ (openOutputNames(), (juce::StringArray { virtualMidiPortName, "Synth A", "Extra", "Loud" }));
    EXPECT_TRUE (ports.getOpenOutputs()[2].identifier.startsWith ("virtual-"));
    EXPECT_FALSE (ports.getOpenOutputs()[3].identifier.startsWith ("virtual-"));
}

TEST_F (ManagerTest, AStateThatNothingRebuildsIsSavedBackUnchanged)
{
    const juce::String foreign { "<OTHER version=\"2\"><MIDIOUTPUT name=\"Sondrevix Connect\" colour=\"red\"/>"
                                 "<NOTE>kept</NOTE></OTHER>" };
    restartWith (foreign);

    EXPECT_EQ (savedState(), foreign);
    EXPECT_EQ (changesSinceLastCheck(), 0);
}

TEST_F (ManagerTest, RestoringFromItsOwnDocumentIsSafe)
{
    ports.addOutput ("Synth A");
    ports.addInput ("Keys");
    manager->setMidiOutputDeviceEnabled ("Synth A", true, false);
    manager->setMidiInputDeviceEnabled ("Keys", true);
    manager->setMidiOutputDeviceEnabled ("Synth A", false, false);
    manager->setMidiOutputDeviceEnabled ("Synth A", true, false);

    // Every rebuild replaces the element being read; the restore must not walk freed memory.
    manager->initialiseFromXml (*manager->lastExplicitSettings);
    EXPECT_EQ (savedState(), "<DEVICESETUP><MIDIINPUT name=\"Keys\"/><MIDIOUTPUT name=\"Sondrevix Connect\"/>"
                             "<MIDIOUTPUT name=\"Synth A\"/></DEVICESETUP>");
}

//==============================================================================
TEST_F (ManagerTest, TheStateListsOpenInputsThenRememberedInputsThenOutputs)
{
    ports.addInput ("Keys");
    ports.addInput ("Pads");
    ports.addOutput ("Synth A");

    restartWith ("<DEVICESETUP><MIDIOUTPUT name=\"Synth A\"/><MIDIINPUT name=\"Away\"/>"
                 "<MIDIINPUT name=\"Pads\"/><MIDIINPUT name=\"Gone\"/><MIDIINPUT name=\"Keys\"/></DEVICESETUP>");

    // Inputs open in the system's order, not the document's.
    EXPECT_EQ (ports.getOpenInputNames(), (juce::StringArray { "Keys", "Pads" }));
    EXPECT_EQ (savedState(), "<DEVICESETUP><MIDIINPUT name=\"Keys\"/><MIDIINPUT name=\"Pads\"/>"
                             "<MIDIINPUT name=\"Away\"/><MIDIINPUT name=\"Gone\"/>"
                             "<MIDIOUTPUT name=\"Sondrevix Connect\"/><MIDIOUTPUT name=\"Synth A\"/></DEVICESETUP>");
}

TEST_F (ManagerTest, RememberedInputsSurviveRunsUntilTheirDeviceReturns)
{
    restartWith ("<DEVICESETUP><MIDIINPUT name=\"Keys\"/></DEVICESETUP>");
    manager->updateXml();   // as any later change would
    const auto saved = savedState();
    EXPECT_EQ (saved, "<DEVICESETUP><MIDIINPUT name=\"Keys\"/><MIDIOUTPUT name=\"Sondrevix Connect\"/></DEVICESETUP>");

    restartWith (saved);
    manager->updateXml();
    EXPECT_EQ (savedState(), saved);

    ports.addInput ("Keys");
    restartWith (saved);
    EXPECT_EQ (ports.getOpenInputNames(), juce::StringArray { "Keys" });
    EXPECT_EQ (savedState(), saved);   // now written as an open input, once

    // Present but not opened (the document names it only in another case): dropped.
    ports.addInput ("Pads");
    restartWith ("<DEVICESETUP><MIDIINPUT name=\"pads\"/><MIDIINPUT name=\"Keys\"/></DEVICESETUP>");
    EXPECT_EQ (ports.getOpenInputNames(), juce::StringArray { "Keys" });
    EXPECT_EQ (savedState(), saved);
}

TEST_F (ManagerTest, RestoringClosesInputsTheDocumentDoesNotName)
{
    ports.addInput ("Keys");
    ports.addInput ("Pads");
    manager->setMidiInputDeviceEnabled ("Keys", true);
    manager->setMidiInputDeviceEnabled ("Pads", true);

    auto xml = juce::parseXML ("<DEVICESETUP><MIDIINPUT name=\"Pads\"/></DEVICESETUP>");
    manager->initialiseFromXml (*xml);

    EXPECT_EQ (ports.getOpenInputNames(), juce::StringArray { "Pads" });
}
