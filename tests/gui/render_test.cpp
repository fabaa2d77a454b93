// Window drawing, pixel by pixel on 320x240x16 surfaces, and the button captions.
#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <string>
#include <vector>

#include "gfx/gfx.h"
#include "gfx/text.h"
#include "gui/render.h"
#include "support/surface.h"

namespace {

/* recognisable backgrounds: neither black nor white anywhere */
Uint16 screenpattern(int x, int y)
{
    return static_cast<Uint16>(0x1000 + (x * 7 + y * 13) % 0x800);
}
Uint16 bgpattern(int x, int y) { return static_cast<Uint16>(0x4000 + (x * 3 + y * 5) % 0x1000); }

void paint(SDL_Surface* s, Uint16 (*pattern)(int, int))
{
    for (int y = 0; y < s->h; y++)
        for (int x = 0; x < s->w; x++)
            reinterpret_cast<Uint16*>(s->pixels)[x + y * s->w] = pattern(x, y);
}

void set(SDL_Surface* s, int x, int y, Uint16 v)
{
    reinterpret_cast<Uint16*>(s->pixels)[x + y * s->w] = v;
}

/* The expected picture, built from the geometry rules: frame lines on x, x + w, y and
   y + h without the corners, the interior strictly inside. */
void frame(SDL_Surface* s, int x, int y, int w, int h, Uint16 c)
{
    for (int i = x + 1; i < x + w; i++) {
        set(s, i, y, c);
        set(s, i, y + h, c);
    }
    for (int j = y + 1; j < y + h; j++) {
        set(s, x, j, c);
        set(s, x + w, j, c);
    }
}

template <typename F> void interior(SDL_Surface* s, int x, int y, int w, int h, F value)
{
    for (int i = x + 1; i < x + w; i++)
        for (int j = y + 1; j < y + h; j++)
            set(s, i, j, value(i, j));
}

int differences(SDL_Surface* got, SDL_Surface* want, std::string* where = nullptr)
{
    int n = 0;
    for (int y = 0; y < 240; y++)
        for (int x = 0; x < 320; x++)
            if (get16(got, x, y) != get16(want, x, y) && n++ < 5 && where)
                *where += "(" + std::to_string(x) + "," + std::to_string(y) + ") ";
    return n;
}

#define EXPECT_SAME(got, want)                                         \
    do {                                                               \
        std::string where;                                             \
        EXPECT_EQ(differences(got, want, &where), 0) << where;         \
    } while (0)

void textbox(TTF_Font* f, const char* text, int& w, int& h)
{
    ASSERT_EQ(TTF_SizeUTF8(f, text, &w, &h), 0);
}

struct Render : ::testing::Test {
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
        screen = make565();
        want = make565();
        picture = make565();
        paint(screen, screenpattern);
        paint(want, screenpattern);
        paint(picture, bgpattern);
        bg = nullptr;
        globalcolor = {200, 210, 220, 77};
    }
    void TearDown() override
    {
        for (SDL_Surface* s : {screen, want, picture})
            SDL_FreeSurface(s);
        screen = bg = nullptr;
        if (!win)
            return;
        while (win->first) {
            std::string name = win->first->name;
            if (win->first->kind == kbutton)
                deletebutton(win, name.c_str());
            else
                deletetable(win, name.c_str());
        }
        deletewindow(win);
    }
    void restart()
    {
        paint(screen, screenpattern);
        paint(want, screenpattern);
    }
    twindow* win = nullptr;
    SDL_Surface* want;
    SDL_Surface* picture;
};

