// End-to-end harness: sandboxes, child processes, Xvfb, keys, screenshots, a sound server, the settings file.
#include "e2e/harness.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <fcntl.h>
#include <grp.h>
#include <poll.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <sstream>

#include <SDL.h>

#include "support/png.h"
#include "support/surface.h"

extern char** environ;

namespace fs = std::filesystem;

namespace hx {

std::string rundir()
{
    const char* d = std::getenv("HX_RUNDIR");
    return d ? d : HX_RUNDIR_DEFAULT;
}

std::string sourcedir()
{
    return HX_SOURCE_DEFAULT;
}

std::string shotdir(bool fordocs)
{
    const char* u = std::getenv("HX_UPDATE_SCREENSHOTS");
    std::string d = fordocs && u && std::string(u) == "1" ? sourcedir() + "/docs/screenshots"
                                                          : std::string(HX_BUILD_DEFAULT) + "/screenshots";
    fs::create_directories(d);
    return d;
}

double now()
{
    timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return ts.tv_sec + ts.tv_nsec / 1e9;
}

double wallclock()
{
    timespec ts;
    clock_gettime(CLOCK_REALTIME, &ts);
    return ts.tv_sec + ts.tv_nsec / 1e9;
}

void pause(double seconds)
{
    if (seconds <= 0)
        return;
    timespec ts;
    ts.tv_sec = (time_t)seconds;
    ts.tv_nsec = (long)((seconds - (double)ts.tv_sec) * 1e9);
    while (nanosleep(&ts, &ts) != 0 && errno == EINTR) {
    }
}

std::string readfile(const std::string& path)
{
    std::ifstream f(path, std::ios::binary);
    std::stringstream ss;
    ss << f.rdbuf();
    return ss.str();
}

bool writefile(const std::string& path, const std::string& data)
{
    std::ofstream f(path, std::ios::binary | std::ios::trunc);
    f.write(data.data(), (std::streamsize)data.size());
    return (bool)f;
}

bool exists(const std::string& path)
{
    struct stat st;
    return lstat(path.c_str(), &st) == 0;
}

long long filesize(const std::string& path)
{
    struct stat st;
    return stat(path.c_str(), &st) == 0 ? (long long)st.st_size : -1;
}

ino_t inode(const std::string& path)
{
    struct stat st;
    return stat(path.c_str(), &st) == 0 ? st.st_ino : 0;
}

std::string hex(const std::string& bytes)
{
    std::string out;
    char b[4];
    for (unsigned char c : bytes) {
        std::snprintf(b, sizeof b, "%02x ", c);
        out += b;
    }
    return out;
}

sandbox::sandbox(bool copyrun)
{
    char tmpl[] = "/tmp/hx-e2e-XXXXXX";
    char* d = mkdtemp(tmpl);
    dir = d ? d : "";
    chmod(dir.c_str(), 0755);  // other users (the read-only case) must reach it
    if (copyrun && !dir.empty())
        fs::copy(rundir(), dir, fs::copy_options::recursive);
}

sandbox::~sandbox()
{
    if (std::getenv("HX_KEEP") || dir.empty())
        return;
    std::error_code ec;
    fs::permissions(dir, fs::perms::owner_all, fs::perm_options::add, ec);
    fs::remove_all(dir, ec);
    fs::remove_all(dir + ".run", ec);
}

static void put32(std::string& s, int v)
{
    for (int i = 0; i < 4; i++)
        s += (char)(((uint32_t)v >> (8 * i)) & 0xFF);
}

std::string settings(int zeitdazu, int hilfe, int alarmhour, int alarmminute, int alarmstate)
{
    std::string s;
    put32(s, zeitdazu);
    s += (char)hilfe;
    put32(s, alarmhour);
    put32(s, alarmminute);
    put32(s, alarmstate);
    return s;
}

int field32(const std::string& b, int offset)
{
    if ((int)b.size() < offset + 4)
        return -1;
    uint32_t v = 0;
    for (int i = 0; i < 4; i++)
        v |= (uint32_t)(unsigned char)b[(size_t)(offset + i)] << (8 * i);
    return (int)v;
}

std::string layout(int cx, int cy, int hourbase, int minbase, int secbase, int hourtip, int mintip,
                   int sectip, int ax, int ay, rgb hour, rgb minute, rgb second)
{
    std::string s;
    for (int v : {cx, cy, hourbase, minbase, secbase, hourtip, mintip, sectip, ax, ay})
        s += std::to_string(v) + ";";
    for (rgb c : {hour, minute, second})  // blue, green, red
        s += std::to_string(c.b) + ";" + std::to_string(c.g) + ";" + std::to_string(c.r) + ";";
    return s;
}

/* processes */

std::vector<std::string> service(const std::vector<std::string>& args)
{
    std::vector<std::string> argv = {"bash", sourcedir() + "/tests/services.sh"};
    argv.insert(argv.end(), args.begin(), args.end());
    return argv;
}

bool serviceready(pid_t pid, const std::vector<std::string>& args)
{
    spawnopts o;
    o.argv = service({"ready", args.at(0), std::to_string(pid)});
    o.argv.insert(o.argv.end(), args.begin() + 1, args.end());
    exitstatus e = waitexit(spawn(o), 15);
    return e.exited && e.code == 0;
}

static std::string inpath(const std::string& name)
{
    if (name.find('/') != std::string::npos)
        return name;
    const char* p = std::getenv("PATH");
    std::stringstream ss(p ? p : "/usr/bin:/bin");
    std::string d;
    while (std::getline(ss, d, ':'))
        if (access((d + "/" + name).c_str(), X_OK) == 0)
            return d + "/" + name;
    return name;
}

pid_t spawn(const spawnopts& o)
{
    /* everything the child needs is built before fork: other threads may hold locks */
    std::vector<std::string> env;
    for (char** e = environ; *e; e++) {
        std::string entry = *e;
        std::string name = entry.substr(0, entry.find('='));
        bool drop = false;
        for (const std::string& u : o.unset)
            drop |= u == name;
        for (const std::string& n : o.env)
            drop |= n.substr(0, n.find('=')) == name;
        if (!drop)
            env.push_back(entry);
    }
    /* of a name given twice, the later one */
    for (size_t i = 0; i < o.env.size(); i++) {
        std::string name = o.env[i].substr(0, o.env[i].find('='));
        bool later = false;
        for (size_t j = i + 1; j < o.env.size(); j++)
            later |= o.env[j].substr(0, o.env[j].find('=')) == name;
        if (!later)
            env.push_back(o.env[i]);
    }
    std::vector<char*> envp, argv;
    for (std::string& e : env)
        envp.push_back(e.data());
    envp.push_back(nullptr);
    std::vector<std::string> args = o.argv;
    std::string path = inpath(args[0]);
    for (std::string& a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    const char* cwd = o.cwd.empty() ? nullptr : o.cwd.c_str();

    pid_t pid = fork();
    if (pid != 0)
        return pid;
    /* the child: async-signal-safe calls only */
    setpgid(0, 0);
    if (o.passfd >= 0) {
        if (o.passfd == 3)
            fcntl(3, F_SETFD, 0);
        else
            dup2(o.passfd, 3);
    }
    int in = open("/dev/null", O_RDONLY);
    int out = open(o.out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    int err = open(o.err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (in < 0 || out < 0 || err < 0)
        _exit(126);
    dup2(in, 0);
    dup2(out, 1);
    dup2(err, 2);
    if (cwd && chdir(cwd) != 0)
        _exit(126);
    if (o.fulldisk) {
        struct rlimit r = {0, 0};
        setrlimit(RLIMIT_FSIZE, &r);
        signal(SIGXFSZ, SIG_IGN);
    }
    if (o.uid >= 0) {
        if (setgroups(0, nullptr) != 0 || setgid((gid_t)o.uid) != 0 || setuid((uid_t)o.uid) != 0)
            _exit(126);
    }
    /* Files that other threads have open, without close-on-exec, must not live
       on in the child: an Xvfb that kept another test's copy of the program open
       for writing made every start of that copy fail (ETXTBSY) for as long as it ran. */
    unsigned first = o.passfd >= 0 ? 4 : 3;
    if (close_range(first, ~0U, 0) != 0)
        for (unsigned fd = first; fd < 4096; fd++)
            close((int)fd);
    /* another thread's child may still hold it between its fork and the close */
    for (int tries = 0; tries < 200; tries++) {
        execve(path.c_str(), argv.data(), envp.data());
        if (errno != ETXTBSY)
            break;
        timespec wait = {0, 5000000};
        nanosleep(&wait, nullptr);
    }
    _exit(127);
}

std::string exitstatus::str() const
{
    if (timedout)
        return "still running at the deadline (killed)";
    if (signalled)
        return "killed by signal " + std::to_string(signal);
    if (exited)
        return "exit " + std::to_string(code);
    return "unknown";
}

exitstatus waitexit(pid_t pid, double timeout)
{
    exitstatus r;
    double end = now() + timeout;
    int st = 0;
    for (;;) {
        pid_t w = waitpid(pid, &st, WNOHANG);
        if (w == pid)
            break;
        if (w < 0)
            return r;
        if (now() > end) {
            r.timedout = true;
            kill(pid, SIGKILL);
            waitpid(pid, &st, 0);
            return r;
        }
        pause(0.01);
    }
    if (WIFEXITED(st)) {
        r.exited = true;
        r.code = WEXITSTATUS(st);
    } else if (WIFSIGNALED(st)) {
        r.signalled = true;
        r.signal = WTERMSIG(st);
    }
    return r;
}

bool running(pid_t pid)
{
    siginfo_t si;
    si.si_pid = 0;
    if (waitid(P_PID, (id_t)pid, &si, WEXITED | WNOHANG | WNOWAIT) != 0)
        return false;
    return si.si_pid == 0;
}

static std::string statusline(pid_t pid, const char* key)
{
    std::ifstream f("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(f, line))
        if (line.rfind(key, 0) == 0)
            return line.substr(std::strlen(key));
    return "";
}

long rsskb(pid_t pid)
{
    std::string v = statusline(pid, "VmRSS:");
    return v.empty() ? -1 : std::atol(v.c_str());
}

bool catches(pid_t pid, int sig)
{
    std::string v = statusline(pid, "SigCgt:");
    if (v.empty())
        return false;
    unsigned long long mask = std::strtoull(v.c_str(), nullptr, 16);
    return (mask >> (sig - 1)) & 1;
}

std::vector<pid_t> children(pid_t pid)
{
    std::vector<pid_t> found;
    std::error_code ec;
    for (const auto& e : fs::directory_iterator("/proc", ec)) {
        std::string stat = readfile(e.path().string() + "/stat");
        size_t end = stat.rfind(')');
        int ppid = 0;
        /* after the name in brackets: the state, then the parent */
        if (end != std::string::npos && std::sscanf(stat.c_str() + end + 1, " %*c %d", &ppid) == 1 && ppid == pid)
            found.push_back((pid_t)std::atoi(e.path().filename().c_str()));
    }
    return found;
}

/* screenshots */

uint16_t rgb565(int r, int g, int b)
{
    return (uint16_t)(((r >> 3) << 11) | ((g >> 2) << 5) | (b >> 3));
}

bool shot::save(const std::string& path) const
{
    if (!ok)
        return false;
    SDL_Surface* s = make565(320, 240);
    for (int y = 0; y < 240; y++)
        for (int x = 0; x < 320; x++)
            ((Uint16*)s->pixels)[x + y * s->pitch / 2] = (*this)(x, y);
    bool done = savepng565(s, path);
    SDL_FreeSurface(s);
    return done;
}

/* a window that goes away between two requests must not end the test */
static int quieterrors(Display*, XErrorEvent*)
{
    return 0;
}

static int xsetup = [] {
    XInitThreads();
    XSetErrorHandler(quieterrors);
    return 0;
}();

xserver::xserver(int width, int height)
{
    (void)xsetup;
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0)
        return;
    spawnopts o;
    o.argv = service({"start", "xvfb", std::to_string(width) + "x" + std::to_string(height), "3"});
    o.passfd = fds[1];
    pid = spawn(o);
    close(fds[1]);
    std::string text;
    double end = now() + 20;
    while (text.find('\n') == std::string::npos && now() < end) {
        pollfd p = {fds[0], POLLIN, 0};
        if (poll(&p, 1, 200) > 0) {
            char b[32];
            ssize_t n = read(fds[0], b, sizeof b);
            if (n <= 0)
                break;
            text.append(b, (size_t)n);
        }
    }
    close(fds[0]);
    if (text.find('\n') == std::string::npos)
        return;
    number = std::atoi(text.c_str());
    dpy = XOpenDisplay(display().c_str());
}

xserver::~xserver()
{
    if (wm > 0) {
        kill(wm, SIGTERM);
        waitexit(wm, 5);
    }
    if (dpy)
        XCloseDisplay(dpy);
    if (pid > 0) {
        kill(pid, SIGTERM);
        if (waitexit(pid, 5).timedout)
            kill(pid, SIGKILL);
    }
}

/* The deepest viewable 320x240 window: SDL draws into a child of its window, and
   full screen that child sits inside a root-sized one, over the unused top-level. */
static void findscreen(Display* d, Window w, Window root, int depth, int* best, int* x, int* y)
{
    XWindowAttributes a;
    if (w != root) {
        if (!XGetWindowAttributes(d, w, &a) || a.map_state != IsViewable)
            return;
        Window child;
        if (a.width == 320 && a.height == 240 && depth > *best &&
            XTranslateCoordinates(d, w, root, 0, 0, x, y, &child))
            *best = depth;
    }
    Window r, parent, *kids = nullptr;
    unsigned n = 0;
    if (!XQueryTree(d, w, &r, &parent, &kids, &n))
        return;
    for (unsigned i = 0; i < n; i++)
        findscreen(d, kids[i], root, depth + 1, best, x, y);
    if (kids)
        XFree(kids);
}

bool xserver::screenat(int* x, int* y)
{
    if (!dpy)
        return false;
    int best = 0;
    findscreen(dpy, DefaultRootWindow(dpy), DefaultRootWindow(dpy), 0, &best, x, y);
    return best > 0;
}

bool xserver::waitscreen(double timeout)
{
    double end = now() + timeout;
    int x, y;
    while (now() < end) {
        if (screenat(&x, &y))
            return true;
        pause(0.02);
    }
    return false;
}

bool xserver::waitfullscreen(double timeout)
{
    if (!dpy)
        return false;
    Window root = DefaultRootWindow(dpy);
    XWindowAttributes ra;
    XGetWindowAttributes(dpy, root, &ra);
    for (double end = now() + timeout; now() < end; pause(0.02)) {
        int x, y;
        if (screenat(&x, &y) && x == (ra.width - 320) / 2 && y == (ra.height - 240) / 2)
            return true;
        Window r, parent, *kids = nullptr;
        unsigned n = 0;
        if (!XQueryTree(dpy, root, &r, &parent, &kids, &n))
            continue;
        bool found = false;
        for (unsigned i = 0; i < n && !found; i++) {
            XWindowAttributes a;
            found = XGetWindowAttributes(dpy, kids[i], &a) && a.map_state == IsViewable &&
                    a.x == 0 && a.y == 0 && a.width == ra.width && a.height == ra.height;
        }
        if (kids)
            XFree(kids);
        if (found)
            return true;
    }
    return false;
}

/* A frame reaches the server in several requests, so one capture can catch the
   top of a new frame over the bottom of the old one: only a capture that equals
   the next one counts. */
shot xserver::grab()
{
    shot a = grabonce();
    for (int i = 0; i < 20 && a.ok; i++) {
        shot b = grabonce();
        if (!b.ok || b.px == a.px) {
            a = b.ok ? b : a;
            break;
        }
        a = b;
    }
    if (a.ok)
        last = a;
    return a;
}

/* An area of the root window in 5-6-5 terms; empty when it cannot be read. */
static std::vector<uint16_t> read565(Display* dpy, int x, int y, int w, int h)
{
    std::vector<uint16_t> px;
    XImage* im = XGetImage(dpy, DefaultRootWindow(dpy), x, y, (unsigned)w, (unsigned)h, AllPlanes,
                           ZPixmap);
    if (!im)
        return px;
    auto shift = [](unsigned long m) {
        int n = 0;
        while (m && !(m & 1)) {
            m >>= 1;
            n++;
        }
        return n;
    };
    int rs = shift(im->red_mask), gs = shift(im->green_mask), bs = shift(im->blue_mask);
    px.resize((size_t)w * (size_t)h);
    for (int yy = 0; yy < h; yy++)
        for (int xx = 0; xx < w; xx++) {
            unsigned long p = XGetPixel(im, xx, yy);
            int r = (int)((p & im->red_mask) >> rs), g = (int)((p & im->green_mask) >> gs),
                b = (int)((p & im->blue_mask) >> bs);
            px[(size_t)xx + (size_t)yy * (size_t)w] = rgb565(r, g, b);
        }
    XDestroyImage(im);
    return px;
}

shot xserver::grabonce()
{
    shot s;
    int x, y;
    if (!screenat(&x, &y))
        return s;
    s.px = read565(dpy, x, y, 320, 240);
    s.at = now();
    if (s.px.empty())
        return s;
    s.x0 = x;
    s.y0 = y;
    s.ok = true;
    return s;
}

bool xserver::resources(const std::string& text)
{
    char path[] = "/tmp/hx-xrdb-XXXXXX";
    int fd = mkstemp(path);
    if (fd < 0)
        return false;
    close(fd);
    bool written = writefile(path, text);
    spawnopts o;
    o.argv = {"xrdb", "-merge", path};
    o.env = {"DISPLAY=" + display()};
    exitstatus e = waitexit(spawn(o), 10);
    unlink(path);
    return written && e.exited && e.code == 0;
}

/* the largest viewable child of the root window */
static Window toplevel(Display* d, XWindowAttributes* best)
{
    Window root = DefaultRootWindow(d), r, parent, *kids = nullptr, found = 0;
    unsigned n = 0;
    best->width = best->height = 0;
    if (!XQueryTree(d, root, &r, &parent, &kids, &n))
        return 0;
    for (unsigned i = 0; i < n; i++) {
        XWindowAttributes a;
        if (XGetWindowAttributes(d, kids[i], &a) && a.map_state == IsViewable &&
            a.width * a.height > best->width * best->height) {
            *best = a;
            found = kids[i];
        }
    }
    if (kids)
        XFree(kids);
    return found;
}

static std::vector<Window> clients(Display* d);

/* The program's window: under a window manager the client in its frame, else
   the largest viewable top-level; its place on the root window in x, y. */
static Window programwindow(Display* d, int* x, int* y, int* w, int* h)
{
    Window found = 0, child;
    int best = 0;
    for (Window c : clients(d)) {
        XWindowAttributes a;
        if (XGetWindowAttributes(d, c, &a) && a.map_state == IsViewable && a.width * a.height > best &&
            XTranslateCoordinates(d, c, DefaultRootWindow(d), 0, 0, x, y, &child)) {
            best = a.width * a.height;
            found = c;
            *w = a.width, *h = a.height;
        }
    }
    if (found)
        return found;
    XWindowAttributes a{};
    found = toplevel(d, &a);
    *x = a.x, *y = a.y, *w = a.width, *h = a.height;
    return found;
}

bool xserver::window(int* x, int* y, int* w, int* h)
{
    return dpy && programwindow(dpy, x, y, w, h);
}

bool xserver::resize(int w, int h)
{
    int x, y, ww, wh;
    Window t = dpy ? programwindow(dpy, &x, &y, &ww, &wh) : 0;
    if (!t)
        return false;
    XMoveResizeWindow(dpy, t, 0, 0, (unsigned)w, (unsigned)h);
    XFlush(dpy);
    return true;
}

bool xserver::maximise(bool on)
{
    int x, y, w, h;
    Window t = dpy ? programwindow(dpy, &x, &y, &w, &h) : 0;
    if (!t)
        return false;
    XEvent ev;
    std::memset(&ev, 0, sizeof ev);
    ev.xclient.type = ClientMessage;
    ev.xclient.window = t;
    ev.xclient.message_type = XInternAtom(dpy, "_NET_WM_STATE", False);
    ev.xclient.format = 32;
    ev.xclient.data.l[0] = on ? 1 : 0;  // add, remove
    ev.xclient.data.l[1] = (long)XInternAtom(dpy, "_NET_WM_STATE_MAXIMIZED_VERT", False);
    ev.xclient.data.l[2] = (long)XInternAtom(dpy, "_NET_WM_STATE_MAXIMIZED_HORZ", False);
    ev.xclient.data.l[3] = 1;  // as an application asks
    XSendEvent(dpy, DefaultRootWindow(dpy), False, SubstructureRedirectMask | SubstructureNotifyMask, &ev);
    XFlush(dpy);
    return true;
}

compositor::compositor(const std::string& d, int scale) : dir(d)
{
    mkdir(dir.c_str(), 0700);
    std::string conf = dir + "/sway.conf";
    writefile(conf, "output HEADLESS-1 resolution 1280x720 scale " + std::to_string(scale) +
                        "\nxwayland disable\n");
    spawnopts o;
    o.argv = {"sway", "-c", conf};
    o.env = {"XDG_RUNTIME_DIR=" + dir, "WLR_BACKENDS=headless", "WLR_RENDERER=pixman",
             "WLR_LIBINPUT_NO_DEVICES=1"};
    o.unset = {"DISPLAY", "WAYLAND_DISPLAY", "SWAYSOCK", "LD_PRELOAD", "LD_LIBRARY_PATH"};
    o.err = dir + "/sway.log";
    pid = spawn(o);
    for (double end = now() + 20; now() < end && !ok() && running(pid); pause(0.05)) {
        std::error_code ec;
        for (const auto& e : fs::directory_iterator(dir, ec)) {
            std::string name = e.path().filename();
            if (name.rfind("wayland-", 0) == 0 && name.find(".lock") == std::string::npos)
                display = name;
            if (name.rfind("sway-ipc.", 0) == 0)
                ipc = e.path();
        }
    }
}

compositor::~compositor()
{
    if (pid > 0) {
        kill(pid, SIGTERM);
        if (waitexit(pid, 5).timedout)
            kill(pid, SIGKILL);
    }
    std::error_code ec;
    fs::remove_all(dir, ec);
}

std::string compositor::msg(const std::vector<std::string>& args) const
{
    spawnopts o;
    o.argv = {"swaymsg"};
    o.argv.insert(o.argv.end(), args.begin(), args.end());
    o.env = {"SWAYSOCK=" + ipc};
    o.unset = {"LD_PRELOAD", "LD_LIBRARY_PATH"};
    o.out = dir + "/swaymsg.txt";
    waitexit(spawn(o), 10);
    return readfile(o.out);
}

bool compositor::window(pid_t p, int* x, int* y, int* w, int* h, std::string* title) const
{
    writefile(dir + "/tree.json", msg({"-t", "get_tree"}));
    /* sway's tree is JSON: python reads it */
    spawnopts o;
    o.argv = {"python3", "-c",
              "import json, sys\n"
              "def walk(n):\n"
              "    if n.get('pid') == int(sys.argv[2]):\n"
              "        r, c = n['rect'], n['window_rect']\n"
              "        print(r['x'] + c['x'], r['y'] + c['y'], c['width'], c['height'], n.get('name') or '')\n"
              "    for k in n.get('nodes', []) + n.get('floating_nodes', []):\n"
              "        walk(k)\n"
              "walk(json.load(open(sys.argv[1])))\n",
              dir + "/tree.json", std::to_string(p)};
    o.unset = {"LD_PRELOAD", "LD_LIBRARY_PATH"};
    o.out = dir + "/window.txt";
    waitexit(spawn(o), 10);
    std::istringstream in(readfile(o.out));
    std::string name;
    if (!(in >> *x >> *y >> *w >> *h))
        return false;
    std::getline(in >> std::ws, name);
    if (title)
        *title = name;
    return true;
}

std::vector<uint16_t> compositor::grab(int x, int y, int w, int h, int* pw, int* ph) const
{
    std::vector<uint16_t> px;
    spawnopts o;
    std::string file = dir + "/grab.png";
    o.argv = {"grim", "-g",
              std::to_string(x) + "," + std::to_string(y) + " " + std::to_string(w) + "x" + std::to_string(h),
              file};
    o.env = {"WAYLAND_DISPLAY=" + display, "XDG_RUNTIME_DIR=" + dir};
    o.unset = {"LD_PRELOAD", "LD_LIBRARY_PATH"};
    unlink(file.c_str());
    waitexit(spawn(o), 10);
    SDL_Surface* s = loadpng565(file);
    if (!s)
        return px;
    *pw = s->w;
    *ph = s->h;
    px.resize((size_t)s->w * (size_t)s->h);
    for (int j = 0; j < s->h; j++)
        std::memcpy(&px[(size_t)j * (size_t)s->w], (const Uint8*)s->pixels + j * s->pitch, (size_t)s->w * 2);
    SDL_FreeSurface(s);
    return px;
}

bool compositor::press(const std::string& key) const
{
    /* each run makes a virtual keyboard, whose first key is lost while it appears */
    spawnopts o;
    o.argv = {"wtype", "-s", "1000", "-k", key};
    o.env = {"WAYLAND_DISPLAY=" + display, "XDG_RUNTIME_DIR=" + dir};
    o.unset = {"LD_PRELOAD", "LD_LIBRARY_PATH"};
    exitstatus e = waitexit(spawn(o), 10);
    return e.exited && e.code == 0;
}

unsigned long rootwindow(Display* d, const char* name)
{
    Atom type;
    int format;
    unsigned long n = 0, left;
    unsigned char* data = nullptr;
    Window w = 0;
    if (XGetWindowProperty(d, DefaultRootWindow(d), XInternAtom(d, name, False), 0, 1, False,
                           XA_WINDOW, &type, &format, &n, &left, &data) == Success && n == 1 && data)
        w = (Window) * reinterpret_cast<long*>(data);
    if (data)
        XFree(data);
    return w;
}

/* Waits until the window manager, once it has announced itself, maps a window
   that asks it to. openbox announces itself before it reads its theme, and a
   window that asks while it still starts may stay unmapped for good (seen on
   a loaded machine): a fresh one asks each second. */
static bool managing(Display* d, double seconds)
{
    bool mapped = false;
    for (double end = now() + seconds; !mapped && now() < end;) {
        Window w = XCreateSimpleWindow(d, DefaultRootWindow(d), 0, 0, 8, 8, 0, 0, 0);
        XMapWindow(d, w);
        XWindowAttributes a{};
        for (double next = now() + 1; !mapped && now() < next; pause(0.05))
            mapped = XGetWindowAttributes(d, w, &a) && a.map_state == IsViewable;
        XDestroyWindow(d, w);
        XSync(d, False);
    }
    return mapped;
}

bool xserver::windowmanager(const std::string& log)
{
    /* Started on a fresh machine's cold font cache, openbox under Xvfb has been
       seen to map no window for minutes while it built that cache itself. */
    spawnopts fc;
    fc.argv = {"fc-cache"};
    fc.unset = {"LD_PRELOAD", "LD_LIBRARY_PATH"};
    waitexit(spawn(fc), 60);
    spawnopts o;
    o.argv = {"openbox"};
    o.env = {"DISPLAY=" + display()};
    o.unset = {"LD_PRELOAD", "LD_LIBRARY_PATH"};
    o.err = log;
    wm = spawn(o);
    for (double end = now() + 10; now() < end && !rootwindow(dpy, "_NET_SUPPORTING_WM_CHECK");)
        pause(0.05);
    return managing(dpy, 30);
}

shot unzoom(const std::vector<uint16_t>& px, int w, int h, int f, std::string* why)
{
    shot s;
    s.at = now();
    int x0 = (w - 320 * f) / 2, y0 = (h - 240 * f) / 2;
    s.x0 = x0;
    s.y0 = y0;
    s.px.resize(320 * 240);
    std::string first;
    int wrong = 0;
    for (int yy = 0; yy < h; yy++)
        for (int xx = 0; xx < w; xx++) {
            int i = (xx - x0) / f, j = (yy - y0) / f;
            bool in = xx >= x0 && yy >= y0 && i < 320 && j < 240;
            uint16_t v = px[(size_t)xx + (size_t)yy * (size_t)w];
            if (in && (xx - x0) % f == 0 && (yy - y0) % f == 0)
                s.px[(size_t)(i + j * 320)] = v;
            uint16_t want = !in ? 0 : s.px[(size_t)(i + j * 320)];
            if (v != want && wrong++ == 0)
                first = "(" + std::to_string(xx) + ", " + std::to_string(yy) + ") of the " +
                        std::to_string(w) + "x" + std::to_string(h) + " window is " +
                        std::to_string(v) + ", not " + std::to_string(want);
        }
    if (why)
        *why = wrong ? std::to_string(wrong) + " pixels wrong, the first " + first : "";
    s.ok = wrong == 0 && x0 >= 0 && y0 >= 0;
    return s;
}

shot xserver::grabzoomed(int f, std::string* why)
{
    int x, y, w, h;
    std::vector<uint16_t> a, b;
    /* a whole frame: two reads in a row that agree */
    for (int i = 0; i < 20 && (a.empty() || a != b); i++) {
        a = b;
        if (!window(&x, &y, &w, &h))
            return shot();
        b = read565(dpy, x, y, w, h);
        if (b.empty())
            return shot();
    }
    return unzoom(b, w, h, f, why);
}

shot xserver::waitfor(const std::function<bool(const shot&)>& pred, double timeout)
{
    double end = now() + timeout;
    shot s;
    for (;;) {
        s = grab();
        if (s.ok && pred(s))
            return s;
        if (now() > end)
            return s;
        pause(0.05);
    }
}

static bool asksdelete(Display* d, Window w, Atom del)
{
    Atom* protocols = nullptr;
    int n = 0;
    bool found = false;
    if (XGetWMProtocols(d, w, &protocols, &n)) {
        for (int i = 0; i < n; i++)
            found |= protocols[i] == del;
        XFree(protocols);
    }
    return found;
}

/* The program's top-level windows, the ones that take a close request: children
   of the root, or under a window manager children of its frames. */
static std::vector<Window> clients(Display* d)
{
    Atom del = XInternAtom(d, "WM_DELETE_WINDOW", False);
    std::vector<Window> found;
    std::function<void(Window, int)> visit = [&](Window w, int depth) {
        Window r, parent, *kids = nullptr;
        unsigned n = 0;
        if (!XQueryTree(d, w, &r, &parent, &kids, &n))
            return;
        for (unsigned i = 0; i < n; i++) {
            if (asksdelete(d, kids[i], del))
                found.push_back(kids[i]);
            else if (depth < 2)
                visit(kids[i], depth + 1);
        }
        if (kids)
            XFree(kids);
    };
    visit(DefaultRootWindow(d), 1);
    return found;
}

bool xserver::closerequest()
{
    if (!dpy)
        return false;
    Atom del = XInternAtom(dpy, "WM_DELETE_WINDOW", False);
    Atom protocols = XInternAtom(dpy, "WM_PROTOCOLS", False);
    bool sent = false;
    for (Window w : clients(dpy)) {
        XEvent ev;
        std::memset(&ev, 0, sizeof ev);
        ev.xclient.type = ClientMessage;
        ev.xclient.window = w;
        ev.xclient.message_type = protocols;
        ev.xclient.format = 32;
        ev.xclient.data.l[0] = (long)del;
        ev.xclient.data.l[1] = CurrentTime;
        sent |= XSendEvent(dpy, w, False, NoEventMask, &ev) != 0;
    }
    XFlush(dpy);
    return sent;
}

std::string xserver::windows()
{
    std::string out;
    if (!dpy)
        return out;
    std::function<void(Window, int)> visit = [&](Window w, int depth) {
        Window r, parent, *kids = nullptr;
        unsigned n = 0;
        if (!XQueryTree(dpy, w, &r, &parent, &kids, &n))
            return;
        for (unsigned i = 0; i < n; i++) {
            XWindowAttributes a;
            if (!XGetWindowAttributes(dpy, kids[i], &a) || a.width < 2)
                continue;
            char line[96];
            std::snprintf(line, sizeof line, "\n%*s%#lx %dx%d+%d+%d%s", depth * 2, "", kids[i], a.width,
                          a.height, a.x, a.y, a.map_state == IsViewable ? "" : " (not viewable)");
            out += line;
            if (depth < 3)
                visit(kids[i], depth + 1);
        }
        if (kids)
            XFree(kids);
    };
    visit(DefaultRootWindow(dpy), 1);
    return out;
}

int xserver::iconsize()
{
    if (!dpy)
        return 0;
    int best = 0;
    Atom neticon = XInternAtom(dpy, "_NET_WM_ICON", False);
    for (Window w : clients(dpy)) {
        Atom type;
        int format;
        unsigned long n = 0, left;
        unsigned char* data = nullptr;
        if (XGetWindowProperty(dpy, w, neticon, 0, 2, False, XA_CARDINAL, &type, &format, &n, &left,
                               &data) == Success && n == 2 && data) {
            const long* wh = reinterpret_cast<long*>(data);
            best = std::max(best, (int)std::min(wh[0], wh[1]));
        }
        if (data)
            XFree(data);
        if (XWMHints* h = XGetWMHints(dpy, w)) {
            Window r;
            int x, y;
            unsigned pw, ph, border, depth;
            if ((h->flags & IconPixmapHint) &&
                XGetGeometry(dpy, h->icon_pixmap, &r, &x, &y, &pw, &ph, &border, &depth))
                best = std::max(best, (int)std::min(pw, ph));
            XFree(h);
        }
    }
    return best;
}

pid_t xserver::xdotool(const std::vector<std::string>& args)
{
    spawnopts o;
    o.argv = {"xdotool"};
    o.argv.insert(o.argv.end(), args.begin(), args.end());
    o.env = {"DISPLAY=" + display()};
    return spawn(o);
}

bool xserver::press(const std::string& key, int holdms)
{
    int x = 0, y = 0, w = 320, h = 240;
    if (!screenat(&x, &y) && !window(&x, &y, &w, &h))
        return false;
    char hold[16];
    std::snprintf(hold, sizeof hold, "%.3f", holdms / 1000.0);
    pid_t p = xdotool({"mousemove", std::to_string(x + w / 2), std::to_string(y + h / 2), "keydown", key,
                       "sleep", hold, "keyup", key});
    exitstatus e = waitexit(p, 10);
    return e.exited && e.code == 0;
}

/* sound */

soundserver::soundserver(const std::string& d, bool suspend) : dir(d), suspendidle(suspend)
{
    start();
}

soundserver::~soundserver()
{
    stop();
}

bool soundserver::start()
{
    fs::create_directories(dir);
    spawnopts o;
    o.argv = service({"start", "pulse", dir, suspendidle ? "idle" : ""});
    o.err = dir + "/server.log";
    pid = spawn(o);
    if (serviceready(pid, {"pulse", dir}))
        return true;
    stop();
    return false;
}

void soundserver::stop()
{
    if (pid <= 0)
        return;
    kill(pid, SIGTERM);
    if (waitexit(pid, 5).timedout)
        kill(pid, SIGKILL);
    pid = -1;
}

std::string soundserver::pactl(const std::vector<std::string>& args) const
{
    spawnopts o;
    o.argv = {"pactl"};
    o.argv.insert(o.argv.end(), args.begin(), args.end());
    o.env = {env()};
    o.unset = {"PULSE_SERVER"};
    o.out = dir + "/pactl.out";
    exitstatus e = waitexit(spawn(o), 10);
    return e.exited && e.code == 0 ? readfile(o.out) : "";
}

int soundserver::streams() const
{
    std::string list = pactl({"list", "sink-inputs", "short"});
    return (int)std::count(list.begin(), list.end(), '\n');
}

std::string soundserver::sinkstate() const
{
    std::string line = pactl({"list", "sinks", "short"});
    while (!line.empty() && std::isspace((unsigned char)line.back()))
        line.pop_back();
    size_t tab = line.rfind('\t');
    return tab == std::string::npos ? "" : line.substr(tab + 1);
}

recording::recording(const soundserver& s)
{
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0)
        return;
    spawnopts o;
    o.argv = {"parec", "--device=hx.monitor", "--raw", "--format=s16le", "--rate=44100",
              "--channels=2", "--latency-msec=20"};
    o.env = {s.env()};
    o.unset = {"PULSE_SERVER"};
    o.passfd = fds[1];
    o.out = "/dev/fd/3";
    pid = spawn(o);
    close(fds[1]);
    fd = fds[0];
    reader = std::thread([this] {
        char b[65536];
        ssize_t n;
        while ((n = read(fd, b, sizeof b)) > 0) {
            std::lock_guard<std::mutex> hold(lock);
            data.append(b, (size_t)n);
            arrivals.push_back({now(), data.size()});
        }
    });
}

recording::~recording()
{
    stop();
}

void recording::stop()
{
    if (pid > 0) {
        kill(pid, SIGTERM);
        if (waitexit(pid, 5).timedout)
            kill(pid, SIGKILL);
        pid = -1;
    }
    if (reader.joinable())
        reader.join();
    if (fd >= 0)
        close(fd);
    fd = -1;
}

std::string recording::bytes() const
{
    std::lock_guard<std::mutex> hold(lock);
    return data;
}

double recording::playedat(size_t byte) const
{
    std::lock_guard<std::mutex> hold(lock);
    for (const auto& a : arrivals)
        if (a.second > byte)
            return a.first - (double)(a.second - byte) / (44100.0 * 4);
    return -1;
}

std::string wavsamples(const std::string& path, std::string* why)
{
    SDL_AudioSpec spec;
    Uint8* buf = nullptr;
    Uint32 len = 0;
    if (!SDL_LoadWAV(path.c_str(), &spec, &buf, &len)) {
        *why = path + ": " + SDL_GetError();
        return "";
    }
    std::string pcm((const char*)buf, len);
    SDL_FreeWAV(buf);
    char what[96];
    std::snprintf(what, sizeof what, "%s: %d Hz, format 0x%04x, %d channels", path.c_str(), spec.freq,
                  (unsigned)spec.format, (int)spec.channels);
    *why = what;
    if (spec.freq != 44100 || spec.format != AUDIO_S16LSB || spec.channels != 2)
        return "";
    return pcm;
}

bool soundis(const std::string& recorded, const std::string& pcm, size_t* at, std::string* why,
             size_t* end)
{
    const std::string zero(4, '\0');
    size_t first = 0;
    while (first + 4 <= recorded.size() && recorded.compare(first, 4, zero) == 0)
        first += 4;
    *at = first;
    if (first + 4 > recorded.size()) {
        *why = "nothing but silence in " + std::to_string(recorded.size()) + " bytes";
        return false;
    }
    /* frame by frame; a silent frame where the sound has another is one the server
       played while the stream ran dry (a loaded machine), and is passed over */
    size_t r = first, p = 0, inserted = 0;
    while (p + 4 <= pcm.size() && r + 4 <= recorded.size()) {
        if (recorded.compare(r, 4, pcm, p, 4) == 0) {
            r += 4;
            p += 4;
        } else if (recorded.compare(r, 4, zero) == 0) {
            r += 4;
            inserted += 4;
        } else {
            break;
        }
    }
    if (end)
        *end = r;
    char gap[64] = "";
    if (inserted)
        std::snprintf(gap, sizeof gap, ", with %.3f s of silence in between", inserted / (44100.0 * 4));
    *why = gap;
    if (p + 4 > pcm.size() && inserted <= 44100 * 4)  // at most a second of gaps
        return true;
    *why = "from byte " + std::to_string(first) + ", " + std::to_string(p) + " of the sound's " +
           std::to_string(pcm.size()) + " bytes agree" + gap +
           (r + 4 > recorded.size() ? " and the recording ends there" : "");
    return false;
}

/* the program */

long long epoch(const std::string& utc)
{
    std::tm tm = {};
    if (std::sscanf(utc.c_str(), "%d-%d-%d %d:%d:%d", &tm.tm_year, &tm.tm_mon, &tm.tm_mday,
                    &tm.tm_hour, &tm.tm_min, &tm.tm_sec) != 6)
        return 0;
    tm.tm_year -= 1900;
    tm.tm_mon -= 1;
    return (long long)timegm(&tm);
}

long long run::fakeat(double t) const
{
    return (long long)std::floor(fakestart + (t - t0));
}

run start(const sandbox& box, const runopts& o)
{
    run r;
    r.out = box / "stdout.txt";
    r.err = box / "stderr.txt";
    spawnopts s;
    s.argv = o.wrapper;
    if (o.command.empty())
        s.argv.push_back(box / o.program);
    else
        s.argv.insert(s.argv.end(), o.command.begin(), o.command.end());
    s.cwd = box.dir;
    s.out = r.out;
    s.err = r.err;
    s.fulldisk = o.fulldisk;
    s.uid = o.uid;
    /* no session bus but a test's own: the clock would ask the machine's for its sleep */
    s.unset = {"LD_PRELOAD", "FAKETIME", "DISPLAY", "WAYLAND_DISPLAY", "SDL_VIDEODRIVER",
               "SDL_AUDIODRIVER", "PULSE_SERVER", "DBUS_SESSION_BUS_ADDRESS"};
    s.unset.insert(s.unset.end(), o.unset.begin(), o.unset.end());
    /* a runtime folder of its own beside the sandbox, as a session gives it: SDL3
       and PipeWire complain without one; no sound server or bus lives there */
    std::string xdg = box.dir + ".run";
    mkdir(xdg.c_str(), 0700);
    if (o.uid >= 0 && chown(xdg.c_str(), (uid_t)o.uid, (gid_t)o.uid) != 0)
        xdg.clear();
    /* a bus given in o.env takes its place: SDL2 would start one of its own; nor
       the machine's system bus, whose logind it would ask as well */
    s.env = {"TZ=UTC", "DBUS_SESSION_BUS_ADDRESS=disabled:",
             "DBUS_SYSTEM_BUS_ADDRESS=unix:path=" + box.dir + ".run/no-system-bus"};
    if (o.x) {
        s.env.push_back("DISPLAY=" + o.x->display());
    } else if (o.wl) {
        s.env.push_back("WAYLAND_DISPLAY=" + o.wl->display);
        /* the test machine has no GPU: Mesa goes to llvmpipe at once, rather than
           after lines on stderr about each driver it tried (Debian unstable's) */
        s.env.push_back("LIBGL_ALWAYS_SOFTWARE=1");
        xdg = o.wl->dir;
    } else {
        s.env.push_back("SDL_VIDEODRIVER=dummy");
    }
    if (o.audio == "disk") {
        s.env.push_back("SDL_AUDIODRIVER=disk");
        s.env.push_back("SDL_DISKAUDIOFILE=" + box / "out.raw");
        s.env.push_back("SDL_DISKAUDIODELAY=" + std::to_string(o.audiodelay));
    } else if (o.audio != "pulse") {
        s.env.push_back("SDL_AUDIODRIVER=" + o.audio);
    }
    s.env.push_back("XDG_RUNTIME_DIR=" + xdg);
    if (!o.fake.empty()) {
        s.env.push_back("LD_PRELOAD=/usr/lib/x86_64-linux-gnu/faketime/libfaketime.so.1");
        s.env.push_back("FAKETIME=@" + o.fake + (o.rate.empty() ? "" : " " + o.rate));
        s.env.push_back("FAKETIME_DONT_FAKE_MONOTONIC=1");
        r.fakestart = (double)epoch(o.fake);
    } else {
        timespec ts;
        clock_gettime(CLOCK_REALTIME, &ts);
        r.fakestart = ts.tv_sec + ts.tv_nsec / 1e9;
    }
    s.env.insert(s.env.end(), o.env.begin(), o.env.end());
    r.t0 = now();
    r.pid = spawn(s);
    return r;
}

}  // namespace hx
