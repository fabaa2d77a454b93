// The about window: two logos, three lines of text and a "Zurück" button on R.
#include "gui/about.h"

#include <SDL_image.h>
#include "gfx/gfx.h"
#include "gfx/text.h"
#include "gui/loop.h"
#include "gui/render.h"

/* variables */
twindow* aboutwindow = nullptr;  /* null until setaboutwindow */

void setaboutwindow()
{
    aboutwindow =
        createwindow("about", 50, 50, 219, 139, sblack | sbg | sdark, aboutdraw, aboutmove);
    createbutton(aboutwindow, "back", "Zurück", 70, 115, 80, 15, sbg | sdark, 1u << kr,
                 aboutendeclick, nullptr);
}

void delaboutwindow()
{
    deletebutton(aboutwindow, "back");
    deletewindow(aboutwindow);
}

/* Loaded afresh on every draw: the window is drawn once per showing, and not at all
   unless someone shows it. White is the logos' transparent colour. */
static void drawlogo(const char* file, int x, int y)
{
    SDL_Surface* logo = IMG_Load(file);
    if (!logo)
        return;
    SDL_SetColorKey(logo, SDL_SRCCOLORKEY, SDL_MapRGB(logo->format, 255, 255, 255));
    drawimage(screen, x, y, logo);
    closeimage(logo);
}

static void setcolour(Uint8 r, Uint8 g, Uint8 b)
{
    globalcolor.r = r;
    globalcolor.g = g;
    globalcolor.b = b;
}

void aboutdraw(twindow* win)
{
    setcolour(255, 192, 255);
    drawwindow(win);
    drawlogo("data/fennick.png", 50, 60);
    drawlogo("Tavlo.png", 66, 120);
    setcolour(0, 0, 0);
    /* each line ends left of the frame at column 269 in the medium font */
    outtextxyklein(screen, 120, 110, "Tavlo Version 2.0a");
    outtextxyklein(screen, 120, 125, "von: Horatik-Team");
    outtextxyklein(screen, 120, 140, "Tavlo ist Freeware");
    imageflip(screen);
    wholewindow = true;  // the window below it is drawn whole again
}

void aboutmove(twindow*)
{
}

void aboutendeclick()
{
    aboutwindow->quit = 1;
    keys[kr] = 0;  /* the press that closed the window counts as released */
}
