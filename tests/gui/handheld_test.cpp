// The handheld build's loop: the console has no keyboard, so key events change nothing.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "gui/build.h"
#include "guitest.h"

using namespace guitest;

namespace {

TEST(Handheld, KeyEventsChangeNothingJoystickStillDoes)
{
    ASSERT_TRUE(handheld);
    ASSERT_EQ(SDL_Init(SDL_INIT_VIDEO), 0);
    resetinput();
    twindow* win = createwindow("h", 0, 0, 100, 100, 0, scriptdraw, nullptr);
    std::vector<std::string> state;
    runticks(win, 3, [&](int k) {
        state.emplace_back(reinterpret_cast<char*>(keys), nkeys);
        if (k == 0) {
            for (SDLKey sym : {SDLK_KP8, SDLK_LEFT, SDLK_RETURN, SDLK_a, SDLK_1, SDLK_KP5})
                key(sym, true);
            joybutton(kb, true);
        }
    });
    std::string none(nkeys, '\0'), b = none;
    b[kb] = 1;
    EXPECT_EQ(state, (std::vector<std::string>{none, b, b}));

    deletewindow(win);
    SDL_Quit();
}

}  // namespace
