// Drawing a window and its changed elements onto the screen.
#pragma once
#include <cstddef>
#include "gui/window.h"

void drawwindow(twindow* win);
/* a button's caption with the names of its keys in front, highest key first */
void buttoncaption(char* out, size_t size, const char* text, unsigned int keymask);
