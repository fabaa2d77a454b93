// The window loop driven tick by tick through a fake clock and pushed SDL events.
#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "gui/build.h"
#include "guitest.h"

using namespace guitest;

namespace {

int clicks, holds, zeroclicks, zeroholds, secondclicks;
void countclick() { clicks++; }
void counthold() { holds++; }
void zeroclick() { zeroclicks++; }
void zerohold() { zeroholds++; }
void secondclick() { secondclicks++; }
void consumeclick()
{
    clicks++;
    keys[ka] = 0;
}
void scribbleclick()
{
    clicks++;
    intkeys = 0;
    oldkeys = -1;
}
twindow* current;
void quitclick()
{
    clicks++;
    current->quit = 1;
}

struct Loop : ::testing::Test {
    static void SetUpTestSuite() { ASSERT_EQ(SDL_Init(SDL_INIT_VIDEO), 0); }
    static void TearDownTestSuite() { SDL_Quit(); }
    void SetUp() override
    {
        resetinput();
        clicks = holds = zeroclicks = zeroholds = secondclicks = 0;
        win = current = createwindow("loop", 0, 0, 100, 100, 0, scriptdraw, nullptr);
    }
    void TearDown() override
    {
        for (const char* n : {"a", "b", "zero"})
            deletebutton(win, n);
        for (const char* n : {"t", "u"})
            deletetable(win, n);
        deletewindow(win);
    }
    ttable* filledtable(const char* name, int cols, int rows, int selcol, int selrow)
    {
        createtable(win, name, 0, 0, 90, 90, cols, rows, selcol, selrow, 0);
        for (int r = 0; r < rows; r++)
            for (int c = 0; c < cols; c++)
                addtotable(win, name, c, r, "k");
        return gettablepointer(win, name);
    }
    twindow* win;
};

using counts = std::vector<std::pair<int, int>>;

TEST_F(Loop, ClickOncePerPressHoldEveryTickOfIt)
{
    createbutton(win, "a", "A or B", 0, 0, 10, 10, 0, 1u << ka | 1u << kb, countclick, counthold);
    createbutton(win, "zero", "never", 0, 0, 10, 10, 0, 0, zeroclick, zerohold);
    counts seen;
    runticks(win, 9, [&](int t) {
        seen.emplace_back(clicks, holds);
        if (t == 0) joybutton(ka, true);
        if (t == 1) joybutton(kb, true);   /* a second key of the mask: no second click */
        if (t == 2) joybutton(ka, false);
        if (t == 3) joybutton(kb, false);
        if (t == 4) joybutton(ka, true);
        if (t == 5) {                /* released and pressed again between two ticks */
            joybutton(ka, false);
            joybutton(ka, true);
        }
        if (t == 6) {                /* and once more, released again at once */
            joybutton(ka, false);
            joybutton(ka, true);
            joybutton(ka, false);
        }
    });
    EXPECT_EQ(seen, (counts{{0, 0}, {1, 1}, {1, 2}, {1, 3}, {1, 3}, {2, 4}, {3, 5}, {4, 6}, {4, 6}}));
    EXPECT_EQ(keys[ka], 0);
    EXPECT_EQ(zeroclicks + zeroholds, 0);
}

TEST_F(Loop, ConsumedKeyCountsReleasedUntilPressedAgain)
{
    createbutton(win, "a", "A", 0, 0, 10, 10, 0, 1u << ka, consumeclick, counthold);
    counts seen;
    runticks(win, 6, [&](int t) {
        seen.emplace_back(clicks, holds);
        if (t == 0) joybutton(ka, true);
        if (t == 3) joybutton(ka, true);   /* still held physically; a new down event */
    });
    EXPECT_EQ(seen, (counts{{0, 0}, {1, 1}, {1, 1}, {1, 1}, {2, 2}, {2, 2}}));
}

TEST_F(Loop, PressReleasedBeforeAnyTickSawItActsOnceThenReleases)
{
    /* down and up in one drain, by joystick and by key; a press consumed by its
       click; down, up, down (held at the end) */
    createbutton(win, "a", "A", 0, 0, 10, 10, 0, 1u << ka, countclick, counthold);
    createbutton(win, "b", "B", 0, 0, 10, 10, 0, 1u << kb, [] { secondclicks++; keys[kb] = 0; },
                 nullptr);
    std::string seen;
    runticks(win, 9, [&](int t) {
        seen += std::to_string(keys[ka]) + std::to_string(keys[ky]) + std::to_string(keys[kb]) + " ";
        if (t == 0) {
            joybutton(ka, true);
            joybutton(ka, false);
            key(SDLK_s, true);
            key(SDLK_s, false);
        }
        if (t == 3) {
            joybutton(kb, true);
            joybutton(kb, false);
        }
        if (t == 5) {
            joybutton(ka, true);
            joybutton(ka, false);
            joybutton(ka, true);
        }
    });
    /* seen in move, after the buttons were served: the short presses show in
       the one tick after their drain, B not at all (its click consumed it) */
    EXPECT_EQ(seen, "000 110 000 000 000 000 100 100 100 ");
    EXPECT_EQ(clicks, 2);
    EXPECT_EQ(secondclicks, 1);
    EXPECT_EQ(holds, 4);  // the first press's tick, then the held one's three
}

TEST_F(Loop, WithoutAnInputWaitTheIdleLoopPausesOneUnitAndMissesNoPress)
{
    /* A joystick is read only when the loop polls, so there the platform gives
       no input wait: a press that comes and goes within one pause still acts,
       in the tick right after the pause. */
    static std::vector<std::pair<Uint32, bool>> pushes;
    pushes = {{1503, true}, {1508, false}, {2705, true}, {2780, false}};
    idlewait = [](Uint32 ms) {
        fakewait(ms);
        while (!pushes.empty() && pushes.front().first <= now) {
            joybutton(ka, pushes.front().second);
            pushes.erase(pushes.begin());
        }
    };
    createbutton(win, "a", "A", 0, 0, 10, 10, 0, 1u << ka, countclick, nullptr);
    std::vector<Uint32> clickedat;
    runticks(win, 250, [&](int) {
        if (clicks > (int)clickedat.size())
            clickedat.push_back(now);
    });
    for (Uint32 w : waits)
        EXPECT_LE(w, 10u);
    ASSERT_EQ(clickedat.size(), 2u);
    EXPECT_LE(clickedat[0] - 1503, 10u);
    EXPECT_LE(clickedat[1] - 2705, 10u);
}

TEST_F(Loop, CallbacksCannotDisturbTheMasksOfTheTick)
{
    createbutton(win, "a", "A", 0, 0, 10, 10, 0, 1u << ka, scribbleclick, nullptr);
    createbutton(win, "b", "A too", 0, 0, 10, 10, 0, 1u << ka, secondclick, nullptr);
    int maskinmove = 0;
    runticks(win, 3, [&](int t) {
        if (t == 0) joybutton(ka, true);
        if (t == 1) maskinmove = intkeys;
    });
    EXPECT_EQ(clicks, 1);
    EXPECT_EQ(secondclicks, 1);
    EXPECT_EQ(maskinmove, 1 << ka);
}

TEST_F(Loop, QuitLetsThePassFinish)
{
    createbutton(win, "a", "quits", 0, 0, 10, 10, 0, 1u << ka, quitclick, nullptr);
    createbutton(win, "b", "later", 0, 0, 10, 10, 0, 1u << ka, secondclick, nullptr);
    runticks(win, 100, [&](int t) {
        if (t == 2) joybutton(ka, true);
    });
    /* the click in tick 3 set quit; the later button, move and frames still ran */
    EXPECT_EQ(tickno, 4);
    EXPECT_EQ(secondclicks, 1);
    EXPECT_EQ(frames, 4);

    deletebutton(win, "a");
    runticks(win, 100, [&](int t) {
        if (t == 2) {
            quitrequest();
            joybutton(kx, true);   /* behind the quit request: still read in that pass */
        }
    });
    /* drained in the pass after tick 2, which is too early for a tick: no tick 3 */
    EXPECT_EQ(tickno, 3);
    EXPECT_EQ(keys[kx], 1);
}

TEST_F(Loop, DirectionRepeatsEvery16Units)
{
    ttable* t = filledtable("t", 15, 1, 0, 0);
    std::vector<int> col;
    runticks(win, 60, [&](int k) {
        col.push_back(t->selcol);
        if (k == 0) joybutton(kright, true);
        if (k == 35) joybutton(kright, false);
        if (k == 38) joybutton(kright, true);   /* too soon after the last step at 33 */
    });
    std::vector<int> want;
    for (int k = 0; k < 60; k++)
        want.push_back(k < 1 ? 0 : k < 17 ? 1 : k < 33 ? 2 : k < 49 ? 3 : 4);
    EXPECT_EQ(col, want);
    EXPECT_EQ(draws, 5);   /* the first tick, then one per step */
}

TEST_F(Loop, HeldDirectionSkipsEmptyCellsInOneTick)
{
    createtable(win, "t", 0, 0, 300, 100, 15, 5, 1, 2, 0);
    for (int c = 1; c <= 10; c++)
        addtotable(win, "t", c, 2, "x");
    ttable* t = gettablepointer(win, "t");
    createtable(win, "u", 0, 0, 40, 30, 4, 3, 0, 0, 0);   /* every cell empty */
    ttable* u = gettablepointer(win, "u");
    using cell = std::pair<int, int>;
    std::vector<cell> seen;
    runticks(win, 4, [&](int k) {
        if (k == 0) joybutton(kleft, true);
        if (k == 2) {
            joybutton(kleft, false);
            joybutton(kdown, true);
        }
        if (k == 1 || k == 3) {
            seen.emplace_back(t->selcol, t->selrow);
            seen.emplace_back(u->selcol, u->selrow);
        }
    });
    /* left: past 0, 14, 13, 12, 11 to 10; the empty table steps 4 times round to 0.
       down: through the empty rows back to row 2; the empty table 4 rows down of 3 */
    EXPECT_EQ(seen, (std::vector<cell>{{10, 2}, {0, 0}, {10, 2}, {0, 1}}));
}

TEST_F(Loop, SelectionWrapsAtEveryEdge)
{
    ttable* t = filledtable("t", 3, 2, 0, 0);
    ttable* u = filledtable("u", 3, 2, 2, 1);
    using sel = std::array<int, 4>;
    std::vector<sel> seen;
    runticks(win, 62, [&](int k) {
        if (k % 20 == 1) {
            seen.push_back({t->selcol, t->selrow, u->selcol, u->selrow});
        }
        static constexpr std::array<int, 4> dirs{kup, kupleft, kdownright, kright};
        if (k % 20 == 0) joybutton(dirs[k / 20], true);   /* held for exactly one tick */
        if (k % 20 == 1) joybutton(dirs[k / 20], false);
    });
    EXPECT_EQ(seen, (std::vector<sel>{{0, 1, 2, 0}, {2, 0, 1, 1}, {0, 1, 2, 0}, {1, 1, 0, 0}}));
}

TEST_F(Loop, OneTickPerUnitAndSleepsBetween)
{
    fakestep = 3;   /* waits come back early: the loop must ask again for the rest */
    std::vector<Uint32> at;
    runticks(win, 5, [&](int) { at.push_back(now); });
    EXPECT_EQ(at, (std::vector<Uint32>{1010, 1020, 1030, 1040, 1050}));
    std::vector<Uint32> want;
    for (int k = 0; k < 5 * 4; k++)
        want.push_back(10 - 3 * (k % 4));  // 10, 7, 4, 1 in each unit
    EXPECT_EQ(waits, want);
    EXPECT_EQ(frames, 5);
}

TEST_F(Loop, SlowTickIsFollowedAtOnceAndDropsTheRemainder)
{
    std::vector<Uint32> at;
    std::vector<int> counted;
    runticks(win, 5, [&](int k) {
        at.push_back(now);
        counted.push_back(keytime[ka]);
        if (k == 2) now += 25;   /* this tick took 25 ms */
    });
    EXPECT_EQ(at[3] - at[2], 25u);   /* no wait before the next tick */
    EXPECT_EQ(at[4] - at[3], 10u);   /* the 5 ms beyond the whole units are not carried */
    EXPECT_EQ(counted[3] - counted[2], 2);
    EXPECT_EQ(counted[4] - counted[3], 1);
}

TEST_F(Loop, DesktopKeysAndJoystickNumbers)
{
    ASSERT_FALSE(handheld);
    const std::vector<std::pair<SDLKey, int>> table{
        {SDLK_KP8, kup}, {SDLK_KP7, kupleft}, {SDLK_KP4, kleft}, {SDLK_KP1, kdownleft},
        {SDLK_KP2, kdown}, {SDLK_KP3, kdownright}, {SDLK_KP6, kright}, {SDLK_KP9, kupright},
        {SDLK_RETURN, kstart}, {SDLK_BACKSPACE, kselect}, {SDLK_q, kl}, {SDLK_w, kr},
        {SDLK_a, ka}, {SDLK_x, kb}, {SDLK_z, kx}, {SDLK_s, ky}, {SDLK_2, kvolup},
        {SDLK_1, kvoldown}, {SDLK_KP5, kstick}, {SDLK_UP, kup}, {SDLK_LEFT, kleft},
        {SDLK_RIGHT, kright}, {SDLK_DOWN, kdown}};
    for (auto [sym, slot] : table)
        EXPECT_EQ(keyslot(sym), slot) << sym;
    for (SDLKey sym : {SDLK_b, SDLK_KP0, SDLK_ESCAPE, SDLK_3, SDLK_SPACE})
        EXPECT_EQ(keyslot(sym), -1) << sym;

    std::vector<std::string> state;
    auto snapshot = [] { return std::string(reinterpret_cast<char*>(keys), nkeys); };
    runticks(win, 4, [&](int k) {
        state.push_back(snapshot());
        if (k == 0) {
            key(SDLK_LEFT, true);
            key(SDLK_s, true);
            key(SDLK_b, true);   /* no slot */
            joybutton(19, true);       /* no slot either */
            joybutton(255, true);
        }
        if (k == 1) key(SDLK_LEFT, false);
    });
    std::string none(nkeys, '\0'), two = none, one = none;
    two[kleft] = two[ky] = one[ky] = 1;
    EXPECT_EQ(state, (std::vector<std::string>{none, two, one, one}));
}

TEST_F(Loop, OnceASecondCallCountsTheTicks)
{
    /* waits return 7 ms early at most: the calls keep their step of 1000 ms; each
       comes in the tick that shows its second, after the window was drawn */
    static std::vector<std::pair<Uint32, int>> calls;
    static std::vector<std::pair<int, int>> drawnthen;  // draws and ticks begun
    calls.clear();
    drawnthen.clear();
    nullplatform::onticks = [](int ticks) {
        calls.push_back({now, ticks});
        drawnthen.push_back({draws, tickno});
    };
    fakestep = 3;
    Uint32 start = now;
    runticks(win, 350, [&](int) { win->changed = 1; });
    ASSERT_EQ(calls.size(), 3u);
    for (size_t i = 0; i < calls.size(); i++) {
        EXPECT_EQ(calls[i].first / 1000, start / 1000 + i + 1);  // in the right second
        EXPECT_GE(calls[i].second, 99);
        EXPECT_LE(calls[i].second, 100);  // at most one tick per 10 ms unit
        EXPECT_EQ(drawnthen[i].first, drawnthen[i].second) << "not after its tick's draw";
    }
}

TEST_F(Loop, IdleLoopWaitsForInputOrTheNextSecondAndPaintsWhatWasLost)
{
    /* where the platform can wait for input, the loop sleeps until the next
       second unless a key is held, an event waits or the window must be drawn */
    nullplatform::onwait = secondwait;
    now = 5000;
    std::vector<int> held;
    std::vector<int> drawn;
    std::vector<Uint32> at;
    runticks(win, 10, [&](int k) {
        at.push_back(now);
        if (k == 1)
            joybutton(ka, true);
        if (k == 3)
            joybutton(ka, false);
        held.push_back(keys[ka]);
        if (k == 5)  /* comes while the loop sleeps, 3 ms after this tick */
            inputs.push_back({now + 3, SDL_VIDEOEXPOSE});
        if (k == 7) {
            SDL_Event ev{};
            ev.type = SDL_VIDEORESIZE;
            ev.resize.w = 700;
            ev.resize.h = 500;
            push(ev);
            ev.resize.w = 1000;
            ev.resize.h = 800;
            push(ev);
        }
        drawn.push_back(draws);
    });
    ASSERT_FALSE(longwaits.empty());
    /* while A is held the loop ticks every unit, with short pauses only */
    for (Uint32 w : waits)
        EXPECT_LE(w, 10u);
    EXPECT_EQ(held, (std::vector<int>{0, 0, 1, 1, 0, 0, 0, 0, 0, 0}));
    /* the exposed and the resized window are drawn in the next tick, before any
       long wait (seen from the tick after it); the platform hears of the last
       size only */
    EXPECT_EQ(drawn[7], drawn[5] + 1);
    EXPECT_LE(at[6] - at[5], 13u);
    EXPECT_EQ(drawn[9], drawn[7] + 1);
    EXPECT_LE(at[8] - at[7], 10u);
    EXPECT_EQ(nullplatform::sizes, (std::vector<std::pair<int, int>>{{1000, 800}}));
}

TEST_F(Loop, EachNewSecondTicksAtOnceAfterAnInputJustBeforeIt)
{
    /* An input a few ms before the second leaves a tick just before it, and the
       wait then ends in the new second fewer than 10 ms after that tick: the
       second must still be shown at once, not a second later. */
    nullplatform::onwait = secondwait;
    const std::vector<Uint32> before{2, 4, 6, 8, 1, 9, 3};
    now = 5500;
    for (size_t i = 0; i < before.size(); i++)
        inputs.push_back({(Uint32)(6000 + 1000 * i) - before[i]});
    std::map<time_t, Uint32> firsttick;  // second -> fake ms of the first tick in it
    runticks(win, 1000, [&](int) {
        time_t t = systime(nullptr);
        if (!firsttick.count(t))
            firsttick[t] = now;
        if (now >= 6000 + 1000 * before.size())
            current->quit = 1;
    });
    for (size_t i = 0; i < before.size(); i++) {
        time_t second = 6 + (time_t)i;
        ASSERT_TRUE(firsttick.count(second)) << "second " << second << " never ticked";
        EXPECT_LE(firsttick[second] - 1000 * second, coarse + 10)
            << "input " << before[i] << " ms before second " << second;
    }
}

}  // namespace
