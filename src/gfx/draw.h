// Lines and filled triangles straight on the screen, clipped to its clip rectangle.
#pragma once
#include <SDL.h>

void PutPixel(int x, int y, unsigned short colour);
void SwapInt(int* a, int* b);
void HLine(int x1, int x2, int y, unsigned short colour);
void HLine2(int x1, int x2, int y, SDL_Color colour);
void Line(int x1, int y1, int x2, int y2, unsigned short colour);
void TriAngle(int x1, int y1, int x2, int y2, int x3, int y3, unsigned short colour);
void Polygon(int x1, int y1, int x2, int y2, int x3, int y3, unsigned short colour);
void Polygon2(int x1, int y1, int x2, int y2, int x3, int y3, SDL_Color colour);

/* an SDL_Color as a screen pixel: its third byte is red, its first blue */
unsigned short crossedcolour(SDL_Color c);
