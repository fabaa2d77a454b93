// The desktop program: a window, and the network library started and stopped.
#include "main/variant.h"

#include <poll.h>
#include <unistd.h>

#include <cstdio>
#include <ctime>

#include <SDL_image.h>

#include "gui/loop.h"
#include "windowicon.inc"

#if HORATIK_NET
#include <SDL_net.h>
#endif
#if HORATIK_X11
#include <SDL_syswm.h>
#include <X11/Xlib.h>
#endif

const Uint32 videoflags = 0;

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

/* Task bars and window lists that do not match the window to the menu entry
   show this picture; a missing icon is no reason not to start. */
void seticon()
{
    SDL_Surface* icon = IMG_Load_RW(SDL_RWFromConstMem(windowicon, sizeof windowicon), 1);
    if (!icon)
        return;
    SDL_WM_SetIcon(icon, nullptr);
    SDL_FreeSurface(icon);
}

#if HORATIK_X11
static Display* xdisplay;  /* the X connection SDL reads its events from */
static int xfd = -1;  /* its socket, readable when an event arrives */
static long coarsems = 10;  /* how long after CLOCK_REALTIME time() may turn its second */

/* Sleeps at most ms, and ends at an X event or once time() shows a new second.
   time() reads a coarse clock that turns up to a timer tick after CLOCK_REALTIME
   crosses the second: the sleep aims that tick past it, then waits out any
   rest in steps of a millisecond, so the tick after it sees the new second. */
static void waitinput(Uint32 ms)
{
    time_t was = time(nullptr);
    timespec now;
    clock_gettime(CLOCK_REALTIME, &now);
    long long due = ((long long)was + 1 - now.tv_sec) * 1000 - now.tv_nsec / 1000000 + coarsems;
    if (due < 1)
        due = 1;
    if (due < ms)
        ms = static_cast<Uint32>(due);
    /* An event that a round trip of the last frame read along with its reply
       (SDL2 draws on the connection it reads input from) waits in Xlib's queue,
       where the socket no longer shows it. */
    if (XEventsQueued(xdisplay, QueuedAlready) > 0)
        return;
    pollfd fd = {xfd, POLLIN, 0};
    /* a signal ends it early; so does input */
    if (poll(&fd, 1, static_cast<int>(ms)) != 0 || ms < due)
        return;
    for (int i = 0; i < 50 && time(nullptr) == was; i++)
        if (poll(&fd, 1, 1) != 0)
            return;
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

void setupwait()
{
    XSetIOErrorHandler(displaygone);
    timespec res;
    if (clock_getres(CLOCK_REALTIME_COARSE, &res) == 0)
        coarsems = res.tv_sec * 1000 + (res.tv_nsec + 999999) / 1000000 + 1;

    /* only where input wakes the wait: a joystick is read only when SDL polls
       it, and without an X connection (Wayland, the console) there is nothing
       to wait on; the window loop then keeps its pauses of one unit */
    if (SDL_NumJoysticks() > 0 && SDL_JoystickOpened(0))
        return;
    SDL_SysWMinfo info;
    SDL_VERSION(&info.version);
    if (SDL_GetWMInfo(&info) > 0 && info.subsystem == SDL_SYSWM_X11) {
        xdisplay = info.info.x11.display;
        xfd = ConnectionNumber(xdisplay);
        eventwait = waitinput;
    }
}
#else
/* no X: nothing to wait on, the window loop keeps its pauses of one unit */
void setupwait()
{
}
#endif

/* An unchanged caption is not set again: each setting is a round trip to the X
   server, and an idle clock ticks the same few times every second. */
void showticks(int ticks)
{
    static int shown = -1;
    if (ticks == shown)
        return;
    shown = ticks;
    char text[16];
    std::snprintf(text, sizeof text, "%d", ticks);
    SDL_WM_SetCaption(text, nullptr);
}
