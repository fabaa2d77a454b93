// The platform in tests. Each definition is weak: a test that links a real one (awake.cpp,
// autostart.cpp) gets that one.
#include "support/nullplatform.h"

#define weak __attribute__((weak))

weak SDL_Joystick* joy = nullptr;

weak void sdlhints()
{
}

weak SDL_Surface* openscreen()
{
    return SDL_SetVideoMode(320, 240, 16, 0);
}

weak void startnet()
{
}

weak void stopnet()
{
}

weak void handover()
{
}

weak void present(SDL_Surface* s, int n, const SDL_Rect* rects)
{
    if (nullplatform::onpresent)
        nullplatform::onpresent(s, n, rects);
    else if (n > 0)
        SDL_UpdateRects(s, n, const_cast<SDL_Rect*>(rects));
    else
        SDL_UpdateRect(s, 0, 0, 0, 0);
}

weak void newsize(int w, int h)
{
    nullplatform::sizes.push_back({w, h});
}

weak void showticks(int ticks)
{
    nullplatform::ticks.push_back(ticks);
    if (nullplatform::onticks)
        nullplatform::onticks(ticks);
}

weak bool waitinput(Uint32 ms)
{
    return nullplatform::onwait && nullplatform::onwait(ms);
}

weak void screenlight(bool on)
{
    nullplatform::lights.push_back(on);
    if (nullplatform::onlight)
        nullplatform::onlight(on);
}

weak void keepawake(const tawake& w)
{
    auto& v = nullplatform::awake;
    if (v.empty() || v.back().until != w.until || v.back().wake != w.wake || v.back().hh != w.hh ||
        v.back().mm != w.mm)
        v.push_back(w);
}

weak void startatlogin(bool armed)
{
    nullplatform::logins.push_back(armed);
}

weak void letsleep()
{
}
