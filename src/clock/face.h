// The clock face: background, boxes, three hands, read-out, alarm, help panel.
#pragma once
#include <SDL.h>
#include "gui/window.h"

/* a hand's corners: centre, first base corner, tip, second base corner */
struct thand { int x[4], y[4]; };
enum { secondhand, minutehand, hourhand };

/* the three hands for a shown time with the face's geometry */
void handcorners(int h, int m, int s, thand hands[3]);

/* What a frame shows, part by part: the pixels each part may cover on the
   screen, and what it shows there (equal keys draw equal pixels). */
struct tpart {
    int x0, y0, x1, y1;   /* both corners included; x0 > x1 when it shows nothing */
    int key[9];
};
enum { psecond, pminute, phour, preadout, psteht, palarmbox, palarmmark, phelp, nparts };
struct tview {
    bool valid;           /* false: nothing of the face is known to be on the screen */
    bool help;            /* the help panel over it */
    bool whole;           /* only a whole frame draws it right (see faceview) */
    tpart parts[nparts];
    char readout[16];     /* the read-out's text */
};
constexpr int maxdamage = 8;  /* rectangles a frame is drawn and presented in */

tview faceview();  /* the clock's state as the next frame shows it */
/* Where the screen showing was must change to show now: up to maxdamage
   rectangles, or -1 when the whole face must be drawn. */
int damage(const tview& was, const tview& now, SDL_Rect out[maxdamage]);

/* the whole face onto the screen, within its clip rectangle; nothing presented */
void paintface(twindow* w);
/* the window's draw callback: the face where it changed, then presented there */
void uhrdraw(twindow* w);

/* the help panel's lines, from the top */
extern const char* const helplines[10];
