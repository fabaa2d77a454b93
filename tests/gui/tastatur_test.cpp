// The on-screen keyboard's two key sets, and a small window driven by pushed events.
#include <gtest/gtest.h>

#include <cstring>
#include <sstream>
#include <string>
#include <vector>

#include "gfx/gfx.h"
#include "gfx/text.h"
#include "gui/render.h"
#include "gui/tastatur.h"
#include "guitest.h"
#include "support/surface.h"

using namespace guitest;

namespace {

/* the upper-case set as a German keyboard reads, "_" for no key */
const char* const upperrows[5] = {
    "^ 1 2 3 4 5 6 7 8 9 0 ß ´ # <--",
    "Tab Q W E R T Z U I O P Ü + ok ok",
    "cps A S D F G H J K L Ö Ä ok ok ok",
    "sht Y X C V B N M , . - sht < > |",
    "stg win alt _ _ S P A C E _ _ agr win stg",
};

std::vector<std::string> words(const char* row)
{
    std::istringstream in(row);
    std::vector<std::string> out;
    for (std::string w; in >> w;)
        out.push_back(w == "_" ? "" : w);
    return out;
}

/* the lower-case set differs in the letters and umlauts, and spells the space bar apart */
std::string lowerlabel(const std::string& upper, int c, int r)
{
    if (r == 4 && c >= 5 && c <= 9)
        return " " + upper + " ";
    bool letter = (r == 1 || r == 2) ? (c >= 1 && c <= 11) : r == 3 && c >= 1 && c <= 7;
    if (!letter)
        return upper;
    if (upper == "Ü") return "ü";
    if (upper == "Ö") return "ö";
    if (upper == "Ä") return "ä";
    return std::string(1, static_cast<char>(upper[0] - 'A' + 'a'));
}

struct Keyboard : ::testing::Test {
    void SetUp() override { win = createwindow("k", 0, 0, 319, 239, shidden, nullptr, nullptr); }
    void TearDown() override
    {
        for (const char* n : {"ABC", "abc", "same"})
            deletetable(win, n);
        deletebutton(win, "ende");
        deletebutton(win, "a");
        deletewindow(win);
    }
    twindow* win;
};

TEST_F(Keyboard, BothSetsHoldEveryKeyInPlace)
{
    createbutton(win, "a", "first", 0, 0, 1, 1, 0, 0, nullptr, nullptr);
    createtastatur(win, "ABC", "abc", 10, 20, 300, 100, 2, 3, sblack);
    ttable* upper = gettablepointer(win, "ABC");
    ttable* lower = gettablepointer(win, "abc");
    ASSERT_TRUE(upper && lower);
    EXPECT_EQ(win->first->next, static_cast<telement*>(upper));
    EXPECT_EQ(upper->next, static_cast<telement*>(lower));
    EXPECT_EQ(lower->next, nullptr);
    EXPECT_EQ(upper->style, sblack | shidden);
    EXPECT_EQ(lower->style, sblack);
    for (ttable* t : {upper, lower}) {
        EXPECT_EQ(t->x + t->y + t->w + t->h, 10 + 20 + 300 + 100);
        EXPECT_EQ(t->cols * 10 + t->rows, 155);
        EXPECT_EQ(t->selcol * 10 + t->selrow, 23);
    }

    int filled = 0;
    for (int r = 0; r < 5; r++) {
        std::vector<std::string> row = words(upperrows[r]);
        ASSERT_EQ(row.size(), 15u);
        for (int c = 0; c < 15; c++) {
            SCOPED_TRACE(std::to_string(c) + "," + std::to_string(r));
            char* u = upper->cells[c + r * 15];
            char* l = lower->cells[c + r * 15];
            if (row[c].empty()) {
                EXPECT_EQ(u, nullptr);
                EXPECT_EQ(l, nullptr);
                continue;
            }
            filled++;
            ASSERT_TRUE(u && l);
            EXPECT_EQ(std::string(u), row[c]);
            EXPECT_EQ(std::string(l), lowerlabel(row[c], c, r));
            EXPECT_NE(u, l);   /* each table owns its copies */
        }
    }
    EXPECT_EQ(filled, 71);
    EXPECT_EQ(std::memcmp(upper->cells[11], "\xC3\x9F", 3), 0);
    EXPECT_EQ(std::memcmp(lower->cells[11], "\xC3\x9F", 3), 0);
    EXPECT_STREQ(gettable(win, "abc"), "x");
    EXPECT_STREQ(gettable(win, "ABC"), "X");
}

TEST_F(Keyboard, OneNameForBothFillsBothWithTheLowerSet)
{
    createtastatur(win, "same", "same", 0, 0, 150, 50, 0, 0, 0);
    ttable* first = gettablepointer(win, "same");
    ttable* second = static_cast<ttable*>(first->next);
    EXPECT_EQ(first->style, shidden);
    EXPECT_STREQ(first->cells[1 + 15], "q");
    EXPECT_STREQ(second->cells[5 + 4 * 15], " S ");
    EXPECT_STREQ(first->cells[5 + 4 * 15], " S ");
}

struct Shown : Keyboard {
    static void SetUpTestSuite()
    {
        ASSERT_EQ(SDL_Init(SDL_INIT_VIDEO), 0);
        ASSERT_TRUE(chdir_rundir());
        ASSERT_EQ(inittext(), 0);
        textquality = 2;
        screen = SDL_SetVideoMode(320, 240, 16, 0);
        ASSERT_NE(screen, nullptr);
    }
    static void TearDownTestSuite()
    {
        quittext();
        SDL_Quit();
        screen = nullptr;
    }
};

TEST_F(Shown, OnlyTheLowerSetIsDrawn)
{
    createtastatur(win, "ABC", "abc", 10, 20, 300, 100, 1, 1, 0);
    SDL_Surface* both = make565();
    clear16(screen, 0x1234);
    drawwindow(win);
    SDL_BlitSurface(screen, nullptr, both, nullptr);

    deletetable(win, "ABC");
    gettablepointer(win, "abc")->changed = 1;
    clear16(screen, 0x1234);
    drawwindow(win);
    int differ = 0;
    for (int y = 0; y < 240; y++)
        for (int x = 0; x < 320; x++)
            differ += get16(screen, x, y) != get16(both, x, y);
    EXPECT_EQ(differ, 0);
    EXPECT_GT(countnot(screen, 0x1234), 0);
    SDL_FreeSurface(both);
}

int aclicks, endclicks, keyboarddraws;
twindow* shown;
void aclick() { aclicks++; }
void endclick()
{
    endclicks++;
    shown->quit = 1;
    keys[kstart] = 0;
}
void drawkeyboard(twindow* w)
{
    keyboarddraws++;
    drawwindow(w);
    imageflip(screen);
}

TEST_F(Shown, PushedJoystickEventsFireButtonsAndMoveTheKeys)
{
    resetinput();
    aclicks = endclicks = keyboarddraws = 0;
    shown = win;
    win->draw = drawkeyboard;
    createbutton(win, "a", "Taste", 10, 200, 100, 20, sblack, 1u << ka, aclick, nullptr);
    createbutton(win, "ende", "Ende", 200, 200, 100, 20, sblack, 1u << kstart, endclick, nullptr);
    createtastatur(win, "ABC", "abc", 10, 20, 300, 100, 2, 4, sblack);
    std::vector<std::string> picked;
    auto pick = [&] {
        picked.push_back(std::string(gettable(win, "ABC")) + "/" + gettable(win, "abc"));
    };
    runticks(win, 1000, [&](int k) {
        switch (k) {
        case 0: joybutton(ka, true); break;
        case 2: joybutton(ka, false); joybutton(kright, true); break;        /* from "alt" over two gaps */
        case 4: pick(); joybutton(kright, false); joybutton(kup, true); break;
        case 6: /* down-left: (4, 4) is empty, on to (3, 0) */
            pick(); joybutton(kup, false); joybutton(kdownleft, true); break;
        case 8: pick(); joybutton(kdownleft, false); joybutton(kstart, true); break;
        }
    });
    EXPECT_EQ(aclicks, 1);
    EXPECT_EQ(endclicks, 1);
    EXPECT_EQ(tickno, 10);   /* Start pressed for the tick after 8 ended the loop */
    EXPECT_EQ(keys[kstart], 0);
    EXPECT_EQ(picked, (std::vector<std::string>{"S/ S ", "B/b", "3/3"}));
    ttable* upper = gettablepointer(win, "ABC");
    ttable* lower = gettablepointer(win, "abc");
    EXPECT_EQ(upper->selcol * 10 + upper->selrow, lower->selcol * 10 + lower->selrow);
    EXPECT_EQ(keyboarddraws, 4);   /* the first tick and one per move */
    EXPECT_EQ(testwindow(win), 0);
}

}  // namespace
