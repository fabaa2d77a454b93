// The handheld program's platform: full screen, the screen's light, and the console's menu program when it ends.
#include "platform.h"

#include <unistd.h>

/* the console's SDL port; on other machines our stand-in (gp2x_light.cpp) */
extern "C" int SDL_SYS_JoystickGp2xSys(SDL_Joystick* joystick, int value);

/* the console has no screen saver and no session bus: nothing to set */
void sdlhints()
{
}

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

void handover()
{
    /* on failure (no such program: not a console) the process just ends */
    if (chdir("/usr/gp2x") == 0)
        execl("/usr/gp2x/gp2xmenu", "/usr/gp2x/gp2xmenu", (char*)nullptr);
}

void present(SDL_Surface* s, int n, const SDL_Rect* rects)
{
    if (n > 0)
        SDL_UpdateRects(s, n, const_cast<SDL_Rect*>(rects));
    else
        SDL_UpdateRect(s, 0, 0, 0, 0);
}

/* full screen: its size never changes */
void newsize(int, int)
{
}

/* no window, no caption */
void showticks(int)
{
}

/* the console's input can only be polled: the loop keeps its 10 ms pauses */
bool waitinput(Uint32)
{
    return false;
}

void screenlight(bool on)
{
    if (joy)  // the console's call would crash without an opened joystick
        SDL_SYS_JoystickGp2xSys(joy, on ? 1 : 0);
}

/* the console has no sleep of its own and no login */
void keepawake(const tawake&)
{
}

void startatlogin(bool)
{
}

void letsleep()
{
}
