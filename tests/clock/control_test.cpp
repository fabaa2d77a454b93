// The clock's logic: stopping and setting, the alarm states, ringing and catching up.
#include "clock/clocktest.h"

namespace {

/* The sound loaded as start-up loads it; the device closed again. */
struct Control : ClockTest {
    void SetUp() override
    {
        ClockTest::SetUp();
        ASSERT_TRUE(loadsound("data/weck.wav"));
        ASSERT_TRUE(wecksound);
        closeaudio();
    }
    void shows(int h, int m, int s)
    {
        EXPECT_EQ(hour, h);
        EXPECT_EQ(min, m);
        EXPECT_EQ(sec, s);
    }
    /* the running clock's time of day in seconds, from the offset */
    long long runningtime() { return ((long long)faketime_now + zeitdazu) % 86400; }
    void arm(int h, int m)
    {
        weckzeit[0] = h;
        weckzeit[1] = m;
        wecken = weckscharf;
    }
};

}  // namespace

TEST_F(Control, FirstTickShowsTheTimeAtOnce)
{
    uhrwindow->changed = 0;
    tickat(at(7, 5, 8));
    shows(7, 5, 8);
    EXPECT_EQ(uhrwindow->changed, 1);
    uhrwindow->changed = 0;
    tick();  // same second: nothing to draw
    EXPECT_EQ(uhrwindow->changed, 0);
}

TEST_F(Control, StopAndStartKeepTheShownTime)
{
    tickat(at(10, 0, 0));
    press(kselect);
    tickat(at(10, 0, 1));
    EXPECT_EQ(fest, 0);
    EXPECT_EQ(keys[kselect], 0);
    for (int s = 2; s <= 31; s++)  // stopped for 30 seconds
        tickat(at(10, 0, s));
    shows(10, 0, 0);  // the fields stay while stopped
    press(kselect);
    tickat(at(10, 0, 31));
    tickat(at(10, 0, 32));
    EXPECT_EQ(fest, 1);
    // going on from the stopped time, not from the system time
    EXPECT_EQ(runningtime(), 10 * 3600 + 1);
}

TEST_F(Control, SettingWrapsTheFieldButMovesTheOffsetFully)
{
    tickat(at(12, 34, 59));
    press(kselect);
    tick();
    press(kvolup);
    tick();
    shows(12, 34, 0);  // the second wraps without carrying
    press(kvolup);     // a held press counts once: released until pressed again
    tick();
    shows(12, 34, 1);
    press(kvoldown);
    tick();
    shows(12, 34, 0);
    press(kselect);
    tick();
    tickat(faketime_now + 1);
    shows(12, 35, 1);  // the offset moved by one second, so the minute carries now

    // hours and minutes both ways
    press(kselect);
    tick();
    for (int k : {kl, kl, ka, kb, kb, kb, kr}) {
        press(k);
        tick();
    }
    press(kselect);
    tick();
    tickat(faketime_now + 1);
    shows(11, 37, 2);
}

TEST_F(Control, FieldsWrapAtTheirEnds)
{
    tickat(at(0, 0, 0));
    press(kselect);
    tick();
    for (int k : {kvoldown, ka, kl}) {
        press(k);
        tick();
    }
    shows(23, 59, 59);
    for (int k : {kvolup, kb, kr}) {
        press(k);
        tick();
    }
    shows(0, 0, 0);
}

TEST_F(Control, RefusedPressesWaitForTheirCondition)
{
    tickat(at(9, 0, 0));
    press(kselect);
    tick();
    press(ky);  // Y while stopped: refused, stays pressed
    tick();
    EXPECT_EQ(keys[ky], 1);
    EXPECT_EQ(wecken, 0);
    press(kselect);  // started: the waiting Y acts in the same tick
    tick();
    EXPECT_EQ(fest, 1);
    EXPECT_EQ(wecken, 1);
    EXPECT_EQ(keys[ky], 0);

    press(kselect);  // Select during the alarm setting: refused
    tick();
    EXPECT_EQ(fest, 1);
    EXPECT_EQ(keys[kselect], 1);
    press(ky);  // armed: now Select acts, in the next tick
    tick();
    EXPECT_EQ(wecken, 2);
    tick();
    EXPECT_EQ(fest, 0);

    // A does nothing on the desktop while the clock runs and no alarm is set
    press(kselect);
    tick();
    press(ka);
    tick();
    EXPECT_EQ(keys[ka], 1);
}

TEST_F(Control, AlarmSettingSetsHourAndMinute)
{
    tickat(at(9, 0, 0));
    press(ky);
    tick();
    for (int k : {ka, kl, kb, kb, kr, kr}) {
        press(k);
        tick();
    }
    EXPECT_EQ(weckzeit[0], 1);
    EXPECT_EQ(weckzeit[1], 1);
    EXPECT_EQ(zeitdazu, 86400000);  // the time itself is not touched
}

