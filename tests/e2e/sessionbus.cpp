// End-to-end harness: a session bus (and system bus) of the test's own, with stand-ins for the desktop's power services.
#include "e2e/sessionbus.h"

#include <dirent.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <map>
#include <sstream>

#include "e2e/harness.h"

namespace hx {

static std::vector<std::string> words(const std::string& text)
{
    std::istringstream in(text);
    std::vector<std::string> v;
    for (std::string w; in >> w;)
        v.push_back(w);
    return v;
}

static void endpid(pid_t* p)
{
    if (*p > 0) {
        kill(*p, SIGTERM);
        waitexit(*p, 5);
        *p = -1;
    }
}

/* Another user's clients reach it through the folder (0711) and the policy. */
bool sessionbus::startdaemon(bool system)
{
    std::string at = dir + (system ? "/system" : "/bus");
    spawnopts o;
    o.argv = service({"start", "bus", at, system ? "system" : "session"});
    o.err = at + "-daemon.log";
    pid_t& pid = system ? systemdaemon : daemon;
    pid = spawn(o);
    if (!serviceready(pid, {"bus", at}))
        endpid(&pid);
    return pid > 0;
}

sessionbus::sessionbus(const std::string& d, const std::string& what) : dir(d), services(what)
{
    std::filesystem::create_directories(dir);
    chmod(dir.c_str(), 0711);
    address = "unix:path=" + dir + "/bus";
    systemaddress = "unix:path=" + dir + "/system";
    if (!startdaemon(false))
        return;
    if (services.find("logind") != std::string::npos && !startdaemon(true))
        return;
    for (const std::string& w : words(services))
        if (!start(w))
            return;
}

sessionbus::~sessionbus()
{
    for (auto& s : standins)
        endpid(&s.second);
    for (pid_t& p : others)
        endpid(&p);
    endpid(&daemon);
    endpid(&systemdaemon);
}

bool sessionbus::ok() const
{
    bool all = daemon > 0 && (systemdaemon > 0 || services.find("logind") == std::string::npos);
    for (const auto& s : standins)
        all &= s.second > 0;
    return all && standins.size() == words(services).size();
}

std::vector<std::string> sessionbus::env() const
{
    return {"DBUS_SESSION_BUS_ADDRESS=" + address, "DBUS_SYSTEM_BUS_ADDRESS=" + systemaddress};
}

bool sessionbus::start(const std::string& word)
{
    spawnopts o;
    o.argv = service({"start", "standins", address, word, dir + "/services.log"});
    o.env = env();
    o.err = dir + "/services.err";
    pid_t pid = spawn(o);
    if (!serviceready(pid, {"standins", dir + "/services.log"}))
        endpid(&pid);
    standins.erase(std::remove_if(standins.begin(), standins.end(), [&](const auto& s) { return s.first == word; }),
                   standins.end());
    standins.push_back({word, pid});
    return pid > 0;
}

void sessionbus::stop(const std::string& word)
{
    for (auto& s : standins)
        if (s.first == word && s.second > 0) {
            kill(s.second, SIGKILL);
            waitexit(s.second, 5);
            std::FILE* f = std::fopen((dir + "/services.log").c_str(), "a");
            if (f) {
                std::fprintf(f, "x %d\n", (int)s.second);
                std::fclose(f);
            }
            s.second = -1;
        }
}

bool sessionbus::restart()
{
    /* as a crash ends it: no names given up one by one, every connection
       closed at once */
    kill(daemon, SIGKILL);
    waitexit(daemon, 5);
    daemon = -1;
    unlink((dir + "/bus").c_str());
    std::vector<std::string> again;
    for (auto& s : standins)
        if (s.first != "logind") {
            stop(s.first);
            again.push_back(s.first);
        }
    bool all = startdaemon(false);
    for (const std::string& w : again)
        all = all && start(w);
    return all;
}

bool sessionbus::realportal(int uid, const std::string& display)
{
    std::string run = dir + "/portal-run";
    mkdir(run.c_str(), 0700);
    if (chown(run.c_str(), (uid_t)uid, (gid_t)uid) != 0)
        return false;
    spawnopts o;
    o.uid = uid;
    o.env = {"DBUS_SESSION_BUS_ADDRESS=" + address, "DBUS_SYSTEM_BUS_ADDRESS=" + systemaddress,
             "XDG_CURRENT_DESKTOP=GNOME", "GSETTINGS_BACKEND=memory", "NO_AT_BRIDGE=1",
             "DISPLAY=" + display, "XDG_RUNTIME_DIR=" + run, "HOME=" + run};
    o.unset = {"WAYLAND_DISPLAY", "LD_PRELOAD"};
    auto owned = [&](const char* name) {
        spawnopts q;
        q.argv = {"dbus-send", "--bus=" + address, "--print-reply", "--dest=org.freedesktop.DBus", "/",
                  "org.freedesktop.DBus.NameHasOwner", std::string("string:") + name};
        q.out = dir + "/owned.txt";
        waitexit(spawn(q), 5);
        return readfile(q.out).find("boolean true") != std::string::npos;
    };
    const struct {
        const char *program, *name, *out;
    } parts[] = {{"/usr/libexec/xdg-desktop-portal-gtk", "org.freedesktop.impl.portal.desktop.gtk", "/gtk.log"},
                 {"/usr/libexec/xdg-desktop-portal", "org.freedesktop.portal.Desktop", "/portal.log"}};
    for (const auto& p : parts) {
        if (!exists(p.program))
            return false;
        o.argv = {p.program};
        if (std::string(p.name) == "org.freedesktop.portal.Desktop")
            o.argv.push_back("--verbose");
        o.out = o.err = dir + p.out;
        others.push_back(spawn(o));
        for (double end = now() + 10; !owned(p.name); pause(0.05))
            if (now() > end || !running(others.back()))
                return false;
    }
    return true;
}

bool sessionbus::monitor()
{
    spawnopts o;
    o.argv = {"stdbuf", "-oL", "dbus-monitor", "--address", address};
    o.out = dir + "/monitor.txt";
    others.push_back(spawn(o));
    for (double end = now() + 5; readfile(o.out).find("NameAcquired") == std::string::npos; pause(0.02))
        if (now() > end)
            return false;
    return true;
}

std::string sessionbus::log() const
{
    return readfile(dir + "/services.log");
}

/* The stand-ins' log replayed: each inhibition of the process, and how it
   ended; a stand-in that was stopped ended all it held. */
static void replay(const std::string& text, pid_t pid, std::vector<std::string>* held,
                   std::vector<std::string>* asked, std::vector<std::string>* ends)
{
    std::map<std::string, std::string> open;  // key -> what
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        std::istringstream words(line);
        std::string sign, key, rest;
        words >> sign >> key;
        std::getline(words >> std::ws, rest);
        if (sign == "+") {
            size_t space = rest.find(' ');
            if (std::atoi(rest.substr(0, space).c_str()) != pid)
                continue;
            open[key] = rest.substr(space + 1);
            if (asked)
                asked->push_back(open[key]);
        } else if (sign == "-" && open.count(key)) {
            open.erase(key);
            if (ends)
                ends->push_back(rest);
        } else if (sign == "x") {
            for (auto o = open.begin(); o != open.end();)
                if (o->first.rfind(key + "/", 0) == 0) {
                    o = open.erase(o);
                    if (ends)
                        ends->push_back("lost");
                } else {
                    o++;
                }
        }
    }
    if (held)
        for (const auto& o : open)
            held->push_back(o.second);
}

