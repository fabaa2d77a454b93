// The handheld clock: the screen's light on A, the light on ringing, nothing drawn while dark.
#include <utility>

#include "clock/clocktest.h"
#include "gfx/text.h"

namespace {

/* Calls of the console's light function, with whether the alarm was sounding. */
std::vector<std::pair<int, bool>> lightcalls;

struct Handheld : ClockTest {
    void SetUp() override
    {
        ClockTest::SetUp();
        lightcalls.clear();
        joy = (SDL_Joystick*)&lightcalls;  // any non-null joystick: the stand-in never reads it
        ASSERT_TRUE(loadsound("data/weck.wav"));
        closeaudio();
    }
    void TearDown() override
    {
        joy = nullptr;
        ClockTest::TearDown();
    }
};

}  // namespace

/* the console's call, which its platform (linked here) makes */
extern "C" int SDL_SYS_JoystickGp2xSys(SDL_Joystick*, int value)
{
    lightcalls.push_back({value, ringing()});
    return 0;
}

TEST_F(Handheld, ATogglesTheLightWhileTheClockRuns)
{
    tickat(at(8, 0, 0));
    press(ka);
    tick();
    EXPECT_EQ(licht, 0);
    EXPECT_EQ(keys[ka], 0);
    press(ka);
    tick();
    EXPECT_EQ(licht, 1);
    ASSERT_EQ(lightcalls.size(), 2u);
    EXPECT_EQ(lightcalls[0].first, 0);
    EXPECT_EQ(lightcalls[1].first, 1);

    // while stopped A sets the minute, not the light
    press(kselect);
    tick();
    press(ka);
    tick();
    EXPECT_EQ(licht, 1);
    EXPECT_EQ(min, 59);
    EXPECT_EQ(lightcalls.size(), 2u);

    // without a joystick the state still changes, but the call would crash the console
    joy = nullptr;
    press(kselect);
    tick();
    press(ka);
    tick();
    EXPECT_EQ(licht, 0);
    EXPECT_EQ(lightcalls.size(), 2u);
}

TEST_F(Handheld, AlarmMinuteIsOnlyRaisedWithB)
{
    tickat(at(8, 0, 0));
    press(ky);
    tick();
    press(ka);  // the light, not the alarm minute
    tick();
    press(kb);
    tick();
    EXPECT_EQ(weckzeit[1], 1);
    EXPECT_EQ(licht, 0);
}

TEST_F(Handheld, RingingSwitchesTheLightOnBeforeTheSound)
{
    tickat(at(6, 59, 59));
    press(ka);
    tick();
    ASSERT_EQ(licht, 0);
    weckzeit[0] = 7;
    weckzeit[1] = 0;
    wecken = weckscharf;
    tickat(at(7, 0, 0));
    EXPECT_EQ(licht, 1);
    ASSERT_EQ(lightcalls.size(), 2u);
    EXPECT_EQ(lightcalls[1], std::make_pair(1, false));  // on, and the sound not yet started
    EXPECT_TRUE(ringing());
    EXPECT_EQ(audioframes, 1024) << "the console's ring asks for another buffer";
}

TEST_F(Handheld, NothingIsDrawnWhileDarkAndTheFaceComesBackAfter)
{
    ASSERT_EQ(inittext(), 0);
    tickat(at(8, 0, 0));
    press(ka);
    tick();
    clear16(screen, 0x1234);
    tickat(at(8, 0, 1));
    ASSERT_EQ(testwindow(uhrwindow), 1);
    uhrdraw(uhrwindow);
    EXPECT_EQ(countnot(screen, 0x1234), 0);
    EXPECT_EQ(testwindow(uhrwindow), 1);  // still to be drawn

    press(ka);  // light on: the very next draw shows the face
    tick();
    uhrdraw(uhrwindow);
    EXPECT_GT(countnot(screen, 0x1234), 50000);
    EXPECT_EQ(testwindow(uhrwindow), 0);
    quittext();
}

TEST_F(Handheld, FirstHelpLineNamesTheScreenSwitch)
{
    ASSERT_EQ(inittext(), 0);
    textquality = 2;
    tickat(at(8, 0, 0));
    uhrdraw(uhrwindow);
    // The same line drawn by hand over a white panel gives the same pixels.
    SDL_Surface* want = make565();
    SDL_BlitSurface(screen, nullptr, want, nullptr);
    SDL_Surface* keep = screen;
    screen = want;
    for (int y = 11; y <= 34; y++)
        for (int x = 11; x <= 308; x++)
            putpixel16(screen, x, y, 0xFFFF);
    globalcolor = {0, 0, 0, 0};
    outtextxy(screen, 15, 15, "(Start) Beenden        (A) Bildschirm aus");
    screen = keep;
    for (int y = 11; y <= 33; y++)
        for (int x = 11; x <= 308; x++)
            ASSERT_EQ(get16(screen, x, y), get16(want, x, y)) << x << "," << y;
    SDL_FreeSurface(want);
    quittext();
}
