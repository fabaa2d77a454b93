// The clock's logic in every tick: buttons, time keeping, the alarm.
#pragma once
#include "gui/window.h"

void uhrmove(twindow* w);

/* pure helpers */
void showntime(int zeit, int* h, int* m, int* s);
/* does an armed alarm at hh:mm ring when the running clock goes from "from" to "to"? */
bool alarmdue(int from, int to, int hh, int mm);
