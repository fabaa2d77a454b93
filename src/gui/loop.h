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
extern double thetime;              /* whole units seen by the last pass; > 0 ticks */
extern int oldtime;                 /* ms when the last whole unit was taken */
extern int newtime;                 /* ms read at the end of the last pass */
extern int frames;                  /* ticks since the last once-a-second call */
extern time_t lastsecond;           /* the system clock's second at that call */

/* set from above, and seams for tests */
extern time_t (*systime)(time_t*);  /* the system time in whole seconds: time */
extern Uint32 (*gettick)();         /* the tick clock: SDL_GetTicks */
extern void (*idlewait)(Uint32 ms); /* a pause of at most 10 ms: SDL_Delay */
extern void (*eventwait)(Uint32 ms); /* null, or a pause of at most ms that also ends
                                        at an input event and once systime shows a
                                        new second; set only where input wakes it */
extern Uint32 (*persecond)(Uint32 interval, void* param);  /* null, or called with
                                        1000 once in each new second of systime */
extern void (*aftertick)();         /* null, or called at the end of every tick, once
                                       its frame is presented: work that must not
                                       delay a frame */
extern void (*resizewindow)(int w, int h);  /* null, or the platform's answer to a
                                       new window size; the window is drawn again */

void showwindow(twindow* window);
int keyslot(SDLKey sym);            /* desktop key -> button number, -1 for none */
