// End-to-end harness: a session bus of the test's own, with stand-ins for the desktop's power services.
#pragma once
#include <sys/types.h>

#include <string>
#include <vector>

namespace hx {

/* A dbus-daemon in dir and, unless services is "", tests/e2e/powerservices.py on
   it: "portal" (the desktop portal's Inhibit and org.freedesktop.ScreenSaver),
   "slowportal" (its portal answering late), "refusingportal" (its portal ending
   each request at once as failed) or "saver" (ScreenSaver alone). Ended by
   their pids. */
struct sessionbus {
    pid_t daemon = -1, standin = -1;
    std::string dir, address;
    sessionbus(const std::string& dir, const std::string& services);
    ~sessionbus();
    sessionbus(const sessionbus&) = delete;
    sessionbus& operator=(const sessionbus&) = delete;
    bool ok() const { return daemon > 0 && (standin > 0 || services.empty()); }
    std::string env() const { return "DBUS_SESSION_BUS_ADDRESS=" + address; }
    /* what the process holds now, as the stand-in logs it ("portal flags=4
       reason=Weckzeit 07:00", "saver app=Horatik reason=…"); and all it ever asked */
    std::vector<std::string> held(pid_t pid) const;
    std::vector<std::string> asked(pid_t pid) const;
    /* how each inhibition the process held ended: "closed" by it, "gone" with it */
    std::vector<std::string> ends(pid_t pid) const;
    std::string log() const;
    std::string services;
};

/* Seconds until the CLOCK_REALTIME_ALARM timer of the clock pid fires, held by
   its helper (or itself), from /proc/<pid>/fdinfo; -1 when there is none. */
double wakesin(pid_t pid);

}  // namespace hx
