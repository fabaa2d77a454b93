// The clock's logic in every tick: buttons, time keeping, the alarm.
#pragma once
#include "gui/window.h"
#include "platform.h"

void uhrmove(twindow* w);

/* pure helpers */
/* the time of day of a clock value; values before 1970 count back from midnight */
void showntime(long long zeit, int* h, int* m, int* s);
/* does an armed alarm at hh:mm ring when the running clock goes from "from" to "to"? */
bool alarmdue(long long from, long long to, int hh, int mm);
/* the first system time after "now" at which a clock running with this offset
   shows hh:mm:00; -1 for an alarm time it never shows */
long long nextring(long long now, int offset, int hh, int mm);

/* At system time now: until the alarm's second while it is armed and the clock
   runs; until 30 s after the sound of a ring, whose sound lasts until ringend
   (system time, -1 for no ring); else not at all. */
tawake awakefor(long long now, long long ringend);
