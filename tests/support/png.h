// Test helpers: 16-bit frames to and from PNG files (golden pictures, screenshots).
#pragma once
#include <SDL.h>
#include <string>

/* Writes a 320x240 (or any) 5-6-5 surface as 8-bit RGB, each channel's bits
   shifted to the top, so that reading it back gives the same 5-6-5 values. */
bool savepng565(SDL_Surface* s, const std::string& path);
/* Reads a PNG into a new 5-6-5 surface (top 5, 6, 5 bits of each channel). */
SDL_Surface* loadpng565(const std::string& path);
/* Pixels that differ between two 5-6-5 surfaces of the same size, -1 if the sizes differ. */
int diff565(SDL_Surface* a, SDL_Surface* b);
