// A simulated day at 200 times the speed: the alarm rings once, memory stays flat.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <fstream>

#include "e2e/expect.h"
#include "e2e/harness.h"

using namespace hx;

/* libfaketime also shortens sleeps 200 times, so the disk audio driver's 10 s
   between buffers become 50 ms: one buffer stands for 10 fake seconds. The
   driver starts its file anew whenever the device opens, at start-up and at
   each ring; the sound then begins within its first few buffers. */
TEST(Soak, OneDayRingsOnceAndMemoryStaysFlat)
{
    const double rate = 200, day = 86400 / rate;
    const long long alarm = 6 * 3600 + 30 * 60;  // 06:30:00
    sandbox box;
    xserver x;
    ASSERT_TRUE(x.ok());
    writefile(box / "Horatik.dat", settings(86400000, 0, 6, 30, 2));
    writefile(box / "config.conf",
              layout(160, 120, 10, 20, 20, 70, 90, 90, 119, 138, {0, 0, 255}, {0, 255, 0}, {255, 0, 0}));
    runopts o;
    o.x = &x;
    o.fake = "2026-12-07 00:00:00";
    o.rate = "x200";
    o.audio = "disk";
    o.audiodelay = 10000;
    run r = start(box, o);
    ASSERT_TRUE(x.waitscreen(20));

    struct sample {
        double t;
        long long size;
        bool sounded;  /* the file's first 64 kB hold sound */
    };
    std::vector<sample> growth;
    std::vector<std::pair<double, long>> rss;
    double nextrss = 0;
    while (now() - r.t0 < day + 3) {
        double t = now() - r.t0;
        std::ifstream f(box / "out.raw", std::ios::binary);
        std::string head(65536, '\0');
        f.read(&head[0], (std::streamsize)head.size());
        head.resize((size_t)f.gcount());
        growth.push_back({t, filesize(box / "out.raw"), head.find_first_not_of('\0') != std::string::npos});
        if (t >= nextrss) {
            rss.push_back({t, rsskb(r.pid)});
            nextrss += 2;
        }
        ASSERT_TRUE(running(r.pid)) << "ended at fake " << clockof((long long)(t * rate)).str();
        pause(0.02);
    }
    std::string stat = readfile("/proc/" + std::to_string(r.pid) + "/stat");
    ASSERT_TRUE(x.closerequest());
    exitstatus e = waitexit(r.pid, 30);
    EXPECT_TRUE(e.exited && e.code == 0) << e.str();

    /* memory: after the first tenth of the day the resident set grows no more */
    long first = 0, peak = 0, low = 1L << 30;
    for (auto& s : rss) {
        if (s.first < day / 10)
            continue;
        if (!first)
            first = s.second;
        peak = std::max(peak, s.second);
        low = std::min(low, s.second);
    }
    std::printf("resident set: %ld kB at a tenth of the day, %ld..%ld kB after, %ld kB at the end "
                "(%zu samples)\n", first, low, peak, rss.back().second, rss.size());
    EXPECT_LE(peak - first, 512) << "memory grows";

    /* the sound: silence, then the alarm sound, whole, then silence; once it was
       heard the file never starts anew, as it would for another ring */
    double heard = -1;
    for (size_t i = 0; i < growth.size(); i++) {
        if (heard < 0 && growth[i].sounded)
            heard = growth[i].t;
        EXPECT_FALSE(heard >= 0 && i > 0 && growth[i].size < growth[i - 1].size)
            << "rang again at fake " << clockof((long long)(growth[i].t * rate)).str();
    }
    std::string sound = readfile(box / "out.raw");
    std::string why;
    std::string pcm = wavsamples(box / "data/weck.wav", &why);
    ASSERT_GT(pcm.size(), 44100u * 4) << why;
    size_t from = sound.find_first_not_of('\0');
    ASSERT_NE(from, std::string::npos) << "the alarm never rang";
    from &= ~(size_t)3;
    size_t to = sound.find_last_not_of('\0');
    std::printf("sound: %zu bytes captured, non-silent from byte %zu to %zu (the alarm sound has %zu)\n",
                sound.size(), from, to, pcm.size());
    ASSERT_GE(sound.size(), from + pcm.size()) << "the day ended before the alarm sound";
    EXPECT_EQ(std::memcmp(sound.data() + from, pcm.data(), pcm.size()), 0) << "not the alarm sound";
    EXPECT_LT(to, from + pcm.size()) << "rang more than once";

    long long fake = (long long)(heard * rate);
    std::printf("rang at fake %s (%.2f s real); the alarm is %s\n", clockof(fake).str().c_str(), heard,
                clockof(alarm).str().c_str());
    EXPECT_GE(fake, alarm - 20);
    EXPECT_LE(fake, alarm + 60);

    /* fields 14 and 15: user and system time in clock ticks */
    long utime = 0, stime = 0;
    const char* p = std::strrchr(stat.c_str(), ')');
    if (p)
        std::sscanf(p + 2, "%*c %*d %*d %*d %*d %*d %*u %*u %*u %*u %*u %lu %lu", &utime, &stime);
    std::printf("cpu over the day: %.1f s user, %.1f s system\n", utime / 100.0, stime / 100.0);
}
