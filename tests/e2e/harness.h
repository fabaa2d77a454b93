// End-to-end harness: sandboxes, child processes, Xvfb, keys, screenshots, a sound server, the settings file.
#pragma once
#include <sys/types.h>

#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

typedef struct _XDisplay Display;

namespace hx {

/* paths */
std::string rundir();       /* the runtime folder the build made */
std::string sourcedir();    /* the source tree */
/* where screenshots go: the build folder, or for the documented states
   docs/screenshots when HX_UPDATE_SCREENSHOTS=1 */
std::string shotdir(bool fordocs = false);

/* time: monotonic seconds, for waiting and for mapping to the program's fake clock */
double now();
double wallclock();         /* CLOCK_REALTIME seconds */
void pause(double seconds);

/* files */
std::string readfile(const std::string& path);
bool writefile(const std::string& path, const std::string& data);
bool exists(const std::string& path);
long long filesize(const std::string& path);  /* -1 when missing */
ino_t inode(const std::string& path);         /* 0 when missing */
std::string hex(const std::string& bytes);

/* A fresh folder under /tmp holding a copy of the runtime folder; removed
   afterwards unless HX_KEEP is set. */
struct sandbox {
    std::string dir;
    explicit sandbox(bool copyrun = true);
    ~sandbox();
    sandbox(const sandbox&) = delete;
    sandbox& operator=(const sandbox&) = delete;
    std::string operator/(const std::string& name) const { return dir + "/" + name; }
};

/* The 17 bytes of "Horatik.dat" and the text of "config.conf". */
std::string settings(int zeitdazu, int hilfe, int alarmhour, int alarmminute, int alarmstate);
struct rgb { int r, g, b; };
std::string layout(int cx, int cy, int hourbase, int minbase, int secbase, int hourtip, int mintip,
                   int sectip, int ax, int ay, rgb hour, rgb minute, rgb second);
int field32(const std::string& bytes, int offset);  /* a little-endian int of the file */

/* processes */
struct spawnopts {
    std::vector<std::string> argv;      /* argv[0] is searched in PATH unless it holds a "/" */
    std::vector<std::string> env;       /* "NAME=value", over the inherited environment */
    std::vector<std::string> unset;     /* names removed from the inherited environment */
    std::string cwd;
    std::string out = "/dev/null", err = "/dev/null";
    bool fulldisk = false;              /* RLIMIT_FSIZE 0 and SIGXFSZ ignored */
    int uid = -1;                       /* run as this user and group */
    int passfd = -1;                    /* handed to the child as fd 3 */
};
pid_t spawn(const spawnopts& o);
/* tests/services.sh, which starts every service the clock runs beside: the command
   line of its args; and whether the service of that pid answers ("pulse" DIR, "bus"
   PATH, "standins" LOG), waited for at most ten seconds */
std::vector<std::string> service(const std::vector<std::string>& args);
bool serviceready(pid_t pid, const std::vector<std::string>& args);
struct exitstatus {
    bool exited = false, signalled = false, timedout = false;
    int code = -1, signal = 0;
    std::string str() const;
};
/* Waits up to timeout seconds; a child still running then is killed and reaped. */
exitstatus waitexit(pid_t pid, double timeout);
bool running(pid_t pid);          /* not yet ended (the child is not reaped) */
long rsskb(pid_t pid);            /* resident set from /proc, -1 when gone */
bool catches(pid_t pid, int sig); /* the process has a handler for sig */
std::vector<pid_t> children(pid_t pid);  /* its child processes, from /proc */

/* A 5-6-5 picture of the program's 320x240 screen. */
struct shot {
    bool ok = false;
    int x0 = 0, y0 = 0;                 /* where the screen lay on the root window */
    double at = 0;                      /* monotonic time of the capture */
    std::vector<uint16_t> px;
    uint16_t operator()(int x, int y) const { return px[(size_t)(x + y * 320)]; }
    bool save(const std::string& path) const;
};
uint16_t rgb565(int r, int g, int b);

/* An Xvfb of our own, 640x480x24 unless said otherwise, ended by its pid. */
struct xserver {
    pid_t pid = -1;
    pid_t wm = -1;                      /* openbox, once windowmanager() started it */
    int number = -1;
    Display* dpy = nullptr;
    explicit xserver(int width = 640, int height = 480);
    ~xserver();
    xserver(const xserver&) = delete;
    xserver& operator=(const xserver&) = delete;
    std::string display() const { return ":" + std::to_string(number); }
    bool ok() const { return dpy != nullptr; }

