#include "AboutView.h"

#include "ui/ColourSchemes.h"
#include "ui/Fonts.h"

#include "SxResources.h"

AboutView::~AboutView() = default;

void AboutView::paint (juce::Graphics& g)
{
    using UIColour = juce::LookAndFeel_V4::ColourScheme::UIColour;

    // Tested at every paint, so an open dialog follows a change of appearance.
    const auto& scheme = getCurrentColourScheme();
    g.fillAll (scheme.getUIColour (UIColour::windowBackground));

    auto area = getLocalBounds().withTrimmedLeft (20).withTrimmedRight (20)
                                .withTrimmedTop (10).withTrimmedBottom (10);

    // Rows are cut from the top, each no taller than what is left, so a small
    // view loses its last rows first.
    const auto logoRow = area.removeFromTop (68);

    // Decoded afresh at every paint: the view is shown rarely and briefly.
    const auto logo = juce::ImageFileFormat::loadFrom (SxResources::logo_png, (size_t) SxResources::logo_pngSize);

    if (logo.isValid() && ! logoRow.isEmpty())
    {
        const auto scale = juce::jmin ((float) logoRow.getHeight() / (float) logo.getHeight(),
                                       (float) area.getWidth()      / (float) logo.getWidth());
        const auto w = (float) logo.getWidth() * scale;
        const auto h = (float) logo.getHeight() * scale;
        const auto x = (float) area.getX() + ((float) area.getWidth() - w) * 0.5f;

        g.drawImage (logo, juce::Rectangle<float> (x, (float) logoRow.getY(), w, h),
                     juce::RectanglePlacement::stretchToFit);
    }

    area.removeFromTop (10);

    g.setColour (scheme.getUIColour (UIColour::defaultText));
    auto* app = juce::JUCEApplicationBase::getInstance();

    g.setFont (makeHeadingFont().withHeight (18.0f));
    g.drawText (app != nullptr ? app->getApplicationName() : juce::String(),
                area.removeFromTop (24), juce::Justification::centred, false);

    g.setFont (makeRegularFont().withHeight (14.0f));
    g.drawText ("Version " + (app != nullptr ? app->getApplicationVersion() : juce::String()),
                area.removeFromTop (32), juce::Justification::centred, false);
}

void AboutView::resized() {}
