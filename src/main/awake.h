// The desktop program keeps the machine awake for the alarm: a suspend inhibition on the session bus, a timer that wakes it.
#pragma once
#include <poll.h>
#include <SDL.h>

#include "platform.h"

/* Defined here: keepawake(), after every tick, takes, keeps or gives back the
   inhibition and sets the wake timer, asking the bus asynchronously and reading
   what it answered, never waiting for it; letsleep(), at the end, gives all of
   that back and the bus half a second. */

/* While the bus owes an answer or may bring one, its descriptor for the idle
   loop to wait on beside input, and *ms cut to when an answer is due; false
   otherwise. What it brings is read after the next tick. */
bool awakepoll(pollfd* fd, Uint32* ms);
