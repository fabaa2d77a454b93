// The about window with its logos and its "Zurück" button on R.
#pragma once
#include "gui/window.h"

extern twindow* aboutwindow;

void setaboutwindow();
void delaboutwindow();
void aboutdraw(twindow* win);
void aboutmove(twindow* win);
void aboutendeclick();
