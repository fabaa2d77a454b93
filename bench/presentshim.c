/* LD_PRELOAD shim for the benchmarks: logs when the program presents a frame and
 * when it takes a key press from SDL's event queue.
 *
 * HX_PRESENT_LOG=FILE   lines are appended to FILE, one write() each:
 *   P <monotonic ns> <present number from 1> <probe> <lit> <realtime ns>
 *        after SDL_UpdateRect, SDL_UpdateRects or SDL_Flip returned; nested calls
 *        (SDL's own functions calling each other) count once. <probe> is the
 *        number of black pixels in the probe rectangle of the presented surface
 *        (16, 24 or 32 bits; -1 for others): it tells the read-out box (black) from
 *        the dial behind it. <lit> is the number of pixels that are not black
 *        among those on every 8th row and column: it tells the clock face
 *        (a picture) from the loading messages and the cleared screen.
 *        <realtime ns> is CLOCK_REALTIME at the same moment: it tells how late
 *        in the system clock's second a frame came.
 *   K <monotonic ns> <key symbol>
 *        when SDL_PollEvent, SDL_WaitEvent or SDL_PeepEvents(SDL_GETEVENT)
 *        handed a key-down event to the program.
 *   M <monotonic ns> <name>
 *        milestones of start-up: "loaded" when the dynamic loader has run this
 *        library's constructor, then the return of each call of SDL_Init,
 *        SDL_SetVideoMode, TTF_OpenFont, IMG_Load and Mix_OpenAudio.
 * HX_PROBE=x0,y0,x1,y1  the probe rectangle, corners included (default: the
 *        inside of the read-out box at its start position, 120,139,198,157).
 */
#ifndef _GNU_SOURCE
#define _GNU_SOURCE
#endif
#include <SDL.h>
#include <dlfcn.h>
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>
#include <unistd.h>

static int logfd = -2;
static int probe[4] = {120, 139, 198, 157};
static unsigned long presents;
static __thread int depth;

static long long monotonic(void)
{
    struct timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return (long long)t.tv_sec * 1000000000LL + t.tv_nsec;
}

static long long realtime(void)
{
    struct timespec t;
    clock_gettime(CLOCK_REALTIME, &t);
    return (long long)t.tv_sec * 1000000000LL + t.tv_nsec;
}

static int logfile(void)
{
    if (logfd == -2) {
        const char* path = getenv("HX_PRESENT_LOG");
        const char* p = getenv("HX_PROBE");
        logfd = path ? open(path, O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644) : -1;
        if (p)
            sscanf(p, "%d,%d,%d,%d", &probe[0], &probe[1], &probe[2], &probe[3]);
    }
    return logfd;
}

static void put(const char* line)
{
    if (logfile() >= 0 && write(logfd, line, strlen(line)) < 0)
        logfd = -1;
}

/* whether pixel (x, y) of a surface of 2 to 4 bytes a pixel has any colour; -1 for
   other surfaces */
static int colour(SDL_Surface* s, int x, int y)
{
    if (!s || !s->pixels || !s->format || s->format->BytesPerPixel < 2)
        return -1;
    int bpp = s->format->BytesPerPixel;
    Uint32 v = 0;
    memcpy(&v, (const Uint8*)s->pixels + (size_t)y * s->pitch + (size_t)x * bpp, (size_t)bpp);
    return (v & (s->format->Rmask | s->format->Gmask | s->format->Bmask)) != 0;
}

static long blackpixels(SDL_Surface* s)
{
    if (colour(s, 0, 0) < 0)
        return -1;
    long n = 0;
    for (int y = probe[1]; y <= probe[3]; y++)
        for (int x = probe[0]; x <= probe[2]; x++)
            if (y >= 0 && y < s->h && x >= 0 && x < s->w && colour(s, x, y) == 0)
                n++;
    return n;
}

static long litpixels(SDL_Surface* s)
{
    if (colour(s, 0, 0) < 0)
        return -1;
    long n = 0;
    for (int y = 4; y < s->h; y += 8)
        for (int x = 4; x < s->w; x += 8)
            n += colour(s, x, y) == 1;
    return n;
}

static void* next(const char* name)
{
    void* f = dlsym(RTLD_NEXT, name);
    if (!f) {
        fprintf(stderr, "presentshim: %s not found\n", name);
        abort();
    }
    return f;
}

/* the probes are taken before the real call, the time after it */
struct probes {
    long black, lit;
};

static struct probes before(SDL_Surface* s)
{
    struct probes p = {0, 0};
    if (++depth == 1 && logfile() >= 0) {
        p.black = blackpixels(s);
        p.lit = litpixels(s);
    }
    return p;
}

