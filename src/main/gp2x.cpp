// The handheld program: full screen, and the console's menu program when it ends.
#include "main/autostart.h"
#include "main/awake.h"
#include "main/variant.h"

#include <unistd.h>

SDL_Surface* openscreen()
{
    return SDL_SetVideoMode(320, 240, 16, SDL_FULLSCREEN);
}

void startnet()
{
}

void stopnet()
{
}

/* the console's input can only be polled: the loop keeps its 10 ms pauses */
void setupwait()
{
}

/* no window, no caption */
void showticks(int)
{
}

/* the console has no screen saver, no session bus and no sleep of its own */
void sdlhints()
{
}

void keepawake(const tawake&)
{
}

/* the console's menu starts programs; nothing starts at login */
void startatlogin(bool)
{
}

void letsleep()
{
}

void handover()
{
    /* on failure (no such program: not a console) the process just ends */
    if (chdir("/usr/gp2x") == 0)
        execl("/usr/gp2x/gp2xmenu", "/usr/gp2x/gp2xmenu", (char*)nullptr);
}
