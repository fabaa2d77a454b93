// Text output: the three qualities, colour taken at the call, UTF-8, missing fonts.
#include <gtest/gtest.h>

#include <cstdio>
#include <set>
#include <vector>

#include "gfx/gfx.h"
#include "gfx/text.h"
#include "support/surface.h"

namespace {

struct Text : ::testing::Test {
    void SetUp() override
    {
        ASSERT_TRUE(chdir_rundir());
        ASSERT_EQ(SDL_Init(SDL_INIT_VIDEO), 0);
        ASSERT_EQ(inittext(), 0);
        dst = make565();
        clear16(dst, 0x0001);  // a blue no text colour below gives
        globalcolor = {255, 255, 255, 0};
        globalcolor2 = {0, 0, 0, 0};
        textquality = 1;
    }
    void TearDown() override
    {
        quittext();
        SDL_FreeSurface(dst);
        SDL_Quit();
        textquality = 1;
    }
    std::set<Uint16> colours()
    {
        std::set<Uint16> c;
        for (int i = 0; i < 320 * 240; i++)
            c.insert(((Uint16*)dst->pixels)[i]);
        return c;
    }
    SDL_Surface* dst = nullptr;
};

}  // namespace

TEST_F(Text, QualitySelectsTheRenderer)
{
    // solid: only the text colour over the untouched background
    for (int q : {0, 1, 4}) {
        textquality = q;
        clear16(dst, 0x0001);
        outtextxy(dst, 10, 10, "Weckzeit:");
        EXPECT_EQ(colours(), (std::set<Uint16>{0x0001, 0xFFFF})) << q;
    }
    // blended: anti-aliased edges mix text and background
    textquality = 2;
    clear16(dst, 0x0001);
    outtextxy(dst, 10, 10, "Weckzeit:");
    EXPECT_GT(colours().size(), 3u);
    EXPECT_TRUE(colours().count(0xFFFF));
    // shaded: an opaque box in the second colour (black) behind the text
    textquality = 3;
    clear16(dst, 0x0001);
    outtextxy(dst, 10, 10, "Weckzeit:");
    EXPECT_TRUE(colours().count(0x0000));
    int w = 0, h = 0;
    TTF_SizeUTF8(bigfont, "Weckzeit:", &w, &h);
    EXPECT_EQ(get16(dst, 10, 10), 0x0000);  // the box's corner
    EXPECT_EQ(get16(dst, 10 + w, 10), 0x0001);
}

TEST_F(Text, ColourIsTakenAtEachCall)
{
    textquality = 1;
    globalcolor = {255, 0, 0, 0};
    outtextxyklein(dst, 0, 0, "A");
    globalcolor = {0, 255, 0, 0};
    outtextxyklein(dst, 100, 0, "A");
    std::set<Uint16> left, right;
    for (int y = 0; y < 30; y++)
        for (int x = 0; x < 50; x++) {
            left.insert(get16(dst, x, y));
            right.insert(get16(dst, 100 + x, y));
        }
    EXPECT_EQ(left, (std::set<Uint16>{0x0001, 0xF800}));
    EXPECT_EQ(right, (std::set<Uint16>{0x0001, 0x07E0}));
}

TEST_F(Text, UmlautIsOneGlyphAndSizesDiffer)
{
    int w = 0, h = 0, minx, maxx, miny, maxy, advance;
    ASSERT_EQ(TTF_SizeUTF8(medfont, "\xC3\xBC", &w, &h), 0);
    ASSERT_EQ(TTF_GlyphMetrics(medfont, 0xFC, &minx, &maxx, &miny, &maxy, &advance), 0);
    EXPECT_EQ(w, advance);
    int big = 0, small = 0;
    TTF_SizeUTF8(bigfont, "Steht", &big, &h);
    TTF_SizeUTF8(smafont, "Steht", &small, &h);
    EXPECT_GT(big, w);
    EXPECT_GT(big, small);
}

TEST_F(Text, NothingWithoutFontOrText)
{
    TTF_Font* keep = smafont;
    smafont = nullptr;
    outtextxymini(dst, 10, 10, "12:00");
    smafont = keep;
    outtextxymini(dst, 10, 10, "");
    outtextxymini(dst, 10, 10, nullptr);
    EXPECT_EQ(countnot(dst, 0x0001), 0);
}

TEST(TextInit, MissingFontFileReportsFailureAndDrawsNothing)
{
    ASSERT_EQ(chdir("/"), 0);
    ASSERT_EQ(SDL_Init(SDL_INIT_VIDEO), 0);
    EXPECT_EQ(inittext(), -1);
    EXPECT_EQ(bigfont, nullptr);
    SDL_Surface* dst = make565();
    clear16(dst, 0x0001);
    outtextxy(dst, 0, 2, "Lade Background...");
    EXPECT_EQ(countnot(dst, 0x0001), 0);
    quittext();
    SDL_FreeSurface(dst);
    SDL_Quit();
}

TEST_F(Text, KeptRenderingsGiveTheSamePixelsAndFollowTheColours)
{
    textquality = 2;
    auto region = [&](int x0) {
        std::vector<Uint16> v;
        for (int y = 0; y < 25; y++)
            for (int x = x0; x < x0 + 100; x++)
                v.push_back(get16(dst, x, y));
        return v;
    };
    outtextxy(dst, 0, 0, "12:34:56");
    for (int i = 0; i < 40; i++) {  // more texts than are kept
        char t[8];
        std::snprintf(t, sizeof t, "%d", i);
        outtextxy(dst, 0, 100, t);
    }
    outtextxy(dst, 150, 0, "12:34:56");
    outtextxy(dst, 0, 50, "12:34:56");  // kept this time
    EXPECT_EQ(region(0), region(150));
    std::vector<Uint16> first = region(0);
    clear16(dst, 0x0001);
    outtextxy(dst, 0, 0, "12:34:56");
    EXPECT_EQ(region(0), first);

    // the shaded quality's box follows the second colour
    textquality = 3;
    globalcolor2 = {0, 0, 0, 0};
    outtextxy(dst, 0, 150, "Steht");
    EXPECT_EQ(get16(dst, 0, 150), 0x0000);
    globalcolor2 = {255, 0, 0, 0};
    outtextxy(dst, 0, 150, "Steht");
    EXPECT_EQ(get16(dst, 0, 150), 0xF800);

    // two colour pairs are never taken for one another (these two once shared a key)
    globalcolor = {255, 255, 255, 0};
    globalcolor2 = {0, 0, 0, 0};
    outtextxy(dst, 0, 0, "12:34:56");
    globalcolor = {255, 255, 222, 0};
    globalcolor2 = {0, 0, 1, 0};
    outtextxy(dst, 150, 0, "12:34:56");
    EXPECT_NE(region(0), region(150));
}
