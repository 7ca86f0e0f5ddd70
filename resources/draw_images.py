#!/usr/bin/python3
"""Draws every embedded PNG image of the application into this folder.

Run with Debian's python3-pil:  /usr/bin/python3 resources/draw_images.py

Each image is drawn at SS times its size and reduced with a Lanczos filter,
which gives smooth edges without relying on the drawing library's own
(absent) anti-aliasing. The output is deterministic, so re-running the script
leaves the committed files unchanged.
"""

import os

from PIL import Image, ImageChops, ImageDraw, ImageFilter, ImageFont

HERE = os.path.dirname(os.path.abspath(__file__))
SS = 4  # supersampling factor

BRAND_START = (0xFF, 0x00, 0xBF)  # pink, left end of the brand gradient
BRAND_END = (0x2F, 0xAA, 0xFF)    # blue, right end

BOLD_FONT = "/usr/share/fonts/truetype/dejavu/DejaVuSans-Bold.ttf"


def save(image, name):
    image.save(os.path.join(HERE, name), optimize=True)


def reduce(image, size):
    return image.resize(size, Image.LANCZOS)


def mask_to_colour(mask, rgb, alpha=255):
    """An RGBA image of one colour whose alpha is the mask scaled by alpha/255."""
    layer = Image.new("RGBA", mask.size, rgb + (0,))
    layer.putalpha(mask.point(lambda v: v * alpha // 255))
    return layer


def horizontal_gradient(size, start, end):
    width, height = size
    row = Image.new("RGB", (256, 1))
    row.putdata([tuple(round(a + (b - a) * i / 255) for a, b in zip(start, end))
                 for i in range(256)])
    return row.resize((width, height), Image.BILINEAR)


# ---------------------------------------------------------------------------
# logo.png: a rounded square in the brand gradient carrying a white sound wave,
# the picture of what the application does: motion in VR turned into sound.

def draw_logo(size=1024):
    big = size * SS
    # Rounded square with a thin transparent margin so scaled copies keep a clean edge.
    margin = round(big * 0.035)
    radius = round(big * 0.23)
    shape = Image.new("L", (big, big), 0)
    ImageDraw.Draw(shape).rounded_rectangle(
        (margin, margin, big - margin - 1, big - margin - 1), radius=radius, fill=255)

    # The gradient runs left to right with a slight tilt, so the top left is the
    # most pink and the bottom right the most blue.
    gradient = horizontal_gradient((big * 2, big * 2), BRAND_START, BRAND_END)
    gradient = gradient.rotate(-18, resample=Image.BICUBIC).crop(
        (big // 2, big // 2, big // 2 + big, big // 2 + big))
    logo = Image.new("RGBA", (big, big), (0, 0, 0, 0))
    logo.paste(gradient, (0, 0), shape)

    # Five rounded bars, symmetric, tallest in the middle: a sound wave.
    bars = Image.new("L", (big, big), 0)
    draw = ImageDraw.Draw(bars)
    heights = [0.22, 0.42, 0.60, 0.42, 0.22]
    bar_width = big * 0.085
    gap = big * 0.055
    total = len(heights) * bar_width + (len(heights) - 1) * gap
    x = (big - total) / 2
    for h in heights:
        half = big * h / 2
        draw.rounded_rectangle((x, big / 2 - half, x + bar_width, big / 2 + half),
                               radius=bar_width / 2, fill=255)
        x += bar_width + gap

    shadow = bars.filter(ImageFilter.GaussianBlur(big * 0.012))
    shadow = ImageChops.offset(shadow, 0, round(big * 0.008))
    logo = Image.alpha_composite(logo, mask_to_colour(ImageChops.multiply(shadow, shape),
                                                      (40, 0, 80), 70))
    logo = Image.alpha_composite(logo, mask_to_colour(bars, (255, 255, 255)))
    save(reduce(logo, (size, size)), "logo.png")


# ---------------------------------------------------------------------------
# help_icon_*.png: a question mark in a circle, 144 x 138.

def draw_help_icon(name, rgb):
    width, height = 144, 138
    big_w, big_h = width * SS, height * SS
    mask = Image.new("L", (big_w, big_h), 0)
    draw = ImageDraw.Draw(mask)

    stroke = 11 * SS
    diameter = (height - 4) * SS
    left = (big_w - diameter) / 2
    top = (big_h - diameter) / 2
    draw.ellipse((left, top, left + diameter, top + diameter), fill=255)
    draw.ellipse((left + stroke, top + stroke, left + diameter - stroke, top + diameter - stroke),
                 fill=0)

    font = ImageFont.truetype(BOLD_FONT, 92 * SS)
    # Centre the glyph's ink, not its advance box, in the circle.
    x0, y0, x1, y1 = draw.textbbox((0, 0), "?", font=font)
    cx, cy = big_w / 2, big_h / 2
    draw.text((cx - (x0 + x1) / 2, cy - (y0 + y1) / 2), "?", font=font, fill=255)

    save(reduce(mask_to_colour(mask, rgb), (width, height)), name)


# ---------------------------------------------------------------------------
# triangle_*.png: disclosure triangles with softly rounded corners, 120 x 120.

def draw_triangle(name, rgb, pointing_down):
    size = 120
    big = size * SS
    mask = Image.new("L", (big, big), 0)

    # An isosceles triangle pointing right, its centroid in the middle of the image.
    length = 0.62 * big   # from the base to the tip
    base = 0.74 * big
    cx = big / 2
    points = [(cx - length / 3, big / 2 - base / 2),
              (cx + 2 * length / 3, big / 2),
              (cx - length / 3, big / 2 + base / 2)]
    # Rounded corners: shrink the triangle, then grow it back with a blur-free dilation.
    rounding = int(0.06 * big) | 1
    inset = Image.new("L", (big, big), 0)
    ImageDraw.Draw(inset).polygon(points, fill=255)
    inset = inset.filter(ImageFilter.MinFilter(rounding))
    mask = inset.filter(ImageFilter.MaxFilter(rounding))
    mask = mask.filter(ImageFilter.GaussianBlur(SS * 0.4))

    if pointing_down:
        mask = mask.transpose(Image.ROTATE_270)
    save(reduce(mask_to_colour(mask, rgb), (size, size)), name)


# ---------------------------------------------------------------------------
# button_*.png: a translucent white rounded rectangle with a brighter top edge
# and a soft black shadow, 68 x 70. The button draws the 18-pixel corners of
# this image at half size, so every measure here is twice its size on screen.

def draw_button(name, fill_alpha):
    width, height = 68, 70
    big_w, big_h = width * SS, height * SS
    left, top, right, bottom = 4, 3, width - 4, height - 7   # shape bounds, image pixels
    radius = 12

    shape = Image.new("L", (big_w, big_h), 0)
    ImageDraw.Draw(shape).rounded_rectangle(
        (left * SS, top * SS, right * SS - 1, bottom * SS - 1), radius=radius * SS, fill=255)

    # Shadow: blurred and pushed down so it is darkest below, kept outside the shape
    # so the translucent fill stays clean white.
    shadow = ImageChops.offset(shape, 0, 2 * SS).filter(ImageFilter.GaussianBlur(2.2 * SS))
    shadow = ImageChops.subtract(shadow, shape)

    # Top edge: the band between the shape and the shape moved down by 2 pixels.
    lowered = ImageChops.offset(shape, 0, 2 * SS)
    top_edge = ImageChops.subtract(shape, lowered)

    image = Image.new("RGBA", (big_w, big_h), (0, 0, 0, 0))
    image = Image.alpha_composite(image, mask_to_colour(shadow, (0, 0, 0), 0x70))
    image = Image.alpha_composite(image, mask_to_colour(shape, (255, 255, 255), fill_alpha))
    image = Image.alpha_composite(image, mask_to_colour(top_edge, (255, 255, 255), 0x60))
    save(reduce(image, (width, height)), name)


if __name__ == "__main__":
    draw_logo()
    draw_help_icon("help_icon_dark.png", (0xF2, 0xF2, 0xF2))
    draw_help_icon("help_icon_light.png", (0x3A, 0x3A, 0x3C))
    draw_triangle("triangle_right_dark.png", (0xFF, 0xFF, 0xFF), pointing_down=False)
    draw_triangle("triangle_down_dark.png", (0xFF, 0xFF, 0xFF), pointing_down=True)
    draw_triangle("triangle_right_light.png", (0x3A, 0x3A, 0x3C), pointing_down=False)
    draw_triangle("triangle_down_light.png", (0x3A, 0x3A, 0x3C), pointing_down=True)
    draw_button("button_normal.png", 0x40)
    draw_button("button_down.png", 0x5C)
