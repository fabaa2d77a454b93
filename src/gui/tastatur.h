// The German on-screen keyboard: an upper-case (hidden) and a lower-case table.
#pragma once
#include "gui/window.h"

void createtastatur(twindow* win, const char* uppername, const char* lowername, int x, int y,
                    int w, int h, int selcol, int selrow, unsigned short style);