TEST_F(Render, WindowStylesChooseFillAndFrame)
{
    enum fill { none, black, picture_, negative };
    struct style {
        unsigned short bits;
        bool withbg;
        fill expect;
        int framecolour;   /* -1 no frame */
    };
    const std::array<style, 11> cases{{
        {0, true, none, 0xFFFF},          {32, false, none, 0},
        {8, false, black, 0xFFFF},        {8, true, black, 0xFFFF},
        {16, true, picture_, 0xFFFF},     {16, false, none, 0xFFFF},
        {24 | 32, true, negative, 0},     {24, false, none, 0xFFFF},
        {2 | 8, false, black, -1},        {2 | 16 | 32, true, picture_, -1},
        {4 | 8 | 16, true, none, -1},
    }};
    const int x = 10, y = 20, w = 100, h = 50;
    for (const style& c : cases) {
        SCOPED_TRACE("style " + std::to_string(c.bits) + (c.withbg ? " with bg" : " without bg"));
        restart();
        bg = c.withbg ? picture : nullptr;
        win = createwindow("", x, y, w, h, c.bits, nullptr, nullptr);
        drawwindow(win);
        if (c.expect == black)
            interior(want, x, y, w, h, [](int, int) { return Uint16(0); });
        if (c.expect == picture_)
            interior(want, x, y, w, h, bgpattern);
        if (c.expect == negative)
            interior(want, x, y, w, h, [](int i, int j) { return Uint16(~bgpattern(i, j)); });
        if (c.framecolour >= 0)
            frame(want, x, y, w, h, static_cast<Uint16>(c.framecolour));
        EXPECT_SAME(screen, want);
        EXPECT_EQ(win->changed, 0);
        /* corners never; (x, y) keeps the screen's pattern */
        EXPECT_EQ(get16(screen, x, y), screenpattern(x, y));
        deletewindow(win);
        win = nullptr;
    }
}

TEST_F(Render, TitleBarRunsFromFullToDarkBlue)
{
    const int x = 5, y = 30, w = 100, h = 60;
    for (unsigned short style : {stitle, static_cast<unsigned short>(stitle | snoframe)}) {
        SCOPED_TRACE(style);
        restart();
        win = createwindow("Titel", x, y, w, h, style, nullptr, nullptr);
        drawwindow(win);
        if (!(style & snoframe)) {
            frame(want, x, y, w, h, 0xFFFF);
            for (int i = x + 1; i < x + w; i++)
                set(want, i, y + 20, 0xFFFF);
        }
        interior(want, x, y, w, 20, [&](int i, int) { return Uint16(31 - (i - x) * 31 / w); });
        outtextxyklein(want, x + 4, y, "Titel");
        EXPECT_SAME(screen, want);
        /* right of the title: full blue at the left end, 1 at the right end */
        EXPECT_EQ(get16(screen, x + w - 1, y + 19), 1);
        EXPECT_EQ(get16(screen, x + w / 2, y + 19), 16);
        EXPECT_EQ(get16(screen, x + 1, y + 19), 31);
        deletewindow(win);
        win = nullptr;
    }
}

TEST_F(Render, ButtonCaptionIsCentredWithoutTheCellsExtraPixel)
{
    win = createwindow("", 0, 0, 319, 239, shidden, nullptr, nullptr);
    createbutton(win, "back", "Zurück", 100, 50, 90, 20, sblack | sdark, 0x800, nullptr, nullptr);
    createbutton(win, "narrow", "Zurück", 20, 100, 10, 10, sbg, 0x900, nullptr, nullptr);
    bg = picture;
    drawwindow(win);

    int tw, th;
    interior(want, 100, 50, 90, 20, [](int, int) { return Uint16(0); });
    frame(want, 100, 50, 90, 20, 0);
    textbox(medfont, "(R) Zurück", tw, th);
    outtextxyklein(want, 100 + (90 - tw) / 2, 50 + (20 - th) / 2, "(R) Zurück");
    /* wider than the button: starts left of it by half the excess, rounded toward zero */
    interior(want, 20, 100, 10, 10, bgpattern);
    frame(want, 20, 100, 10, 10, 0xFFFF);
    textbox(medfont, "(R) (Start) Zurück", tw, th);
    ASSERT_GT(tw, 10);
    outtextxyklein(want, 20 + (10 - tw) / 2, 100 + (10 - th) / 2, "(R) (Start) Zurück");
    EXPECT_SAME(screen, want);
}

