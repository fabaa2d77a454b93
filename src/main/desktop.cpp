// The desktop program's platform: a window at the desktop's scale, the idle wait, the network library.
#include "platform.h"

#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <vector>

#include <SDL_image.h>

#include "clock/sound.h"
#include "gfx/gfx.h"
#include "gui/loop.h"
#include "main/awake.h"
#include "main/beneath.h"
#include "windowicon.inc"

#if HORATIK_NET
#include <SDL_net.h>
#endif
#if HORATIK_X11
#include <SDL_syswm.h>
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xresource.h>
#include <X11/Xutil.h>
#endif

/* variables */
static SDL_Surface* window;  /* classic SDL: the window's surface, the screen being one of its own */
static int factor = 1;       /* the frame's zoom in that window, whole pixels per pixel */
static bool classic;         /* classic SDL 1.2, which sets a video mode for each window size */
static Uint32 lastshown;     /* SDL_GetTicks of the last present */

/* The frame in the window, all of it (n 0) or its n rectangles. Where the window
   is the screen itself, SDL shows it as always; else the screen is zoomed into
   it, those rectangles only. sdl12-compat shows some rectangles of a frame only
   at the next event pump 15 ms or more after its last frame, and the clock may
   then sleep for a second: it pumps at once, and sends frames less than 0.1 s
   apart whole, which it shows at once. */
void present(SDL_Surface* s, int n, const SDL_Rect* rects)
{
    Uint32 now = SDL_GetTicks();
    if (!classic && now - lastshown < 100)
        n = 0;
    lastshown = now;
    if (s == screen && window) {
        if (n == 0) {
            zoomframe(window, screen, factor);
            SDL_UpdateRect(window, 0, 0, 0, 0);
            return;
        }
        std::vector<SDL_Rect> scaled((size_t)n);
        n = zoomrects(window, screen, factor, n, rects, scaled.data());
        if (n > 0)
            SDL_UpdateRects(window, n, scaled.data());
        return;
    }
    if (n == 0) {
        SDL_UpdateRect(s, 0, 0, 0, 0);
        return;
    }
    SDL_UpdateRects(s, n, const_cast<SDL_Rect*>(rects));
    if (!classic)
        SDL_PumpEvents();
}

/* Copies a 320x240 frame between two screens, converting if their formats differ. */
static void keepframe(SDL_Surface* from, SDL_Surface* to)
{
    if (from && to)
        SDL_BlitSurface(from, nullptr, to, nullptr);
}

/* The window at w x h, in the display's own depth, and the 320x240x16 screen a
   surface of the program's own, shown in it at the largest whole factor that
   fits (1 at 320x240). Given a 16-bit mode on a deeper display, SDL would keep
   a 16-bit copy of the window and convert all of it at every update. Updates are
   asynchronous: SDL then sends a frame without waiting for the X server's
   answer, which woke the idle clock a second time each second. The frame drawn
   so far is kept. */
static bool setwindow(int w, int h)
{
    SDL_Surface* own = window ? screen : nullptr;
    if (!own) {
        /* the screen's format, so that bg and the mapped colours stay right */
        const SDL_PixelFormat* f = screen ? screen->format : nullptr;
        own = SDL_CreateRGBSurface(SDL_SWSURFACE, 320, 240, 16, f ? f->Rmask : 0xF800,
                                   f ? f->Gmask : 0x07E0, f ? f->Bmask : 0x001F, 0);
        if (!own)
            return false;
        keepframe(screen, own);
    }
    SDL_Surface* video = SDL_SetVideoMode(w, h, 0, SDL_RESIZABLE | SDL_ASYNCBLIT);
    if (!video) {
        if (!window)
            SDL_FreeSurface(own);
        return false;
    }
    screen = own;
    window = video;
    factor = zoomfit(w, h);
    return true;
}

/* The answer to a new window size: on classic SDL a video mode of that size.
   Setting the video mode resizes the window to the size it already has, which
   may be reported again: a size the window has already asks for nothing. Under
   sdl12-compat the SDL beneath it follows the window by itself. */
