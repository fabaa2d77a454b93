// Text in three sizes, rendered with SDL_ttf in the current colour.
#pragma once
#include <SDL.h>
#include <SDL_ttf.h>

/* globals */
extern TTF_Font* bigfont;      /* 18 points */
extern TTF_Font* medfont;      /* 14 points */
extern TTF_Font* smafont;      /* 10 points */
extern SDL_Color globalcolor;  /* text colour */
extern SDL_Color globalcolor2; /* background of the shaded quality */
extern int textquality;        /* 2 blended, 3 shaded, anything else solid */

int inittext();                /* 0, or -1 when the library or a font failed */
void quittext();

void outtextxy(SDL_Surface* dst, int x, int y, const char* text);       /* large */
void outtextxyklein(SDL_Surface* dst, int x, int y, const char* text);  /* medium */
void outtextxymini(SDL_Surface* dst, int x, int y, const char* text);   /* small */
/* The size of the picture the routines above draw for the text with that font,
   0 x 0 when they would draw none: what it covers, placed at their (x, y). */
void textextent(TTF_Font* font, const char* text, int* w, int* h);
/* Where the pictures of texts a and b drawn at one place with that font in the
   current colours differ: columns x0..x1 and rows y0..y1 from that place, to be
   drawn again when a is replaced by b; false when they are the same. */
bool textchange(TTF_Font* font, const char* a, const char* b, int* x0, int* y0, int* x1, int* y1);
