// The clock's state, its settings file "Horatik.dat" and its layout file "config.conf".
#pragma once
#include <SDL.h>
#include "gui/build.h"
#include "gui/window.h"

/* clock and alarm */
extern int zeitdazu;      /* seconds added to the system time; 86400000 = 1000 days */
extern char fest;         /* 1 running, 0 stopped */
extern int vergangen;     /* seconds counted while stopped */
extern long long zeit;    /* system time + zeitdazu, this tick; 64 bits never wrap */
extern long long altzeit; /* zeit of the previous tick */
extern int hour, min, sec;
extern int weckzeit[2];   /* alarm hour, minute */
/* the alarm as the file stores it; a foreign file may hold any other number */
enum twecken : int { weckaus = 0, weckstellen = 1, weckscharf = 2 };
extern twecken wecken;

/* display switches */
extern char hilfe;        /* 1: help panel shown */
extern char digi;         /* 1: digital read-out shown */
#if HORATIK_HANDHELD
extern char licht;        /* 1 the screen's light is on */
#endif

/* face geometry and colours from the layout file */
extern int zeigerx, zeigery;
extern int hourradius, minradius, secradius;     /* base radii */
extern int hourradius2, minradius2, secradius2;  /* tip radii */
extern int analogx, analogy;                     /* read-out box */
extern unsigned char hourcol[3], mincol[3], seccol[3];  /* blue, green, red */
extern unsigned short hourc, minc, secc;         /* screen pixel values */

/* colours and resources */
extern SDL_Color color1, color2;
extern SDL_Surface* weck;       /* alarm picture */
extern twindow* uhrwindow;

/* files */
constexpr int settingssize = 17;
void openuhr();
void saveuhr();
void packsettings(unsigned char out[settingssize]);           /* the file's 17 bytes */
void unpacksettings(const unsigned char* in, size_t n);        /* fields wholly inside n */
void readlayout(const unsigned char* text, size_t n);          /* the 19 numbers */
/* path replaced whole: the bytes go to a file of this process's own beside it,
   reach the disk, and only then take its place; false, with errno, when that
   failed, and path is as it was */
bool replacefile(const char* path, const void* data, size_t n, int mode);
