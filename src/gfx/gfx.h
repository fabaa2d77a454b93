// Surfaces, pictures, single pixels and background rectangles.
#pragma once
#include <SDL.h>

/* globals */
extern SDL_Surface* screen;  /* the 320x240x16 display surface, set by start-up */
extern SDL_Surface* bg;      /* background picture in the screen's format, null when missing */

/* pictures */
SDL_Surface* openimage(const char* filename);   /* BMP with magenta colour key, or null */
void drawimage(SDL_Surface* dst, int x, int y, SDL_Surface* src);
void closeimage(SDL_Surface* s);
/* shows the n rectangles of s, or all of s for n 0, as the platform shows it */
void imageflip(SDL_Surface* s, int n = 0, const SDL_Rect* rects = nullptr);
void eraseall(SDL_Surface* s, unsigned int colour);
/* A picture of any kind SDL_image reads, as a surface in the given 16-bit format,
   at least 320x240 (black where the picture is smaller), each pixel mapped from
   its red, green and blue bytes as the rectangle routines map them; null when it
   cannot be loaded or is too large to decode safely. */
SDL_Surface* loadbackground(const char* filename, const SDL_PixelFormat* format);
SDL_Surface* readbackground(SDL_RWops* rw, const SDL_PixelFormat* format);

/* pixels: nothing outside a surface is read, nothing outside its clip rectangle
   (SDL_SetClipRect) written; the rectangle routines, the text and the routines
   of draw.h keep to it too */
void putpixel(SDL_Surface* s, int x, int y, unsigned char c1, unsigned char c2, unsigned char c3);
void putpixel16(SDL_Surface* s, int x, int y, unsigned short colour);
void gegenpixel16(SDL_Surface* s, int x, int y);
int pixelispink(SDL_Surface* s, int x, int y);

/* the pixels putpixel16 would write for every (x, y) from (x0, y0) to (x1, y1),
   both corners included; wide coordinates so callers can add without overflow */
void fillrect16(SDL_Surface* s, long long x0, long long y0, long long x1, long long y1,
                unsigned short colour);

/* background rectangles: corners (x, y) and (x + w, y + h) both included */
void drawfillrec(SDL_Surface* dst, int x, int y, int w, int h, SDL_Surface* src);
void drawfillrecgegen(SDL_Surface* dst, int x, int y, int w, int h, SDL_Surface* src);

/* the frame at a whole factor */
int zoomfit(int w, int h);  /* the largest factor at which 320x240 fits w x h, at least 1 */
/* The 320x240x16 frame src onto dst at factor f: each pixel an f x f block
   (nearest neighbour), centred on black, cut evenly where dst is smaller. dst
   may be 16, 24 or 32 bits of any RGB layout: each channel's bits are
   repeated down to 8 and mapped to dst's format. False for a paletted dst. */
bool zoomframe(SDL_Surface* dst, SDL_Surface* src, int f);
/* Only the n rectangles of src, zoomed as zoomframe zooms them, without the
   black; out gets each one's place on dst, cut to dst, and the count of those
   left is returned (0 for a paletted dst). */
int zoomrects(SDL_Surface* dst, SDL_Surface* src, int f, int n, const SDL_Rect* rects,
              SDL_Rect* out);
