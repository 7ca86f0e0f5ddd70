#include "MidiDeviceSelector.h"

#include "ui/ColourSchemes.h"
#include "ui/Fonts.h"


namespace
{
    juce::String virtualRowText()
    {
        return juce::translate ("Virtual MIDI Output (to DAW)");
    }
}

//==============================================================================
MidiDeviceSelector::MidiDeviceSelector (MidiDeviceManager& manager, juce::StringRef portName)
    : deviceManager (manager),
      virtualPortName (portName)
{
    outputList = std::make_unique<MidiOutputSelectorComponentListBox> (deviceManager, virtualPortName);
    addAndMakeVisible (*outputList);

    outputLabel = std::make_unique<juce::Label> ("lm", juce::translate ("MIDI Output"));
    outputLabel->setFont (makeHeadingFont());
    outputLabel->setJustificationType (juce::Justification::topLeft);
    addAndMakeVisible (*outputLabel);

    helpButton = std::make_unique<AppearanceImageButton> ("Help with MIDI Output");
    setUpHelpButton (*helpButton, [] { showHelpBox(); });
    addAndMakeVisible (*helpButton);

    deviceManager.addChangeListener (this);
    updateLists();
}

MidiDeviceSelector::~MidiDeviceSelector()
{
    deviceManager.removeChangeListener (this);
}

void MidiDeviceSelector::changeListenerCallback (juce::ChangeBroadcaster*)
{
    updateLists();
}

void MidiDeviceSelector::updateLists()
{
    outputList->refreshItems();
    outputList->updateContent();
    outputList->repaint();
    resized();
}

void MidiDeviceSelector::resized()
{
    auto area = getLocalBounds();
    auto heading = area.removeFromTop ((int) (outputLabel->getFont().getHeight() + 10.0f));
    helpButton->setBounds (heading.removeFromRight (25));
    outputLabel->setBounds (heading);

    outputList->setRowHeight (juce::jmax (1, (int) (itemHeight * 0.7)));
    outputList->setBounds (area);
}

void MidiDeviceSelector::showHelpBox()
{
    ::showHelpBox (
        "MIDI Output Help",
        "Here you can select MIDI outputs on your computer to control with your actions in VR. If you want to "
        "send MIDI to your DAW (or multimedia software), enable the checkbox for \"Virtual MIDI Output (to DAW)\". "
        "Lastly, in your DAW, go to the MIDI settings, and ensure you allow MIDI input from the MIDI port named "
        "\"Sondrevix Connect\". If you're using Ableton, make sure \"Remote\" and \"Track\" are set to \"On\" for "
        "\"Sondrevix Connect\".");
}

//==============================================================================
MidiDeviceSelector::MidiOutputSelectorComponentListBox::MidiOutputSelectorComponentListBox (MidiDeviceManager& manager,
                                                                                            const juce::String& portName)
    : juce::ListBox ({}, nullptr),
      deviceManager (manager),
      virtualPortName (portName)
{
    refreshItems();
    setModel (this);
    setColour (juce::ListBox::backgroundColourId, juce::Colour (0x00FFFFFF));
}

void MidiDeviceSelector::MidiOutputSelectorComponentListBox::refreshItems()
{
    items.clearQuick();
    items.add (virtualRowText());

    for (const auto& device : deviceManager.getPortSystem().getAvailableOutputs())
        items.add (device.name);
}

bool MidiDeviceSelector::MidiOutputSelectorComponentListBox::isVirtualRow (int row) const
{
    // Compared by text, so a hardware output that happens to carry the virtual row's
    // text stands for the virtual source too.
    return items[row] == virtualRowText();
}

juce::String MidiDeviceSelector::MidiOutputSelectorComponentListBox::getDeviceNameForRow (int row) const
{
    return isVirtualRow (row) ? virtualPortName : items[row];
}

bool MidiDeviceSelector::MidiOutputSelectorComponentListBox::isRowTicked (int row) const
{
    return deviceManager.isOutputOpen (getDeviceNameForRow (row));
}

void MidiDeviceSelector::MidiOutputSelectorComponentListBox::flipEnablement (int row)
{
    if (! juce::isPositiveAndBelow (row, items.size()))
        return;

    // The rows are not touched here: the manager's change message rebuilds them.
    deviceManager.setMidiOutputDeviceEnabled (getDeviceNameForRow (row), ! isRowTicked (row), isVirtualRow (row));
}

//==============================================================================
void MidiDeviceSelector::MidiOutputSelectorComponentListBox::paint (juce::Graphics& g)
{
    fillListBackground (g, getLocalBounds());

    juce::ListBox::paint (g);
}

int MidiDeviceSelector::MidiOutputSelectorComponentListBox::getNumRows()
{
    return items.size();
}

void MidiDeviceSelector::MidiOutputSelectorComponentListBox::paintListBoxItem (int row, juce::Graphics& g,
                                                                               int width, int height, bool rowIsSelected)
{
    if (! juce::isPositiveAndBelow (row, items.size()))
        return;

    if (rowIsSelected)
        g.fillAll (findColour (juce::TextEditor::highlightColourId, false));

    const auto rowHeight = (float) getRowHeight();
    const auto boxSize = 0.75f * (float) height;

    getLookAndFeel().drawTickBox (g, *this, rowHeight - boxSize, ((float) height - boxSize) * 0.5f,
                                  boxSize, boxSize, isRowTicked (row), true, true, false);

    g.setFont (makeRegularFont().withHeight (18.0f));
    g.setColour (findColour (juce::ListBox::textColourId, true));

    const auto textX = juce::jmin (width, juce::roundToInt (rowHeight + 0.5f * (float) height));
    g.drawText (items[row], textX, -1, width - textX, height, juce::Justification::centredLeft, true);
}

void MidiDeviceSelector::MidiOutputSelectorComponentListBox::listBoxItemClicked (int row, const juce::MouseEvent& e)
{
    selectRow (row);

    // Only a click on the tick box toggles; a click on the text just selects.
    if (e.x < getRowHeight())
        flipEnablement (row);
}

void MidiDeviceSelector::MidiOutputSelectorComponentListBox::listBoxItemDoubleClicked (int row, const juce::MouseEvent&)
{
    flipEnablement (row);
}

void MidiDeviceSelector::MidiOutputSelectorComponentListBox::returnKeyPressed (int row)
{
    flipEnablement (row);
}
