// The wake timer: kept by the helper at the armed alarm's second, moved with it, cleared when the alarm is off; no timer to be had said once.
#include <dirent.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "main/awake.h"
#include "main/waketimer.h"

namespace {

/* A cross build's emulator (HX_EMULATOR, its words split at spaces), then argv */
std::vector<std::string> command(std::vector<std::string> argv)
{
    std::vector<std::string> words;
    const char* emulator = std::getenv("HX_EMULATOR");
    std::istringstream in(emulator ? emulator : "");
    for (std::string w; in >> w;)
        words.push_back(w);
    words.insert(words.end(), argv.begin(), argv.end());
    return words;
}

std::string readfile(const std::string& path)
{
    std::ifstream in(path);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

void pause(double seconds)
{
    timespec t = {(time_t)seconds, (long)((seconds - (time_t)seconds) * 1e9)};
    nanosleep(&t, nullptr);
}

/* The system time the helper's timer fires at, from its fdinfo; -1 for none.
   The tests' helper keeps a CLOCK_REALTIME timer (clockid 0): the real one's
   CLOCK_REALTIME_ALARM wants CAP_WAKE_ALARM. */
long long timerof(pid_t pid)
{
    std::string dir = "/proc/" + std::to_string(pid) + "/fdinfo";
    long long at = -1;
    DIR* d = opendir(dir.c_str());
    for (dirent* e; d && (e = readdir(d));) {
        std::string info = readfile(dir + "/" + e->d_name);
        size_t value = info.find("it_value: (");
        long long s, ns;
        if (info.find("clockid: 0\n") != std::string::npos && value != std::string::npos &&
            std::sscanf(info.c_str() + value, "it_value: (%lld, %lld)", &s, &ns) == 2 && (s || ns))
            at = (long long)std::time(nullptr) + s + (ns >= 500000000);
    }
    if (d)
        closedir(d);
    return at;
}

/* until the helper's timer is within a second of want; the last seen */
long long waittimer(long long want, double timeout)
{
    long long at = timerof(wakehelper);
    for (int i = 0; i < timeout / 0.01 && (want < 0 ? at != -1 : std::llabs(at - want) > 1); i++) {
        pause(0.01);
        at = timerof(wakehelper);
    }
    return at;
}

}  // namespace

TEST(Awake, WakeTimerFollowsTheArmedAlarm)
{
    unsetenv("DBUS_SESSION_BUS_ADDRESS");  // no session bus: the timer alone
    unsetenv("XDG_RUNTIME_DIR");
    wakecommand = command({HX_WAKEREALTIME});
    const long long now = std::time(nullptr);
    struct {
        long long until;
        bool wake;       /* what the clock asks */
        long long want;  /* where the timer is, -1 for none */
    } steps[] = {
        {-1, false, -1},                 // nothing armed: no helper yet
        {now + 100, true, now + 100},
        {now + 100, true, now + 100},
        {now + 3700, true, now + 3700},  // the clock was set an hour back
        {-1, false, -1},                 // stopped, or off: no second to ring at
        {now + 200, true, now + 200},
        {now + 30, false, -1},           // a ring's sound: awake, nothing to wake for
        {now + 300, true, now + 300},
    };
    ::testing::internal::CaptureStderr();
    pid_t first = -1;
    bool envread = false;
    for (const auto& s : steps) {
        SCOPED_TRACE(s.until - now);
        keepawake({s.until, s.wake, 7, 0});
        if (first < 0) {
            first = wakehelper;
            if (first < 0) {
                EXPECT_EQ(s.want, -1) << "no helper started";
                continue;
            }
        }
        EXPECT_EQ(wakehelper, first) << "one helper for the whole run";
        long long at = waittimer(s.want, 10);
        /* nothing of the clock's environment, and but for its timer no file of its;
           read once its timer shows it is the helper, not yet the clock's fork
           (under emulation the exec comes late) */
        if (!envread) {
            envread = true;
            EXPECT_EQ(readfile("/proc/" + std::to_string(first) + "/environ"), "");
        }
        if (s.want < 0) {
            EXPECT_EQ(at, -1);
        } else {
            EXPECT_NEAR(at, s.want, 1);
        }
    }
    if (!std::getenv("HX_EMULATOR")) {  // qemu has files of its own
        auto fds = std::filesystem::directory_iterator("/proc/" + std::to_string(first) + "/fd");
        EXPECT_EQ(std::distance(fds, {}), 4) << "not just the socket as 0 and 1, stderr and the timer";
    }
    letsleep();
    EXPECT_EQ(wakehelper, -1);
    EXPECT_EQ(kill(first, 0), -1) << "the helper runs on, or was not reaped";
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "");
}

/* Where no wake timer can be had, the clock goes on without and says so once:
   no helper, one refused the capability, one that ended, said nonsense or stopped
   reading. The clock sends a new second at every call, so that it meets the
   closed socket (no SIGPIPE); a helper that does not end as its socket closes is
   ended. */
TEST(Awake, NoWakeTimerIsSaidOnce)
{
    unsetenv("DBUS_SESSION_BUS_ADDRESS");
    unsetenv("XDG_RUNTIME_DIR");
    struct {
        std::vector<std::string> command;
        std::string said;  /* in the one line */
    } cases[] = {
        {{"/nonexistent/horatik-wake"}, "/nonexistent/horatik-wake"},
        {{"/bin/sh", "-c", "echo 1"}, std::strerror(EPERM)},
        {{"/bin/sh", "-c", "echo 0"}, " ended"},
        {{"/bin/sh", "-c", "echo 0; echo oops; exec /bin/sleep 60"}, "said something else"},
        /* stops reading, but lives and keeps its socket */
        {{"/usr/bin/python3", "-c",
          "import socket, time; socket.socket(fileno=0).shutdown(socket.SHUT_RD); print(0, flush=True); "
          "time.sleep(60)"},
         std::strerror(EPIPE)},
    };
    const long long now = std::time(nullptr);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.command.back());
        wakecommand = c.command;
        ::testing::internal::CaptureStderr();
        pid_t helper = -1;
        for (int i = 0; i < 50; i++) {
            keepawake({now + 100 + i, true, 7, 0});
            helper = helper < 0 ? wakehelper : helper;
            pause(0.01);
        }
        struct timespec t0, t1;
        clock_gettime(CLOCK_MONOTONIC, &t0);
        letsleep();
        clock_gettime(CLOCK_MONOTONIC, &t1);
        EXPECT_LT((t1.tv_sec - t0.tv_sec) + (t1.tv_nsec - t0.tv_nsec) / 1e9, 0.5) << "the end waited";
        EXPECT_EQ(wakehelper, -1);
        if (helper > 0) {
            EXPECT_EQ(waitpid(helper, nullptr, WNOHANG), -1) << "not reaped";
        }
        std::string said = ::testing::internal::GetCapturedStderr();
        EXPECT_EQ(said.rfind("Couldn't set a timer to wake the machine for the alarm: ", 0), 0u) << said;
        EXPECT_NE(said.find(c.said), std::string::npos) << said;
        EXPECT_EQ(std::count(said.begin(), said.end(), '\n'), 1) << said;
    }
    wakecommand.clear();
}
