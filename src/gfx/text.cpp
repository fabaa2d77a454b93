// Text in three sizes, rendered with SDL_ttf in the current colour.
#include "gfx/text.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <initializer_list>
#include <string>

#include "gfx/gfx.h"

/* variables */
TTF_Font* bigfont = nullptr;      /* 18 points */
TTF_Font* medfont = nullptr;      /* 14 points */
TTF_Font* smafont = nullptr;      /* 10 points */
SDL_Color globalcolor = {0, 0, 0, 0};
SDL_Color globalcolor2 = {0, 0, 0, 0};
int textquality = 1;

static const char fontfile[] = "data/times.ttf";

static void forget();

int inittext()
{
    int result = TTF_Init() < 0 ? -1 : 0;
    bigfont = TTF_OpenFont(fontfile, 18);
    medfont = TTF_OpenFont(fontfile, 14);
    smafont = TTF_OpenFont(fontfile, 10);
    if (!bigfont || !medfont || !smafont)
        result = -1;
    return result;
}

void quittext()
{
    forget();
    for (TTF_Font** f : {&bigfont, &medfont, &smafont}) {
        if (*f)
            TTF_CloseFont(*f);
        *f = nullptr;
    }
    TTF_Quit();
}

/* Rendered texts, kept for their next use: the help panel's ten lines would
   otherwise be rendered afresh in every frame, which is most of a frame's work
   on the console. A rendering depends only on the font, the quality, the colours
   and the text, so a kept one gives the very same pixels. The least recently
   used one makes room; closing the fonts empties the store. */
struct rendered {
    TTF_Font* font = nullptr;
    int quality = 0;
    Uint32 colours[2] = {0, 0};  /* text colour; the shaded quality's ground */
    std::string text;
    SDL_Surface* surface = nullptr;
    unsigned long used = 0;
};
static std::array<rendered, 32> store;
static unsigned long uses;

static Uint32 rgb(const SDL_Color& c)
{
    return (Uint32)c.r << 16 | (Uint32)c.g << 8 | c.b;
}

static void forget()
{
    for (rendered& r : store) {
        if (r.surface)
            SDL_FreeSurface(r.surface);
        r = rendered();
    }
}

static SDL_Surface* render(TTF_Font* font, const char* text)
{
    int quality = textquality;
    /* only the shaded quality paints the second colour */
    const Uint32 colours[2] = {rgb(globalcolor), quality == 3 ? rgb(globalcolor2) : 0};
    rendered* oldest = &store[0];
    for (rendered& r : store) {
        if (r.surface && r.font == font && r.quality == quality && r.colours[0] == colours[0] &&
            r.colours[1] == colours[1] && r.text == text) {
            r.used = ++uses;
            return r.surface;
        }
        if (r.used < oldest->used)
            oldest = &r;
    }
    SDL_Surface* s;
    switch (quality) {
    case 2: s = TTF_RenderUTF8_Blended(font, text, globalcolor); break;
    case 3: s = TTF_RenderUTF8_Shaded(font, text, globalcolor, globalcolor2); break;
    default: s = TTF_RenderUTF8_Solid(font, text, globalcolor); break;
    }
    if (!s)
        return nullptr;
    if (oldest->surface)
        SDL_FreeSurface(oldest->surface);
    *oldest = rendered{font, quality, {colours[0], colours[1]}, text, s, ++uses};
    return s;
}

void textextent(TTF_Font* font, const char* text, int* w, int* h)
{
    *w = *h = 0;
    if (!font || !text)
        return;
    /* the colours change no size: a rendering kept in any of them will do */
    SDL_Surface* s = nullptr;
    for (const rendered& r : store)
        if (r.surface && r.font == font && r.quality == textquality && r.text == text)
            s = r.surface;
    if (!s)
        s = render(font, text);
    if (s) {
        *w = s->w;
        *h = s->h;
    }
}

bool textchange(TTF_Font* font, const char* a, const char* b, int* x0, int* y0, int* x1, int* y1)
{
    *x0 = *y0 = 0;
    *x1 = *y1 = -1;
    if (!font || !a || !b)
        return false;
    SDL_Surface* sa = render(font, a);
    SDL_Surface* sb = render(font, b);  // the store keeps sa, just used
    int wa = sa ? sa->w : 0, ha = sa ? sa->h : 0, wb = sb ? sb->w : 0, hb = sb ? sb->h : 0;
    int w = std::max(wa, wb), h = std::max(ha, hb);
    auto blended = [](const SDL_Surface* s) {
        return s && s->format->BytesPerPixel == 4 && s->format->Amask;
    };
    if (!blended(sa) || !blended(sb) || ha != hb) {
        /* no picture, or solid and shaded ones: all of both */
        *x1 = w - 1;
        *y1 = h - 1;
        return w > 0 && h > 0;
    }
    /* Pixels of equal value act alike; beyond the narrower picture every column
       counts as changed. */
    int common = std::min(wa, wb);
    *x0 = common < w ? common : w;
    *x1 = common < w ? w - 1 : -1;
    *y0 = common < w ? 0 : h;
    *y1 = common < w ? h - 1 : -1;
    for (int y = 0; y < h; y++) {
        const Uint32* pa = (const Uint32*)((const Uint8*)sa->pixels + y * sa->pitch);
        const Uint32* pb = (const Uint32*)((const Uint8*)sb->pixels + y * sb->pitch);
        if (memcmp(pa, pb, (size_t)common * 4) == 0)
            continue;
        int l = 0, r = common - 1;
        while (pa[l] == pb[l])
            l++;
        while (pa[r] == pb[r])
            r--;
        *x0 = std::min(*x0, l), *x1 = std::max(*x1, r);
        *y0 = std::min(*y0, y), *y1 = std::max(*y1, y);
    }
    return *x1 >= 0;
}

static void outtext(TTF_Font* font, SDL_Surface* dst, int x, int y, const char* text)
{
    /* no font, no text, or nothing rendered: nothing is drawn */
    if (!font || !text)
        return;
    if (SDL_Surface* s = render(font, text))
        drawimage(dst, x, y, s);
}

void outtextxy(SDL_Surface* dst, int x, int y, const char* text)
{
    outtext(bigfont, dst, x, y, text);
}

void outtextxyklein(SDL_Surface* dst, int x, int y, const char* text)
{
    outtext(medfont, dst, x, y, text);
}

void outtextxymini(SDL_Surface* dst, int x, int y, const char* text)
{
    outtext(smafont, dst, x, y, text);
}
