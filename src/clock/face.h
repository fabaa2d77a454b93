// The clock face: background, boxes, three hands, read-out, alarm, help panel.
#pragma once
#include "gui/window.h"

struct thand { int x[4], y[4]; };  /* centre, first base corner, tip, second base corner */

/* angle unit "turn" is the number of steps in a full turn: 60 for seconds and minutes, 12 for hours */
thand handcorners(double pos, double halfwidth, int turn, int baseradius, int tipradius);
void uhrdraw(twindow* w);