TEST_F(Control, AlarmRingsOnceAtSecondZero)
{
    arm(7, 0);
    tickat(at(6, 59, 58));
    tickat(at(6, 59, 59));
    EXPECT_FALSE(ringing());
    tickat(at(7, 0, 0));
    EXPECT_TRUE(ringing());
    EXPECT_EQ(wecken, 0);  // switched off in memory only
    EXPECT_TRUE(file().empty());
    closeaudio();
    tickat(at(7, 0, 1));
    EXPECT_FALSE(ringing());

    // set to the current minute after its second 0: rings the next day
    press(ky);
    tick();
    press(ky);
    tick();
    EXPECT_EQ(wecken, 2);
    EXPECT_EQ(file(), settings(86400000, 1, 7, 0, 2));
    for (time_t t = at(7, 0, 2); t < at(7, 0, 0, 1); t += 1800)
        tickat(t);
    EXPECT_FALSE(ringing());
    tickat(at(6, 59, 59, 1));
    tickat(at(7, 0, 0, 1));
    EXPECT_TRUE(ringing());
    EXPECT_EQ(file()[13], 2);  // the file still holds the armed alarm
}

TEST_F(Control, StoppedClockNeverRings)
{
    arm(12, 0);
    tickat(at(11, 59, 58));
    press(kselect);
    tick();
    for (int s = 1; s <= 120; s++)
        tickat(at(11, 59, 58) + s);
    EXPECT_FALSE(ringing());
    EXPECT_EQ(wecken, 2);
    // started again, it goes on from 11:59:58 and rings at its own 12:00:00
    press(kselect);
    tick();
    tickat(faketime_now + 1);
    EXPECT_FALSE(ringing());
    tickat(faketime_now + 1);
    shows(12, 0, 0);
    EXPECT_TRUE(ringing());
}

TEST_F(Control, AlarmCatchesUpAfterAStallButNotAfterLongJumps)
{
    // a stall of five seconds over the alarm's second 0
    arm(7, 0);
    tickat(at(6, 59, 58));
    tickat(at(7, 0, 3));
    EXPECT_TRUE(ringing());
    closeaudio();

    // a jump that lands more than ten minutes after the alarm second: stays armed
    arm(7, 0);
    tickat(at(6, 59, 58, 1));
    tickat(at(7, 10, 1, 1));
    EXPECT_FALSE(ringing());
    EXPECT_EQ(wecken, 2);

    // exactly ten minutes back still rings
    arm(7, 0);
    tickat(at(6, 59, 58, 2));
    tickat(at(7, 10, 0, 2));
    EXPECT_TRUE(ringing());
    closeaudio();

    // a long jump whose end lies within ten minutes of the alarm rings
    arm(7, 0);
    tickat(at(5, 0, 0, 3));
    tickat(at(7, 4, 0, 3));
    EXPECT_TRUE(ringing());
    closeaudio();

    // time moving backwards over the alarm second never rings
    tickat(at(7, 0, 30, 4));
    arm(7, 0);
    tickat(at(6, 59, 30, 4));
    EXPECT_FALSE(ringing());
    EXPECT_EQ(wecken, 2);

    // the first tick after start only rings on the second itself
    arm(7, 0);
    altzeit = zeit = 0;
    tickat(at(7, 0, 5, 5));
    EXPECT_FALSE(ringing());
}

TEST_F(Control, StallWhileStoppedDoesNotMoveTheTime)
{
    tickat(at(10, 0, 0));
    press(kselect);
    tick();
    tickat(at(10, 0, 7));  // a stall of seven seconds while stopped
    press(kvolup);
    tickat(at(10, 0, 9));  // a press in the tick of a new second
    press(kselect);
    tick();
    tickat(faketime_now + 1);
    EXPECT_EQ(runningtime(), 10 * 3600 + 1 + 1);  // stopped time + the press + one second
}

TEST_F(Control, ForeignValuesNeverTrap)
{
    // wrapping offsets and counters, out-of-range fields, odd alarm states
    zeitdazu = 2147483647;
    wecken = twecken(2147483647);
    weckzeit[0] = -2147483647 - 1;
    weckzeit[1] = 2147483647;
    tickat(at(1, 0, 0));
    press(ky);
    tick();
    EXPECT_EQ(wecken, -2147483647 - 1);  // raised further, wrapping
    press(kselect);
    tick();
    for (int k : {kvoldown, kvolup, ka, kb, kl, kr}) {
        press(k);
        tick();
    }
    press(kselect);
    tick();
    tickat(faketime_now + 100000);
    SUCCEED();
}

