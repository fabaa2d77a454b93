// The window loop: events into the input state, one tick per 10 ms unit, key repeat.
#include "gui/loop.h"

#include <array>
#include <climits>
#include <cstdlib>
#include "gui/build.h"
#include "platform.h"

/* variables */
unsigned char keys[nkeys];           /* 1 pressed, 0 released or consumed */
int keytime[nkeys];                  /* tick units since the slot was last reset */
int intkeys;                         /* key mask of this tick */
int oldkeys;                         /* key mask of the previous tick */
/* The system time in whole seconds, read from the clock itself: time() reads a
   coarse copy of it that turns up to a timer tick after the second (more on an
   idle machine without a steady tick), and the idle loop would have to wake again
   to see the new second. */
static time_t realtime(time_t* t)
{
    timespec now;
    time_t s = clock_gettime(CLOCK_REALTIME, &now) == 0 ? now.tv_sec : time(nullptr);
    if (t)
        *t = s;
    return s;
}

int frames;                          /* ticks since the caption last showed them */
time_t (*systime)(time_t*) = realtime;
Uint32 (*gettick)() = SDL_GetTicks;
void (*idlewait)(Uint32 ms) = SDL_Delay;

static double thetime;               /* whole units seen by the last pass; > 0 ticks */
static int oldtime;                  /* ms when the last whole unit was taken */
static int newtime;                  /* ms read at the end of the last pass */
static time_t lastsecond;            /* systime's second as the last pass saw it */
static bool newsecond;               /* it turned: the next tick shows the ticks in the caption */

/* A press whose release comes before any tick saw it would be lost: such a
   release waits until the tick after the press. */
static unsigned char unseen[nkeys];  /* pressed since the last tick */
static unsigned char lateup[nkeys];  /* released before a tick saw the press */
/* A held key released and pressed again before the next tick would look held
   throughout: that tick sees it as newly pressed. */
static unsigned char upseen[nkeys];  /* released since the last tick */
static unsigned char repressed[nkeys]; /* pressed again after such a release */
/* A new second or a picture the window must paint again wants a tick soon,
   even when the last one ran just before: no long wait until it has run. */
static bool tickdue;

static constexpr int tickms = 10;    /* length of a tick unit */
static constexpr int repeatunits = 15; /* a direction acts once its counter exceeds this */

struct keybinding {
    SDLKey sym;
    int slot;
};

/* Keypad digits lie like the stick; the cursor keys stand in for it on keyboards without
   a keypad, where the help panel could otherwise never be closed. */
static constexpr std::array<keybinding, 23> desktopkeys{{
    {SDLK_KP8, kup}, {SDLK_KP7, kupleft}, {SDLK_KP4, kleft}, {SDLK_KP1, kdownleft},
    {SDLK_KP2, kdown}, {SDLK_KP3, kdownright}, {SDLK_KP6, kright}, {SDLK_KP9, kupright},
    {SDLK_RETURN, kstart}, {SDLK_BACKSPACE, kselect}, {SDLK_q, kl}, {SDLK_w, kr},
    {SDLK_a, ka}, {SDLK_x, kb}, {SDLK_z, kx}, {SDLK_s, ky},
    {SDLK_2, kvolup}, {SDLK_1, kvoldown}, {SDLK_KP5, kstick},
    {SDLK_UP, kup}, {SDLK_LEFT, kleft}, {SDLK_RIGHT, kright}, {SDLK_DOWN, kdown},
}};

int keyslot(SDLKey sym)
{
    for (const keybinding& k : desktopkeys)
        if (k.sym == sym)
            return k.slot;
    return -1;
}

static void setslot(int slot, bool down)
{
    if (down) {
        keys[slot] = 1;
        unseen[slot] = 1;
        lateup[slot] = 0;
        repressed[slot] = upseen[slot];
        return;
    }
    upseen[slot] = 1;
    if (unseen[slot])
        lateup[slot] = 1;
    else
        keys[slot] = 0;
}

static void redraw(twindow* window)
{
    window->changed = 1;
    wholewindow = true;
    tickdue = true;
}

static int newwidth, newheight;  /* the last size asked for in this drain, 0 for none */

static void handleevent(twindow* window, const SDL_Event& ev)
{
    switch (ev.type) {
    case SDL_JOYBUTTONDOWN:
    case SDL_JOYBUTTONUP:
        /* the console reports 0..18; anything above has no slot */
        if (ev.jbutton.button < nkeys)
            setslot(ev.jbutton.button, ev.type == SDL_JOYBUTTONDOWN);
        break;
    case SDL_QUIT:
        window->quit = 1;
        break;
    /* the window's picture was lost (SDL2 leaves the repaint to us) */
    case SDL_VIDEOEXPOSE:
        redraw(window);
        break;
    case SDL_VIDEORESIZE:
        newwidth = ev.resize.w;
        newheight = ev.resize.h;
        break;
    case SDL_KEYDOWN:
    case SDL_KEYUP:
        if (!handheld) {
            int slot = keyslot(ev.key.keysym.sym);
            if (slot >= 0)
                setslot(slot, ev.type == SDL_KEYDOWN);
        }
        break;
    default:
        break;
    }
}

