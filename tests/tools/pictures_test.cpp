// The generated pictures meet what the clock face and the about window draw over them.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include "readback.h"

namespace {

const double kPi = 3.14159265358979;

Png load(const std::string& rel) {
    Png p = readPng(runDir() + "/" + rel);
    EXPECT_TRUE(p.ok) << rel;
    return p;
}

// Darkest pixel on a short arc at radius r around the hands' centre pixel (160, 120).
double darkestOnArc(const Png& p, double r, double fromDeg, double toDeg) {
    double best = 255;
    for (double a = fromDeg; a <= toDeg; a += 0.05) {
        double rad = a * kPi / 180;
        int x = static_cast<int>(std::lround(160 + r * std::sin(rad)));
        int y = static_cast<int>(std::lround(120 - r * std::cos(rad)));
        best = std::min(best, p.luma(x, y));
    }
    return best;
}

TEST(Background, IsOpaqueRgbOfScreenSize) {
    Png bg = load("data/bg.png");
    EXPECT_EQ(bg.w, 320);
    EXPECT_EQ(bg.h, 240);
    EXPECT_EQ(bg.bitDepth, 8);
    EXPECT_EQ(bg.colourType, 2) << "RGB without alpha";
}

TEST(Background, DialUnderTheHandsIsLightEnoughForBlackHands) {
    Png bg = load("data/bg.png");
    ASSERT_TRUE(bg.ok);
    // The product name under twelve is the one thing drawn inside the hands' circle.
    auto isName = [](int x, int y) { return x >= 140 && x <= 181 && y >= 62 && y <= 80; };
    double darkest = 255;
    int nameInk = 0;
    for (int y = 0; y < 240; ++y)
        for (int x = 0; x < 320; ++x) {
            if (std::hypot(x - 160, y - 120) > 89) continue;
            if (isName(x, y)) {
                nameInk += bg.luma(x, y) < 180;
                continue;
            }
            darkest = std::min(darkest, bg.luma(x, y));
        }
    EXPECT_GT(darkest, 200);
    EXPECT_LT(nameInk, 150) << "the name stays small";
}

TEST(Background, SixtyTicksAndTwelveStrongerMarksOutsideTheHands) {
    Png bg = load("data/bg.png");
    ASSERT_TRUE(bg.ok);
    for (int i = 0; i < 60; ++i) {
        double a = i * 6.0;
        SCOPED_TRACE("minute " + std::to_string(i));
        EXPECT_LT(darkestOnArc(bg, 95, a - 1, a + 1), 170) << "tick";
        EXPECT_GT(darkestOnArc(bg, 95, a + 2, a + 4), 200) << "gap after the tick";
        // Only hour marks reach beyond the minute ticks.
        double outer = darkestOnArc(bg, 99.5, a - 1, a + 1);
        if (i % 5 == 0) EXPECT_LT(outer, 100) << "hour mark";
        else EXPECT_GT(outer, 200) << "minute tick too long";
    }
}

TEST(Background, CornersUnderTheAlarmTextAndBoxAreCalm) {
    Png bg = load("data/bg.png");
    ASSERT_TRUE(bg.ok);
    double lo = 255, hi = 0;
    for (int y = 218; y < 240; ++y)
        for (int x = 0; x <= 70; ++x) {
            lo = std::min(lo, bg.luma(x, y));
            hi = std::max(hi, bg.luma(x, y));
        }
    EXPECT_GT(lo, 170) << "black alarm text must read on it";
    EXPECT_LT(hi - lo, 25) << "no pattern behind the text";
}

TEST(AlarmPicture, SmallDarkOnTransparent) {
    Png bell = load("data/weck.png");
    ASSERT_TRUE(bell.ok);
    EXPECT_LE(bell.w, 20);
    EXPECT_LE(bell.h, 13);
    EXPECT_EQ(bell.colourType, 6) << "RGBA";
    int clear = 0, ink = 0;
    for (int y = 0; y < bell.h; ++y)
        for (int x = 0; x < bell.w; ++x) {
            clear += bell.at(x, y)[3] == 0;
            ink += bell.at(x, y)[3] == 255 && bell.luma(x, y) < 80;
        }
    EXPECT_EQ(bell.at(0, bell.h - 1)[3], 0);
    EXPECT_GT(clear, bell.w * bell.h / 4);
    EXPECT_GT(ink, 30) << "dark enough to see on the light desk";
}

// Logos are shown with white as colour key: white must be exact, and nothing else may come
// close to it, or it shows as a pale halo on the about window's dark backdrop.
void expectKeyedLogo(const Png& logo) {
    int key = 0, ink = 0;
    for (int y = 0; y < logo.h; ++y)
        for (int x = 0; x < logo.w; ++x) {
            const uint8_t* p = logo.at(x, y);
            ASSERT_EQ(p[3], 255) << "no alpha: the key does the transparency";
            if (p[0] == 255 && p[1] == 255 && p[2] == 255) {
                ++key;
                continue;
            }
            ++ink;
            ASSERT_LT(logo.luma(x, y), 225) << "near-white pixel at " << x << "," << y;
        }
    for (auto [x, y] : {std::pair{0, 0}, {logo.w - 1, 0}, {0, logo.h - 1}, {logo.w - 1, logo.h - 1}})
        EXPECT_EQ(logo.luma(x, y), 255) << "corner " << x << "," << y;
    EXPECT_GT(ink, logo.w * logo.h / 6);
    EXPECT_GT(key, logo.w * logo.h / 6);
}

TEST(Logos, MakerWordmark) {
    Png logo = load("data/fennick.png");
    ASSERT_TRUE(logo.ok);
    EXPECT_GE(logo.w, 150);
    EXPECT_LE(logo.w, 200);
    EXPECT_GE(logo.h, 35);
    EXPECT_LE(logo.h, 45);
    expectKeyedLogo(logo);
}

TEST(Logos, ProductMark) {
    Png logo = load("Tavlo.png");
    ASSERT_TRUE(logo.ok);
    EXPECT_GE(logo.w, 44);
    EXPECT_LE(logo.w, 48);
    EXPECT_EQ(logo.w, logo.h);
    expectKeyedLogo(logo);
}

TEST(Icon, RoundFaceOnTransparency) {
    Png icon = readPng(HX_ICON);
    ASSERT_TRUE(icon.ok);
    EXPECT_EQ(icon.w, 32);
    EXPECT_EQ(icon.h, 32);
    EXPECT_EQ(icon.colourType, 6);
    EXPECT_EQ(icon.at(0, 0)[3], 0);
    EXPECT_EQ(icon.at(31, 31)[3], 0);
    EXPECT_EQ(icon.at(16, 8)[3], 255);
}

}  // namespace
