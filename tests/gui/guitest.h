// Test helpers for the toolkit: a fake tick clock, pushed events, a scripted window loop.
#pragma once
#include <SDL.h>
#include <algorithm>
#include <functional>
#include <vector>

#include "gui/loop.h"
#include "gui/window.h"
#include "support/nullplatform.h"

namespace guitest {

/* The loop reads its clock and sleeps through these, so a test never sleeps. */
inline Uint32 now;                 /* fake milliseconds */
inline std::vector<Uint32> waits;  /* every idlewait request, in order */
inline Uint32 fakestep = 0;        /* ms an idlewait advances at most; 0 = all requested */

inline Uint32 faketick() { return now; }
/* the system clock turns its second with the fake tick clock's */
inline time_t fakesystime(time_t* t)
{
    time_t v = now / 1000;
    if (t)
        *t = v;
    return v;
}
inline void fakewait(Uint32 ms)
{
    waits.push_back(ms);
    now += fakestep && ms > fakestep ? fakestep : ms;
}

/* The platform's input wait as it meets a real clock: it ends at the next
   input, or a few ms after the second turns (time() reads a coarse clock). */
inline std::vector<Uint32> longwaits;   /* every waitinput request, in order */
struct input {
    Uint32 at;                          /* fake ms at which it comes */
    Uint8 type = SDL_MOUSEMOTION;       /* an event the loop does not act on */
};
inline std::vector<input> inputs;      /* in order of time */
inline constexpr Uint32 coarse = 5;     /* ms after the second that the wait ends */
inline bool secondwait(Uint32 ms)
{
    longwaits.push_back(ms);
    Uint32 until = std::min(now + ms, (now / 1000 + 1) * 1000 + coarse);
    if (!inputs.empty() && inputs.front().at <= until) {
        until = std::max(now, inputs.front().at);
        SDL_Event ev{};
        ev.type = inputs.front().type;
        SDL_PushEvent(&ev);
        inputs.erase(inputs.begin());
    }
    now = until;
    return true;
}

/* Fresh input state and a long pause since every key last acted. */
inline void resetinput()
{
    now = 1000;
    waits.clear();
    fakestep = 0;
    gettick = faketick;
    idlewait = fakewait;
    systime = fakesystime;
    for (int i = 0; i < nkeys; i++) {
        keys[i] = 0;
        keytime[i] = 100;
    }
    intkeys = oldkeys = 0;
    resetloop();
    frames = 0;
    nullplatform::reset();
    longwaits.clear();
    inputs.clear();
    SDL_Event ev;
    while (SDL_PollEvent(&ev)) {
    }
}

inline void push(const SDL_Event& ev)
{
    SDL_Event copy = ev;
    SDL_PushEvent(&copy);
}

inline void joybutton(int button, bool down)
{
    SDL_Event ev{};
    ev.type = down ? SDL_JOYBUTTONDOWN : SDL_JOYBUTTONUP;
    ev.jbutton.which = 0;
    ev.jbutton.button = static_cast<Uint8>(button);
    ev.jbutton.state = down ? SDL_PRESSED : SDL_RELEASED;
    push(ev);
}

inline void key(SDLKey sym, bool down)
{
    SDL_Event ev{};
    ev.type = down ? SDL_KEYDOWN : SDL_KEYUP;
    ev.key.state = down ? SDL_PRESSED : SDL_RELEASED;
    ev.key.keysym.sym = sym;
    push(ev);
}

inline void quitrequest()
{
    SDL_Event ev{};
    ev.type = SDL_QUIT;
    push(ev);
}

/* The scripted window: its move callback runs the script with the tick's number; events
   pushed there arrive in the next tick. The loop ends after tick n - 1. */
inline std::function<void(int)> script;
inline int tickno;
inline int tickcount;
inline int draws;

inline void scriptmove(twindow* win)
{
    if (script)
        script(tickno);
    if (++tickno >= tickcount)
        win->quit = 1;
}

/* stands in for drawwindow where no screen is needed: only clears the flags */
inline void scriptdraw(twindow* win)
{
    draws++;
    win->changed = 0;
    for (telement* e = win->first; e; e = e->next)
        e->changed = 0;
}

inline void runticks(twindow* win, int n, std::function<void(int)> each)
{
    script = std::move(each);
    tickno = 0;
    tickcount = n;
    draws = 0;
    win->move = scriptmove;
    showwindow(win);
    script = nullptr;
}

}  // namespace guitest
