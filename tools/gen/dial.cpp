// The clock face background and its miniature for the menu icon.
#include <cmath>
#include <string>
#include "assets.h"
#include "canvas.h"
#include "glyphs.h"
#include "shapes.h"

namespace {

// The hands turn about pixel (160, 120); its centre is at (160.5, 120.5) in canvas space,
// which also puts the cardinal marks squarely on pixel columns and rows.
const Pt kCentre{160.5f, 120.5f};
const Rgb kInk{46, 38, 33};        // warm near-black of ticks and numerals
const Rgb kInkSoft{96, 84, 74};

float mix(float a, float b, float t) { return a + (b - a) * t; }
Rgb mix(Rgb a, Rgb b, float t) { return {mix(a.r, b.r, t), mix(a.g, b.g, t), mix(a.b, b.b, t)}; }
float smooth(float e0, float e1, float x) {
    float t = std::fmin(std::fmax((x - e0) / (e1 - e0), 0.0f), 1.0f);
    return t * t * (3 - 2 * t);
}

Pt polar(Pt c, float r, float turns) {  // turns: 0 = twelve o'clock, clockwise
    float a = turns * 2 * kPi;
    return {c.x + r * std::sin(a), c.y - r * std::cos(a)};
}

// The desk around the dial: a linen tone, a touch lighter at the top, darker in the corners.
Rgb desk(float x, float y) {
    Rgb top{216, 208, 192}, bottom{203, 194, 177};
    Rgb c = mix(top, bottom, y / 240);
    float dx = (x - 160) / 160, dy = (y - 120) / 120;
    float v = 1 - 0.05f * smooth(0.6f, 1.5f, dx * dx + dy * dy);
    return {c.r * v, c.g * v, c.b * v};
}

// Paper: brightest a little above the centre, as if lit from above, warmer toward the rim.
Rgb paper(float x, float y) {
    float d = std::hypot(x - kCentre.x, y - kCentre.y + 8) / 113;
    return mix(Rgb{250, 246, 236}, Rgb{236, 227, 208}, smooth(0.2f, 1.05f, d));
}

void numerals(Canvas& cv, float innerR, float height, float width, Rgb ink) {
    for (int h = 1; h <= 12; ++h) {
        std::string s = std::to_string(h);
        float gap = 0.16f;
        float w = wordWidth(s, gap) * height, ht = height;
        float a = h / 12.0f * 2 * kPi;
        float ux = std::sin(a), uy = -std::cos(a);
        // Push the glyph box out until its nearest edge clears the inner radius.
        float reach = std::fabs(ux) * w / 2 + std::fabs(uy) * ht / 2;
        Pt c = polar(kCentre, innerR + reach, h / 12.0f);
        auto lines = place(word(s, gap), {c.x - w / 2, c.y - ht / 2}, height);
        draw(cv, strokes(lines, width), ink, 1, bounds(lines, width + 1));
    }
}

}  // namespace

Picture makeDial() {
    Canvas cv(320, 240);
    fill(cv, desk);

    // Soft shadow under the dial, falling a little downward.
    for (int i = 0; i < 6; ++i)
        draw(cv, disc({kCentre.x, kCentre.y + 2.5f}, 118.0f + i), Rgb{120, 106, 88}, 0.045f);

    // Bezel: walnut, lit from above, rounded by a lighter band along its middle.
    Paint wood = [](float x, float y) {
        Rgb c = mix(Rgb{134, 102, 74}, Rgb{72, 52, 38}, smooth(0, 240, y));
        float r = std::hypot(x - kCentre.x, y - kCentre.y);
        float bevel = 1 - std::fabs(r - 115.6f) / 3.2f;
        return mix(c, Rgb{170, 136, 100}, 0.35f * std::fmax(bevel, 0.0f));
    };
    draw(cv, disc(kCentre, 118.6f), wood);
    draw(cv, disc(kCentre, 112.6f), paper);
    // A faint inner shadow under the bezel lip gives the paper depth.
    draw(cv, ring(kCentre, 110.6f, 113.0f), Rgb{150, 130, 100}, 0.10f);

    // The hairline marks where the hand tips end.
    draw(cv, ring(kCentre, 90.9f, 91.5f), kInkSoft, 0.7f);
    for (int i = 0; i < 60; ++i) {
        float t = i / 60.0f;
        if (i % 5 == 0) {
            float w = i % 15 == 0 ? 3.0f : 2.4f;
            draw(cv, stroke(polar(kCentre, 92.4f + w / 2, t), polar(kCentre, 101.0f - w / 2, t), w), kInk);
        } else {
            draw(cv, stroke(polar(kCentre, 92.6f, t), polar(kCentre, 97.2f, t), 1.0f), kInk, 0.9f);
        }
    }
    numerals(cv, 103.0f, 8.0f, 1.4f, kInk);

    // The product's name, small and quiet, under twelve.
    const float nameH = 10, nameGap = 0.2f;
    auto name = place(word("Horatik", nameGap), {kCentre.x - wordWidth("Horatik", nameGap) * nameH / 2, 66}, nameH);
    draw(cv, strokes(name, 1.1f), kInkSoft, 1, bounds(name, 2));

    return {320, 240, 3, toRgb(cv, true)};
}

Picture makeIcon(int size) {
    // Drawn on a 32-unit grid and scaled, so every size is the same picture.
    const float k = size / 32.0f;
    Canvas cv(size, size);
    Pt c{16 * k, 16 * k};
    draw(cv, disc(c, 15.2f * k), Rgb{92, 68, 50});
    draw(cv, disc(c, 13.2f * k), [k](float x, float y) {
        return mix(Rgb{252, 248, 238}, Rgb{232, 222, 200}, smooth(0, 13, std::hypot(x / k - 16, y / k - 15)));
    });
    for (int i = 0; i < 12; ++i) {
        float len = i % 3 == 0 ? 3.2f : 2.0f;
        draw(cv, stroke(polar(c, (12.4f - len) * k, i / 12.0f), polar(c, 12.4f * k, i / 12.0f), (i % 3 == 0 ? 1.6f : 1.1f) * k), kInk);
    }
    // Ten past ten: the hands frame the centre the way clock makers like to show them.
    draw(cv, stroke(c, polar(c, 6.5f * k, (10 + 10 / 60.0f) / 12), 2.0f * k), Rgb{20, 18, 16});
    draw(cv, stroke(c, polar(c, 10.0f * k, 10 / 60.0f), 1.5f * k), Rgb{20, 18, 16});
    draw(cv, stroke(polar(c, -2.5f * k, 0.58f), polar(c, 10.5f * k, 0.58f), 0.8f * k), Rgb{190, 50, 36});
    draw(cv, disc(c, 1.4f * k), Rgb{20, 18, 16});
    return {size, size, 4, toRgba(cv)};
}
