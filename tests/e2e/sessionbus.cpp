// End-to-end harness: a session bus of the test's own, with stand-ins for the desktop's power services.
#include "e2e/sessionbus.h"

#include <dirent.h>
#include <signal.h>

#include <cstdio>
#include <filesystem>
#include <map>
#include <sstream>

#include "e2e/harness.h"

namespace hx {

sessionbus::sessionbus(const std::string& d, const std::string& what) : dir(d), services(what)
{
    std::filesystem::create_directories(dir);
    address = "unix:path=" + dir + "/bus";
    writefile(dir + "/bus.conf",
              "<!DOCTYPE busconfig PUBLIC \"-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN\"\n"
              " \"http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd\">\n"
              "<busconfig><type>session</type><listen>unix:path=" + dir + "/bus</listen>\n"
              "<auth>EXTERNAL</auth><policy context=\"default\"><allow user=\"*\"/>\n"
              "<allow send_destination=\"*\" eavesdrop=\"true\"/>\n"
              "<allow eavesdrop=\"true\"/><allow own=\"*\"/></policy></busconfig>\n");
    spawnopts o;
    o.argv = {"dbus-daemon", "--config-file=" + dir + "/bus.conf", "--nofork", "--nopidfile"};
    o.err = dir + "/daemon.log";
    daemon = spawn(o);
    for (double end = now() + 10; !exists(dir + "/bus") && now() < end; pause(0.02))
        if (!running(daemon))
            break;
    if (!exists(dir + "/bus")) {
        daemon = -1;
        return;
    }
    if (services.empty())
        return;
    o.argv = {"/usr/bin/python3", sourcedir() + "/tests/e2e/powerservices.py", services, dir + "/services.log"};
    o.env = {env()};
    o.err = dir + "/services.err";
    standin = spawn(o);
    for (double end = now() + 10; log().find("ready\n") == std::string::npos; pause(0.02))
        if (now() > end || !running(standin)) {
            standin = -1;
            return;
        }
}

sessionbus::~sessionbus()
{
    for (pid_t* p : {&standin, &daemon})
        if (*p > 0) {
            kill(*p, SIGTERM);
            waitexit(*p, 5);
            *p = -1;
        }
}

std::string sessionbus::log() const
{
    return readfile(dir + "/services.log");
}

/* The stand-in's log replayed: each inhibition of the process, and how it ended. */
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
