// The clock's logic in every tick: buttons, time keeping, the alarm.
#include "clock/control.h"

#include <cstdint>

#include "clock/sound.h"
#include "clock/state.h"
#include "gui/loop.h"

/* variables */
static long long ringend = -1;  /* system time the last ring's sound was last heard of */

/* Foreign settings files may hold any value: offsets and counters wrap instead
   of overflowing. */
static int wrapadd(int a, long long b)
{
    return (int)(uint32_t)((uint32_t)a + (uint32_t)(uint64_t)b);
}

static char flip(char flag)
{
    return flag == 1 ? 0 : 1;
}

/* One step down or up of a shown field in 0..top, wrapping at the ends. */
static int stepdown(int v, int top)
{
    return v <= 0 ? top : v - 1;
}

static int stepup(int v, int top)
{
    return v >= top ? 0 : v + 1;
}

static void mark()
{
    uhrwindow->changed = 1;
}

/* The day's remainder is taken non-negative: a clock value before 1970 (a large
   negative offset) still shows a time of day. For every value from 1970 on this
   is the plain division. */
void showntime(long long z, int* h, int* m, int* s)
{
    long long day = z % 86400;
    if (day < 0)
        day += 86400;
    *s = (int)(day % 60);
    *m = (int)(day / 60 % 60);
    *h = (int)(day / 3600);
}

static bool alarmat(long long t, int hh, int mm)
{
    int h, m, s;
    showntime(t, &h, &m, &s);
    return s == 0 && m == mm && h == hh;
}

/* The running clock's time went from "from" to "to". It rings when "to" is the
   alarm's second 0, as it always did, and also when time leapt forward (a
   stalled or suspended process, a clock stepped forward) over that second, as
   long as it lies no more than ten minutes back. */
bool alarmdue(long long from, long long to, int hh, int mm)
{
    if (alarmat(to, hh, mm))
        return true;
    long long oldest = to - 600;
    if (from + 1 > oldest)
        oldest = from + 1;
    for (long long t = to - 1; t >= oldest; t--)
        if (alarmat(t, hh, mm))
            return true;
    return false;
}

long long nextring(long long now, int offset, int hh, int mm)
{
    if (hh < 0 || hh > 23 || mm < 0 || mm > 59)
        return -1;
    long long day = (now + offset) % 86400;
    if (day < 0)
        day += 86400;
    long long wait = (hh * 3600 + mm * 60 - day) % 86400;
    if (wait <= 0)
        wait += 86400;
    return now + wait;
}

tawake awakefor(long long now, long long ringend)
{
    /* the ring itself, and what the desktop held back meanwhile, happen awake */
    constexpr long long afterring = 30;
    tawake w{-1, false, weckzeit[0], weckzeit[1]};
    if (wecken == weckscharf && fest)
        w.until = nextring(now, zeitdazu, weckzeit[0], weckzeit[1]);
    w.wake = w.until >= 0;
    if (ringend >= 0 && ringend + afterring > now && ringend + afterring > w.until)
        w = {ringend + afterring, false, weckzeit[0], weckzeit[1]};
    return w;
}

#if HORATIK_HANDHELD
static void setlicht(char on)
{
    licht = on;
    screenlight(on == 1);
    if (on)
        wholewindow = true;  // the screen was dark: nothing of the face is on it
}
#endif

/* 8: time keeping; 9: the alarm, whose sound starts on the sound's own thread.
   The first tick after start has no time before it. */
static void keeptime()
{
    long long before = altzeit = zeit;
    zeit = (long long)systime(nullptr) + zeitdazu;
    if (zeit == altzeit)
        return;
    if (!fest) {
        /* every second of system time that passed while stopped, so that the
           clock goes on from the stopped time even after a stall */
        vergangen = wrapadd(vergangen, zeit - altzeit);
        return;
    }
    showntime(zeit, &hour, &min, &sec);
    mark();
    if (wecken == weckscharf && alarmdue(before != 0 ? before : zeit - 1, zeit, weckzeit[0], weckzeit[1])) {
        wecken = weckaus;  // in memory only: the file keeps the alarm armed
#if HORATIK_HANDHELD
        setlicht(1);
#endif
        ring();
    }
}

/* Setting the time while stopped: the offset moves by the whole amount, the
   shown field wraps on its own without carrying. */
struct tsetkey { int key, delta, *field, top; bool up; };

void uhrmove(twindow*)
{
    /* 1: Select stops and starts, but not while the alarm time is being set */
    if (keys[kselect] && wecken != weckstellen) {
        fest = flip(fest);
        keys[kselect] = 0;
        zeitdazu = wrapadd(zeitdazu, -(long long)vergangen);
        vergangen = 0;
        mark();
        saveuhr();
    }
    /* 2: help panel */
    if (keys[kstick] || keys[kleft]) {
        hilfe = flip(hilfe);
        keys[kstick] = 0;
        keys[kleft] = 0;
        mark();
        saveuhr();
    }
    /* 3: digital read-out */
    if (keys[kx]) {
        digi = flip(digi);
        keys[kx] = 0;
        mark();
        saveuhr();
    }
    /* 4: alarm state 0 -> 1 -> 2 -> 0; entering the setting does not save */
    if (keys[ky] && fest) {
        wecken = twecken(wrapadd(wecken, 1));
        if (wecken == weckscharf + 1)
            wecken = weckaus;
        keys[ky] = 0;
        mark();
        if (wecken != weckstellen)
            saveuhr();
    }
#if HORATIK_HANDHELD
    /* 5: A switches the screen's light while the clock runs */
    if (keys[ka] && fest) {
        keys[ka] = 0;
        setlicht(flip(licht));
    }
#endif
    /* 6: setting the time while stopped */
    if (!fest) {
        const tsetkey setkeys[] = {
            {kvoldown, -1, &sec, 59, false}, {kvolup, 1, &sec, 59, true},
            {ka, -60, &min, 59, false},      {kb, 60, &min, 59, true},
            {kl, -3600, &hour, 23, false},   {kr, 3600, &hour, 23, true},
        };
        for (const tsetkey& k : setkeys) {
            if (!keys[k.key])
                continue;
            keys[k.key] = 0;
            zeitdazu = wrapadd(zeitdazu, k.delta);
            *k.field = k.up ? stepup(*k.field, k.top) : stepdown(*k.field, k.top);
            /* the time keeping below sees the offset's change as time passing
               while stopped; this cancels it */
            vergangen = wrapadd(vergangen, -(long long)k.delta);
            mark();
        }
    }
    /* 7: setting the alarm time */
    if (wecken == weckstellen) {
        const tsetkey alarmkeys[] = {
            {ka, 0, &weckzeit[1], 59, false}, {kb, 0, &weckzeit[1], 59, true},
            {kl, 0, &weckzeit[0], 23, false}, {kr, 0, &weckzeit[0], 23, true},
        };
        for (const tsetkey& k : alarmkeys) {
            if (!keys[k.key])
                continue;
            keys[k.key] = 0;
            *k.field = k.up ? stepup(*k.field, k.top) : stepdown(*k.field, k.top);
            mark();
        }
    }
    /* 8, 9 */
    keeptime();
    /* 10: SDL's audio stopped once the ring's device is closed */
    soundtick();
    /* 11: the machine awake until the alarm, and through its ring */
    long long now = (long long)systime(nullptr);
    if (ringon())
        ringend = now;
    keepawake(awakefor(now, ringend));
}
