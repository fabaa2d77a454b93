// A timer that wakes a sleeping machine for the alarm, where the kernel allows it.
#include "main/waketimer.h"

#include <sys/timerfd.h>
#include <unistd.h>

#include <ctime>

static int alarmtimer()
{
    return timerfd_create(CLOCK_REALTIME_ALARM, TFD_CLOEXEC | TFD_NONBLOCK);
}

/* variables */
int (*openwaketimer)() = alarmtimer;
int waketimer = -1;                /* the wake timer, -1 for none */
static long long waketimerat = -1; /* system time it is set to, -1 for none */
static bool waketimerrefused;      /* the system gives none (no CAP_WAKE_ALARM): not asked again */

/* Where the kernel allows it (CAP_WAKE_ALARM), a machine that sleeps through the
   alarm's second is woken then, and the clock's catch-up rings at once. */
void setwaketimer(long long at)
{
    if (at == waketimerat)
        return;
    waketimerat = at;
    if (at < 0) {
        if (waketimer >= 0)
            close(waketimer);
        waketimer = -1;
        return;
    }
    if (waketimer < 0 && !waketimerrefused) {
        waketimer = openwaketimer();
        waketimerrefused = waketimer < 0;
    }
    itimerspec when{};
    when.it_value.tv_sec = (time_t)at;
    if (waketimer >= 0 && timerfd_settime(waketimer, TFD_TIMER_ABSTIME, &when, nullptr) != 0) {
        close(waketimer);
        waketimer = -1;
    }
}

void endwaketimer()
{
    setwaketimer(-1);
    waketimerrefused = false;
}
