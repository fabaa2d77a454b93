// Stroke lettering. Curves are arcs of ellipses so every size renders smoothly.
#include "glyphs.h"

static Glyph digit(char c) {
    switch (c) {
    case '0': return {{arc({0.3f, 0.5f}, 0.3f, 0.5f, 0, 360, 40)}, 0.6f};
    case '1': return {{{{0.06f, 0.22f}, {0.3f, 0.0f}, {0.3f, 1.0f}}}, 0.36f};
    case '2': return {{join(arc({0.3f, 0.29f}, 0.29f, 0.29f, 190, 360 + 35),
                            {{0.0f, 1.0f}, {0.62f, 1.0f}})}, 0.62f};
    case '3': return {{join(arc({0.29f, 0.25f}, 0.26f, 0.25f, 200, 360 + 90, 20),
                            arc({0.29f, 0.73f}, 0.3f, 0.27f, -90, 160, 20))}, 0.6f};
    case '4': return {{{{0.46f, 1.0f}, {0.46f, 0.0f}, {0.0f, 0.7f}, {0.64f, 0.7f}}}, 0.64f};
    case '5': return {{join({{0.56f, 0.0f}, {0.1f, 0.0f}, {0.05f, 0.45f}},
                            arc({0.3f, 0.67f}, 0.3f, 0.33f, -125, 150, 24))}, 0.6f};
    case '6': return {{join(arc({0.31f, 0.5f}, 0.31f, 0.5f, -75, -180, 12),
                            arc({0.31f, 0.69f}, 0.29f, 0.31f, 180, 540, 30))}, 0.61f};
    case '7': return {{{{0.0f, 0.0f}, {0.6f, 0.0f}, {0.2f, 1.0f}}}, 0.6f};
    case '8': return {{arc({0.3f, 0.25f}, 0.24f, 0.25f, 0, 360, 28),
                       arc({0.3f, 0.74f}, 0.29f, 0.26f, 0, 360, 28)}, 0.6f};
    case '9': return {{join(arc({0.3f, 0.31f}, 0.29f, 0.31f, 0, 360, 30),
                            arc({0.3f, 0.5f}, 0.29f, 0.5f, 0, 105, 12))}, 0.6f};
    default: return {{}, 0.5f};
    }
}

// Lower-case letters stand on x-height 0.45 (y from 0.55 to 1).
static Glyph letter(char c) {
    const float xt = 0.55f;  // x-height top
    switch (c) {
    case 'a': return {{arc({0.24f, 0.775f}, 0.24f, 0.225f, 0, 360, 28), {{0.48f, xt}, {0.48f, 1.0f}}}, 0.48f};
    case 'l': return {{{{0.0f, 0.0f}, {0.0f, 1.0f}}}, 0.0f};
    case 'o': return {{arc({0.25f, 0.775f}, 0.25f, 0.225f, 0, 360, 28)}, 0.5f};
    case 'v': return {{{{0.0f, xt}, {0.23f, 1.0f}, {0.46f, xt}}}, 0.46f};
    case 'c': return {{arc({0.26f, 0.775f}, 0.26f, 0.225f, -40, -320, 24)}, 0.48f};
    case 'e': return {{join({{0.02f, 0.77f}, {0.52f, 0.77f}},
                            arc({0.27f, 0.775f}, 0.26f, 0.225f, 0, -310, 28))}, 0.53f};
    case 'f': return {{join(arc({0.36f, 0.2f}, 0.2f, 0.2f, -20, -180, 12), {{0.16f, 1.0f}}),
                       {{0.0f, xt}, {0.42f, xt}}}, 0.5f};
    case 'i': return {{{{0.0f, xt}, {0.0f, 1.0f}}, {{0.0f, 0.3f}}}, 0.0f};
    case 'k': return {{{{0.0f, 0.0f}, {0.0f, 1.0f}}, {{0.42f, xt}, {0.0f, 0.83f}},
                       {{0.13f, 0.75f}, {0.46f, 1.0f}}}, 0.46f};
    case 'n': return {{{{0.0f, xt}, {0.0f, 1.0f}},
                       join(arc({0.23f, 0.76f}, 0.23f, 0.21f, 180, 360, 14), {{0.46f, 1.0f}})}, 0.46f};
    case 'r': return {{{{0.0f, xt}, {0.0f, 1.0f}},
                       arc({0.26f, 0.78f}, 0.26f, 0.23f, 180, 280, 10)}, 0.32f};
    case 't': return {{join({{0.12f, 0.25f}, {0.12f, 0.9f}}, arc({0.26f, 0.9f}, 0.14f, 0.1f, 180, 60, 8)),
                       {{0.0f, xt}, {0.34f, xt}}}, 0.36f};
    case 'H': return {{{{0.0f, 0.0f}, {0.0f, 1.0f}}, {{0.62f, 0.0f}, {0.62f, 1.0f}},
                       {{0.0f, 0.5f}, {0.62f, 0.5f}}}, 0.62f};
    case 'T': return {{{{0.0f, 0.0f}, {0.7f, 0.0f}}, {{0.35f, 0.0f}, {0.35f, 1.0f}}}, 0.7f};
    default: return digit(c);
    }
}

Glyph glyph(char c) {
    return (c >= '0' && c <= '9') ? digit(c) : letter(c);
}

std::vector<Polyline> word(const std::string& text, float gap) {
    std::vector<Polyline> out;
    float x = 0;
    for (char c : text) {
        Glyph g = glyph(c);
        for (Polyline& l : place(g.lines, {x, 0}, 1)) out.push_back(l);
        x += g.width + gap;
    }
    return out;
}

float wordWidth(const std::string& text, float gap) {
    float x = 0;
    for (char c : text) x += glyph(c).width + gap;
    return text.empty() ? 0 : x - gap;
}
