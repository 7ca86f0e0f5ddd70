#pragma once

#include <juce_gui_basics/juce_gui_basics.h>

#include "app/MenuBar.h"

/** The content of the application's window. */
class MainComponent : public juce::Component
{
public:
    MainComponent (juce::PropertiesFile* properties, juce::ApplicationCommandManager* commandManager);
    ~MainComponent() override;

    void paint (juce::Graphics& g) override;
    void resized() override;

private:
    juce::PropertiesFile* properties;
    juce::ApplicationCommandManager* commandManager;
    std::unique_ptr<MenuBar> menuBar;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (MainComponent)
};
