// The desktop program keeps the machine awake for the alarm: a suspend inhibition the desktop holds, a timer that wakes it.
#pragma once
#include <poll.h>
#include <SDL.h>

#include "platform.h"

/* Defined here: keepawake(), after every tick, takes, keeps or gives back the
   inhibition and sets the wake timer, asking the bus asynchronously and reading
   what it answered, never waiting for it; letsleep(), at the end, gives all of
   that back and the bus half a second. */

/* While a bus owes an answer or may bring one (an alarm is armed, and the
   services it asked are watched), its descriptor for the idle loop to wait on
   beside input; false otherwise. Either way *ms is cut to when something is
   due (an answer, a check, asking again). What comes is read after the next
   tick. */
bool awakepoll(pollfd* fd, Uint32* ms);