void newsize(int w, int h)
{
    if (!classic)
        return;
    SDL_Surface* video = SDL_GetVideoSurface();
    if (video && video->w == w && video->h == h)
        return;
    if (setwindow(w, h) || setwindow(320, 240))
        return;
    std::fprintf(stderr, "Couldn't set 320x240x16 video mode: %s\n", SDL_GetError());
    std::exit(2);
}

static int startfactor();

/* Task bars and window lists that do not match the window to the menu entry
   show this picture; a missing icon is no reason not to start. */
static void seticon()
{
    SDL_Surface* icon = IMG_Load_RW(SDL_RWFromConstMem(windowicon, sizeof windowicon), 1);
    if (!icon)
        return;
    SDL_WM_SetIcon(icon, nullptr);
    SDL_FreeSurface(icon);
}

/* Classic SDL sets a new video mode for each size of the window, in the
   display's own depth, and the screen is zoomed into it. sdl12-compat keeps its window at one mode: each new mode of a
   window that it keeps reuses the texture of the first (1.2.74 and later), too
   small for a larger one, which SDL2 then writes past. The SDL2 beneath it
   shows the frame at its factor instead. */
SDL_Surface* openscreen()
{
    seticon();
    int f = startfactor();
    if (SDL_Linked_Version()->patch >= 50) {
        SDL_Surface* s = SDL_SetVideoMode(320, 240, 16, SDL_RESIZABLE);
        if (s)
            beneathzoom(std::max(f, beneathscale()));
        beneathnoaudioevents();
        return s;
    }
    classic = true;
    if (f > 1 && setwindow(320 * f, 240 * f))
        return screen;
    return setwindow(320, 240) ? screen : nullptr;
}

/* The environment SDL reads as it starts (SDL3 reads it only then); a user's own
   choice of each stays. */
static void xhandlers();

void sdlhints()
{
    xhandlers();
    /* Both SDLs keep the screen on while a window is open (classic SDL resets the
       X screen saver's idle time, SDL2 also asks the session bus), so the machine
       never rests; the clock holds the machine awake itself, and only while an
       alarm is armed. */
    setenv("SDL_VIDEO_ALLOW_SCREENSAVER", "1", 0);
    /* Beside Wayland, X11 through XWayland, as SDL2 chose: SDL 1.2 learns the
       desktop's scale there (Xft.dpi), and SDL draws into the window without a
       GPU. SDL3 would take Wayland. SDL3 reads the driver by another name. */
    const char* driver = std::getenv("SDL_VIDEODRIVER");
    if (!driver)
        driver = std::getenv("SDL_VIDEO_DRIVER");
    const char* display = std::getenv("DISPLAY");
    if (!driver && display && *display) {
        setenv("SDL_VIDEODRIVER", "x11", 1);
        setenv("SDL_VIDEO_DRIVER", "x11", 0);
        driver = "x11";
    }
    /* A frame a second needs no GPU: SDL2's OpenGL renderer costs some 80 MiB and
       a dozen wake-ups a second more than its software one, which draws into the
       X window as classic SDL does. sdl12-compat 1.2.70 and later makes its window
       an OpenGL one all the same wherever SDL's first renderer is OpenGL, which
       loads Mesa for nothing: SDL is given no OpenGL library to load, and makes
       the window without it. On Wayland SDL draws through a GPU renderer anyway. */
    if (driver && std::strcmp(driver, "x11") == 0 && !std::getenv("SDL_RENDER_DRIVER")) {
        setenv("SDL_RENDER_DRIVER", "software", 1);
        setenv("SDL_FRAMEBUFFER_ACCELERATION", "0", 0);
        setenv("SDL_OPENGL_LIBRARY", "/dev/null", 0);
    } else {
        /* Without a GPU that is Mesa's llvmpipe, whose threads wake at each frame
           to draw it: one frame a second is drawn on the thread that asks. */
        setenv("LP_NUM_THREADS", "0", 0);
        /* sdl2-compat sizes windows in the output's pixels, half as large at a
           scale of 2: in points, as SDL2 did, and its renderer at the scale */
        setenv("SDL_VIDEO_WAYLAND_SCALE_TO_DISPLAY", "0", 0);
    }
    /* the frame's pixels as square blocks under sdl12-compat too */
    setenv("SDL12COMPAT_SCALE_METHOD", "nearest", 0);
}

