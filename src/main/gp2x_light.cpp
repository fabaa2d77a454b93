// Our stand-in for the console's screen-light call where its SDL port is absent:
// switching the light off blanks the screen; switching it on leaves the redraw
// to the clock.
#include <SDL.h>

#include "gfx/gfx.h"

extern "C" int SDL_SYS_JoystickGp2xSys(SDL_Joystick*, int value)
{
    if (value == 0 && screen) {
        eraseall(screen, SDL_MapRGB(screen->format, 0, 0, 0));
        imageflip(screen);
    }
    return 0;
}
