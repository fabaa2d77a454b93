// Lines and filled triangles: the listed rasters, a step-by-step reference, clipping.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <set>
#include <utility>
#include <vector>

#include "gfx/draw.h"
#include "gfx/gfx.h"
#include "support/surface.h"

namespace {

using pixels = std::set<std::pair<int, int>>;

struct Draw : ::testing::Test {
    void SetUp() override
    {
        screen = make565();
        clear16(screen, 0);
    }
    void TearDown() override
    {
        SDL_FreeSurface(screen);
        screen = nullptr;
    }
    pixels drawn()
    {
        pixels p;
        for (int y = 0; y < 240; y++)
            for (int x = 0; x < 320; x++)
                if (get16(screen, x, y))
                    p.insert({x, y});
        clear16(screen, 0);
        return p;
    }
};

/* rows as {y, x from, x to} */
pixels rows(std::initializer_list<std::vector<int>> r)
{
    pixels p;
    for (auto& v : r)
        for (int x = v[1]; x <= v[2]; x++)
            p.insert({x, v[0]});
    return p;
}

// Step-by-step reference of the midpoint line, as the rule reads, on small coordinates.
pixels refline(int x1, int y1, int x2, int y2)
{
    pixels p;
    if (x1 > x2)
        std::swap(x1, x2), std::swap(y1, y2);
    int dx = x2 - x1, dy = y2 - y1, cls;
    if (dy < 0 && -dy > dx) cls = 0;
    else if (dy < 0) cls = 1;
    else if (dx > dy) cls = 2;
    else if (dy > 0) cls = 3;
    else return p;
    auto work = [&](int x, int y, int& s, int& t) {
        switch (cls) {
        case 0: s = -y; t = x; break;
        case 1: s = x; t = -y; break;
        case 2: s = x; t = y; break;
        default: s = y; t = x; break;
        }
    };
    auto plot = [&](int s, int t) {
        int x, y;
        switch (cls) {
        case 0: x = t; y = -s; break;
        case 1: x = s; y = -t; break;
        case 2: x = s; y = t; break;
        default: x = t; y = s; break;
        }
        if (x >= 0 && x < 320 && y >= 0 && y < 240)
            p.insert({x, y});
    };
    int s1, t1, s2, t2;
    work(x1, y1, s1, t1);
    work(x2, y2, s2, t2);
    int ds = s2 - s1, dt = t2 - t1, d = 2 * dt - ds, t = t1;
    plot(s1, t1);
    for (int s = s1 + 1; s <= s2; s++) {
        if (d < 0)
            d += 2 * dt;
        else
            d += 2 * (dt - ds), t++;
        plot(s, t);
    }
    return p;
}

// Step-by-step reference of the triangle fill in 32-bit fixed point.
pixels refpolygon(int x1, int y1, int x2, int y2, int x3, int y3)
{
    pixels p;
    auto span = [&](int a, int b, int y) {
        if (a > b) std::swap(a, b);
        for (int x = a; x <= b; x++)
            if (x >= 0 && x < 320 && y >= 0 && y < 240)
                p.insert({x, y});
    };
    struct pt { int x, y; } T, M, B, P3 = {x3, y3};
    if (y1 < y2) T = {x1, y1}, B = {x2, y2};
    else T = {x2, y2}, B = {x1, y1};
    if (T.y <= P3.y && P3.y <= B.y) M = P3;
    else if (P3.y < T.y) M = T, T = P3;
    else M = B, B = P3;
    if (T.y == M.y && M.y == B.y) return p;
    int sTB = (B.x - T.x) * 65536 / (B.y - T.y), e1, e2;
    if (M.y != T.y) {
        int sTM = (M.x - T.x) * 65536 / (M.y - T.y);
        e1 = e2 = T.x * 65536;
        span(T.x, T.x, T.y);
        for (int y = T.y + 1; y <= M.y; y++) {
            e1 += sTB, e2 += sTM;
            span(e1 >> 16, e2 >> 16, y);
        }
    } else {
        e1 = T.x * 65536, e2 = M.x * 65536;
        span(T.x, M.x, T.y);
    }
    if (B.y == M.y) {
        span(M.x, B.x, M.y);
        return p;
    }
    int sMB = (B.x - M.x) * 65536 / (B.y - M.y);
    for (int y = M.y + 1; y <= B.y; y++) {
        e1 += sTB, e2 += sMB;
        span(e1 >> 16, e2 >> 16, y);
    }
    return p;
}

}  // namespace

