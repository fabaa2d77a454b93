// The clock face: background, boxes, three hands, read-out, alarm, help panel.
#pragma once
#include "gui/window.h"

/* a hand's corners: centre, first base corner, tip, second base corner */
struct thand { int x[4], y[4]; };
enum { secondhand, minutehand, hourhand };

/* the three hands for a shown time with the face's geometry */
void handcorners(int h, int m, int s, thand hands[3]);
void uhrdraw(twindow* w);

/* the help panel's lines, from the top */
extern const char* const helplines[10];
