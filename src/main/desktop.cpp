// The desktop program: a window, and the network library started and stopped.
#include "main/variant.h"

#include <SDL_syswm.h>
#include <poll.h>

#include <cstdio>
#include <ctime>

#include "gui/loop.h"

#if HORATIK_NET
#include <SDL_net.h>
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

static int xfd = -1;  /* the X connection, readable when an event arrives */

/* Sleeps at most ms, and not past the next second of the system clock (the clock
   then shows a new second) nor past the arrival of an X event. */
static void waitinput(Uint32 ms)
{
    timespec now;
    clock_gettime(CLOCK_REALTIME, &now);
    Uint32 tosecond = 1000 - static_cast<Uint32>(now.tv_nsec / 1000000);
    if (tosecond < ms)
        ms = tosecond;
    pollfd fd = {xfd, POLLIN, 0};
    /* without a connection (another video driver) only the time bounds it; a
       signal ends it early either way */
    poll(&fd, xfd >= 0 ? 1 : 0, static_cast<int>(ms));
}

void setupwait()
{
    SDL_SysWMinfo info;
    SDL_VERSION(&info.version);
    if (SDL_GetWMInfo(&info) > 0 && info.subsystem == SDL_SYSWM_X11)
        xfd = ConnectionNumber(info.info.x11.display);
    eventwait = waitinput;
}

void showticks(int ticks)
{
    char text[16];
    std::snprintf(text, sizeof text, "%d", ticks);
    SDL_WM_SetCaption(text, nullptr);
}