TEST_F(Draw, LineMatchesListedRasters)
{
    Line(0, 0, 2, 1, 1);
    EXPECT_EQ(drawn(), (pixels{{0, 0}, {1, 1}, {2, 1}}));
    Line(2, 1, 0, 0, 1);
    EXPECT_EQ(drawn(), (pixels{{0, 0}, {1, 1}, {2, 1}}));
    Line(0, 0, 1, 2, 1);
    EXPECT_EQ(drawn(), (pixels{{0, 0}, {1, 1}, {1, 2}}));
    Line(0, 2, 1, 0, 1);
    EXPECT_EQ(drawn(), (pixels{{0, 2}, {1, 1}, {1, 0}}));
    Line(0, 3, 3, 0, 1);
    EXPECT_EQ(drawn(), (pixels{{0, 3}, {1, 2}, {2, 1}, {3, 0}}));
    Line(5, 5, 5, 5, 1);
    EXPECT_TRUE(drawn().empty());
    Line(4, 9, 4, 6, 1);  // vertical, upward
    EXPECT_EQ(drawn(), rows({{6, 4, 4}, {7, 4, 4}, {8, 4, 4}, {9, 4, 4}}));
}

TEST_F(Draw, TriangleOutlineWithTwoEqualPointsDrawsTheOtherSides)
{
    TriAngle(0, 0, 0, 0, 3, 0, 1);
    EXPECT_EQ(drawn(), rows({{0, 0, 3}}));
}

TEST_F(Draw, HLineIncludesBothEndsInEitherOrder)
{
    HLine(5, 2, 7, 1);
    EXPECT_EQ(drawn(), rows({{7, 2, 5}}));
    HLine(3, 3, 7, 1);
    EXPECT_EQ(drawn(), rows({{7, 3, 3}}));
}

TEST_F(Draw, PolygonMatchesListedRasters)
{
    Polygon(0, 0, 5, 0, 9, 0, 1);  // one row: nothing
    EXPECT_TRUE(drawn().empty());
    Polygon(3, 0, 3, 0, 3, 3, 1);
    EXPECT_EQ(drawn(), rows({{0, 3, 3}, {1, 3, 3}, {2, 3, 3}, {3, 3, 3}}));
    Polygon(0, 0, 4, 0, 0, 4, 1);
    EXPECT_EQ(drawn(), rows({{0, 0, 4}, {1, 0, 3}, {2, 0, 2}, {3, 0, 1}, {4, 0, 0}}));
    Polygon(2, 0, 0, 4, 4, 4, 1);
    EXPECT_EQ(drawn(), rows({{0, 2, 2}, {1, 1, 2}, {2, 1, 3}, {3, 0, 3}, {4, 0, 4}}));
    Polygon(0, 0, 6, 2, 1, 5, 1);
    EXPECT_EQ(drawn(), rows({{0, 0, 0}, {1, 0, 3}, {2, 0, 6}, {3, 0, 4}, {4, 0, 2}, {5, 0, 1}}));
    Polygon(5, 0, 6, 3, 5, 4, 1);
    EXPECT_EQ(drawn(), rows({{0, 5, 5}, {1, 5, 5}, {2, 5, 5}, {3, 5, 5}, {4, 4, 5}}));
}

TEST_F(Draw, RastersEqualTheStepByStepWalkAndIgnorePointOrder)
{
    std::mt19937 rng(12345);
    std::uniform_int_distribution<int> coord(-40, 360);
    for (int n = 0; n < 250; n++) {
        int v[6];
        for (int& c : v)
            c = coord(rng);
        if (n % 3 == 0)
            v[3] = v[1];  // flat tops and bottoms are the tricky cases
        Line(v[0], v[1], v[2], v[3], 1);
        ASSERT_EQ(drawn(), refline(v[0], v[1], v[2], v[3]))
            << "Line " << v[0] << "," << v[1] << " " << v[2] << "," << v[3];
        Polygon(v[0], v[1], v[2], v[3], v[4], v[5], 1);
        pixels p = drawn();
        ASSERT_EQ(p, refpolygon(v[0], v[1], v[2], v[3], v[4], v[5]))
            << "Polygon " << v[0] << "," << v[1] << " " << v[2] << "," << v[3] << " " << v[4]
            << "," << v[5];
        int order[3] = {0, 1, 2};
        while (std::next_permutation(order, order + 3)) {
            Polygon(v[2 * order[0]], v[2 * order[0] + 1], v[2 * order[1]], v[2 * order[1] + 1],
                    v[2 * order[2]], v[2 * order[2] + 1], 1);
            ASSERT_EQ(drawn(), p) << "order " << order[0] << order[1] << order[2];
        }
    }
}

