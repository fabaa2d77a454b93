// What differs between the desktop and the handheld program.
#pragma once
#include <SDL.h>

/* the 320x240x16 screen, or null: full screen on the console; on the desktop a
   window at the desktop's scale that the user can resize */
SDL_Surface* openscreen();

void startnet();   /* desktop: the network library starts and stops with the program */
void stopnet();
void handover();   /* handheld: hand the console back to its menu program */
void setupwait();  /* desktop: the window loop sleeps until input or a new second */
void showticks(int ticks);  /* desktop: the ticks of the last second in the caption */
void sdlhints();   /* desktop, before SDL starts: SDL keeps the screen on no longer */
