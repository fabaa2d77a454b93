// The clock face: hand corners at known times, and golden frames of every state.
//
// Golden frames live in tests/clock/golden/. To make them anew after a deliberate
// change of the face or of the generated pictures, run
//   HX_UPDATE_GOLDEN=1 ctest --test-dir build -R clock_tests
// and look at every picture before committing it.
#include "clock/clocktest.h"
#include "support/nullplatform.h"
#include "support/png.h"

#include <cstring>
#include <random>

namespace {

struct corner { int x, y; };

void expecthand(const thand& h, corner base1, corner tip, corner base2)
{
    EXPECT_EQ(h.x[0], 160);
    EXPECT_EQ(h.y[0], 120);
    EXPECT_EQ(h.x[1], base1.x);
    EXPECT_EQ(h.y[1], base1.y);
    EXPECT_EQ(h.x[2], tip.x);
    EXPECT_EQ(h.y[2], tip.y);
    EXPECT_EQ(h.x[3], base2.x);
    EXPECT_EQ(h.y[3], base2.y);
}

struct Face : ClockTest {
    void SetUp() override
    {
        ClockTest::SetUp();
        ASSERT_EQ(inittext(), 0);
        textquality = 2;
        globalcolor = {255, 255, 255, 0};
        bg = loadbackground("data/bg.png", screen->format);
        weck = IMG_Load("data/weck.png");
        ASSERT_TRUE(bg && weck);
    }
    void TearDown() override
    {
        SDL_FreeSurface(bg);
        SDL_FreeSurface(weck);
        bg = weck = nullptr;
        quittext();
        ClockTest::TearDown();
    }
    /* Hands in colours of their own, as a layout file gives them. */
    void colourhands()
    {
        const char layout[] = "160;120;10;20;20;70;90;90;119;138;40;40;40;120;40;0;0;0;220;";
        readlayout((const unsigned char*)layout, sizeof layout - 1);
    }
    /* The golden frames hold the system's Liberation Serif of the day they were
       made; another version draws other glyphs. Each state is kept twice, with
       and without text: the text-free frame is always compared exactly, the
       whole one only with the very font (its hash is kept beside them). */
    static std::string goldendir() { return std::string(std::getenv("HX_SOURCE")) + "/tests/clock/golden/"; }
    static std::string fonthash()
    {
        std::vector<unsigned char> font = readfile("data/times.ttf");
        unsigned long long h = 14695981039346656037ull;  // FNV-1a
        for (unsigned char c : font)
            h = (h ^ c) * 1099511628211ull;
        char text[32];
        std::snprintf(text, sizeof text, "%016llx", h);
        return text;
    }
    static bool goldenfont()
    {
        static const bool same = [] {
            std::vector<unsigned char> kept = readfile(goldendir() + "font.fnv");
            std::string want(kept.begin(), kept.end());
            std::string have = fonthash();
            if (want.compare(0, have.size(), have) == 0)
                return true;
            std::printf("note: data/times.ttf (FNV-1a %s) is not the font the golden frames were made "
                        "with: their text pixels are not compared\n", have.c_str());
            return false;
        }();
        return same;
    }
    void compare(const std::string& name)
    {
        std::string golden = goldendir() + name + ".png";
        if (std::getenv("HX_UPDATE_GOLDEN")) {
            ASSERT_TRUE(savepng565(screen, golden));
            return;
        }
        SDL_Surface* want = loadpng565(golden);
        ASSERT_TRUE(want) << golden;
        int differ = diff565(screen, want);
        if (differ != 0) {
            std::string got = dir + "/../hx-" + name + "-actual.png";
            savepng565(screen, got);
            ADD_FAILURE() << name << ": " << differ << " pixels differ; this frame is in " << got;
        }
        SDL_FreeSurface(want);
    }
    void frame(const char* name)
    {
        auto draw = [] {
            clear16(screen, 0);
            wholewindow = true;
            uhrwindow->changed = 1;
            uhrdraw(uhrwindow);
        };
        TTF_Font* fonts[3] = {bigfont, medfont, smafont};
        bigfont = medfont = smafont = nullptr;
        draw();
        bigfont = fonts[0], medfont = fonts[1], smafont = fonts[2];
        compare(std::string(name) + "-notext");
        draw();
        if (std::getenv("HX_UPDATE_GOLDEN")) {
            FILE* f = std::fopen((goldendir() + "font.fnv").c_str(), "w");
            ASSERT_TRUE(f);
            std::fprintf(f, "%s\n", fonthash().c_str());
            std::fclose(f);
        }
        if (std::getenv("HX_UPDATE_GOLDEN") || goldenfont())
            compare(name);
    }
};

}  // namespace