static bool acts(int d)
{
    return keys[d] == 1 && keytime[d] > repeatunits;
}

static void wrap(int& v, int step, int n)
{
    v += step;
    if (v < 0)
        v = n - 1;
    else if (v >= n)
        v = 0;
}

/* Repeat counters are reset only after all elements were served, so a held direction
   acts in every sweep: the selection skips empty cells, giving up after cols sweeps. */
static void movetable(ttable* t)
{
    struct step {
        int key, dcol, drow;
    };
    static constexpr std::array<step, 8> steps{{
        {kleft, -1, 0}, {kup, 0, -1}, {kright, 1, 0}, {kdown, 0, 1},
        {kupleft, -1, -1}, {kupright, 1, -1}, {kdownright, 1, 1}, {kdownleft, -1, 1},
    }};
    for (int sweep = 0; sweep < t->cols; sweep++) {
        for (const step& s : steps) {
            if (!acts(s.key))
                continue;
            if (s.dcol)
                wrap(t->selcol, s.dcol, t->cols);
            if (s.drow)
                wrap(t->selrow, s.drow, t->rows);
            t->changed = 1;
        }
        if (cellat(t, t->selcol, t->selrow))
            break;
    }
}

static void servebutton(tbutton* b)
{
    unsigned int pressed = b->keymask & static_cast<unsigned int>(intkeys);
    unsigned int before = b->keymask & static_cast<unsigned int>(oldkeys);
    /* a callback may run a window loop of its own: the rest of this tick keeps its masks */
    int savedint = intkeys, savedold = oldkeys;
    if (pressed && !before && b->click)
        b->click();
    if (pressed && b->hold)
        b->hold();
    intkeys = savedint;
    oldkeys = savedold;
}

static void tick(twindow* window)
{
    oldkeys = intkeys;
    intkeys = 0;
    for (int i = 0; i < nkeys; i++) {
        if (keys[i] == 1)
            intkeys |= 1 << i;
        if (repressed[i])
            oldkeys &= ~(1 << i);
    }
    tickdue = false;

    for (telement* e = window->first; e; e = e->next) {
        if (e->kind == kbutton)
            servebutton(static_cast<tbutton*>(e));
        else if (e->kind == ktable)
            movetable(static_cast<ttable*>(e));
    }

    static constexpr std::array<int, 8> repeatorder{
        kleft, kup, kright, kdown, kupleft, kupright, kdownright, kdownleft};
    for (int d : repeatorder)
        if (acts(d))
            keytime[d] = 0;

    if (window->move)
        window->move(window);
    if (testwindow(window) && window->draw)
        window->draw(window);
    /* the tick that shows a new second also tells how many ran in the last: the
       idle loop wakes once a second for both */
    if (newsecond) {
        newsecond = false;
        showticks(frames);
        frames = 0;
    }
    frames++;

    for (int i = 0; i < nkeys; i++) {
        if (lateup[i])
            keys[i] = 0;
        lateup[i] = unseen[i] = upseen[i] = repressed[i] = 0;
    }
}

/* The system clock's new second wants a tick at once. */
static void secondseen()
{
    time_t t = systime(nullptr);
    if (t == lastsecond)
        return;
    newsecond = lastsecond != 0;
    lastsecond = t;
    tickdue = true;
}

void resetloop()
{
    thetime = 0;
    oldtime = newtime = static_cast<int>(gettick());
    lastsecond = systime(nullptr);
    newsecond = tickdue = false;
}

static bool keyheld()
{
    for (unsigned char k : keys)
        if (k == 1)
            return true;
    return false;
}

static bool eventwaiting()
{
    SDL_Event ev;
    return SDL_PeepEvents(&ev, 1, SDL_PEEKEVENT, SDL_ALLEVENTS) > 0;
}

void showwindow(twindow* window)
{
    window->quit = 0;
    window->changed = 1;
    do {
        srand(gettick());
        SDL_Event ev;
        while (SDL_PollEvent(&ev))
            handleevent(window, ev);
        /* a window dragged to a new size asks many times: only the last counts */
        if (newwidth > 0 && newheight > 0) {
            newsize(newwidth, newheight);
            redraw(window);
        }
        newwidth = newheight = 0;

        if (thetime > 0)
            tick(window);

        /* whole units only; the milliseconds beyond them are dropped, not carried */
        newtime = static_cast<int>(gettick());
        Uint32 elapsed = static_cast<Uint32>(newtime) - static_cast<Uint32>(oldtime);
        Uint32 units = elapsed / tickms;
        thetime = units;
        for (int& t : keytime)
            t = units > static_cast<Uint32>(INT_MAX - t) ? INT_MAX : t + static_cast<int>(units);
        if (units > 0)
            oldtime = static_cast<int>(gettick());
        secondseen();

        /* Nothing due before the next unit: sleep instead of spinning. With nothing
           held, nothing waiting and no tick due, no tick can change anything before
           the next input or the next second, so where input wakes the platform's
           wait, the loop sleeps until then. */
        if (thetime == 0 && window->quit == 0) {
            bool idle = !tickdue && !keyheld() && !eventwaiting();
            if (!idle || !waitinput(1000))
                idlewait(tickms - elapsed);
        }
    } while (window->quit == 0);
}
