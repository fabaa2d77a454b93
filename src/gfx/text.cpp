// Text in three sizes, rendered with SDL_ttf in the current colour.
#include "gfx/text.h"

#include <initializer_list>

#include "gfx/gfx.h"

/* variables */
TTF_Font* bigfont = nullptr;      /* 18 points */
TTF_Font* medfont = nullptr;      /* 14 points */
TTF_Font* smafont = nullptr;      /* 10 points */
SDL_Color globalcolor = {0, 0, 0, 0};
SDL_Color globalcolor2 = {0, 0, 0, 0};
int textquality = 1;

static const char fontfile[] = "data/times.ttf";

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
    for (TTF_Font** f : {&bigfont, &medfont, &smafont}) {
        if (*f)
            TTF_CloseFont(*f);
        *f = nullptr;
    }
    TTF_Quit();
}

static void outtext(TTF_Font* font, SDL_Surface* dst, int x, int y, const char* text)
{
    /* no font, no text, or nothing rendered: nothing is drawn or freed */
    if (!font || !text)
        return;
    SDL_Surface* s;
    switch (textquality) {
    case 2: s = TTF_RenderUTF8_Blended(font, text, globalcolor); break;
    case 3: s = TTF_RenderUTF8_Shaded(font, text, globalcolor, globalcolor2); break;
    default: s = TTF_RenderUTF8_Solid(font, text, globalcolor); break;
    }
    if (!s)
        return;
    drawimage(dst, x, y, s);
    SDL_FreeSurface(s);
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
