// The handheld program on a desktop: full screen, no keyboard.
#include <gtest/gtest.h>

#include "e2e/expect.h"
#include "e2e/harness.h"

using namespace hx;

/* Full screen, which SDL implementations make differently on a large X screen
   (the picture centred, or scaled up to the whole screen); on an X screen of
   320x240 all of them show the picture whole, which the rest of the test looks at.
   Every key the desktop program knows, held as a person would: the console has
   no keyboard, so nothing changes, nothing is saved and Start does not end it.
   A close request does, with 0 (the menu program it hands over to is not here). */
TEST(Handheld, IgnoresEveryKeyAndEndsOnCloseRequest)
{
    sandbox box;
    runopts o;
    o.program = "horatik-gp2x";
    o.fake = "2026-12-07 08:20:00";
    {
        xserver big;
        ASSERT_TRUE(big.ok());
        /* SDL3 makes a window full screen only through a window manager */
        ASSERT_TRUE(big.windowmanager(box / "openbox.txt")) << readfile(box / "openbox.txt");
        o.x = &big;
        run r = start(box, o);
        EXPECT_TRUE(big.waitfullscreen(20)) << "neither centred nor covering the 640x480 screen";
        pause(1);  // SDL (either) drops a close request that comes while it sets up the window
        ASSERT_TRUE(big.closerequest());
        exitstatus e = waitexit(r.pid, 10);
        EXPECT_TRUE(e.exited && e.code == 0) << e.str() << r.stderrtext();
    }

    xserver x(320, 240);
    ASSERT_TRUE(x.ok());
    o.x = &x;
    run r = start(box, o);
    ASSERT_TRUE(x.waitscreen(20));
    std::string why;
    shot first = x.waitfor([&](const shot& s) { return helpshows(s, true, &why); });
    EXPECT_TRUE(helpshows(first, true, &why)) << why;

    for (const char* key : {"Left", "KP_5", "KP_Begin", "BackSpace", "z", "s", "Up", "Right", "Down",
                            "KP_1", "KP_2", "KP_3", "KP_4", "KP_6", "KP_7", "KP_8", "KP_9", "q", "w",
                            "a", "x", "1", "2", "Return"})
        ASSERT_TRUE(x.press(key, 60)) << key;
    pause(0.5);
    shot after = x.grab();
    EXPECT_TRUE(running(r.pid)) << "a key ended the handheld program";
    EXPECT_TRUE(helpshows(after, true, &why)) << "a key changed the screen: " << why;
    EXPECT_FALSE(exists(box / "Horatik.dat")) << "a key saved the settings";

    ASSERT_TRUE(x.closerequest());
    exitstatus e = waitexit(r.pid, 10);
    EXPECT_TRUE(e.exited && e.code == 0) << e.str();
    EXPECT_EQ(r.stderrtext(), "");
    if (::testing::Test::HasFailure() && x.last.ok)
        x.last.save(shotdir() + "/failed-handheld.png");
}
