// The about window: its record, its drawing inside its frame, and the R key closing it.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <sys/stat.h>

#include "gfx/gfx.h"
#include "gfx/text.h"
#include "gui/about.h"
#include "guitest.h"
#include "support/surface.h"

using namespace guitest;

namespace {

Uint16 pattern(int x, int y) { return static_cast<Uint16>(0x2000 + (x * 5 + y * 11) % 0x400); }

struct About : ::testing::Test {
    static void SetUpTestSuite()
    {
        ASSERT_EQ(SDL_Init(SDL_INIT_VIDEO), 0);
        ASSERT_TRUE(chdir_rundir());
        ASSERT_EQ(inittext(), 0);
        textquality = 2;
    }
    static void TearDownTestSuite()
    {
        quittext();
        SDL_Quit();
    }
    void SetUp() override
    {
        resetinput();
        screen = make565();
        for (int y = 0; y < 240; y++)
            for (int x = 0; x < 320; x++)
                reinterpret_cast<Uint16*>(screen->pixels)[x + y * 320] = pattern(x, y);
        bg = nullptr;
        setaboutwindow();
    }
    void TearDown() override
    {
        delaboutwindow();
        SDL_FreeSurface(screen);
        screen = nullptr;
        ASSERT_TRUE(chdir_rundir());
    }
};

TEST_F(About, OneBackButtonOnR)
{
    ASSERT_NE(aboutwindow, nullptr);
    EXPECT_STREQ(aboutwindow->name, "about");
    EXPECT_EQ(aboutwindow->x * 1000 + aboutwindow->y, 50050);
    EXPECT_EQ(aboutwindow->w * 1000 + aboutwindow->h, 219139);
    EXPECT_EQ(aboutwindow->style, 56);
    EXPECT_EQ(aboutwindow->draw, aboutdraw);
    EXPECT_EQ(aboutwindow->move, aboutmove);

    telement* e = aboutwindow->first;
    ASSERT_NE(e, nullptr);
    EXPECT_EQ(e->next, nullptr);
    EXPECT_EQ(e->kind, kbutton);
    tbutton* b = getbuttonpointer(aboutwindow, "back");
    ASSERT_EQ(b, static_cast<telement*>(e));
    EXPECT_STREQ(b->text, "Zurück");
    EXPECT_EQ(b->keymask, 0x800u);
    EXPECT_EQ(b->style, 48);
    EXPECT_EQ(b->x * 1000000 + b->y * 1000 + b->w, 70115080);
    EXPECT_EQ(b->h, 15);
    EXPECT_EQ(b->click, aboutendeclick);
    EXPECT_EQ(b->hold, nullptr);
}

TEST_F(About, DrawingStaysInsideTheFrameAndEndsBlack)
{
    aboutdraw(aboutwindow);
    EXPECT_EQ(globalcolor.r + globalcolor.g + globalcolor.b, 0);
    EXPECT_EQ(testwindow(aboutwindow), 0);
    int outside = 0, frame = 0, buttonframe = 0, inside = 0;
    for (int y = 0; y < 240; y++)
        for (int x = 0; x < 320; x++) {
            bool in = x >= 50 && x <= 269 && y >= 50 && y <= 189;
            bool corner = (x == 50 || x == 269) && (y == 50 || y == 189);
            bool edge = in && !corner && (x == 50 || x == 269 || y == 50 || y == 189);
            Uint16 v = get16(screen, x, y);
            outside += !in && v != pattern(x, y);
            frame += edge && v != 0;   /* no text or picture reaches the frame */
            inside += in && !edge && v != pattern(x, y);
        }
    /* the button's black frame on columns 120 and 200, rows 165 and 180 */
    for (int j = 166; j < 180; j++)
        buttonframe += get16(screen, 120, j) != 0 || get16(screen, 200, j) != 0;
    EXPECT_EQ(outside, 0);
    EXPECT_EQ(frame, 0);
    EXPECT_EQ(buttonframe, 0);
    EXPECT_GT(inside, 0);   /* the text lines and the caption */
}

/* BMP content under PNG names: IMG_Load goes by the content */
void writelogo(const char* path)
{
    SDL_Surface* s =
        SDL_CreateRGBSurface(SDL_SWSURFACE, 10, 10, 24, 0xFF0000, 0x00FF00, 0x0000FF, 0);
    SDL_FillRect(s, nullptr, SDL_MapRGB(s->format, 255, 255, 255));
    SDL_Rect red = {2, 2, 3, 3};
    SDL_FillRect(s, &red, SDL_MapRGB(s->format, 255, 0, 0));
    ASSERT_EQ(SDL_SaveBMP(s, path), 0);
    SDL_FreeSurface(s);
}

TEST_F(About, LogosAreDrawnWithWhiteTransparent)
{
    char dir[] = "/tmp/horatik-about-XXXXXX";
    ASSERT_NE(mkdtemp(dir), nullptr);
    ASSERT_EQ(chdir(dir), 0);
    ASSERT_EQ(mkdir("data", 0755), 0);
    writelogo("data/fennick.png");
    writelogo("Tavlo.png");
    aboutdraw(aboutwindow);
    for (int x0 : {50, 66}) {
        int y0 = x0 == 50 ? 60 : 120;
        EXPECT_EQ(get16(screen, x0 + 3, y0 + 3), 0xF800) << x0;
        EXPECT_EQ(get16(screen, x0 + 6, y0 + 6), pattern(x0 + 6, y0 + 6)) << x0;
    }
    std::remove("data/fennick.png");
    std::remove("Tavlo.png");
    rmdir("data");
    ASSERT_EQ(chdir("/"), 0);
    rmdir(dir);
}

TEST_F(About, PressingRClosesItAndCountsAsReleased)
{
    twindow other{};
    other.quit = 5;
    aboutendeclick();
    EXPECT_EQ(aboutwindow->quit, 1);
    aboutwindow->quit = 0;
    EXPECT_EQ(other.quit, 5);

    gettick = [] {
        /* the loop ends by the button alone; give up if it does not */
        if (++now > 5000)
            aboutwindow->quit = 2;
        return now;
    };
    joybutton(kr, true);
    joybutton(kr + 1, true);
    showwindow(aboutwindow);
    EXPECT_EQ(aboutwindow->quit, 1);
    EXPECT_EQ(keys[kr], 0);
    EXPECT_EQ(keys[kr + 1], 1);
    EXPECT_EQ(globalcolor.r + globalcolor.g + globalcolor.b, 0);
    EXPECT_EQ(testwindow(aboutwindow), 0);
}

}  // namespace