std::vector<std::string> sessionbus::held(pid_t pid) const
{
    std::vector<std::string> v;
    replay(log(), pid, &v, nullptr, nullptr);
    return v;
}

std::vector<std::string> sessionbus::asked(pid_t pid) const
{
    std::vector<std::string> v;
    replay(log(), pid, nullptr, &v, nullptr);
    return v;
}

std::vector<std::string> sessionbus::ends(pid_t pid) const
{
    std::vector<std::string> v;
    replay(log(), pid, nullptr, nullptr, &v);
    return v;
}

double wakesin(pid_t pid)
{
    double in = -1;
    /* the clock's helper holds it, a child of the clock */
    std::vector<pid_t> holders = children(pid);
    holders.push_back(pid);
    for (pid_t holder : holders) {
        std::string fdinfo = "/proc/" + std::to_string(holder) + "/fdinfo";
        DIR* d = opendir(fdinfo.c_str());
        for (dirent* e; d && (e = readdir(d));) {
            std::string info = readfile(fdinfo + "/" + e->d_name);
            long long s, ns;
            size_t at = info.find("it_value: (");
            /* 8: CLOCK_REALTIME_ALARM */
            if (info.find("clockid: 8\n") != std::string::npos && at != std::string::npos &&
                std::sscanf(info.c_str() + at, "it_value: (%lld, %lld)", &s, &ns) == 2 && (s || ns))
                in = s + ns / 1e9;
        }
        if (d)
            closedir(d);
    }
    return in;
}

}  // namespace hx