TEST(Hands, CornersAtKnownTimes)
{
    resetclock();
    thand h[3];
    handcorners(0, 0, 0, h);
    expecthand(h[secondhand], {159, 101}, {160, 30}, {161, 101});
    expecthand(h[minutehand], {158, 101}, {160, 30}, {162, 101});
    expecthand(h[hourhand], {158, 111}, {160, 50}, {162, 111});

    handcorners(3, 0, 0, h);
    EXPECT_EQ(h[hourhand].x[2], 230);
    EXPECT_EQ(h[hourhand].y[2], 120);
    expecthand(h[minutehand], {158, 101}, {160, 30}, {162, 101});
    EXPECT_EQ(h[secondhand].x[2], 160);
    EXPECT_EQ(h[secondhand].y[2], 30);

    handcorners(6, 0, 0, h);
    EXPECT_EQ(h[hourhand].x[2], 160);
    EXPECT_EQ(h[hourhand].y[2], 190);

    handcorners(12, 30, 0, h);
    expecthand(h[hourhand], {160, 110}, {178, 53}, {164, 112});

    // seconds move the minute hand, not the hour hand
    handcorners(12, 0, 59, h);
    expecthand(h[hourhand], {158, 111}, {160, 50}, {162, 111});
    expecthand(h[minutehand], {160, 101}, {169, 31}, {164, 101});
}

TEST(Hands, AbsurdGeometryStaysInTheIntRange)
{
    resetclock();
    zeigerx = 2147483647;
    zeigery = -2147483647 - 1;
    secradius2 = minradius2 = hourradius2 = -2147483647 - 1;
    thand h[3];
    handcorners(-15, -15, -15, h);  // a stored negative time points the hands at 180 degrees
    EXPECT_EQ(h[secondhand].x[2], 2147483647);  // held at the int range
    EXPECT_EQ(h[secondhand].y[2], -2147483647 - 1);
}

TEST_F(Face, GoldenFramesOfEveryState)
{
    // first start without files: UTC, help panel over the face, black hands
    tickat(at(10, 8, 30));
    frame("first-start");

    colourhands();
    press(kstick);
    tick();
    frame("running");

    tickat(at(10, 8, 31));
    press(kx);
    tick();
    frame("readout-off");
    press(kx);
    tick();

    press(kselect);
    tick();
    frame("stopped");
    press(kselect);
    tick();

    press(ky);
    tickat(at(10, 8, 32));
    press(kb);
    tick();
    frame("alarm-setting-even");
    tickat(at(10, 8, 33));
    frame("alarm-setting-odd");

    press(ky);
    tick();
    frame("alarm-armed");
}

TEST_F(Face, FrameIsPresentedAndLeavesTheRingAlone)
{
    tickat(at(23, 59, 59));
    clear16(screen, 0x1234);
    uhrdraw(uhrwindow);
    for (int x = 0; x < 320; x++) {
        EXPECT_EQ(get16(screen, x, 0), 0x1234);
        EXPECT_EQ(get16(screen, x, 239), 0x1234);
    }
    EXPECT_EQ(testwindow(uhrwindow), 0);  // everything drawn, nothing left changed
    EXPECT_EQ(globalcolor.r, 0);          // the help panel's black text was drawn last
}

TEST_F(Face, FrameAfterTheInt32RangeIsTheSameAsBefore)
{
    // 03:14:20 on 25 April 2035, where system time plus offset passed 2^31 - 1,
    // draws exactly what 03:14:20 of any earlier day draws
    hilfe = 0;
    SDL_Surface* before = make565();
    tickat(at(3, 14, 20));
    uhrdraw(uhrwindow);
    SDL_BlitSurface(screen, nullptr, before, nullptr);
    altzeit = zeit = 0;
    tickat((time_t)(2147483648LL - 86400000 + 12));
    wholewindow = true;
    uhrwindow->changed = 1;
    uhrdraw(uhrwindow);
    EXPECT_EQ(diff565(screen, before), 0);
    SDL_FreeSurface(before);
}

