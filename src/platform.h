// What the program asks of the machine it runs on. Each program defines these once:
// the desktop's in src/main (desktop.cpp; awake.cpp keeps it awake, autostart.cpp
// starts it at login), the console's in src/main/gp2x.cpp; tests link a null one.
#pragma once
#include <SDL.h>

/* start and end */
extern SDL_Joystick* joy;       /* joystick 0 when start-up opened it, else null */
void sdlhints();                /* before SDL starts: the environment it reads then */
SDL_Surface* openscreen();      /* the 320x240x16 screen, or null */
void startnet();
void stopnet();
void handover();                /* last of all: the console's menu takes our place */

/* the window */
void present(SDL_Surface* s, int n, const SDL_Rect* rects);  /* these rectangles of the
                                   frame shown; n 0: all of it */
void newsize(int w, int h);     /* the user gave the window this size */
void showticks(int ticks);      /* the loop's ticks in the last second, in the caption */
/* A sleep of at most ms that input ends early, and the system time's next second
   (time() showing it); false where input cannot end a sleep: the loop then keeps
   to pauses of one tick. */
bool waitinput(Uint32 ms);
void screenlight(bool on);      /* the console's screen light */

/* how long the machine must stay awake for the alarm */
struct tawake {
    long long until;  /* system time; -1: not at all */
    bool wake;        /* until is the alarm's second: a sleeping machine is woken then */
    int hh, mm;       /* the alarm's time, given as the reason */
};
void keepawake(const tawake& w);  /* after each tick: held, moved or given back */
void startatlogin(bool armed);    /* at start and after each save that reached the file */
void letsleep();                  /* at the end: everything given back */
