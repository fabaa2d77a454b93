// The wake timer: set to the armed alarm's second, moved with it, gone when the alarm is off or refused.
#include <gtest/gtest.h>
#include <sys/timerfd.h>

#include <cerrno>
#include <cstdlib>
#include <ctime>

#include "main/awake.h"
#include "main/waketimer.h"

namespace {

/* CLOCK_REALTIME_ALARM wants CAP_WAKE_ALARM; the plain clock behaves alike */
int realtimetimer()
{
    return timerfd_create(CLOCK_REALTIME, TFD_CLOEXEC | TFD_NONBLOCK);
}

int refused()
{
    errno = EPERM;
    return -1;
}

/* the system time the timer fires at */
long long setfor()
{
    itimerspec it{};
    timerfd_gettime(waketimer, &it);
    return (long long)std::time(nullptr) + it.it_value.tv_sec + (it.it_value.tv_nsec >= 500000000);
}

}  // namespace

TEST(Awake, WakeTimerFollowsTheArmedAlarm)
{
    unsetenv("DBUS_SESSION_BUS_ADDRESS");  // no session bus: the timer alone
    unsetenv("XDG_RUNTIME_DIR");
    openwaketimer = realtimetimer;
    const long long now = std::time(nullptr);
    struct {
        long long until;
        bool wake;       /* what the clock asks */
        long long want;  /* where the timer is, -1 for none */
    } steps[] = {
        {now + 100, true, now + 100},
        {now + 100, true, now + 100},
        {now + 3700, true, now + 3700},  // the clock was set an hour back
        {-1, false, -1},                 // stopped, or off: no second to ring at
        {now + 200, true, now + 200},
        {now + 30, false, -1},           // a ring's sound: awake, nothing to wake for
        {now + 300, true, now + 300},
    };
    for (const auto& s : steps) {
        SCOPED_TRACE(s.until - now);
        keepawake({s.until, s.wake, 7, 0});
        if (s.want < 0) {
            EXPECT_EQ(waketimer, -1);
        } else {
            ASSERT_GE(waketimer, 0);
            EXPECT_NEAR(setfor(), s.want, 1);
        }
    }
    letsleep();
    EXPECT_EQ(waketimer, -1);

    openwaketimer = refused;
    ::testing::internal::CaptureStderr();
    keepawake({now + 100, true, 7, 0});
    keepawake({now + 200, true, 7, 0});
    EXPECT_EQ(waketimer, -1);
    letsleep();
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "") << "a refused wake timer is no news";
}