TEST_F(Face, ASecondChangesLittleASwitchAllOfIt)
{
    // what changes from one second to the next is worked out as a few rectangles
    // of the face; the help panel switched is the whole window
    hilfe = 0;
    tickat(at(10, 8, 30));
    tview was = faceview();
    tickat(at(10, 8, 31));
    tview now = faceview();
    SDL_Rect r[maxdamage];
    int n = damage(was, now, r);
    ASSERT_GT(n, 0);
    int pixels = 0;
    for (int i = 0; i < n; i++)
        pixels += r[i].w * r[i].h;
    EXPECT_LT(pixels, 320 * 240 / 20);
    EXPECT_EQ(damage(now, now, r), 0);
    hilfe = 1;
    EXPECT_EQ(damage(now, faceview(), r), -1);
    was.valid = false;
    EXPECT_EQ(damage(was, now, r), -1);
}

namespace {

/* What the face presents: the rectangles, or all of it; and, as the desktop's
   present does, the frame zoomed into a window at a factor, of which the display
   gets only the rectangles presented. */
struct shown {
    std::vector<SDL_Rect> rects;
    bool whole = false;
    int presents = 0;
    int factor = 1;
    SDL_Surface* window = nullptr;
    SDL_Surface* display = nullptr;
};
shown presented;

void presentzoomed(SDL_Surface* s, int n, const SDL_Rect* rects)
{
    presented.presents++;
    presented.whole = n == 0;
    presented.rects.assign(rects, rects + n);
    if (!presented.window)
        return;
    if (n == 0) {
        EXPECT_TRUE(zoomframe(presented.window, s, presented.factor));
        SDL_BlitSurface(presented.window, nullptr, presented.display, nullptr);
        return;
    }
    std::vector<SDL_Rect> out((size_t)n);
    int m = zoomrects(presented.window, s, presented.factor, n, rects, out.data());
    EXPECT_GT(m, 0);
    for (int i = 0; i < m; i++) {
        SDL_Rect r = out[i];
        SDL_BlitSurface(presented.window, &r, presented.display, &r);
    }
}

/* the first pixel where a differs from b outside the rectangles, as text, or "" */
std::string firstdiff(SDL_Surface* a, SDL_Surface* b, const std::vector<SDL_Rect>& within = {})
{
    for (int y = 0; y < 240; y++) {
        const Uint16* pa = (const Uint16*)((const Uint8*)a->pixels + y * a->pitch);
        const Uint16* pb = (const Uint16*)((const Uint8*)b->pixels + y * b->pitch);
        if (memcmp(pa, pb, 640) == 0)
            continue;
        for (int x = 0; x < 320; x += 4) {
            if (memcmp(pa + x, pb + x, 8) == 0)
                continue;
            for (int i = x; i < x + 4; i++) {
                bool in = pa[i] == pb[i];
                for (const SDL_Rect& r : within)
                    in = in || (i >= r.x && i < r.x + r.w && y >= r.y && y < r.y + r.h);
                if (!in)
                    return std::to_string(i) + "," + std::to_string(y);
            }
        }
    }
    return "";
}

std::string state()
{
    char text[160];
    std::snprintf(text, sizeof text,
                  "%02d:%02d:%02d fest %d digi %d hilfe %d wecken %d weckzeit %d:%d centre %d,%d "
                  "read-out %d,%d",
                  hour, min, sec, fest, digi, hilfe, (int)wecken, weckzeit[0], weckzeit[1], zeigerx,
                  zeigery, analogx, analogy);
    return text;
}

}  // namespace

/* The face drawn only where it changed shows exactly what a whole frame shows,
   second by second for a day, with the help panel, the read-out, "Steht" and the
   alarm switched now and then and the time set while stopped; every pixel that
   changed is presented, and the presented rectangles zoomed at 1x to 4x show
   what the whole frame zoomed shows. Then layouts with the face at the screen's
   edges. */
