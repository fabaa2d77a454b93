// The desktop program's hold on the machine's sleep while an alarm is armed: what its idle wait and tests see.
#pragma once
#include <poll.h>
#include <SDL.h>

extern int (*openwaketimer)();  /* a timer on a clock that wakes a sleeping machine, or
                                   -1: timerfd_create(CLOCK_REALTIME_ALARM, ...); tests
                                   set another clock */
extern int waketimer;           /* that timer, set to the armed alarm's second; -1 for none */

/* While the session bus owes an answer, takes a message or may end what it
   holds: its descriptor to wait on in fd, and *ms cut to when an answer is due;
   false otherwise. */
bool awakepoll(pollfd* fd, Uint32* ms);
void awakestep();  /* what the bus sent is read and answered; never waits */