TEST_F(Draw, ColourVariantsCrossRedAndBlue)
{
    SDL_Color c = {0, 0, 255, 0};  // third byte 255: drawn red
    HLine2(0, 1, 0, c);
    Polygon2(10, 10, 12, 10, 10, 12, c);
    EXPECT_EQ(get16(screen, 0, 0), 0xF800);
    EXPECT_EQ(get16(screen, 1, 0), 0xF800);
    EXPECT_EQ(get16(screen, 10, 11), 0xF800);
    EXPECT_EQ(crossedcolour(SDL_Color{255, 0, 0, 0}), 0x001F);
}

TEST_F(Draw, NothingIsWrittenOutsideTheScreenOrTheClipForAnyCoordinates)
{
    // The screen's buffer sits between two guard zones that must stay untouched.
    const int guard = 4096;
    std::vector<Uint16> buf(guard + 320 * 240 + guard, 0xABCD);
    SDL_Surface* own = screen;
    screen = SDL_CreateRGBSurfaceFrom(&buf[guard], 320, 240, 16, 640, 0xF800, 0x07E0, 0x001F, 0);
    std::mt19937 rng(99);
    const int big[] = {-2147483647 - 1, -1000000000, -70000, -1, 0, 160, 319, 320,
                       70000, 1000000000, 2147483647};
    std::uniform_int_distribution<int> pick(0, 10);
    for (int n = 0; n < 2000; n++) {
        int v[6];
        for (int& c : v)
            c = big[pick(rng)];
        Polygon(v[0], v[1], v[2], v[3], v[4], v[5], 0x1111);
        Line(v[0], v[1], v[2], v[3], 0x2222);
        HLine(v[0], v[1], v[2] % 240, 0x3333);
        PutPixel(v[4], v[5], 0x4444);
    }
    for (int i = 0; i < guard; i++) {
        ASSERT_EQ(buf[i], 0xABCD);
        ASSERT_EQ(buf[guard + 320 * 240 + i], 0xABCD);
    }
    // A huge triangle that covers the screen fills all of it.
    Polygon(-1000000000, -1000000000, 2000000000, 0, -1000000000, 1000000000, 0x5555);
    EXPECT_EQ(countnot(screen, 0x5555), 0);
    SDL_FreeSurface(screen);
    screen = own;

    // Within a clip rectangle: the very pixels of the unclipped drawing inside it,
    // nothing outside it.
    SDL_Surface* unclipped = make565();
    std::uniform_int_distribution<int> near(-60, 380);
    for (int n = 0; n < 600; n++) {
        SDL_Rect clip = {(Sint16)near(rng), (Sint16)near(rng), (Uint16)(rng() % 200), (Uint16)(rng() % 160)};
        int v[6];
        for (int& c : v)
            c = n % 4 ? near(rng) : big[pick(rng)];
        for (SDL_Surface* s : {unclipped, own}) {
            screen = s;
            clear16(s, 0xABCD);
            SDL_SetClipRect(s, s == own ? &clip : nullptr);
            Polygon(v[0], v[1], v[2], v[3], v[4], v[5], 0x1111);
            Polygon2(v[1], v[0], v[3], v[2], v[5], v[4], SDL_Color{1, 2, 3, 0});
            TriAngle(v[4], v[5], v[0], v[1], v[2], v[3], 0x2222);
            HLine(v[0], v[2], v[3], 0x3333);
            HLine2(v[4], v[1], v[5], SDL_Color{3, 2, 1, 0});
            PutPixel(v[4], v[1], 0x4444);
        }
        int bad = clipdiff(own, unclipped, 0xABCD);
        ASSERT_EQ(bad, -1) << "at " << bad % 320 << "," << bad / 320 << "; clip " << clip.x << ","
                           << clip.y << " " << clip.w << "x" << clip.h << ", points " << v[0] << ","
                           << v[1] << " " << v[2] << "," << v[3] << " " << v[4] << "," << v[5];
    }
    SDL_SetClipRect(own, nullptr);
    SDL_FreeSurface(unclipped);
    screen = own;
}
