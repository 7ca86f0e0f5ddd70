#include "ui/Buttons.h"

#include "ui/ColourSchemes.h"
#include "ui/Fonts.h"

#include <SxResources.h>

namespace
{
    // The button images are drawn at twice their on-screen resolution, so an
    // 18-pixel corner of the image fills 9 units of the button.
    constexpr int destinationCorner = 9;
    constexpr int imageCorner = 18;

    /** Start and size of the three spans that a length is cut into, corners clamped to what there is. */
    struct Spans
    {
        std::array<int, 3> start, size;
    };

    Spans cut (int origin, int length, int corner)
    {
        length = juce::jmax (0, length);
        const auto first = juce::jmin (length, corner);
        const auto last = juce::jmin (length - first, corner);
        return { { origin, origin + first, origin + length - last },
                 { first, length - first - last, last } };
    }
}

std::array<NineSlicePiece, 9> getNineSlicePieces (juce::Rectangle<int> destination, int imageWidth, int imageHeight)
{
    const auto destColumns = cut (destination.getX(), destination.getWidth(), destinationCorner);
    const auto destRows = cut (destination.getY(), destination.getHeight(), destinationCorner);
    const auto imageColumns = cut (0, imageWidth, imageCorner);
    const auto imageRows = cut (0, imageHeight, imageCorner);

    std::array<NineSlicePiece, 9> pieces;

    for (size_t row = 0; row < 3; ++row)
        for (size_t column = 0; column < 3; ++column)
            pieces[row * 3 + column] = {
                { destColumns.start[column], destRows.start[row], destColumns.size[column], destRows.size[row] },
                { imageColumns.start[column], imageRows.start[row], imageColumns.size[column], imageRows.size[row] }
            };

    return pieces;
}

void drawImageNineSlice (juce::Graphics& g, juce::Rectangle<int> destination, const juce::Image& image)
{
    const auto imageWidth = image.isValid() ? image.getWidth() : 0;
    const auto imageHeight = image.isValid() ? image.getHeight() : 0;

    for (const auto& piece : getNineSlicePieces (destination, imageWidth, imageHeight))
    {
        // The framework would divide by a zero source size, so empty pieces are skipped here.
        if (piece.destination.isEmpty() || piece.source.isEmpty())
            continue;

        g.drawImage (image,
                     piece.destination.getX(), piece.destination.getY(),
                     piece.destination.getWidth(), piece.destination.getHeight(),
                     piece.source.getX(), piece.source.getY(),
                     piece.source.getWidth(), piece.source.getHeight(),
                     false);
    }
}

namespace sx
{

Button::Button (const juce::String& name)
    : juce::Button (name)
{
    setMouseCursor (juce::MouseCursor::PointingHandCursor);
    normalImage = juce::ImageCache::getFromMemory (SxResources::button_normal_png, SxResources::button_normal_pngSize);
    downImage = juce::ImageCache::getFromMemory (SxResources::button_down_png, SxResources::button_down_pngSize);
}

void Button::paintButton (juce::Graphics& g, bool, bool shouldDrawButtonAsDown)
{
    drawImageNineSlice (g, getLocalBounds(), shouldDrawButtonAsDown ? downImage : normalImage);

    // Type faces differ between systems: a name that would be cut off on a narrow
    // button is narrowed instead (to 70 % at most), so it stays readable.
    auto font = makeRegularFont();
    const auto room = (float) getWidth() - 8.0f;
    const auto textWidth = font.getStringWidthFloat (getName());

    if (room > 0.0f && textWidth > room)
        font.setHorizontalScale (juce::jmax (0.7f, room / textWidth));

    g.setFont (font);
    // Asked at every paint, so the text follows a change of appearance.
    g.setColour (getCurrentColourScheme().getUIColour (juce::LookAndFeel_V4::ColourScheme::defaultText));

    // One unit up: the image's shadow sits below the face, so this centres the text on the face.
    g.drawText (getName(), juce::Rectangle<float> (0.0f, -1.0f, (float) getWidth(), (float) getHeight()),
                juce::Justification::centred, false);
}

ToggleButtonSwitch::ToggleButtonSwitch (const juce::String& name)
    : juce::Button (name)
{
    setMouseCursor (juce::MouseCursor::PointingHandCursor);
    knobColour = juce::Colour (0xFFFFFFFF);
    offColour = juce::Colour (0.0f, 0.0f, 0.75f, (juce::uint8) 255);
    setClickingTogglesState (true);
}

void ToggleButtonSwitch::paintButton (juce::Graphics& g, bool, bool)
{
    // Only the toggle state counts: holding the mouse down shows nothing until the click flips it.
    const auto on = getToggleState();
    const auto w = getWidth();
    const auto h = getHeight();

    const juce::Rectangle<float> track (2.0f, 2.0f, (float) juce::jmax (0, w - 4), (float) juce::jmax (0, h - 4));
    g.setColour (on ? brandGradientEnd : offColour);
    g.fillRoundedRectangle (track, track.getHeight() * 0.5f);

    const auto knobBoxWidth = juce::jmax (0, w - 6);
    const auto knobBoxHeight = juce::jmax (0, h - 6);
    const auto diameter = juce::jmin (knobBoxWidth, knobBoxHeight);
    const auto x = on ? 3 + knobBoxWidth - diameter : 3;

    juce::Path knob;
    knob.addEllipse ((float) x, 3.0f, (float) diameter, (float) knobBoxHeight);

    shadow = juce::DropShadow (juce::Colour (0x80000000), 1, { 0, 1 });
    shadow.drawForPath (g, knob);

    g.setColour (knobColour);
    g.fillPath (knob);
}

} // namespace sx