void startnet()
{
#if HORATIK_NET
    SDLNet_Init();
#endif
}

void stopnet()
{
#if HORATIK_NET
    SDLNet_Quit();
#endif
}

void handover()
{
}

/* variables */
static bool waitready;              /* setupwait has chosen the sleeper */
static bool (*sleeper)(Uint32 ms);  /* a sleep that input ends early (then true), or null */

static void setupwait();

/* Sleeps at most ms, and ends at input or once the system time shows a new
   second: it aims a millisecond past the second (no sleep ends early), and waits
   out any rest in steps of a millisecond. */
bool waitinput(Uint32 ms)
{
    if (!waitready) {
        setupwait();
        waitready = true;
    }
    if (!sleeper)
        return false;
    time_t was = systime(nullptr);
    timespec now;
    clock_gettime(CLOCK_REALTIME, &now);
    long long due = ((long long)was + 1 - now.tv_sec) * 1000 - now.tv_nsec / 1000000 + 1;
    if (due < 1)
        due = 1;
    if (due < ms)
        ms = static_cast<Uint32>(due);
    if (sleeper(ms) || ms < due)
        return true;
    for (int i = 0; i < 50 && systime(nullptr) == was; i++)
        if (sleeper(1))
            break;
    return true;
}

/* Without an X connection of its own to wait on (Wayland), the SDL beneath
   sdl12-compat waits for input itself; the session bus is read after the tick
   of each second then. */
static bool beneathsleep(Uint32 ms)
{
    return beneathwait(ms);
}

#if HORATIK_X11
static Display* xdisplay;  /* the X connection SDL reads its events from */
static int xfd = -1;       /* its socket, readable when an event arrives */

static bool xsleep(Uint32 ms)
{
    /* An event that a round trip of the last frame read along with its reply
       (SDL2 draws on the connection it reads input from) waits in Xlib's queue,
       where the socket no longer shows it. */
    if (XEventsQueued(xdisplay, QueuedAlready) > 0)
        return true;
    /* the session bus too, while it owes an answer about the machine's sleep
       (read after the tick that follows); a signal ends it early as well */
    pollfd fds[2] = {{xfd, POLLIN, 0}, {-1, 0, 0}};
    Uint32 wait = ms;
    nfds_t n = awakepoll(&fds[1], &wait) ? 2 : 1;
    return poll(fds, n, static_cast<int>(wait)) != 0 || wait < ms;
}

/* Xlib ends the process when the display goes away (a logout, a crashed server);
   the exit handlers would then call into the dead connection, which under some
   SDL builds spins for ever. Settings are saved as they change, so nothing is
   lost by ending here at once. */
static int displaygone(Display* d)
{
    std::fprintf(stderr, "X connection to %s broken (explicit kill or server shutdown).\n",
                 d ? DisplayString(d) : "the display");
    _exit(1);
}

/* The factor a window starts at: the desktop's scale where it publishes one
   (Xft.dpi, 96 for 1x, rounded), else the largest that keeps the window within
   a quarter of the screen's width and height (1 up to 2560x1440, 2 on 3840x2160);
   at least 1, and never a window larger than the screen. */
static int startfactor()
{
    char driver[16];
    if (!SDL_VideoDriverName(driver, sizeof driver) || std::strcmp(driver, "x11") != 0)
        return 1;
    /* a connection of its own: SDL's exists only once the window does */
    Display* d = XOpenDisplay(nullptr);
    if (!d)
        return 1;
    int w = DisplayWidth(d, DefaultScreen(d)), h = DisplayHeight(d, DefaultScreen(d));
    double dpi = 0;
    if (const char* resources = XResourceManagerString(d)) {
        XrmInitialize();
        XrmDatabase db = XrmGetStringDatabase(resources);
        char* type = nullptr;
        XrmValue v;
        if (db && XrmGetResource(db, "Xft.dpi", "Xft.Dpi", &type, &v) && v.addr)
            dpi = std::strtod(v.addr, nullptr);
        if (db)
            XrmDestroyDatabase(db);
    }
    XCloseDisplay(d);
    int f = dpi >= 1 && dpi < 96 * 100 ? (int)std::lround(dpi / 96) : std::min(w / 1280, h / 960);
    return std::max(1, std::min(f, zoomfit(w, h)));
}

