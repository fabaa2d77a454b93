// horatik-wake: the one program that holds CAP_WAKE_ALARM, keeping the clock's wake timer.
#include "wake/request.h"

#include <sys/timerfd.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <ctime>

/* The clock starts it with a socket as fds 0 and 1 and an empty environment, and
   it uses nothing else: it reads requests (wake/request.h) from 0 and keeps one
   CLOCK_REALTIME_ALARM timer set to the last, which the kernel lets wake a
   suspended machine, or none. On 1 it answers once "0" where it could make its
   timer, else the error's number, and says the error of a request it cannot do
   before it ends. It ends when the clock closes its end, as the clock ends. */

#ifndef HX_WAKECLOCK
#define HX_WAKECLOCK CLOCK_REALTIME_ALARM  // the tests' copy keeps a plain CLOCK_REALTIME one
#endif

static void answer(int error)
{
    char line[16];
    int n = std::snprintf(line, sizeof line, "%d\n", error);
    if (write(1, line, (size_t)n) < 0) {
        // the clock is gone; the next read ends this
    }
}

int main()
{
    /* a privileged process keeps nothing of its parent's but the socket (and
       stderr, for the C library's own last words) */
    close_range(3, ~0U, 0);
    int timer = timerfd_create(HX_WAKECLOCK, TFD_CLOEXEC);
    answer(timer < 0 ? errno : 0);
    if (timer < 0)
        return 1;
    twakeline line{};
    for (;;) {
        char c;
        ssize_t n = read(0, &c, 1);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return 0;
        long long at = -1;
        twakerequest r = wakebyte(&line, c, &at);
        if (r == wakemore)
            continue;
        if (r == wakebad) {
            answer(EINVAL);
            return 2;
        }
        /* cleared by closing it: the kernel goes on showing a disarmed alarm
           timer's old time in /proc/<pid>/fdinfo, where users check it */
        if (r == wakenone) {
            if (timer >= 0)
                close(timer);
            timer = -1;
            continue;
        }
        if (timer < 0)
            timer = timerfd_create(HX_WAKECLOCK, TFD_CLOEXEC);
        itimerspec when{};
        when.it_value.tv_sec = (time_t)at;
        /* the kernel asks for CAP_WAKE_ALARM here again, every time */
        if (timer < 0 || timerfd_settime(timer, TFD_TIMER_ABSTIME, &when, nullptr) != 0) {
            answer(errno);
            return 1;
        }
    }
}