TEST_F(Render, OnlyChangedVisibleElementsAreDrawnAgain)
{
    win = createwindow("", 10, 10, 200, 150, sblack, nullptr, nullptr);
    createbutton(win, "b", "Knopf", 10, 10, 80, 20, 0, 0, nullptr, nullptr);
    createbutton(win, "hidden", "versteckt", 10, 40, 80, 20, shidden | sblack, 0, nullptr, nullptr);
    createtable(win, "t", 10, 70, 90, 40, 3, 2, 0, 0, sdark);
    addtotable(win, "t", 1, 1, "x");
    drawwindow(win);
    for (telement* e = win->first; e; e = e->next)
        EXPECT_EQ(e->changed, 0) << e->name;

    /* the hidden button's place keeps the window's black fill */
    for (int j = 51; j <= 69; j++)
        for (int i = 21; i <= 99; i++)
            ASSERT_EQ(get16(screen, i, j), 0);

    /* nothing changed: nothing drawn */
    paint(screen, screenpattern);
    drawwindow(win);
    EXPECT_SAME(screen, want);

    /* one changed element: only its own rectangle is touched */
    getbuttonpointer(win, "b")->changed = 1;
    getbuttonpointer(win, "hidden")->changed = 1;
    drawwindow(win);
    EXPECT_EQ(getbuttonpointer(win, "hidden")->changed, 0);
    frame(want, 20, 20, 80, 20, 0xFFFF);
    int tw, th;
    textbox(medfont, "Knopf", tw, th);
    outtextxyklein(want, 20 + (80 - tw) / 2, 20 + (20 - th) / 2, "Knopf");
    EXPECT_SAME(screen, want);
}

/* the pixels a table grid draws, its columns and rows listed as offsets */
void grid(SDL_Surface* s, int x, int y, int w, int h, std::vector<int> cols, std::vector<int> rows,
          Uint16 c)
{
    for (int dx : cols)
        for (int j = y + 1; j < y + h; j++)
            set(s, x + dx, j, c);
    for (int dy : rows)
        for (int i = x + 1; i < x + w; i++)
            set(s, i, y + dy, c);
}

/* the 16 lines of 15 columns over 300 pixels */
const std::vector<int> twenties{0,   20,  40,  60,  80,  100, 120, 140,
                                160, 180, 200, 220, 240, 260, 280, 300};

TEST_F(Render, GridLinesSpreadTheRemainderOverTheWholeTable)
{
    win = createwindow("", 5, 5, 310, 230, shidden, nullptr, nullptr);
    createtable(win, "wide", 0, 0, 300, 100, 15, 5, 0, 0, 0);
    createtable(win, "three", 0, 120, 100, 40, 3, 2, 0, 0, sdark);
    createtable(win, "none", 200, 120, 100, 40, 0, 2, 0, 0, sblack);
    createtable(win, "flat", 200, 170, 100, 40, 2, 0, 0, 0, sblack);
    drawwindow(win);
    grid(want, 5, 5, 300, 100, twenties, {0, 20, 40, 60, 80, 100}, 0xFFFF);
    grid(want, 5, 125, 100, 40, {0, 33, 66, 100}, {0, 20, 40}, 0);
    EXPECT_SAME(screen, want);   /* tables without columns or rows draw nothing */
    EXPECT_EQ(testwindow(win), 0);
}

TEST_F(Render, CellTextsCentredSelectedOneInRed)
{
    const int x = 10, y = 10, w = 100, h = 40;   /* cells of 33 x 20 */
    win = createwindow("", 0, 0, 319, 239, shidden, nullptr, nullptr);
    createtable(win, "t", x, y, w, h, 3, 2, 1, 0, sblack);
    addtotable(win, "t", 0, 0, "a");
    addtotable(win, "t", 1, 0, "Wort");
    addtotable(win, "t", 2, 1, "ü");
    createtable(win, "narrow", 0, 100, 300, 20, 15, 1, 3, 0, 0);
    addtotable(win, "narrow", 1, 0, "MMMMMM");   /* wider than its 20 pixel cell */
    const SDL_Color caller = globalcolor;

    for (bool withbg : {false, true}) {
        SCOPED_TRACE(withbg ? "with bg" : "without bg");
        restart();
        bg = withbg ? picture : nullptr;
        win->changed = 1;
        drawwindow(win);
        EXPECT_EQ(std::memcmp(&globalcolor, &caller, sizeof caller), 0);

        interior(want, x, y, w, h, [](int, int) { return Uint16(0); });
        grid(want, x, y, w, h, {0, 33, 66, 100}, {0, 20, 40}, 0xFFFF);
        int tw, th;
        textbox(smafont, "a", tw, th);
        outtextxymini(want, x + (33 - tw) / 2 + 1, y + (20 - th) / 2, "a");
        textbox(smafont, "ü", tw, th);
        outtextxymini(want, x + 66 + (33 - tw) / 2 + 1, y + 20 + (20 - th) / 2, "ü");
        globalcolor.r = 255;
        globalcolor.g = globalcolor.b = withbg ? 0 : 96;
        textbox(medfont, "Wort", tw, th);
        outtextxyklein(want, x + 33 + (33 - tw) / 2 + 1, y + (20 - th) / 2, "Wort");
        globalcolor = caller;

        grid(want, 0, 100, 300, 20, twenties, {0, 20}, 0xFFFF);
        textbox(smafont, "MMMMMM", tw, th);
        ASSERT_GT(tw, 20);
        outtextxymini(want, 20 + (20 - tw) / 2 + 1, 100 + (20 - th) / 2, "MMMMMM");
        EXPECT_SAME(screen, want);
    }
}

