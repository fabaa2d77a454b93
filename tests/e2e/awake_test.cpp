// The machine kept awake exactly while an alarm is armed: a session bus of the test's own, in real time.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>

#include "e2e/harness.h"
#include "e2e/sessionbus.h"

using namespace hx;

namespace {

/* the offset at which the running clock shows 07:00:00 at the system time "at" */
int offsetfor(long long at)
{
    return (int)(((7 * 3600 - at) % 86400 + 86400) % 86400);
}

std::string joined(const std::vector<std::string>& v)
{
    std::string s;
    for (const std::string& e : v)
        s += (s.empty() ? "" : "; ") + e;
    return s;
}

/* until the process holds exactly "want" */
bool holds(const sessionbus& bus, pid_t pid, const std::vector<std::string>& want, double timeout)
{
    for (double end = now() + timeout; bus.held(pid) != want; pause(0.05))
        if (now() > end)
            return false;
    return true;
}

/* milliseconds since the X server last saw input or a screen saver reset */
long idlems(const xserver& x, const sandbox& box)
{
    spawnopts o;
    o.argv = {"xprintidle"};
    o.env = {"DISPLAY=" + x.display()};
    o.out = box / "idle.txt";
    exitstatus e = waitexit(spawn(o), 10);
    return e.exited && e.code == 0 ? std::atol(readfile(o.out).c_str()) : -1;
}

/* Run as root, the clock has CAP_WAKE_ALARM: a timer that wakes a sleeping
   machine at the alarm's second while it is armed, none otherwise. */
void wakesat(pid_t pid, double at)
{
    if (geteuid() != 0)
        return;
    double in = wakesin(pid);
    if (at < 0)
        EXPECT_EQ(in, -1) << "a wake timer without an armed alarm";
    else
        EXPECT_NEAR(wallclock() + in, at, 1.0) << "the wake timer is not at the alarm's second";
}

/* Nothing asked while no alarm is armed, nor by SDL, whose screen saver resets
   are gone too; armed by keys, the inhibition "ours" is held; switched off,
   ended; armed again, held up to the ring, which ends it; the program's end
   ends it; armed at start, it is held within 5 s of the window. */
void heldonlywhilearmed(const char* services, const std::string& inhibition)
{
    const std::string ours = inhibition + "reason=Weckzeit 07:00";
    sandbox box;
    xserver x;
    ASSERT_TRUE(x.ok());
    sessionbus bus(box / "bus", services);
    ASSERT_TRUE(bus.ok()) << readfile(bus.dir + "/daemon.log") << readfile(bus.dir + "/services.err");
    const long long alarm = (long long)wallclock() + 20;
    writefile(box / "Horatik.dat", settings(offsetfor(alarm), 0, 7, 0, 0));
    runopts o;
    o.x = &x;
    o.env = {bus.env()};
    run r = start(box, o);
    ASSERT_TRUE(x.waitscreen(20)) << r.stderrtext();

    pause(6);
    EXPECT_EQ(joined(bus.asked(r.pid)), "") << "asked with no alarm armed";
    EXPECT_GE(idlems(x, box), 5000) << "the X screen saver's idle time is reset";
    wakesat(r.pid, -1);

    const std::vector<std::string> held = {ours};
    ASSERT_TRUE(x.press("s") && x.press("s"));
    EXPECT_TRUE(holds(bus, r.pid, held, 2)) << "armed: " << joined(bus.held(r.pid));
    wakesat(r.pid, (double)alarm);
    ASSERT_TRUE(x.press("s"));
    EXPECT_TRUE(holds(bus, r.pid, {}, 2)) << "off: " << joined(bus.held(r.pid));
    wakesat(r.pid, -1);
    ASSERT_TRUE(x.press("s") && x.press("s"));
    EXPECT_TRUE(holds(bus, r.pid, held, 2)) << "armed again: " << joined(bus.held(r.pid));
    ASSERT_LT(wallclock(), alarm - 1) << "too slow to arm before the alarm";

    while (wallclock() < alarm - 0.3)
        pause(0.05);
    EXPECT_EQ(bus.held(r.pid), held) << "ended before the alarm rang";
    EXPECT_TRUE(holds(bus, r.pid, {}, alarm + 3 - wallclock())) << "the ring did not end it";
    wakesat(r.pid, -1);

    ASSERT_TRUE(x.press("s") && x.press("s"));
    EXPECT_TRUE(holds(bus, r.pid, held, 2)) << "armed for tomorrow: " << joined(bus.held(r.pid));
    wakesat(r.pid, (double)(alarm + 86400));
    ASSERT_TRUE(x.closerequest());
    exitstatus e = waitexit(r.pid, 10);
    EXPECT_TRUE(e.exited && e.code == 0) << e.str();
    EXPECT_TRUE(holds(bus, r.pid, {}, 2)) << "held past the end";
    EXPECT_EQ(joined(bus.ends(r.pid)), "closed; closed; closed") << "not given back by the clock";
    for (const std::string& a : bus.asked(r.pid))
        EXPECT_EQ(a, ours);
    EXPECT_EQ(r.stderrtext(), "");

    /* not 07:00, whose second may be still under way */
    writefile(box / "Horatik.dat", settings(offsetfor(alarm), 0, 7, 30, 2));
    r = start(box, o);
    ASSERT_TRUE(x.waitscreen(20)) << r.stderrtext();
    EXPECT_TRUE(holds(bus, r.pid, {inhibition + "reason=Weckzeit 07:30"}, 5))
        << "armed at start: " << joined(bus.held(r.pid));
    ASSERT_TRUE(x.press("Return"));
    e = waitexit(r.pid, 10);
    EXPECT_TRUE(e.exited && e.code == 0) << e.str();
    EXPECT_TRUE(holds(bus, r.pid, {}, 2)) << "held past the end";
    EXPECT_EQ(r.stderrtext(), "");
}

}  // namespace

