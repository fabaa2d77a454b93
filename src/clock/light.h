// The console's screen light: a call of its SDL port, or our stand-in elsewhere.
#pragma once
#include <SDL.h>

extern "C" int SDL_SYS_JoystickGp2xSys(SDL_Joystick* joystick, int value);

void setlicht(int on);   /* licht = on; the call only with an opened joystick */
