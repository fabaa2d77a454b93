// What differs between the desktop and the handheld program.
#pragma once
#include <SDL.h>

extern const Uint32 videoflags;  /* 0: a window; SDL_FULLSCREEN on the console */

void startnet();   /* desktop: the network library starts and stops with the program */
void stopnet();
void handover();   /* handheld: hand the console back to its menu program */
void seticon();    /* desktop: the window's icon, before the window is made */
void setupwait();  /* desktop: the window loop sleeps until input or a new second */
void showticks(int ticks);  /* desktop: the ticks of the last second in the caption */
