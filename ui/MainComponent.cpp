#include "MainComponent.h"
#include "ColourSchemes.h"

MainComponent::MainComponent (juce::PropertiesFile* propertiesToUse, juce::ApplicationCommandManager* commandManagerToUse)
    : properties (propertiesToUse),
      commandManager (commandManagerToUse)
{
    // The bar gets no bounds: the menus show where the system shows them.
    menuBar = std::make_unique<MenuBar> (commandManager);
    addAndMakeVisible (*menuBar);

    setSize (700, 800);
}

MainComponent::~MainComponent() = default;

void MainComponent::paint (juce::Graphics& g)
{
    g.fillAll (getCurrentColourScheme().getUIColour (juce::LookAndFeel_V4::ColourScheme::windowBackground));
}

void MainComponent::resized() {}
