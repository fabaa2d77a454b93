// Test fixture for the clock: start values, a fake system time, a fresh working folder.
#pragma once
#include <gtest/gtest.h>
#include <SDL_image.h>
#include <SDL_mixer.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "clock/control.h"
#include "clock/face.h"
#include "clock/sound.h"
#include "clock/uhr.h"
#include "clock/state.h"
#include "gfx/gfx.h"
#include "gfx/text.h"
#include "gui/loop.h"
#include "support/surface.h"
#include "clock/reset.h"

/* The fake system time, in seconds since 1970. */
inline time_t faketime_now = 0;
inline time_t fakeclock(time_t* t)
{
    if (t)
        *t = faketime_now;
    return faketime_now;
}

/* Seconds of the day hh:mm:ss shown with the start offset (1000 days, so UTC). */
inline time_t at(int hh, int mm, int ss, int day = 0)
{
    return (time_t)1765000000 / 86400 * 86400 + day * 86400 + hh * 3600 + mm * 60 + ss;
}

inline std::vector<unsigned char> readfile(const std::string& path)
{
    std::vector<unsigned char> v;
    FILE* f = std::fopen(path.c_str(), "rb");
    if (!f)
        return v;
    int c;
    while ((c = std::fgetc(f)) != EOF)
        v.push_back((unsigned char)c);
    std::fclose(f);
    return v;
}

inline void writefile(const std::string& path, const std::string& content)
{
    FILE* f = std::fopen(path.c_str(), "wb");
    ASSERT_TRUE(f);
    std::fwrite(content.data(), 1, content.size(), f);
    std::fclose(f);
}

/* 17 settings bytes from their fields, little-endian. */
inline std::vector<unsigned char> settings(int offset, int help, int wh, int wm, int state)
{
    std::vector<unsigned char> v;
    auto put = [&](int x) {
        for (int i = 0; i < 4; i++)
            v.push_back((unsigned char)((unsigned)x >> (8 * i)));
    };
    put(offset);
    v.push_back((unsigned char)help);
    put(wh);
    put(wm);
    put(state);
    return v;
}

/* The audio device as start-up opens it, on SDL's dummy driver; it fails while
   audiofails counts down, as with no sound server. */
inline int audiofails = 0;
inline int audiotries = 0;     /* calls since the test began */
inline int audiofreq = 44100;  /* what the device gets */
inline int audiochannels = 2;
inline int audioframes = 0;    /* the buffer the last call asked for */
inline int testopen(int frames)
{
    audiotries++;
    audioframes = frames;
    if (audiofails > 0) {
        audiofails--;
        SDL_SetError("no sound server");
        return -1;
    }
    return Mix_OpenAudio(audiofreq, AUDIO_S16LSB, audiochannels, frames);
}

/* Mix_Playing reads freed memory once the mixer is closed. */
inline bool audioopen()
{
    return Mix_QuerySpec(nullptr, nullptr, nullptr) > 0;
}
inline bool ringing()
{
    return audioopen() && Mix_Playing(-1) > 0;
}

/* Every test runs in a fresh working folder that sees the runtime's data/. */
struct ClockTest : ::testing::Test {
    std::string dir;
    void SetUp() override
    {
        char tmpl[] = "/tmp/hxclockXXXXXX";
        ASSERT_TRUE(mkdtemp(tmpl));
        dir = tmpl;
        ASSERT_EQ(symlink((rundir() + "/data").c_str(), (dir + "/data").c_str()), 0);
        ASSERT_EQ(chdir(dir.c_str()), 0);
        ASSERT_EQ(SDL_Init(SDL_INIT_VIDEO | SDL_INIT_AUDIO), 0);
        screen = make565();
        clear16(screen, 0);
        resetclock();
        systime = fakeclock;
        faketime_now = at(12, 0, 0);
        gettick = SDL_GetTicks;
        openaudio = testopen;
        audiofails = audiotries = 0;
        audiofreq = 44100;
        audiochannels = 2;
        setuhrwindow();
    }
    void TearDown() override
    {
        deluhrwindow();
        stopsound();
        SDL_FreeSurface(screen);
        screen = nullptr;
        SDL_Quit();
        std::system(("rm -rf " + dir).c_str());
    }
    /* One tick of the clock's logic at the fake time, and the sound's step
       after it, as the window loop runs them. */
    void tick()
    {
        uhrmove(uhrwindow);
        soundstep();
    }
    void tickat(time_t t)
    {
        faketime_now = t;
        tick();
    }
    void press(int k) { keys[k] = 1; }
    std::vector<unsigned char> file() { return readfile("Horatik.dat"); }
};
