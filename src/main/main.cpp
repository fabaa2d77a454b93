// Start-up, the clock's whole run, shutdown.
#include <SDL.h>
#include <SDL_image.h>
#include <cstdio>
#include <cstdlib>

#include "clock/sound.h"
#include "clock/state.h"
#include "clock/uhr.h"
#include "gfx/gfx.h"
#include "gfx/text.h"
#include "gui/about.h"
#include "gui/loop.h"
#include "platform.h"

/* variables */
SDL_Joystick* joy = nullptr;  /* joystick 0 when opened */

/* The exit handler, on every way out after SDL started: the sound's thread ends
   first, or is left in a sound server that hangs, whose SDL audio would keep the
   program from ending; the rest of SDL stops all the same. */
static void Terminate()
{
    stopsound();
    if (soundleft())
        SDL_QuitSubSystem(SDL_INIT_VIDEO | SDL_INIT_JOYSTICK);
    else
        SDL_Quit();
    handover();
}

/* SDL's audio is started by the sound's own thread (clock/sound.h), not here: a
   sound server that hangs would hold up the window. */
static void initall()
{
    globalcolor = {255, 255, 255, 0};
    globalcolor2 = {0, 0, 0, 0};
    sdlhints();
    if (SDL_Init(SDL_INIT_VIDEO | SDL_INIT_JOYSTICK) < 0) {
        std::fprintf(stderr, "Couldn't initialize SDL: %s\n", SDL_GetError());
        std::exit(1);
    }
    std::atexit(Terminate);
    SDL_ShowCursor(0);
    screen = openscreen();
    if (!screen) {
        std::fprintf(stderr, "Couldn't set 320x240x16 video mode: %s\n", SDL_GetError());
        std::exit(2);
    }
    if (SDL_NumJoysticks() > 0) {
        joy = SDL_JoystickOpen(0);
        if (!joy)
            std::fprintf(stderr, "Couldn't open joystick 0: %s\n", SDL_GetError());
    }
    inittext();  // without fonts the clock still runs, only without text

    outtextxy(screen, 0, 2, "Lade Background...");
    imageflip(screen);
    bg = loadbackground("data/bg.png", screen->format);
    weck = IMG_Load("data/weck.png");

    outtextxy(screen, 0, 22, "Lade Audiodateien...");
    imageflip(screen);
    if (!startsound("data/weck.wav"))
        std::exit(2);

    eraseall(screen, SDL_MapRGB(screen->format, 0, 0, 0));
    imageflip(screen);
    startnet();
}

static void resetall()
{
    if (bg)
        SDL_FreeSurface(bg);
    if (weck)
        SDL_FreeSurface(weck);
    bg = weck = nullptr;
    letsleep();
    stopsound();
    stopnet();
    quittext();
}

int main(int, char**)
{
    initall();
    openuhr();
    startatlogin(wecken == weckscharf);
    textquality = 2;
    setuhrwindow();
    setaboutwindow();
    showwindow(uhrwindow);
    deluhrwindow();
    delaboutwindow();
    resetall();
    return 0;
}
