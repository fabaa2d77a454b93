// End-to-end harness: a session bus (and system bus) of the test's own, with stand-ins for the desktop's power services.
#pragma once
#include <sys/types.h>

#include <string>
#include <vector>

namespace hx {

/* A dbus-daemon in dir and, for each word of services, a process of
   tests/e2e/powerservices.py on it, which names what it stands in for (see
   there): "portal" (the desktop portal's Inhibit and org.freedesktop.ScreenSaver),
   "slowportal", "refusingportal", "silentportal", "saver", "sm" (GNOME's session
   manager), "logind" (on a system bus of its own, started with it); words joined
   by "+" share a process. Both buses admit every user. Ended by their pids. */
struct sessionbus {
    pid_t daemon = -1, systemdaemon = -1;
    std::vector<std::pair<std::string, pid_t>> standins;  /* word, pid */
    std::vector<pid_t> others;                             /* the real portal, dbus-monitor */
    std::string dir, address, systemaddress, services;
    sessionbus(const std::string& dir, const std::string& services);
    ~sessionbus();
    sessionbus(const sessionbus&) = delete;
    sessionbus& operator=(const sessionbus&) = delete;
    bool ok() const;
    /* for a client: both buses' addresses (the system bus's even where none
       runs, so that no client reaches the machine's own) */
    std::vector<std::string> env() const;

    /* a stand-in ended as a crash ends it (what it held is "lost"), and started
       again; restart: the session bus's daemon so too, then every stand-in on it */
    void stop(const std::string& word);
    bool start(const std::string& word);
    bool restart();
    /* Debian's xdg-desktop-portal and its gtk backend on the session bus, run
       by uid as GNOME would run them (the backend owning its name first) */
    bool realportal(int uid, const std::string& display);
    /* every message on the session bus, into dir/monitor.txt */
    bool monitor();

    /* what the process holds now, as the stand-ins log it ("portal flags=4
       reason=Weckzeit 07:00", "sm app=horatik flags=4 reason=…"); and all it ever asked */
    std::vector<std::string> held(pid_t pid) const;
    std::vector<std::string> asked(pid_t pid) const;
    /* how each inhibition the process held ended: "closed" by it, "gone" with
       it, "lost" with the stand-in */
    std::vector<std::string> ends(pid_t pid) const;
    std::string log() const;

private:
    bool startdaemon(bool system);
};

/* Seconds until the CLOCK_REALTIME_ALARM timer of the clock pid fires, held by
   its helper (or itself), from /proc/<pid>/fdinfo; -1 when there is none. */
double wakesin(pid_t pid);

}  // namespace hx
