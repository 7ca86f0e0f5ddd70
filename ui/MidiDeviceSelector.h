#pragma once

#include "bridge/MidiDeviceManager.h"
#include "ui/HelpButtons.h"

#include <juce_gui_basics/juce_gui_basics.h>

#include <memory>

/*  Where the bridge's MIDI goes: a heading with a help button over a list of MIDI
    outputs, the virtual source first, each with a tick box that opens or closes the
    output through the device manager.

    The tick state is never stored here: it is read from the manager at every paint,
    and the rows are rebuilt whenever the manager says its devices changed.
*/
class MidiDeviceSelector final : public juce::Component,
                                 private juce::ChangeListener
{
public:
    /** The manager must outlive the selector. */
    MidiDeviceSelector (MidiDeviceManager& manager, juce::StringRef virtualPortName);
    ~MidiDeviceSelector() override;

    void resized() override;

    /** Rebuilds the rows from the devices available now, then lays the selector out again. */
    void updateLists();

    //==============================================================================
    class MidiOutputSelectorComponentListBox final : public juce::ListBox,
                                                     private juce::ListBoxModel
    {
    public:
        MidiOutputSelectorComponentListBox (MidiDeviceManager& manager, const juce::String& virtualPortName);
        ~MidiOutputSelectorComponentListBox() override = default;

        void paint (juce::Graphics&) override;

        /** Lists the virtual row, then every output the system has now. */
        void refreshItems();

        /** Opens the row's output when it is closed, closes it when it is open. */
        void flipEnablement (int row);

        /** The device a row stands for: the virtual source for the virtual row, else the row's text. */
        juce::String getDeviceNameForRow (int row) const;
        bool isRowTicked (int row) const;

    private:
        friend struct MidiDeviceSelectorTestAccess;

        int getNumRows() override;
        void paintListBoxItem (int row, juce::Graphics&, int width, int height, bool rowIsSelected) override;
        void listBoxItemClicked (int row, const juce::MouseEvent&) override;
        void listBoxItemDoubleClicked (int row, const juce::MouseEvent&) override;
        void returnKeyPressed (int row) override;

        bool isVirtualRow (int row) const;

        MidiDeviceManager& deviceManager;
        juce::String virtualPortName;
        juce::StringArray items;

        JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (MidiOutputSelectorComponentListBox)
    };

private:
    friend struct MidiDeviceSelectorTestAccess;

    void changeListenerCallback (juce::ChangeBroadcaster*) override;
    static void showHelpBox();

    MidiDeviceManager& deviceManager;
    const int itemHeight = 32;
    std::unique_ptr<MidiOutputSelectorComponentListBox> outputList;
    std::unique_ptr<juce::Label> outputLabel;
    std::unique_ptr<AppearanceImageButton> helpButton;
    juce::String virtualPortName;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (MidiDeviceSelector)
};