TEST(Awake, ThroughThePortalOnlyWhileAnAlarmIsArmed)
{
    heldonlywhilearmed("portal", "portal flags=4 ");
}

TEST(Awake, ThroughScreenSaverWhereNoPortalAnswers)
{
    heldonlywhilearmed("saver", "saver app=Horatik ");
}

/* A bus on which neither service answers: the clock runs as ever and says so
   once. A portal that answers late: the clock goes on meanwhile and holds
   ScreenSaver's inhibition, and the portal's, taken too late, is ended. A portal
   that cannot inhibit suspend and says so: ScreenSaver's. */
TEST(Awake, AMissingOrSlowServiceHoldsNothingUp)
{
    struct {
        const char* services;
        std::vector<std::string> held, ends;
        int lines;
    } cases[] = {
        {"", {}, {}, 1},
        {"slowportal", {"saver app=Horatik reason=Weckzeit 07:00"}, {"closed"}, 0},
        {"refusingportal", {"saver app=Horatik reason=Weckzeit 07:00"}, {}, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.services);
        sandbox box;
        xserver x;
        ASSERT_TRUE(x.ok());
        sessionbus bus(box / "bus", c.services);
        ASSERT_TRUE(bus.ok()) << readfile(bus.dir + "/daemon.log");
        writefile(box / "Horatik.dat", settings(86400000, 0, 7, 0, 2));
        runopts o;
        o.x = &x;
        o.env = {bus.env()};
        run r = start(box, o);
        ASSERT_TRUE(x.waitscreen(20)) << r.stderrtext();
        shot a = x.grab();
        pause(1.2);
        EXPECT_FALSE(x.grab().px == a.px) << "the face stood still";
        pause(2);
        EXPECT_EQ(bus.held(r.pid), c.held) << bus.log();
        EXPECT_EQ(bus.ends(r.pid), c.ends) << bus.log();
        ASSERT_TRUE(x.press("s") && x.press("s") && x.press("s"));  // off, and armed again
        pause(1);
        ASSERT_TRUE(x.closerequest());
        exitstatus e = waitexit(r.pid, 10);
        EXPECT_TRUE(e.exited && e.code == 0) << e.str();
        std::string said = r.stderrtext();
        EXPECT_EQ(std::count(said.begin(), said.end(), '\n'), c.lines) << said;
        if (c.lines) {
            EXPECT_EQ(said.rfind("Couldn't keep the machine awake for the alarm: ", 0), 0u) << said;
        }
    }
}