    /* the program's 320x240 screen on the root window, if one is shown */
    bool screenat(int* x, int* y);
    bool waitscreen(double timeout);
    /* Full screen as SDL makes it without a window manager: the 320x240 picture
       centred on the X screen (classic SDL, in a window as large as the screen;
       older sdl12-compat, in a window of its own size), or a window as large as
       the screen that the picture is scaled up to (newer sdl12-compat). */
    bool waitfullscreen(double timeout);
    /* X resources such as "Xft.dpi: 192", merged with xrdb */
    bool resources(const std::string& text);
    /* openbox managing the display's windows; its messages into log */
    bool windowmanager(const std::string& log);
    /* the program's window: under a window manager the client in its frame, else
       the largest viewable top-level; x, y on the root window */
    bool window(int* x, int* y, int* w, int* h);
    bool resize(int w, int h);  /* at the top left corner, to be read back whole */
    bool maximise(bool on);     /* as the window's maximise button does */
    /* The window read back as the frame zoomed f times, centred: ok only when
       every f x f block has one colour and all around the frame is black (why
       says where not); the frame's top left corner in the window in x0, y0. */
    shot grabzoomed(int f, std::string* why = nullptr);
    shot last;          /* the latest grab, kept for a failure's report */
    shot grab();        /* a whole frame: two captures in a row that agree */
    shot grabonce();
    /* grabs until pred holds or timeout seconds passed; the last grab either way */
    shot waitfor(const std::function<bool(const shot&)>& pred, double timeout = 10);
    /* a real close request: WM_DELETE_WINDOW to the window that asks for it */
    bool closerequest();
    /* the side of the largest icon the program's window carries, as _NET_WM_ICON
       or as the WM_HINTS icon picture; 0 for none */
    int iconsize();
    /* the windows on the display, three levels deep, for a failure's report */
    std::string windows();
    /* the pointer over the screen (or the window), then the key held for holdms */
    bool press(const std::string& key, int holdms = 80);
    /* one xdotool run of many commands, started and not waited for */
    pid_t xdotool(const std::vector<std::string>& args);
};

/* A window's pixels (w x h, 5-6-5) read as the frame zoomed f times, centred: ok
   only when every f x f block has one colour and all around the frame is black
   (why says where not); the frame's top left corner in the window in x0, y0. */
shot unzoom(const std::vector<uint16_t>& px, int w, int h, int f, std::string* why = nullptr);

/* A headless sway of our own (wlroots' pixman renderer, no XWayland) in a runtime
   folder of its own (dir), one 1280x720 output at the given scale, tiling as it
   does by default: each new window is sized to the whole output at once. */
struct compositor {
    pid_t pid = -1;
    std::string dir, display, ipc;      /* XDG_RUNTIME_DIR, WAYLAND_DISPLAY, SWAYSOCK */
    compositor(const std::string& dir, int scale);
    ~compositor();
    compositor(const compositor&) = delete;
    compositor& operator=(const compositor&) = delete;
    bool ok() const { return !display.empty() && !ipc.empty(); }
    std::string msg(const std::vector<std::string>& args) const;  /* swaymsg's output */
    /* a process's window: its inside in logical pixels, and its title */
    bool window(pid_t pid, int* x, int* y, int* w, int* h, std::string* title = nullptr) const;
    /* an area in logical pixels, read at the output's own (scaled) pixels */
    std::vector<uint16_t> grab(int x, int y, int w, int h, int* pw, int* ph) const;
    bool press(const std::string& key) const;  /* to the focused window, as wtype types it */
};

/* a window named by a property of the root window, 0 when there is none */
unsigned long rootwindow(Display* d, const char* name);

/* A PulseAudio server of our own in a runtime folder of its own (dir), ended by
   its pid: a null sink "hx" as the default sink, without rewinds, so that its
   monitor hears every sample played; suspendidle: the sink rests one second
   after its last stream (a recording of its monitor keeps it awake). */
struct soundserver {
    pid_t pid = -1;
    std::string dir;
    bool suspendidle = true;
    explicit soundserver(const std::string& dir, bool suspendidle = true);
    ~soundserver();
    soundserver(const soundserver&) = delete;
    soundserver& operator=(const soundserver&) = delete;
    bool start();                     /* and answering */
    void stop();                      /* ended, as an update or a crash ends it */
    bool ok() const { return pid > 0; }
    std::string env() const { return "XDG_RUNTIME_DIR=" + dir; }  /* for its clients */
    std::string pactl(const std::vector<std::string>& args) const;  /* its output */
    int streams() const;              /* playback streams open on it */
    std::string sinkstate() const;    /* "SUSPENDED", "IDLE", "RUNNING"; "" when it does not answer */
};

/* What a server's sink plays, from its monitor (parec, 44.1 kHz 16-bit stereo),
   with the time each piece arrived. */
struct recording {
    pid_t pid = -1;
    int fd = -1;
    std::thread reader;
    mutable std::mutex lock;
    std::string data;
    std::vector<std::pair<double, size_t>> arrivals;  /* monotonic time, bytes by then */
    explicit recording(const soundserver& s);
    ~recording();
    recording(const recording&) = delete;
    recording& operator=(const recording&) = delete;
    void stop();
    std::string bytes() const;
    /* when that byte was played, from when it arrived: monotonic seconds, -1 before it did */
    double playedat(size_t byte) const;
};
/* The samples of a WAV file as SDL reads it; "" unless they are 44.1 kHz 16-bit
   little-endian stereo, as a recording holds them (why says what they are). */
std::string wavsamples(const std::string& path, std::string* why);
/* The alarm sound in a recording: where it starts (the first sound after
   silence), and whether the whole of pcm follows there unchanged, but for at most
   a second of silence that the server put in while the stream ran dry; why says
   what is wrong, or how much silence came in between; end: the byte after it. */
bool soundis(const std::string& recorded, const std::string& pcm, size_t* at, std::string* why,
             size_t* end = nullptr);

/* The program under test, started in a sandbox. */
struct runopts {
    std::string program = "horatik-desktop";
    std::string fake;                   /* "2026-12-07 06:59:50": the clock starts there and runs */
    std::string rate;                   /* faketime speed-up such as "x200" */
    std::string audio = "dummy";        /* "dummy", "disk" into out.raw, or "pulse": the server
                                           whose env() is in env, found by SDL itself */
    int audiodelay = 20;                /* ms between the disk driver's buffers */
    xserver* x = nullptr;               /* null: SDL's dummy video driver, or: */
    compositor* wl = nullptr;           /* a Wayland compositor, met natively */
    bool fulldisk = false;
    int uid = -1;
    std::vector<std::string> wrapper;   /* e.g. valgrind and its options */
    std::vector<std::string> env;
    std::vector<std::string> unset;     /* names removed from the environment */
    std::vector<std::string> command;   /* run this instead of the sandbox's program */
};
struct run {
    pid_t pid = -1;
    double t0 = 0;                      /* monotonic time just before the start */
    double fakestart = 0;               /* epoch seconds of the (fake) clock at t0 */
    std::string out, err;               /* files holding the program's output */
    /* the fake epoch seconds at monotonic time t, as the program saw it (rate 1) */
    long long fakeat(double t) const;
    std::string stderrtext() const { return readfile(err); }
};
run start(const sandbox& box, const runopts& o);
long long epoch(const std::string& utc);  /* "YYYY-MM-DD hh:mm:ss" as UTC */

}  // namespace hx
