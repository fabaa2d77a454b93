// Canvas painting and export.
#include "canvas.h"

#include <algorithm>
#include <cmath>

Canvas::Canvas(int w, int h) : w_(w), h_(h), px_(static_cast<size_t>(w) * h * 4, 0.0f) {}

void Canvas::blend(int x, int y, Rgb c, float k) {
    if (k <= 0) return;
    k = std::min(k, 1.0f);
    float* p = at(x, y);
    p[0] = c.r * k + p[0] * (1 - k);
    p[1] = c.g * k + p[1] * (1 - k);
    p[2] = c.b * k + p[2] * (1 - k);
    p[3] = k + p[3] * (1 - k);
}

void fill(Canvas& cv, Rgb c) {
    fill(cv, [c](float, float) { return c; });
}

void fill(Canvas& cv, const Paint& p) {
    for (int y = 0; y < cv.h(); ++y)
        for (int x = 0; x < cv.w(); ++x) {
            Rgb c = p(x + 0.5f, y + 0.5f);
            float* q = cv.at(x, y);
            q[0] = c.r; q[1] = c.g; q[2] = c.b; q[3] = 1;
        }
}

void draw(Canvas& cv, const Field& f, Rgb c, float alpha, Box box) {
    draw(cv, f, [c](float, float) { return c; }, alpha, box);
}

void draw(Canvas& cv, const Field& f, const Paint& p, float alpha, Box box) {
    if (box.x1 <= box.x0 || box.y1 <= box.y0) box = {0, 0, cv.w(), cv.h()};
    int x0 = std::max(box.x0, 0), y0 = std::max(box.y0, 0);
    int x1 = std::min(box.x1, cv.w()), y1 = std::min(box.y1, cv.h());
    for (int y = y0; y < y1; ++y)
        for (int x = x0; x < x1; ++x) {
            float cx = x + 0.5f, cy = y + 0.5f;
            float cover = std::clamp(0.5f - f(cx, cy), 0.0f, 1.0f);
            if (cover > 0) cv.blend(x, y, p(cx, cy), cover * alpha);
        }
}

static uint8_t to8(float v) {
    return static_cast<uint8_t>(std::clamp(std::lround(v), 0L, 255L));
}

// A fixed 4x4 Bayer pattern: the same bytes on every run and every machine.
static float bayer(int x, int y) {
    static const int m[4][4] = {{0, 8, 2, 10}, {12, 4, 14, 6}, {3, 11, 1, 9}, {15, 7, 13, 5}};
    return (m[y & 3][x & 3] + 0.5f) / 16.0f - 0.5f;
}

std::vector<uint8_t> toRgb(const Canvas& cv, bool dither) {
    std::vector<uint8_t> out;
    out.reserve(static_cast<size_t>(cv.w()) * cv.h() * 3);
    for (int y = 0; y < cv.h(); ++y)
        for (int x = 0; x < cv.w(); ++x) {
            const float* p = cv.at(x, y);
            float d = dither ? bayer(x, y) : 0.0f;
            for (int i = 0; i < 3; ++i) out.push_back(to8(p[i] + d));
        }
    return out;
}

std::vector<uint8_t> toRgba(const Canvas& cv) {
    std::vector<uint8_t> out;
    out.reserve(static_cast<size_t>(cv.w()) * cv.h() * 4);
    for (int y = 0; y < cv.h(); ++y)
        for (int x = 0; x < cv.w(); ++x) {
            const float* p = cv.at(x, y);
            uint8_t a = to8(p[3] * 255);
            for (int i = 0; i < 3; ++i) out.push_back(a ? to8(p[i] / p[3]) : 0);
            out.push_back(a);
        }
    return out;
}

std::vector<uint8_t> toKeyed(const Canvas& cv, Rgb backdrop) {
    std::vector<uint8_t> out;
    out.reserve(static_cast<size_t>(cv.w()) * cv.h() * 3);
    const float bg[3] = {backdrop.r, backdrop.g, backdrop.b};
    for (int y = 0; y < cv.h(); ++y)
        for (int x = 0; x < cv.w(); ++x) {
            const float* p = cv.at(x, y);
            bool clear = p[3] < 0.5f / 255;
            for (int i = 0; i < 3; ++i) out.push_back(clear ? 255 : to8(p[i] + bg[i] * (1 - p[3])));
        }
    return out;
}