TEST_F(Control, TimeOfDayPastTheInt32RangeAndBefore1970)
{
    // 2035-04-25 03:14:08 UTC: the system time plus the start offset passes 2^31 - 1
    const time_t wrap = (time_t)(2147483648LL - 86400000);
    struct {
        time_t now;
        int offset, h, m, s;
    } cases[] = {
        {wrap - 1, 86400000, 3, 14, 7},
        {wrap, 86400000, 3, 14, 8},
        {wrap + 12, 86400000, 3, 14, 20},
        {wrap + 12, 86400000 + 3600, 4, 14, 20},  // a user's offset an hour on
        {1000, -86400000, 0, 16, 40},             // 1000 days before 1970
        {0, -1, 23, 59, 59},
    };
    for (const auto& c : cases) {
        altzeit = zeit = 0;
        zeitdazu = c.offset;
        tickat(c.now);
        SCOPED_TRACE(std::to_string((long long)c.now) + " + " + std::to_string(c.offset));
        shows(c.h, c.m, c.s);
    }

    // the alarm rings across that instant, and the clock runs on
    zeitdazu = 86400000;
    arm(3, 15);
    tickat(wrap + 50);
    EXPECT_FALSE(ringing());
    tickat(wrap + 52);
    shows(3, 15, 0);
    EXPECT_TRUE(ringing());
    tickat(wrap + 53);
    shows(3, 15, 1);
}

/* The instant a sleeping machine is woken for: the first second after now whose
   shown time is the alarm's, for any offset (a negative one too); none for an
   alarm time the clock never shows. */
TEST_F(Control, NextRingIsTheFirstSecondThatShowsTheAlarm)
{
    struct {
        long long now;
        int offset, hh, mm;
    } cases[] = {
        {at(6, 59, 59), 86400000, 7, 0},
        {at(7, 0, 0), 86400000, 7, 0},  // ringing now: the next is tomorrow's
        {at(7, 0, 1), 86400000 + 3600, 8, 0},
        {at(23, 59, 59), 86400000, 0, 0},
        {1000, -86400000, 0, 17},
        {2147483648LL, 12345, 12, 34},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.now) + " + " + std::to_string(c.offset));
        long long t = nextring(c.now, c.offset, c.hh, c.mm);
        ASSERT_GT(t, c.now);
        ASSERT_LE(t, c.now + 86400);
        int h, m, s;
        showntime(t + c.offset, &h, &m, &s);
        EXPECT_EQ(h * 10000 + m * 100 + s, c.hh * 10000 + c.mm * 100);
        for (long long u = c.now + 1; u < t; u++) {
            showntime(u + c.offset, &h, &m, &s);
            ASSERT_FALSE(h == c.hh && m == c.mm && s == 0) << "an earlier second rings: " << u;
        }
    }
    for (int bad : {-1, 24, 60})
        EXPECT_EQ(nextring(1000, 0, bad, bad == 24 ? 0 : bad), -1) << bad;
}

/* How long the machine stays awake: to the alarm's second while it is armed and
   the clock runs, woken then; to 30 s after a ring's sound; not while stopped,
   off, still being set or for an alarm time the clock never shows. */
TEST_F(Control, AwakeForTheAlarmAndThirtySecondsPastItsRing)
{
    const long long now = at(6, 0, 0);
    struct {
        int state, hh, mm;
        bool running;
        long long ringend;  /* -1: no ring */
        long long until;
        bool wake;
    } cases[] = {
        {2, 7, 0, true, -1, at(7, 0, 0), true},
        {2, 7, 0, false, -1, -1, false},           // stopped: it cannot ring
        {0, 7, 0, true, -1, -1, false},
        {1, 7, 0, true, -1, -1, false},
        {2, 24, 0, true, -1, -1, false},           // from a foreign file
        {2, 7, 60, true, -1, -1, false},
        {0, 7, 0, true, now, now + 30, false},     // sounding
        {0, 7, 0, true, now - 29, now + 1, false},
        {0, 7, 0, true, now - 30, -1, false},      // played out 30 s ago
        {0, 7, 0, false, now, now + 30, false},    // stopped while it sounds
        {2, 6, 0, true, now, at(6, 0, 0, 1), true},  // rung and armed again at once
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.state) + " " + std::to_string(c.hh) + ":" + std::to_string(c.mm) +
                     (c.running ? " running, ring " : " stopped, ring ") + std::to_string(c.ringend - now));
        wecken = twecken(c.state);
        weckzeit[0] = c.hh;
        weckzeit[1] = c.mm;
        fest = c.running;
        tawake w = awakefor(now, c.ringend);
        EXPECT_EQ(w.until, c.until);
        EXPECT_EQ(w.wake, c.wake);
        EXPECT_EQ(w.hh * 100 + w.mm, c.hh * 100 + c.mm);
    }
}
