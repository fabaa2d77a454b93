// Cost of drawing one frame of the clock face, on SDL's dummy video driver, or of
// presenting it in the desktop program's window.
//
//   horatik-bench-frame [--run DIR] [--scenario heavy|typical|changed] [--frames N]
//                       [--warmup W] [--repeat R] [--present]
//
// Sets up what the face needs (screen, fonts, background, alarm picture, the
// clock window) in the runtime folder DIR, draws W frames to warm SDL_ttf's
// glyph cache, then R times N frames, and prints microseconds per frame for
// each repetition and their median. Under callgrind, run it with --frames 0
// and --frames N and divide the difference by N: that removes the set-up.
//
//   heavy:   help panel on, alarm being set, odd seconds, read-out on; whole frames
//   typical: help panel off, alarm off, read-out on, the seconds running; whole frames
//   changed: as typical, but only what changed is drawn and presented, as each
//            second of the running clock does
//
// --present: on the display in DISPLAY, the window opened as the desktop
// program opens it (its factor from the display's Xft.dpi or size); prints the
// window's size, then times the present of each frame alone (the zoom and
// SDL's update), not the drawing.
#include <SDL.h>
#include <SDL_image.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>
#include <vector>

#include "clock/face.h"
#include "clock/state.h"
#include "clock/uhr.h"
#include "gfx/gfx.h"
#include "gfx/text.h"
#include "platform.h"

#ifndef HX_DEFAULT_RUNDIR
#define HX_DEFAULT_RUNDIR "."
#endif

namespace {

struct options {
    std::string rundir = HX_DEFAULT_RUNDIR;
    bool heavy = false;
    bool whole = true;  /* every frame whole, not only what changed */
    long frames = 500;
    long warmup = 5;
    int repeat = 5;
    bool present = false;
};

[[noreturn]] void usage()
{
    std::fprintf(stderr,
                 "usage: horatik-bench-frame [--run DIR] [--scenario heavy|typical|changed] "
                 "[--frames N] [--warmup W] [--repeat R]\n");
    std::exit(2);
}

options parse(int argc, char** argv)
{
    options o;
    for (int i = 1; i < argc; i++) {
        std::string a = argv[i];
        if (a == "--present") {
            o.present = true;
            continue;
        }
        if (i + 1 >= argc)
            usage();
        std::string v = argv[++i];
        if (a == "--run")
            o.rundir = v;
        else if (a == "--scenario" && (v == "heavy" || v == "typical" || v == "changed"))
            o.heavy = v == "heavy", o.whole = v != "changed";
        else if (a == "--frames")
            o.frames = std::atol(v.c_str());
        else if (a == "--warmup")
            o.warmup = std::atol(v.c_str());
        else if (a == "--repeat")
            o.repeat = std::atoi(v.c_str());
        else
            usage();
    }
    if (o.frames < 0 || o.warmup < 0 || o.repeat < 1)
        usage();
    return o;
}

double now()
{
    timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return t.tv_sec + t.tv_nsec * 1e-9;
}

/* Frame i of a scenario: the time moves on as it would, one second a frame
   (two in the heavy case, which keeps the seconds odd). */
void setframe(bool heavy, long i)
{
    if (heavy) {
        long s = 1 + 2 * i;
        sec = (int)(s % 60);
        min = (int)(7 + s / 60) % 60;
        hour = 10;
        hilfe = 1;
        wecken = weckstellen;
        weckzeit[0] = 6;
        weckzeit[1] = 45;
    } else {
        sec = (int)(i % 60);
        min = (int)(10 + i / 60) % 60;
        hour = 10;
        hilfe = 0;
        wecken = weckaus;
    }
    digi = 1;
    fest = 1;
}

void frame(const options& o, long i)
{
    setframe(o.heavy, i);
    uhrwindow->changed = 1;
    wholewindow = wholewindow || o.whole;
    uhrdraw(uhrwindow);
}

/* the desktop's present alone, of all of a frame drawn before */
double presenting(const options& o, long i)
{
    frame(o, i);
    double t0 = now();
    present(screen, 0, nullptr);
    return now() - t0;
}

}  // namespace

int main(int argc, char** argv)
{
    options o = parse(argc, argv);
    if (chdir(o.rundir.c_str()) != 0) {
        std::perror(o.rundir.c_str());
        return 1;
    }
    if (!o.present)
        setenv("SDL_VIDEODRIVER", "dummy", 1);
    if (SDL_Init(SDL_INIT_VIDEO) < 0) {
        std::fprintf(stderr, "SDL_Init: %s\n", SDL_GetError());
        return 1;
    }
    screen = o.present ? openscreen() : SDL_SetVideoMode(320, 240, 16, 0);
    if (!screen) {
        std::fprintf(stderr, "SDL_SetVideoMode: %s\n", SDL_GetError());
        return 1;
    }
    if (o.present) {
        SDL_Surface* w = SDL_GetVideoSurface();
        std::printf("window %dx%dx%d\n", w->w, w->h, w->format->BitsPerPixel);
    }
    if (inittext() != 0)
        std::fprintf(stderr, "warning: fonts not opened in %s\n", o.rundir.c_str());
    bg = loadbackground("data/bg.png", screen->format);
    weck = IMG_Load("data/weck.png");
    if (!bg || !weck)
        std::fprintf(stderr, "warning: data/bg.png or data/weck.png missing\n");
    textquality = 2;
    setuhrwindow();

    for (long i = 0; i < o.warmup; i++)
        frame(o, i);

    std::vector<double> us;
    for (int r = 0; r < o.repeat && o.frames > 0; r++) {
        double t0 = now(), shown = 0;
        for (long i = 0; i < o.frames; i++) {
            if (o.present)
                shown += presenting(o, i);
            else
                frame(o, i);
        }
        us.push_back((o.present ? shown : now() - t0) * 1e6 / (double)o.frames);
    }
    if (!us.empty()) {
        std::printf("scenario %s frames %ld repeat %d us/%s",
                    o.heavy ? "heavy" : o.whole ? "typical" : "changed",
                    o.frames, o.repeat, o.present ? "present" : "frame");
        for (double u : us)
            std::printf(" %.1f", u);
        std::sort(us.begin(), us.end());
        std::printf(" median %.1f\n", us[us.size() / 2]);
    }

    deluhrwindow();
    if (weck)
        SDL_FreeSurface(weck);
    if (bg)
        SDL_FreeSurface(bg);
    quittext();
    SDL_Quit();
    return 0;
}
