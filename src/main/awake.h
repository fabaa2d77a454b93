// The desktop program keeps the machine awake for the alarm: a suspend inhibition the desktop holds, a timer that wakes it.
#pragma once
#include <poll.h>
#include <SDL.h>

#include "clock/control.h"

/* After every tick, what the clock asks (awakefor): the inhibition taken, kept or
   given back, and the wake timer set. The bus is asked asynchronously and read
   here, never waited for. */
void keepawake(const tawake& w);
void letsleep();  /* at the end: all of that given back, the bus given half a second */
/* While a bus owes an answer or may bring one (an alarm is armed, and the
   services it asked are watched), its descriptor for the idle loop to wait on
   beside input; false otherwise. Either way *ms is cut to when something is
   due (an answer, a check, asking again). What comes is read after the next
   tick. */
bool awakepoll(pollfd* fd, Uint32* ms);

