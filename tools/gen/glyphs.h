// Our own stroke lettering: digits and the few letters the logos spell, as centre lines.
#pragma once
#include <string>
#include <vector>
#include "shapes.h"

// Glyph space: top of digits and ascenders at y = 0, baseline at y = 1, x from 0.
struct Glyph {
    std::vector<Polyline> lines;
    float width;  // ink width, without spacing
};

Glyph glyph(char c);  // digits 0-9 and the letters a c e f i k l n o v T; others are blank
// A word laid out with the given gap between glyphs, in glyph space.
std::vector<Polyline> word(const std::string& text, float gap);
float wordWidth(const std::string& text, float gap);
