#include "app/AboutView.h"
#include "app/Application.h"
#include "platform/Appearance.h"

#include <gtest/gtest.h>

// The logo is 68 high from y = 10, then a gap of 10; the name row is 24 high and the
// version row 32, cut from what is left. At a height of 100 the name row keeps only
// 2 pixels and the version row none, so only the name's top shows.
TEST (AboutView, RowsAtDialogSizeAndWhenShort)
{
    const Application app;   // the view takes the name and version from the running application

    struct Case { int height; std::vector<double> textRowCentres; };
    const Case cases[] = { { 180, { 100.0, 128.0 } }, { 100, { 89.0 } } };

    const auto isNear = [] (juce::Colour a, juce::Colour b, int tolerance)
    {
        return std::abs (a.getRed() - b.getRed()) <= tolerance
            && std::abs (a.getGreen() - b.getGreen()) <= tolerance
            && std::abs (a.getBlue() - b.getBlue()) <= tolerance;
    };

    for (const bool dark : { true, false })
    {
        sx::platform::setDarkModeOverride (dark);
        const auto background = juce::Colour (dark ? 0xFF373337 : 0xFFEFEFEF);
        const auto text = dark ? juce::Colours::white : juce::Colours::black;

        for (const auto& c : cases)
        {
            SCOPED_TRACE ((dark ? "dark, height " : "light, height ") + std::to_string (c.height));
            AboutView view;
            view.setSize (280, c.height);
            const auto image = view.createComponentSnapshot (view.getLocalBounds(), true, 1.0f);

            juce::Rectangle<int> logo;
            std::vector<juce::Range<int>> textRows;

            for (int y = 0; y < c.height; ++y)
            {
                bool hasText = false;

                for (int x = 0; x < 280; ++x)
                {
                    const auto pixel = image.getPixelAt (x, y);

                    if (y < 78 && ! isNear (pixel, background, 8))
                        logo = logo.isEmpty() ? juce::Rectangle<int> (x, y, 1, 1) : logo.getUnion ({ x, y, 1, 1 });

                    hasText = hasText || (y >= 78 && isNear (pixel, text, 60));
                }

                if (hasText && ! textRows.empty() && textRows.back().getEnd() == y)
                    textRows.back().setEnd (y + 1);
                else if (hasText)
                    textRows.push_back ({ y, y + 1 });
            }

            EXPECT_NEAR (logo.getCentreX(), 140, 2);
            EXPECT_GE (logo.getY(), 10);
            EXPECT_LE (logo.getBottom(), 78);
            EXPECT_GE (logo.getHeight(), 60);

            ASSERT_EQ (textRows.size(), c.textRowCentres.size());

            for (size_t i = 0; i < textRows.size(); ++i)
                EXPECT_NEAR ((textRows[i].getStart() + textRows[i].getEnd()) / 2.0, c.textRowCentres[i], 3.0);
        }
    }

    sx::platform::setDarkModeOverride (std::nullopt);
}
