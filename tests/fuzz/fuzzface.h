// Shared set-up of the fuzzers: a headless screen, the fonts and pictures, the clock's window.
#pragma once
#include <SDL.h>
#include <SDL_image.h>
#include <stdlib.h>
#include <unistd.h>

#include <string>

#include "clock/control.h"
#include "clock/face.h"
#include "clock/reset.h"
#include "clock/state.h"
#include "clock/uhr.h"
#include "gfx/gfx.h"
#include "gfx/text.h"
#include "gui/loop.h"

/* Runs in a folder of its own on tmpfs (saves are fsynced) that sees the runtime's data/. */
inline void fuzzsetup(bool withbackground)
{
    setenv("SDL_VIDEODRIVER", "dummy", 1);
    setenv("SDL_AUDIODRIVER", "dummy", 1);
    char tmpl[] = "/dev/shm/hxfuzzXXXXXX";
    char* dir = mkdtemp(tmpl);
    if (!dir || chdir(dir) != 0 || symlink(HX_RUNDIR "/data", "data") != 0)
        abort();
    SDL_Init(SDL_INIT_VIDEO);
    screen = SDL_CreateRGBSurface(SDL_SWSURFACE, 320, 240, 16, 0xF800, 0x07E0, 0x001F, 0);
    if (inittext() != 0)
        abort();
    textquality = 2;
    weck = IMG_Load("data/weck.png");
    if (withbackground)
        bg = loadbackground("data/bg.png", screen->format);
}

inline time_t fuzznow = 1765000000;
inline time_t fuzzclock(time_t*)
{
    return fuzznow;
}

/* One tick of the clock's logic and a frame: whole after resetclock, then where it changed. */
inline void fuzzframe()
{
    systime = fuzzclock;
    uhrmove(uhrwindow);
    uhrwindow->changed = 1;
    uhrdraw(uhrwindow);
}
