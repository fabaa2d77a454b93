// The window loop: input state, ticks of 10 ms, buttons, table selections.
#pragma once
#include <atomic>
#include <SDL.h>
#include "gui/window.h"

/* button numbers: the stick's eight directions clockwise from up, then the buttons */
enum {
    kup, kupleft, kleft, kdownleft, kdown, kdownright, kright, kupright,
    kstart, kselect, kl, kr, ka, kb, kx, ky, kvolup, kvoldown, kstick,
    nkeys
};

/* input state, shared by all windows */
extern unsigned char keys[nkeys];   /* 1 pressed; application code writes 0 to consume */
extern int keytime[nkeys];          /* tick units (10 ms) since the slot was last reset */
extern int intkeys;                 /* key mask of this tick, bit i = button number i */
extern int oldkeys;                 /* key mask of the previous tick */
extern double thetime;              /* whole units seen by the last pass; > 0 ticks */
extern int oldtime;                 /* ms when the last whole unit was taken */
extern int newtime;                 /* ms read at the end of the last pass */
extern std::atomic<int> frames;     /* ticks since the one-second timer last ran */
extern std::atomic<int> lastframes; /* ticks of the last second, handed over by the timer
                                       thread for the caption; -1 once shown */

/* seams for tests: the tick clock and the wait between passes */
extern Uint32 (*gettick)();         /* SDL_GetTicks */
extern void (*idlewait)(Uint32 ms); /* SDL_Delay */

void showwindow(twindow* window);
int keyslot(SDLKey sym);            /* desktop key -> button number, -1 for none */
