// Text in three sizes, rendered with SDL_ttf in the current colour.
#include "gfx/text.h"

#include <array>
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
