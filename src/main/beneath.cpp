// The SDL beneath sdl12-compat: what the SDL 1.2 API cannot ask of it.
#include "main/beneath.h"

#include <dlfcn.h>

/* SDL2's own types, as far as these calls need them */
struct SDL2_Window;
struct SDL2_Renderer;

/* variables */
static SDL2_Window* (*getwindowfromid)(Uint32);
static SDL2_Renderer* (*getrenderer)(SDL2_Window*);
static int (*setintegerscale)(SDL2_Renderer*, int);
static void (*setwindowsize)(SDL2_Window*, int, int);
static void (*getwindowsize)(SDL2_Window*, int*, int*);
static int (*getoutputsize)(SDL2_Renderer*, int*, int*);
static int (*waiteventtimeout)(void*, int);
static SDL2_Window* window;  /* sdl12-compat's one window, null before it is found */

template <typename F>
static bool symbol(void* lib, const char* name, F& f)
{
    f = reinterpret_cast<F>(dlsym(lib, name));
    return f != nullptr;
}

bool beneathfound()
{
    if (window)
        return true;
    if (SDL_Linked_Version()->patch < 50)
        return false;
    /* the library sdl12-compat loaded, by its soname; nothing is loaded here */
    void* lib = dlopen("libSDL2-2.0.so.0", RTLD_NOLOAD | RTLD_LAZY);
    if (!lib)
        return false;
    bool all = symbol(lib, "SDL_GetWindowFromID", getwindowfromid) &&
               symbol(lib, "SDL_GetRenderer", getrenderer) &&
               symbol(lib, "SDL_RenderSetIntegerScale", setintegerscale) &&
               symbol(lib, "SDL_SetWindowSize", setwindowsize) &&
               symbol(lib, "SDL_GetWindowSize", getwindowsize) &&
               symbol(lib, "SDL_GetRendererOutputSize", getoutputsize) &&
               symbol(lib, "SDL_WaitEventTimeout", waiteventtimeout);
    dlclose(lib);
    if (!all)
        return false;
    /* window ids count up from 1; sdl12-compat's window is the one with a renderer */
    for (Uint32 id = 1; id < 64 && !window; id++)
        if (SDL2_Window* w = getwindowfromid(id); w && getrenderer(w))
            window = w;
    return window != nullptr;
}

/* The window's size in points and in pixels: they differ on a Wayland output
   of a scale above 1. */
static bool sizes(int* w, int* h, int* pw, int* ph)
{
    *w = *h = *pw = *ph = 0;
    getwindowsize(window, w, h);
    return getoutputsize(getrenderer(window), pw, ph) == 0 && *w > 0 && *h > 0 && *pw > 0 && *ph > 0;
}

int beneathscale()
{
    int w, h, pw, ph;
    if (!beneathfound() || !sizes(&w, &h, &pw, &ph))
        return 1;
    int f = (pw + w / 2) / w;
    return f > 1 ? f : 1;
}

bool beneathzoom(int f)
{
    int w, h, pw, ph;
    if (!beneathfound() || setintegerscale(getrenderer(window), 1) != 0)
        return false;
    /* a window that a tiling compositor has sized already keeps its size */
    if (f > 1 && sizes(&w, &h, &pw, &ph) && (pw < 320 * f || ph < 240 * f))
        setwindowsize(window, (320 * f * w + pw - 1) / pw, (240 * f * h + ph - 1) / ph);
    return true;
}

void beneathnoaudioevents()
{
    if (SDL_Linked_Version()->patch < 50)
        return;
    void* lib = dlopen("libSDL2-2.0.so.0", RTLD_NOLOAD | RTLD_LAZY);
    Uint8 (*eventstate)(Uint32, int) = nullptr;
    if (lib && symbol(lib, "SDL_EventState", eventstate)) {
        eventstate(0x1100, 0);  // SDL_AUDIODEVICEADDED, SDL_IGNORE
        eventstate(0x1101, 0);  // SDL_AUDIODEVICEREMOVED
    }
    if (lib)
        dlclose(lib);
}

bool beneathwait(Uint32 ms)
{
    if (!beneathfound())
        return false;
    waiteventtimeout(nullptr, (int)ms);
    return true;
}