static void after(struct probes p)
{
    if (--depth == 0) {
        char line[128];
        snprintf(line, sizeof line, "P %lld %lu %ld %ld %lld\n", monotonic(), ++presents, p.black,
                 p.lit, realtime());
        put(line);
    }
}

void SDL_UpdateRect(SDL_Surface* s, Sint32 x, Sint32 y, Uint32 w, Uint32 h)
{
    static void (*real)(SDL_Surface*, Sint32, Sint32, Uint32, Uint32);
    if (!real)
        *(void**)&real = next("SDL_UpdateRect");
    struct probes p = before(s);
    real(s, x, y, w, h);
    after(p);
}

void SDL_UpdateRects(SDL_Surface* s, int n, SDL_Rect* rects)
{
    static void (*real)(SDL_Surface*, int, SDL_Rect*);
    if (!real)
        *(void**)&real = next("SDL_UpdateRects");
    struct probes p = before(s);
    real(s, n, rects);
    after(p);
}

int SDL_Flip(SDL_Surface* s)
{
    static int (*real)(SDL_Surface*);
    if (!real)
        *(void**)&real = next("SDL_Flip");
    struct probes p = before(s);
    int r = real(s);
    after(p);
    return r;
}

static void keyevents(const SDL_Event* ev, int n)
{
    for (int i = 0; i < n; i++)
        if (ev[i].type == SDL_KEYDOWN) {
            char line[64];
            snprintf(line, sizeof line, "K %lld %d\n", monotonic(), (int)ev[i].key.keysym.sym);
            put(line);
        }
}

int SDL_PollEvent(SDL_Event* ev)
{
    static int (*real)(SDL_Event*);
    if (!real)
        *(void**)&real = next("SDL_PollEvent");
    depth++;
    int r = real(ev);
    if (--depth == 0 && r == 1 && ev)
        keyevents(ev, 1);
    return r;
}

int SDL_WaitEvent(SDL_Event* ev)
{
    static int (*real)(SDL_Event*);
    if (!real)
        *(void**)&real = next("SDL_WaitEvent");
    depth++;
    int r = real(ev);
    if (--depth == 0 && r == 1 && ev)
        keyevents(ev, 1);
    return r;
}

int SDL_PeepEvents(SDL_Event* ev, int n, SDL_eventaction action, Uint32 mask)
{
    static int (*real)(SDL_Event*, int, SDL_eventaction, Uint32);
    if (!real)
        *(void**)&real = next("SDL_PeepEvents");
    depth++;
    int r = real(ev, n, action, mask);
    if (--depth == 0 && r > 0 && ev && action == SDL_GETEVENT)
        keyevents(ev, r);
    return r;
}

/* ------------------------------------------------------------ start-up milestones */

static void milestone(const char* name)
{
    char line[96];
    snprintf(line, sizeof line, "M %lld %s\n", monotonic(), name);
    put(line);
}

__attribute__((constructor)) static void loaded(void)
{
    milestone("loaded");
}

int SDL_Init(Uint32 flags)
{
    static int (*real)(Uint32);
    if (!real)
        *(void**)&real = next("SDL_Init");
    int r = real(flags);
    milestone("SDL_Init");
    return r;
}

SDL_Surface* SDL_SetVideoMode(int w, int h, int bpp, Uint32 flags)
{
    static SDL_Surface* (*real)(int, int, int, Uint32);
    if (!real)
        *(void**)&real = next("SDL_SetVideoMode");
    SDL_Surface* r = real(w, h, bpp, flags);
    milestone("SDL_SetVideoMode");
    return r;
}

/* the fonts, pictures and mixer are looked up only when the program calls them */
void* TTF_OpenFont(const char* file, int size)
{
    static void* (*real)(const char*, int);
    if (!real)
        *(void**)&real = next("TTF_OpenFont");
    void* r = real(file, size);
    milestone("TTF_OpenFont");
    return r;
}

SDL_Surface* IMG_Load(const char* file)
{
    static SDL_Surface* (*real)(const char*);
    if (!real)
        *(void**)&real = next("IMG_Load");
    SDL_Surface* r = real(file);
    milestone("IMG_Load");
    return r;
}

int Mix_OpenAudio(int frequency, Uint16 format, int channels, int chunksize)
{
    static int (*real)(int, Uint16, int, int);
    if (!real)
        *(void**)&real = next("Mix_OpenAudio");
    int r = real(frequency, format, channels, chunksize);
    milestone("Mix_OpenAudio");
    return r;
}
