// The clock against the real system clock (no faketime), short presses, and the end of its display.
#include <gtest/gtest.h>
#include <X11/Xlib.h>
#include <signal.h>

#include <algorithm>
#include <cstdio>
#include <map>
#include <sstream>
#include <ctime>

#include "e2e/expect.h"
#include "e2e/harness.h"

using namespace hx;

namespace {

const int utc = 86400000;

}  // namespace

/* Each new second reaches the screen within a few milliseconds of the system
   clock's second and is not changed again in that second: faketime replaces
   time() and would hide how the idle wait meets the coarse clock behind it. The
   present shim logs CLOCK_REALTIME after every frame the program presents. */
TEST(Realtime, EachSecondIsPresentedAsItBegins)
{
#ifndef HX_PRESENTSHIM
    GTEST_SKIP() << "built without the benchmarks' present shim";
#else
    sandbox box;
    xserver x;
    ASSERT_TRUE(x.ok());
    writefile(box / "Horatik.dat", settings(utc, 0, 0, 0, 0));  // no help panel over the face
    runopts o;
    o.x = &x;
    o.env = {std::string("LD_PRELOAD=") + HX_PRESENTSHIM, "HX_PRESENT_LOG=" + box / "presents"};
    run r = start(box, o);
    ASSERT_TRUE(x.waitscreen(20)) << r.stderrtext();
    pause(1.5);  // start-up's frames are over
    double from = now();
    pause(6);
    // a grab in the middle of a second shows that second
    timespec ts;
    clock_gettime(CLOCK_REALTIME, &ts);
    pause(1.5 - ts.tv_nsec / 1e9);
    shot s = x.grab();
    long long grabbed = r.fakeat(s.at);
    ASSERT_TRUE(x.closerequest());
    exitstatus e = waitexit(r.pid, 10);
    EXPECT_TRUE(e.exited && e.code == 0) << e.str();

    // the frames of the measured stretch: seconds of the system clock -> ms into them
    std::map<long long, std::vector<double>> frames;
    std::istringstream log(readfile(box / "presents"));
    std::string kind;
    long long mono, n, probe, lit, real;
    for (std::string line; std::getline(log, line);) {
        std::istringstream in(line);
        if (in >> kind >> mono >> n >> probe >> lit >> real && kind == "P" && mono / 1e9 >= from)
            frames[real / 1000000000].push_back(real % 1000000000 / 1e6);
    }
    std::vector<double> late;
    for (const auto& [second, at] : frames) {
        EXPECT_EQ(at.size(), 1u) << "second " << second << " was presented " << at.size() << " times";
        late.push_back(at.front());
    }
    ASSERT_GE(late.size(), 5u);
    std::sort(late.begin(), late.end());
    std::string all;
    for (double ms : late)
        all += " " + std::to_string((int)ms);
    std::printf("ms into the second:%s\n", all.c_str());
    EXPECT_LE(late.back(), 60) << all;
    EXPECT_LE(late[late.size() / 2], 25) << all;

    // and what they show is that second (the hands of any second are checked elsewhere)
    hms t = clockof(grabbed);
    std::string why;
    EXPECT_TRUE(readoutshows(s, geometry(), t, readouttext(t), &why)) << t.str() << ": " << why;
#endif
}

/* Presses held 5 ms and 80 ms while the alarm is being set: every one acts. Under
   sdl12-compat the X connection is hidden from the program here, as a Wayland
   session or the Linux console hides it, so the loop cannot sleep until input. */
TEST(Realtime, ShortPressesAllAct)
{
    sandbox box;
    xserver x;
    ASSERT_TRUE(x.ok());
    writefile(box / "Horatik.dat", settings(utc, 0, 0, 0, 0));
    runopts o;
    o.x = &x;
    o.env = {"SDL12COMPAT_ALLOW_SYSWM=0"};
    run r = start(box, o);
    ASSERT_TRUE(x.waitscreen(20)) << r.stderrtext();
    pause(0.5);
    int sx, sy;
    ASSERT_TRUE(x.screenat(&sx, &sy));
    std::vector<std::string> keys = {"mousemove", std::to_string(sx + 160), std::to_string(sy + 120),
                                     "keydown", "s", "sleep", "0.08", "keyup", "s", "sleep", "0.3"};
    for (int i = 0; i < 12; i++)
        keys.insert(keys.end(), {"keydown", "w", "sleep", i % 2 ? "0.08" : "0.005", "keyup", "w",
                                 "sleep", "0.3"});
    keys.insert(keys.end(), {"keydown", "s", "sleep", "0.08", "keyup", "s", "sleep", "0.3"});
    exitstatus k = waitexit(x.xdotool(keys), 30);
    ASSERT_TRUE(k.exited && k.code == 0) << k.str();
    ASSERT_TRUE(x.closerequest());
    exitstatus e = waitexit(r.pid, 10);
    EXPECT_TRUE(e.exited && e.code == 0) << e.str();
    // Y set, R twelve times, Y armed: the alarm at 12:00, saved
    EXPECT_EQ(hex(readfile(box / "Horatik.dat")), hex(settings(utc, 0, 12, 0, 2)));
}

/* The X server goes away under the clock (a logout does that): the clock ends at
   once with 1 and Xlib's words, instead of running on at full speed, and the
   settings stay as they were saved. */
TEST(Realtime, ClockEndsWithItsDisplay)
{
    sandbox box;
    const std::string saved = settings(utc, 0, 6, 30, 2);
    writefile(box / "Horatik.dat", saved);
    xserver x;
    ASSERT_TRUE(x.ok());
    runopts o;
    o.x = &x;
    run r = start(box, o);
    ASSERT_TRUE(x.waitscreen(20)) << r.stderrtext();
    pause(0.5);
    // our own connection goes first: Xlib would end the test when the server dies
    XCloseDisplay(x.dpy);
    x.dpy = nullptr;
    kill(x.pid, SIGTERM);
    waitexit(x.pid, 5);
    x.pid = -1;
    double gone = now();
    exitstatus e = waitexit(r.pid, 5);
    EXPECT_TRUE(e.exited && e.code == 1) << e.str() << " after " << now() - gone << " s";
    EXPECT_NE(r.stderrtext().find("X connection to :" + std::to_string(x.number) + " broken"),
              std::string::npos)
        << r.stderrtext();
    EXPECT_EQ(readfile(box / "Horatik.dat"), saved);
}
