// Test helpers: 320x240x16 software surfaces, pixel reads, the runtime folder.
#pragma once
#include <SDL.h>
#include <cstdlib>
#include <string>
#include <unistd.h>

inline SDL_Surface* make565(int w = 320, int h = 240)
{
    return SDL_CreateRGBSurface(SDL_SWSURFACE, w, h, 16, 0xF800, 0x07E0, 0x001F, 0);
}

inline Uint16 get16(SDL_Surface* s, int x, int y)
{
    return ((Uint16*)s->pixels)[x + y * s->w];
}

/* The first pixel (x + 320 y) of a 320x240 surface drawn with a clip rectangle that
   is not what the same drawing without it left inside the clip, or not "outside"
   (what was there before) outside it; -1 for none. */
inline int clipdiff(SDL_Surface* clipped, SDL_Surface* unclipped, Uint16 outside)
{
    const SDL_Rect& c = clipped->clip_rect;  // the clip cut to the surface
    for (int i = 0; i < 320 * 240; i++) {
        int x = i % 320, y = i / 320;
        bool in = x >= c.x && x < c.x + c.w && y >= c.y && y < c.y + c.h;
        if (get16(clipped, x, y) != (in ? get16(unclipped, x, y) : outside))
            return i;
    }
    return -1;
}

inline void clear16(SDL_Surface* s, Uint16 v)
{
    for (int i = 0; i < s->w * s->h; i++)
        ((Uint16*)s->pixels)[i] = v;
}

/* Counts the pixels that differ from v. */
inline int countnot(SDL_Surface* s, Uint16 v)
{
    int n = 0;
    for (int i = 0; i < s->w * s->h; i++)
        n += ((Uint16*)s->pixels)[i] != v;
    return n;
}

/* The runtime folder with data/ (fonts, pictures), as the build made it. */
inline std::string rundir()
{
    const char* d = std::getenv("HX_RUNDIR");
    return d ? d : ".";
}

inline bool chdir_rundir()
{
    return chdir(rundir().c_str()) == 0;
}
