// The SDL beneath sdl12-compat: what the SDL 1.2 API cannot ask of it.
#pragma once
#include <SDL.h>

/* The SDL2 API (real, or sdl2-compat over SDL3) that sdl12-compat has loaded,
   and its one window; false under classic SDL 1.2, or where either is not found. */
bool beneathfound();
/* Pixels per point of its window, rounded: the scale of a Wayland output, 1 elsewhere. */
int beneathscale();
/* Its renderer shows the frame at the largest whole factor that fits the window,
   centred on black; a factor above 1 also sizes the window to 320f x 240f pixels. */
bool beneathzoom(int f);
/* Sleeps at most ms, and ends early when an event arrives. */
bool beneathwait(Uint32 ms);
/* No events of audio devices coming and going: over SDL3, sdl2-compat counts the
   devices at each such event in the event pump, under the lock that an open of a
   device holds on the sound's thread for as long as a sound server that hangs. */
void beneathnoaudioevents();
