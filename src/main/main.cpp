// Start-up, the clock's whole run, shutdown.
#include <SDL.h>
#include <SDL_image.h>
#include <SDL_mixer.h>
#include <cstdio>
#include <cstdlib>
#include <unistd.h>

#include "clock/control.h"
#include "clock/sound.h"
#include "clock/state.h"
#include "gfx/gfx.h"
#include "gfx/text.h"
#include "gui/about.h"
#include "gui/loop.h"
#include "main/autostart.h"
#include "main/awake.h"
#include "main/variant.h"

/* variables */
static int volume = 128;         /* music volume, the mixer's maximum */
static char audiodriver[32];     /* SDL's audio driver that start-up found */

/* Once a second, called by the window loop on the main thread: SDL's timer thread
   would wake a thousand times a second for it. */
static Uint32 my_callbackfunc(Uint32, void*)
{
    showticks(frames);
    frames = 0;
    return 1000;
}

/* The audio device as start-up opens it, with a buffer of that many frames (a
   ring asks for its own). Once it was closed, SDL's audio starts again first,
   but only when the driver start-up found answers: SDL would go on to its
   other drivers, and ALSA's library prints lines of its own for each that
   fails, at every try of a ring that finds no sound server. */
static int openmixer(int frames)
{
    if (!SDL_WasInit(SDL_INIT_AUDIO)) {
        char name[32];
        bool answers = SDL_AudioInit(audiodriver) == 0 && SDL_AudioDriverName(name, sizeof name);
        SDL_AudioQuit();
        if (!answers || SDL_InitSubSystem(SDL_INIT_AUDIO) < 0)
            return -1;
    }
    if (Mix_OpenAudio(44100, AUDIO_S16LSB, 2, frames) == -1) {
        SDL_QuitSubSystem(SDL_INIT_AUDIO);
        return -1;
    }
    Mix_VolumeMusic(volume);
    if (!audiodriver[0])
        SDL_AudioDriverName(audiodriver, sizeof audiodriver);
    return 0;
}

/* After every tick, once its frame is presented: the alarm's sound, and the
   machine kept awake for the alarm. */
static void afterframe()
{
    static long long ringend = -1;  /* system time the last ring's sound was last heard of */
    soundstep();
    long long now = (long long)systime(nullptr);
    if (ringon())
        ringend = now;
    keepawake(awakefor(now, ringend));
}

static void Terminate()
{
    /* SDL would wait for its audio as long as the sound server hangs */
    if (audiohung())
        _exit(0);
    SDL_Quit();
    handover();
}

static void initall()
{
    globalcolor = {255, 255, 255, 0};
    globalcolor2 = {0, 0, 0, 0};
    sdlhints();
    if (SDL_Init(SDL_INIT_AUDIO | SDL_INIT_VIDEO | SDL_INIT_JOYSTICK) < 0) {
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
    persecond = my_callbackfunc;
    setupwait();
    inittext();  // without fonts the clock still runs, only without text

    outtextxy(screen, 0, 2, "Lade Background...");
    imageflip(screen);
    bg = loadbackground("data/bg.png", screen->format);
    weck = IMG_Load("data/weck.png");

    outtextxy(screen, 0, 22, "Lade Audiodateien...");
    imageflip(screen);
    openaudio = openmixer;
    if (openaudio(1024) == -1)
        std::exit(2);
    /* the device stays open until the first ticks have run: closing it takes
       50 to 90 ms, which the first frame would wait for */
    loadweck("data/weck.wav");
    ownaudio();
    aftertick = afterframe;

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
    persecond = nullptr;
    aftertick = nullptr;
    letsleep();
    freeweck();
    stopnet();
    quittext();
}

/* The settings file holds an armed alarm, or no longer: the installed clock
   starts at login while it does. */
static void filesaved()
{
    startatlogin(wecken == weckscharf);
}

int main(int, char**)
{
    initall();
    openuhr();
    filesaved();
    aftersave = filesaved;
    textquality = 2;
    setuhrwindow();
    setaboutwindow();
    showwindow(uhrwindow);
    deluhrwindow();
    delaboutwindow();
    resetall();
    return 0;
}
