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
        setuhrwindow();
    }
    void TearDown() override
    {
        deluhrwindow();
        SDL_FreeSurface(screen);
        screen = nullptr;
        SDL_Quit();
        std::system(("rm -rf " + dir).c_str());
    }
    /* One tick of the clock's logic at the fake time. */
    void tick() { uhrmove(uhrwindow); }
    void tickat(time_t t)
    {
        faketime_now = t;
        tick();
    }
    void press(int k) { keys[k] = 1; }
    std::vector<unsigned char> file() { return readfile("Horatik.dat"); }
};