/* An error in a request that SDL's own handler passes on (a window destroyed by
   another client, say) ends the program, as Xlib's would, but at once: Xlib's
   ends it from within the SDL call that met the error, whose locks SDL's
   shutdown in the exit handlers would then meet. */
static int requestfailed(Display* d, XErrorEvent* e)
{
    char text[160];
    XGetErrorText(d, e->error_code, text, sizeof text);
    std::fprintf(stderr, "X Error of failed request: %s (major opcode %d)\n", text, e->request_code);
    _exit(1);
}

/* before SDL starts, which passes on the errors it does not expect to these */
static void xhandlers()
{
    XSetIOErrorHandler(displaygone);
    XSetErrorHandler(requestfailed);
}

/* The caption, set on classic SDL's window without SDL: SDL 1.2 waits for the X
   server's answer after each one (a second wake-up in the seconds whose count of
   ticks differs, whose time then made the next count differ again), and hands it
   to its audio driver too, which the sound's thread may be using. */
static bool xcaption(const char* text)
{
    static SDL_SysWMinfo info;
    static bool asked, found;
    if (!asked) {
        asked = true;
        SDL_VERSION(&info.version);
        found = SDL_GetWMInfo(&info) > 0 && info.subsystem == SDL_SYSWM_X11 && info.info.x11.display &&
                info.info.x11.wmwindow;
    }
    if (!found)
        return false;
    Display* d = info.info.x11.display;
    info.info.x11.lock_func();
    XTextProperty name;
    char* list[1] = {const_cast<char*>(text)};
    if (XStringListToTextProperty(list, 1, &name)) {
        XSetTextProperty(d, info.info.x11.wmwindow, &name, XA_WM_NAME);
        XFree(name.value);
    }
    XChangeProperty(d, info.info.x11.wmwindow, XInternAtom(d, "_NET_WM_NAME", False),
                    XInternAtom(d, "UTF8_STRING", False), 8, PropModeReplace,
                    reinterpret_cast<const unsigned char*>(text), (int)std::strlen(text));
    XFlush(d);
    info.info.x11.unlock_func();
    return true;
}

static void xwait()
{
    SDL_SysWMinfo info;
    SDL_VERSION(&info.version);
    if (SDL_GetWMInfo(&info) > 0 && info.subsystem == SDL_SYSWM_X11) {
        xdisplay = info.info.x11.display;
        xfd = ConnectionNumber(xdisplay);
        sleeper = xsleep;
    }
}
#else
static bool xcaption(const char*)
{
    return false;
}

static void xwait()
{
}

static void xhandlers()
{
}

static int startfactor()
{
    return 1;
}
#endif

static void setupwait()
{
    /* only where input wakes the wait: a joystick is read only when SDL polls
       it, and without an X connection or an SDL beneath that waits (classic SDL
       on the Linux console) the window loop keeps its pauses of one unit */
    if (SDL_NumJoysticks() > 0 && SDL_JoystickOpened(0))
        return;
    xwait();
    if (!sleeper && beneathfound())
        sleeper = beneathsleep;
}

/* An unchanged caption is not set again: an idle clock ticks the same few times
   every second. Where classic SDL must set it (no X11 window), it hands it to its
   audio driver too: while the sound's thread uses that driver the caption waits
   for a later second. */
void showticks(int ticks)
{
    static int shown = -1;
    if (ticks == shown)
        return;
    char text[16];
    std::snprintf(text, sizeof text, "%d", ticks);
    if (classic && xcaption(text)) {
        shown = ticks;
        return;
    }
    if (classic && !trylockaudio())
        return;
    shown = ticks;
    SDL_WM_SetCaption(text, nullptr);
    if (classic)
        unlockaudio();
}

/* the console's light: no such thing here */
void screenlight(bool)
{
}
