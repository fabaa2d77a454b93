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

bool ok(const exitstatus& e)
{
    return e.exited && e.code == 0;
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

/* A clock with an alarm at 07:00 armed in its settings, on this display and bus. */
run armedclock(const sandbox& box, xserver& x, const sessionbus& bus, int offset = 86400000, int uid = -1)
{
    writefile(box / "Horatik.dat", settings(offset, 0, 7, 0, 2));
    runopts o;
    o.x = &x;
    o.env = bus.env();
    o.uid = uid;
    return start(box, o);
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

/* Run as root, the clock's helper has CAP_WAKE_ALARM: a timer that wakes a
   sleeping machine at the alarm's second while it is armed, none otherwise. */
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
   ended; armed at start, held within 5 s of the window; the program's end
   ends it. With "ring": while the clock stands none (a stopped clock cannot
   ring), taken again as it runs; held through the ring (its sound 20 s) and
   given back 30 s after its sound, not before. */
void heldforthealarm(const char* services, const std::string& inhibition, bool ring)
{
    const std::string ours = inhibition + "reason=Weckzeit 07:00";
    const std::vector<std::string> held = {ours};
    sandbox box;
    xserver x;
    ASSERT_TRUE(x.ok());
    sessionbus bus(box / "bus", services);
    ASSERT_TRUE(bus.ok()) << readfile(bus.dir + "/daemon.log") << readfile(bus.dir + "/services.err");
    const long long alarm = (long long)wallclock() + 20;
    writefile(box / "Horatik.dat", settings(offsetfor(alarm), 0, 7, 0, 0));
    runopts o;
    o.x = &x;
    o.env = bus.env();
    run r = start(box, o);
    ASSERT_TRUE(x.waitscreen(20)) << r.stderrtext();

    pause(6);
    EXPECT_EQ(joined(bus.asked(r.pid)), "") << "asked with no alarm armed";
    EXPECT_GE(idlems(x, box), 5000) << "the X screen saver's idle time is reset";
    wakesat(r.pid, -1);

    ASSERT_TRUE(x.press("s") && x.press("s"));
    EXPECT_TRUE(holds(bus, r.pid, held, 2)) << "armed: " << joined(bus.held(r.pid));
    wakesat(r.pid, (double)alarm);
    ASSERT_TRUE(x.press("s"));
    EXPECT_TRUE(holds(bus, r.pid, {}, 2)) << "off: " << joined(bus.held(r.pid));
    wakesat(r.pid, -1);
    ASSERT_TRUE(x.press("s") && x.press("s"));
    EXPECT_TRUE(holds(bus, r.pid, held, 2)) << "armed again: " << joined(bus.held(r.pid));
    if (ring) {
        ASSERT_TRUE(x.press("BackSpace"));
        EXPECT_TRUE(holds(bus, r.pid, {}, 2)) << "stopped: " << joined(bus.held(r.pid));
        wakesat(r.pid, -1);
        ASSERT_TRUE(x.press("BackSpace"));
        EXPECT_TRUE(holds(bus, r.pid, held, 2)) << "running again: " << joined(bus.held(r.pid));
        /* the clock stood a second or two, and runs on from where it stood: its
           alarm is that much later, as its saved offset says */
        long long now = (long long)wallclock();
        long long at = now + (7 * 3600 - (now + field32(readfile(box / "Horatik.dat"), 0)) % 86400 + 86400) % 86400;
        ASSERT_LT(wallclock(), at - 1) << "too slow to arm before the alarm";
        wakesat(r.pid, (double)at);
        while (wallclock() < at + 15)
            pause(0.2);
        EXPECT_EQ(bus.held(r.pid), held) << "given back 15 s into the ring";
        wakesat(r.pid, -1);
        /* the sound's 20 s, and what the server still plays of it, then 30 s */
        while (wallclock() < at + 20 + 29)
            pause(0.2);
        EXPECT_EQ(bus.held(r.pid), held) << "given back less than 30 s after the sound";
        EXPECT_TRUE(holds(bus, r.pid, {}, at + 20 + 35 - wallclock())) << "held 35 s past the sound";
        ASSERT_TRUE(x.press("s") && x.press("s"));
        EXPECT_TRUE(holds(bus, r.pid, held, 2)) << "armed for tomorrow: " << joined(bus.held(r.pid));
        wakesat(r.pid, (double)(at + 86400));
    }
    ASSERT_TRUE(x.closerequest());
    exitstatus e = waitexit(r.pid, 10);
    EXPECT_TRUE(e.exited && e.code == 0) << e.str();
    EXPECT_TRUE(holds(bus, r.pid, {}, 2)) << "held past the end";
    for (const std::string& end : bus.ends(r.pid))
        EXPECT_EQ(end, "closed") << "not given back by the clock";
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

TEST(Awake, ThroughThePortalFromArmingToThirtySecondsPastTheRing)
{
    heldforthealarm("portal", "portal flags=4 ", true);
}

TEST(Awake, ThroughScreenSaverWhereNoPortalAnswers)
{
    heldforthealarm("saver", "saver app=Horatik ", false);
}

/* A bus on which no service answers: the clock runs as ever and says so once.
   A portal that answers after 3 s: the clock goes on meanwhile and holds the
   portal's inhibition, ScreenSaver's never; switched off, armed and off again
   before it answers, both answers are given back. A portal that cannot inhibit
   suspend and says so: ScreenSaver's. One that answers for a backend that
   failed (xdg-desktop-portal 1.16): seen to hold nothing in logind's list, its
   request closed, logind's taken. */
TEST(Awake, AMissingOrSlowServiceHoldsNothingUp)
{
    const std::string portal = "portal flags=4 reason=Weckzeit 07:00";
    struct {
        const char* services;
        bool churn;  /* off, on and off before the first answer */
        std::vector<std::string> held, ends;
        int lines;
    } cases[] = {
        {"", false, {}, {}, 1},
        {"slowportal", true, {}, {}, 0},
        {"refusingportal", false, {"saver app=Horatik reason=Weckzeit 07:00"}, {}, 0},
        {"silentportal logind", false, {"logind what=sleep who=Horatik mode=block reason=Weckzeit 07:00"},
         {"closed"}, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.services);
        sandbox box;
        xserver x;
        ASSERT_TRUE(x.ok());
        sessionbus bus(box / "bus", c.services);
        ASSERT_TRUE(bus.ok()) << readfile(bus.dir + "/bus-daemon.log") << readfile(bus.dir + "/services.err");
        run r = armedclock(box, x, bus);
        ASSERT_TRUE(x.waitscreen(20)) << r.stderrtext();
        if (c.churn) {
            pause(0.5);  // the first call out
            ASSERT_TRUE(x.press("s") && x.press("s") && x.press("s") && x.press("s"));
        }
        shot a = x.grab();
        pause(1.2);
        EXPECT_FALSE(x.grab().px == a.px) << "the face stood still";
        if (c.churn)
            pause(3);  // every answer in
        EXPECT_TRUE(holds(bus, r.pid, c.held, 5)) << bus.log();
        if (c.churn) {  // as many given back as were given, however many calls went out
            EXPECT_FALSE(bus.asked(r.pid).empty()) << bus.log();
            EXPECT_EQ(bus.ends(r.pid), std::vector<std::string>(bus.asked(r.pid).size(), "closed")) << bus.log();
        } else {
            EXPECT_EQ(bus.ends(r.pid), c.ends) << bus.log();
        }
        if (c.churn) {
            ASSERT_TRUE(x.press("s") && x.press("s"));
            EXPECT_TRUE(holds(bus, r.pid, {portal}, 5)) << "armed again: " << bus.log();
            ASSERT_TRUE(x.press("s"));
        } else {
            ASSERT_TRUE(x.press("s"));
            EXPECT_TRUE(holds(bus, r.pid, {}, 5)) << "off: " << bus.log();
            ASSERT_TRUE(x.press("s") && x.press("s"));
        }
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

/* The portal and ScreenSaver crash and come back 10 s later; the session bus's
   daemon restarts: each time the clock holds the portal's inhibition again
   within 5 s of the service's return, reconnecting to the bus, and says one
   line per loss, none per try meanwhile. */
TEST(Awake, TakenAgainWhenItsServiceOrTheBusReturns)
{
    const std::vector<std::string> held = {"portal flags=4 reason=Weckzeit 07:00"};
    sandbox box;
    xserver x;
    ASSERT_TRUE(x.ok());
    sessionbus bus(box / "bus", "portal");
    ASSERT_TRUE(bus.ok()) << readfile(bus.dir + "/bus-daemon.log");
    run r = armedclock(box, x, bus);
    ASSERT_TRUE(x.waitscreen(20)) << r.stderrtext();
    EXPECT_TRUE(holds(bus, r.pid, held, 5)) << bus.log();
    pause(1.5);  // and the clock has seen that it holds

    bus.stop("portal");
    pause(10);
    ASSERT_TRUE(bus.start("portal"));
    EXPECT_TRUE(holds(bus, r.pid, held, 5)) << "the portal back: " << bus.log();
    pause(1.5);

    ASSERT_TRUE(bus.restart()) << readfile(bus.dir + "/bus-daemon.log");
    EXPECT_TRUE(holds(bus, r.pid, held, 5)) << "the bus back: " << bus.log();

    ASSERT_TRUE(x.press("s"));
    EXPECT_TRUE(holds(bus, r.pid, {}, 5)) << "off: " << bus.log();
    ASSERT_TRUE(x.closerequest());
    EXPECT_TRUE(ok(waitexit(r.pid, 10)));
    EXPECT_EQ(r.stderrtext(),
              "Lost what kept the machine awake for the alarm (org.freedesktop.portal.Desktop left the bus); "
              "asking again\n"
              "Lost what kept the machine awake for the alarm (the session bus closed); asking again\n");
}

/* The clock as the package runs it, for an ordinary user, against Debian's own
   xdg-desktop-portal and its gtk backend, on a GNOME desktop (our session
   manager, ScreenSaver and logind). The package gives CAP_WAKE_ALARM to the
   clock's helper alone: the clock holds no capability in any set and is
   dumpable, so the portal can see who calls (/proc/PID/root opens for the
   user); its one helper holds that one capability and the wake timer at the
   alarm's second. GNOME's session manager holds the suspend inhibition under
   the application's id, and ScreenSaver is never asked. With the session
   manager gone, the portal answers but its backend holds nothing: the clock
   sees that in logind's list, closes the request and takes logind's; with it
   back, the session manager's again within 5 s. Switched off, nothing is held
   and no wake timer is set within 5 s; the helper ends with the clock. */
TEST(Awake, HeldByGnomeForTheInstalledClockBesideTheRealPortal)
{
    if (!exists("/usr/libexec/xdg-desktop-portal") || !exists("/usr/libexec/xdg-desktop-portal-gtk"))
        GTEST_SKIP() << "no xdg-desktop-portal and xdg-desktop-portal-gtk (scripts/deps.sh test installs them)";
    const std::string sm = "sm app=horatik flags=4 reason=Weckzeit 07:00";
    const std::string login = "logind what=sleep who=Horatik mode=block reason=Weckzeit 07:00";
    sandbox box;
    ASSERT_EQ(chown(box.dir.c_str(), 65534, 65534), 0);
    spawnopts cap;
    cap.argv = {"setcap", "cap_wake_alarm+ep", box / "horatik-wake"};
    if (!ok(waitexit(spawn(cap), 10)))
        GTEST_SKIP() << "no setcap, or a file system without capabilities";
    xserver x;
    ASSERT_TRUE(x.ok());
    sessionbus bus(box / "bus", "sm saver logind");
    ASSERT_TRUE(bus.ok()) << readfile(bus.dir + "/services.err");
    ASSERT_TRUE(bus.monitor());
    ASSERT_TRUE(bus.realportal(65534, x.display())) << readfile(bus.dir + "/portal.log") << readfile(bus.dir + "/gtk.log");
    const long long alarm = (long long)wallclock() + 100;
    run r = armedclock(box, x, bus, offsetfor(alarm), 65534);
    ASSERT_TRUE(x.waitscreen(20)) << r.stderrtext();

    spawnopts root;
    root.argv = {"ls", "/proc/" + std::to_string(r.pid) + "/root/"};
    root.uid = 65534;
    EXPECT_TRUE(ok(waitexit(spawn(root), 10))) << "/proc/" << r.pid << "/root does not open for the user";
    EXPECT_TRUE(holds(bus, r.pid, {sm}, 5)) << bus.log();
    for (double end = now() + 5; wakesin(r.pid) < 0 && now() < end;)
        pause(0.05);
    EXPECT_NEAR(wallclock() + wakesin(r.pid), (double)alarm, 1.0) << "the wake timer is not at the alarm's second";
    auto caps = [](pid_t pid) {
        std::string status = readfile("/proc/" + std::to_string(pid) + "/status"), sets;
        for (const char* set : {"CapInh:\t", "CapPrm:\t", "CapEff:\t", "CapAmb:\t"}) {
            size_t at = status.find(set);
            sets += at == std::string::npos ? std::string(set) + "?\n" : status.substr(at, status.find('\n', at) - at + 1);
        }
        return sets;
    };
    EXPECT_EQ(caps(r.pid), "CapInh:\t0000000000000000\nCapPrm:\t0000000000000000\n"
                           "CapEff:\t0000000000000000\nCapAmb:\t0000000000000000\n");
    std::vector<pid_t> helpers = children(r.pid);
    ASSERT_EQ(helpers.size(), 1u) << "one helper";
    /* bit 35: CAP_WAKE_ALARM */
    EXPECT_EQ(caps(helpers[0]), "CapInh:\t0000000000000000\nCapPrm:\t0000000800000000\n"
                                "CapEff:\t0000000800000000\nCapAmb:\t0000000000000000\n");

    bus.stop("sm");
    EXPECT_TRUE(holds(bus, r.pid, {login}, 10)) << "without the session manager: " << bus.log();
    const std::string seen = readfile(bus.dir + "/monitor.txt");
    EXPECT_NE(seen.find("interface=org.freedesktop.portal.Inhibit; member=Inhibit"), std::string::npos)
        << "the portal was not asked";
    EXPECT_EQ(seen.find("Portal operation not allowed"), std::string::npos) << "the portal refused the clock";
    EXPECT_NE(seen.find("interface=org.freedesktop.portal.Request; member=Close"), std::string::npos)
        << "the portal's request that holds nothing was not closed";

    ASSERT_TRUE(bus.start("sm"));
    EXPECT_TRUE(holds(bus, r.pid, {sm}, 5)) << "the session manager back: " << bus.log();
    ASSERT_TRUE(x.press("s"));
    EXPECT_TRUE(holds(bus, r.pid, {}, 5)) << "off: " << bus.log();
    EXPECT_EQ(wakesin(r.pid), -1) << "the wake timer outlived the alarm by 5 s";
    for (const std::string& a : bus.asked(r.pid))
        EXPECT_EQ(a.find("saver"), std::string::npos) << a;
    ASSERT_TRUE(x.closerequest());
    EXPECT_TRUE(ok(waitexit(r.pid, 10)));
    for (double end = now() + 2; exists("/proc/" + std::to_string(helpers[0])) && now() < end;)
        pause(0.05);
    EXPECT_FALSE(exists("/proc/" + std::to_string(helpers[0]))) << "the helper outlived the clock";
    EXPECT_EQ(r.stderrtext(), "Lost what kept the machine awake for the alarm (org.gnome.SessionManager left the "
                              "bus); asking again\n");
}
