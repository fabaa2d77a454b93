// The platform in unit tests: nothing shown and nothing waited for; what the program asked is kept, and a test may answer it.
#pragma once
#include <SDL.h>

#include <functional>
#include <utility>
#include <vector>

#include "platform.h"

namespace nullplatform {

/* what was asked, in order */
inline std::vector<int> ticks;                     /* showticks */
inline std::vector<std::pair<int, int>> sizes;     /* newsize */
inline std::vector<bool> lights;                   /* screenlight */
inline std::vector<tawake> awake;                  /* keepawake, once each changed */
inline std::vector<bool> logins;                   /* startatlogin */

/* answers: unset, present updates the surface as SDL does, and waitinput says
   input cannot end a sleep */
inline std::function<void(SDL_Surface*, int, const SDL_Rect*)> onpresent;
inline std::function<bool(Uint32)> onwait;
inline std::function<void(bool)> onlight;
inline std::function<void(int)> onticks;

inline void reset()
{
    ticks.clear();
    sizes.clear();
    lights.clear();
    awake.clear();
    logins.clear();
    onpresent = nullptr;
    onwait = nullptr;
    onlight = nullptr;
    onticks = nullptr;
}

}  // namespace nullplatform
