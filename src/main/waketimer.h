// A timer that wakes a sleeping machine at the alarm's second.
#pragma once

void setwaketimer(long long at);  /* system time; -1: none */
void endwaketimer();              /* at the end: none, and the next start asks afresh */

extern int (*openwaketimer)();  /* timerfd_create(CLOCK_REALTIME_ALARM, ...); tests set
                                   another clock; -1 where the system refuses */
extern int waketimer;           /* the timer, -1 for none */
