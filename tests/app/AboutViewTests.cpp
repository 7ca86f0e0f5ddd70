#include "app/AboutView.h"
#include "app/Application.h"
#include "platform/Appearance.h"

#include <gtest/gtest.h>

namespace
{
    struct TextBlock { int top, bottom; };

    /** Paints a view of the given size with the appearance pinned. */
    juce::Image paintAboutView (int width, int height, bool dark)
    {
        sx::platform::setDarkModeOverride (dark);
        AboutView view;
        view.setSize (width, height);
        auto image = view.createComponentSnapshot (view.getLocalBounds(), true, 1.0f);
        sx::platform::setDarkModeOverride (std::nullopt);
        return image;
    }

    bool isNear (juce::Colour a, juce::Colour b, int tolerance)
    {
        return std::abs (a.getRed() - b.getRed()) <= tolerance
            && std::abs (a.getGreen() - b.getGreen()) <= tolerance
            && std::abs (a.getBlue() - b.getBlue()) <= tolerance;
    }

    /** Bands of rows at or below firstRow that hold pixels close to the text colour. */
    std::vector<TextBlock> findTextBlocks (const juce::Image& image, int firstRow, juce::Colour text)
    {
        std::vector<TextBlock> blocks;

        for (int y = firstRow; y < image.getHeight(); ++y)
        {
            bool hasText = false;

            for (int x = 0; x < image.getWidth() && ! hasText; ++x)
                hasText = isNear (image.getPixelAt (x, y), text, 60);

            if (! hasText)
                continue;

            if (! blocks.empty() && blocks.back().bottom == y)
                blocks.back().bottom = y + 1;
            else
                blocks.push_back ({ y, y + 1 });
        }

        return blocks;
    }

    /** The smallest rectangle holding every pixel that is not the background. */
    juce::Rectangle<int> paintedArea (const juce::Image& image, juce::Rectangle<int> within, juce::Colour background)
    {
        juce::Rectangle<int> area;

        for (int y = within.getY(); y < within.getBottom(); ++y)
            for (int x = within.getX(); x < within.getRight(); ++x)
                if (! isNear (image.getPixelAt (x, y), background, 8))
                    area = area.isEmpty() ? juce::Rectangle<int> (x, y, 1, 1)
                                          : area.getUnion ({ x, y, 1, 1 });

        return area;
    }

    double centre (const TextBlock& block)   { return (block.top + block.bottom) / 2.0; }
}

class AboutViewPainting : public ::testing::TestWithParam<bool>
{
protected:
    Application app;   // the view takes the name and version from the running application

    bool dark() const                { return GetParam(); }
    juce::Colour background() const  { return juce::Colour (dark() ? 0xFF373337 : 0xFFEFEFEF); }
    juce::Colour text() const        { return dark() ? juce::Colours::white : juce::Colours::black; }
};

TEST_P (AboutViewPainting, DialogSizeShowsLogoNameAndVersionInTheirRows)
{
    const auto image = paintAboutView (280, 180, dark());

    EXPECT_EQ (image.getPixelAt (0, 0), background());
    EXPECT_EQ (image.getPixelAt (279, 179), background());

    // The logo is drawn 68 x 68 at (106, 10), centred across the view.
    const auto logo = paintedArea (image, { 0, 0, 280, 80 }, background());
    EXPECT_GE (logo.getX(), 106);
    EXPECT_LE (logo.getRight(), 174);
    EXPECT_GE (logo.getY(), 10);
    EXPECT_LE (logo.getBottom(), 78);
    EXPECT_GE (logo.getWidth(), 60);
    EXPECT_NEAR (logo.getCentreX(), 140, 2);

    // Name row 88..112, version row 112..144, each text centred in its row.
    const auto blocks = findTextBlocks (image, 78, text());
    ASSERT_EQ (blocks.size(), 2u);
    EXPECT_NEAR (centre (blocks[0]), 100.0, 3.0);
    EXPECT_GE (blocks[0].top, 88);
    EXPECT_NEAR (centre (blocks[1]), 128.0, 3.0);
    EXPECT_LE (blocks[1].bottom, 144);

    // Nothing below the version row.
    EXPECT_TRUE (paintedArea (image, { 0, 144, 280, 36 }, background()).isEmpty());
}

TEST_P (AboutViewPainting, ShortViewLosesItsLastRowsFirst)
{
    // At a height of 100 the logo keeps 68, the gap 10, the name row gets 2 and
    // the version row nothing.
    const auto image = paintAboutView (280, 100, dark());

    const auto logo = paintedArea (image, { 0, 0, 280, 78 }, background());
    EXPECT_GE (logo.getY(), 10);
    EXPECT_GE (logo.getHeight(), 60);

    const auto blocks = findTextBlocks (image, 78, text());
    ASSERT_EQ (blocks.size(), 1u) << "only the name is drawn";
    EXPECT_NEAR (centre (blocks[0]), 89.0, 3.0);
}

INSTANTIATE_TEST_SUITE_P (Appearance, AboutViewPainting, ::testing::Values (true, false),
                          [] (const auto& info) { return info.param ? "Dark" : "Light"; });