TEST_F(Face, PartialFramesEqualWholeFramesForADay)
{
    const unsigned seed = std::random_device{}();
    std::mt19937 rng(seed);
    auto chance = [&](int permille) { return (int)(rng() % 1000) < permille; };
    SDL_Surface* whole = make565();   // drawn whole every frame, as the face always was
    SDL_Surface* before = make565();  // the last frame presented
    clear16(whole, 0);
    nullplatform::onpresent = presentzoomed;
    colourhands();
    hilfe = 0;
    faketime_now = at(0, 0, 0);
    const int settingkeys[] = {kl, kr, ka, kb, kvolup, kvoldown};
    long long area = 0;
    int partial = 0;

    /* seconds shown at factor 1, then two hours at each of 2 to 4 */
    auto run = [&](long seconds, bool zooms) {
        long shownseconds = 0;
        for (long step = 0; shownseconds < seconds; step++) {
            long left = seconds - shownseconds;
            int factor = zooms && left <= 3 * 7200 ? 4 - (int)((left - 1) / 7200) : 1;
            if (factor != presented.factor) {
                /* a new window size: the loop asks for a whole frame; at 1x the
                   screen is the window */
                SDL_FreeSurface(presented.window);
                SDL_FreeSurface(presented.display);
                const int bpp[] = {0, 32, 24, 16};
                presented.factor = factor;
                presented.window = presented.display = nullptr;
                if (factor > 1) {
                    presented.window = SDL_CreateRGBSurface(SDL_SWSURFACE, 320 * factor + 7,
                                                            240 * factor + 3, bpp[factor - 1], 0, 0, 0, 0);
                    presented.display = SDL_ConvertSurface(presented.window, presented.window->format, 0);
                }
                wholewindow = true;
                uhrwindow->changed = 1;
            }
            if (chance(hilfe == 1 ? 30 : 2))
                press(kstick);
            if (chance(4))
                press(kx);
            if (chance(fest ? 3 : 20))
                press(kselect);
            if (chance(4))
                press(ky);
            if ((!fest || wecken == weckstellen) && chance(200))
                press(settingkeys[rng() % 6]);
            faketime_now += chance(5) ? 1 + rng() % 120 : 1;  // now and then a leap
            bool wasrunning = fest;
            uhrmove(uhrwindow);
            shownseconds += wasrunning && fest;
            if (!testwindow(uhrwindow))
                continue;
            presented.presents = 0;
            uhrdraw(uhrwindow);
            SDL_Surface* keep = screen;
            screen = whole;
            paintface(uhrwindow);
            screen = keep;

            ASSERT_EQ(firstdiff(screen, whole), "")
                << "partial frame differs from the whole one; seed " << seed << ", step " << step
                << ", " << state();
            ASSERT_LE(presented.presents, 1);
            if (presented.presents && !presented.whole) {
                partial++;
                for (const SDL_Rect& r : presented.rects)
                    area += r.w * r.h;
                ASSERT_EQ(firstdiff(screen, before, presented.rects), "")
                    << "changed outside the presented rectangles; seed " << seed << ", step " << step
                    << ", " << state();
            } else if (!presented.presents) {
                ASSERT_EQ(firstdiff(screen, before), "") << "changed, not presented; seed " << seed;
            }
            if (presented.whole)
                memcpy(before->pixels, screen->pixels, 320 * 240 * 2);
            for (const SDL_Rect& r : presented.rects)
                for (int y = r.y; y < r.y + r.h; y++)
                    memcpy((Uint16*)before->pixels + y * 320 + r.x,
                           (Uint16*)screen->pixels + y * 320 + r.x, r.w * 2);
            if (presented.window && step % 293 == 0) {
                const SDL_PixelFormat* f = presented.window->format;
                SDL_Surface* want = SDL_CreateRGBSurface(SDL_SWSURFACE, presented.window->w,
                                                         presented.window->h, f->BitsPerPixel,
                                                         f->Rmask, f->Gmask, f->Bmask, 0);
                ASSERT_TRUE(zoomframe(want, whole, presented.factor));
                ASSERT_EQ(memcmp(want->pixels, presented.display->pixels,
                                 (size_t)want->pitch * want->h), 0)
                    << "zoomed window shows another frame at factor " << presented.factor << "; seed " << seed
                    << ", step " << step << ", " << state();
                SDL_FreeSurface(want);
            }
        }
    };
    run(86400, true);
    std::printf("a day: %d partial frames, %.0f pixels presented on average\n", partial,
                partial ? (double)area / partial : 0.0);
    // whole frames only where the whole window changed, not as a way out
    EXPECT_GT(partial, 80000);
    EXPECT_LT(area / std::max(partial, 1), 4000);

    // layouts that put the hands and the read-out at and over the screen's edges
    for (int n = 0; n < 12 && !HasFatalFailure(); n++) {
        std::uniform_int_distribution<int> along(-30, 350), radius(0, 260);
        zeigerx = along(rng), zeigery = along(rng) * 3 / 4;
        secradius = radius(rng), minradius = radius(rng), hourradius = radius(rng);
        secradius2 = radius(rng), minradius2 = radius(rng), hourradius2 = radius(rng);
        analogx = along(rng), analogy = along(rng) * 3 / 4;
        deluhrwindow();
        setuhrwindow();  // the read-out's box moves with it
        wholewindow = true;
        run(600, false);
    }
    nullplatform::onpresent = nullptr;
    SDL_FreeSurface(presented.window);
    SDL_FreeSurface(presented.display);
    presented = shown();
    SDL_FreeSurface(whole);
    SDL_FreeSurface(before);
}