TEST_F(Render, NothingIsWrittenOutsideTheScreensBuffer)
{
    /* the screen's pixels with guard words before and after */
    constexpr int guard = 4096;
    std::vector<Uint16> memory(320 * 240 + 2 * guard, 0xABCD);
    SDL_FreeSurface(screen);
    screen = SDL_CreateRGBSurfaceFrom(memory.data() + guard, 320, 240, 16, 640, 0xF800, 0x07E0,
                                      0x001F, 0);
    ASSERT_NE(screen, nullptr);
    bg = picture;
    const std::array<std::array<int, 4>, 4> places{{
        {-60, -40, 500, 400}, {300, 220, 100, 100}, {-1000, 100, 900, 50}, {100, -500, 50, 2000}}};
    for (const auto& p : places) {
        win = createwindow("Fenster", p[0], p[1], p[2], p[3], stitle | sblack | sbg, nullptr,
                           nullptr);
        createbutton(win, "b", "Knopf", -20, 250, 400, 30, sblack, 0x7FFFF, nullptr, nullptr);
        createtable(win, "t", 10, -30, 400, 300, 16, 16, 3, 3, sbg);
        for (int c = 0; c < 16; c++)
            addtotable(win, "t", c, c, "Zelle");
        drawwindow(win);
        deletebutton(win, "b");
        deletetable(win, "t");
        deletewindow(win);
        win = nullptr;
    }
    int damaged = 0;
    for (int i = 0; i < guard; i++)
        damaged += (memory[i] != 0xABCD) + (memory[memory.size() - 1 - i] != 0xABCD);
    EXPECT_EQ(damaged, 0);
    EXPECT_NE(countnot(screen, 0xABCD), 0);
}

TEST(Caption, KeyNamesInFrontHighestFirst)
{
    struct row {
        unsigned int mask;
        const char* caption;
    };
    const std::vector<row> rows{
        {0x100, "(Start) Ende"},  {0x200, "(Select) Ende"}, {0x400, "(L) Ende"},
        {0x800, "(R) Ende"},      {0x1000, "(A) Ende"},     {0x2000, "(B) Ende"},
        {0x4000, "(X) Ende"},     {0x8000, "(Y) Ende"},     {0x10000, "(Vol+) Ende"},
        {0x20000, "(Vol-) Ende"}, {0x30000, "(Vol) Ende"},  {0x40000, "(Stick) Ende"},
        {0xFF, "Ende"},           {0xFFF80000, "Ende"},     {0, "Ende"},
        {0x900, "(R) (Start) Ende"},
        {0x7FF00, "(Stick) (Vol) (Y) (X) (B) (A) (R) (L) (Select) (Start) Ende"},
        {0x52000, "(Stick) (Vol+) (B) Ende"},
    };
    char out[128];
    for (const row& r : rows) {
        buttoncaption(out, sizeof out, "Ende", r.mask);
        EXPECT_STREQ(out, r.caption) << std::hex << r.mask;
    }

    /* the longest caption fits its 128 bytes; a short buffer cuts it, terminated */
    std::string text(63, 't');
    buttoncaption(out, sizeof out, text.c_str(), 0x5FF00);   /* (Vol+) is the longest */
    EXPECT_EQ(std::strlen(out), 56 + 63u);
    char small[8];
    std::memset(small, 'z', sizeof small);
    buttoncaption(small, 6, "Zurück", 0x800);
    EXPECT_STREQ(small, "(R) Z");
    EXPECT_EQ(small[6], 'z');
}

}  // namespace
