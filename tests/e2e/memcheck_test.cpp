// A minute of the running clock under valgrind's memcheck, with keys and the alarm.
#include <gtest/gtest.h>

#include <string>

#include "e2e/expect.h"
#include "e2e/harness.h"

using namespace hx;

namespace {

/* the figure after "label" in valgrind's summary ("12 bytes in 1 blocks",
   "0 errors from 0 contexts"), "" when absent */
std::string figure(const std::string& log, const std::string& label)
{
    for (size_t at = log.find(label); at != std::string::npos; at = log.find(label, at + 1)) {
        size_t from = log.find_first_not_of(" \t", at + label.size());
        size_t end = log.find_first_of("(\n", from);
        if (from == std::string::npos || end == std::string::npos)
            break;
        std::string f = log.substr(from, end - from);
        while (!f.empty() && f.back() == ' ')
            f.pop_back();
        if (f.find(" bytes in ") != std::string::npos || f.find(" errors from ") != std::string::npos)
            return f;
    }
    return "";
}

}  // namespace

/* Stopping, setting, the help panel, the read-out, the alarm being set, armed and
   ringing, then a close request: no invalid access and no definite leak. Leaks
   that live wholly inside the libraries are suppressed (valgrind.supp). */
TEST(Memcheck, AMinuteOfTheClock)
{
    sandbox box;
    xserver x;
    ASSERT_TRUE(x.ok());
    writefile(box / "Horatik.dat", settings(86400000, 0, 0, 1, 2));  // rings at 00:01
    writefile(box / "config.conf",
              layout(160, 120, 10, 20, 20, 70, 90, 90, 119, 138, {0, 0, 255}, {0, 255, 0}, {255, 0, 0}));
    const std::string log = box / "valgrind.log";
    runopts o;
    o.x = &x;
    o.fake = "2026-12-07 00:00:25";
    o.audio = "disk";
    o.wrapper = {"valgrind", "--tool=memcheck", "--leak-check=full", "--show-leak-kinds=definite",
                 "--errors-for-leak-kinds=definite", "--num-callers=40",
                 std::string("--suppressions=") + HX_SUPPRESSIONS, "--log-file=" + log};
    run r = start(box, o);
    ASSERT_TRUE(x.waitscreen(120)) << "no window under valgrind";
    double shown = now();
    x.waitfor([](const shot& s) { return readoutbox(s, geometry()); }, 60);

    const char* keys[] = {"Left", "Left", "z", "z", "BackSpace", "2", "1", "x", "a", "w", "q",
                          "BackSpace", "KP_5", "KP_5"};
    for (const char* k : keys) {
        ASSERT_TRUE(x.press(k));
        pause(0.5);
    }
    /* the alarm rings at 00:01:00; then an alarm setting, armed and switched off */
    while (now() - r.t0 < 40)
        pause(0.2);
    for (const char* k : {"s", "w", "x", "a", "q", "s", "s", "s", "z", "s", "z"}) {
        ASSERT_TRUE(x.press(k));
        pause(0.5);
    }
    while (now() - shown < 60)
        pause(0.2);
    ASSERT_TRUE(x.closerequest());
    exitstatus e = waitexit(r.pid, 180);
    EXPECT_TRUE(e.exited && e.code == 0) << e.str();

    std::string text = readfile(log);
    std::printf("valgrind: errors %s; definitely lost %s; in use at exit %s; suppressed %s\n",
                figure(text, "ERROR SUMMARY:").c_str(), figure(text, "definitely lost:").c_str(),
                figure(text, "in use at exit:").c_str(), figure(text, "suppressed:").c_str());
    EXPECT_NE(text.find("ERROR SUMMARY: 0 errors"), std::string::npos) << text;
    EXPECT_GT(filesize(box / "out.raw"), 0);
    std::string sound = readfile(box / "out.raw");
    EXPECT_NE(sound.find_first_not_of('\0'), std::string::npos) << "the alarm did not ring";
}
