#pragma once

#include <juce_gui_basics/juce_gui_basics.h>

/** The About dialog's content: the logo, the application's name and its version. */
class AboutView final : public juce::Component
{
public:
    ~AboutView() override;

    void paint (juce::Graphics& g) override;
    void resized() override;
};
