// The window loop: input state, ticks of 10 ms, buttons, table selections.
#pragma once
#include <SDL.h>
#include <ctime>
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
extern int frames;                  /* ticks since the caption last showed them */

void showwindow(twindow* window);
int keyslot(SDLKey sym);            /* desktop key -> button number, -1 for none */

/* seams for tests */
extern time_t (*systime)(time_t*);  /* the system time in whole seconds, as time() gives it */
extern Uint32 (*gettick)();         /* the tick clock: SDL_GetTicks */
extern void (*idlewait)(Uint32 ms); /* a pause of at most one tick: SDL_Delay */
void resetloop();                   /* the loop's clocks read afresh, as before its first pass */
