// The desktop program as a person uses it: keys in, screen, sound and settings file out.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <memory>
#include <signal.h>
#include <unistd.h>

#include "e2e/expect.h"
#include "e2e/harness.h"

using namespace hx;

namespace {

const int utc = 86400000;  // the offset of a fresh clock: 1000 days

/* distinctive hands: red seconds, green minutes, blue hours */
geometry coloured()
{
    geometry g;
    g.colour[0] = rgb565(255, 0, 0);
    g.colour[1] = rgb565(0, 255, 0);
    g.colour[2] = rgb565(0, 0, 255);
    return g;
}

std::string colouredlayout()
{
    return layout(160, 120, 10, 20, 20, 70, 90, 90, 119, 138, {0, 0, 255}, {0, 255, 0}, {255, 0, 0});
}

const rect readoutarea = {119, 134, 199, 158};
const rect markarea = {3, 224, 60, 239};
const rect alarmarea = {4, 4, 85, 50};

void keep(const shot& s, const std::string& name)
{
    EXPECT_TRUE(s.save(shotdir(true) + "/" + name + ".png")) << name;
}

/* The one candidate time that the hands show; fails unless exactly one fits. */
hms showntime(const shot& s, const run& r, const geometry& g, const std::vector<rect>& covered,
              int offset = utc)
{
    std::vector<hms> c = candidates(r, s, offset);
    std::vector<hms> fit = handtimes(s, g, c, covered);
    std::string why;
    for (const hms& t : c) {
        std::string w;
        if (!handsshow(s, g, t, covered, &w))
            why += w + "; ";
    }
    EXPECT_EQ(fit.size(), 1u) << "candidates " << c.front().str() << " .. " << c.back().str()
                              << ": " << why;
    return fit.empty() ? hms{-1, -1, -1} : fit.front();
}

struct session {
    sandbox box;
    xserver x;
    run r;
    geometry g = coloured();

    void begin(const std::string& fake, const std::string& audio = "dummy",
               const std::vector<std::string>& env = {})
    {
        ASSERT_TRUE(x.ok()) << "Xvfb did not start";
        runopts o;
        o.fake = fake;
        o.x = &x;
        o.audio = audio;
        o.env = env;
        r = start(box, o);
        ASSERT_TRUE(x.waitscreen(20)) << "no window";
    }
    ~session()
    {
        /* the last screen seen, for whoever reads the failure */
        const ::testing::TestInfo* t = ::testing::UnitTest::GetInstance()->current_test_info();
        if (::testing::Test::HasFailure() && x.last.ok && t)
            x.last.save(shotdir() + "/failed-" + t->name() + ".png");
    }
    int mark(const shot& sh) const { return markshows(sh, box / "data/bg.png"); }
    std::string file() const { return readfile(box / "Horatik.dat"); }
    ino_t saved() const { return inode(box / "Horatik.dat"); }
    /* the face with its hands at a time the clock can show, soon: given long
       enough, wrong hands come to match some later time */
    shot face(const std::vector<rect>& covered, int offset = utc)
    {
        return x.waitfor([&](const shot& s) {
            return !handtimes(s, g, candidates(r, s, offset), covered).empty();
        }, 5);
    }
    exitstatus end(bool closebox)
    {
        if (closebox)
            x.closerequest();
        else
            x.press("Return");
        return waitexit(r.pid, 10);
    }
};

bool ok(const exitstatus& e)
{
    return e.exited && e.code == 0;
}

}  // namespace

/* First start without files: the help panel; after Left the hands of the chosen
   instant in black (a layout without settings is not read); keypad 5 brings the
   panel back. Then, with the settings file written, the layout's colours count. */
TEST(Desktop, FirstStartHelpThenHandsOfTheInstant)
{
    session s;
    writefile(s.box / "config.conf", colouredlayout());  // ignored: no settings file yet
    s.begin("2026-12-07 06:59:50");
    std::string why;
    shot first = s.x.waitfor([&](const shot& sh) { return helpshows(sh, false, &why); });
    EXPECT_TRUE(helpshows(first, false, &why)) << why;
    EXPECT_TRUE(backgroundring(first, s.box / "data/bg.png"));
    EXPECT_FALSE(exists(s.box / "Horatik.dat"));
    keep(first, "first-start");
    EXPECT_GE(s.x.iconsize(), 32) << "no window icon for task bars and window lists";
    /* SDL2's OpenGL renderer alone would take about 100 MiB */
    EXPECT_LT(rsskb(s.r.pid), 48 * 1024) << "kB resident: a frame a second needs no OpenGL";

    ASSERT_TRUE(s.x.press("Left"));
    s.g = geometry();  // black hands
    shot face = s.face({readoutarea});
    hms t = showntime(face, s.r, s.g, {readoutarea});
    EXPECT_TRUE(readoutshows(face, s.g, t, readouttext(t), &why)) << why;
    EXPECT_FALSE(stehtbox(face));
    EXPECT_EQ(s.mark(face), 0);
    EXPECT_EQ(s.file(), settings(utc, 0, 0, 0, 0)) << hex(s.file());

    ASSERT_TRUE(s.x.press("KP_5"));
    shot back = s.x.waitfor([&](const shot& sh) { return helpshows(sh); });
    EXPECT_TRUE(helpshows(back, false, &why)) << why;
    EXPECT_EQ(s.file(), settings(utc, 1, 0, 0, 0)) << hex(s.file());
    ASSERT_TRUE(s.x.press("KP_5"));
    s.x.waitfor([&](const shot& sh) { return !helpshows(sh); });
    exitstatus e = s.end(false);
    EXPECT_TRUE(ok(e)) << e.str();
    EXPECT_EQ(s.file(), settings(utc, 0, 0, 0, 0)) << hex(s.file());

    /* second start: the settings file exists, so the layout's colours are read */
    s.g = coloured();
    s.begin("2026-12-07 06:59:58");
    shot col = s.face({readoutarea});
    hms c = showntime(col, s.r, s.g, {readoutarea});
    EXPECT_TRUE(readoutshows(col, s.g, c, readouttext(c), &why)) << why;
    keep(col, "running");
    e = s.end(true);
    EXPECT_TRUE(ok(e)) << e.str();
    EXPECT_EQ(s.r.stderrtext(), "");
}

/* Select stops the clock and saves; the time is set field by field without
   carrying and without saving; Select runs on from the set time. */
TEST(Desktop, StopSetAndRunOn)
{
    session s;
    writefile(s.box / "Horatik.dat", settings(utc, 0, 7, 30, 0));
    writefile(s.box / "config.conf", colouredlayout());
    s.begin("2026-12-07 10:08:47");
    std::string why;
    shot running = s.face({readoutarea});
    EXPECT_FALSE(stehtbox(running));
    ino_t before = s.saved();

    ASSERT_TRUE(s.x.press("BackSpace"));
    shot stopped = s.x.waitfor([](const shot& sh) { return stehtshows(sh); });
    ASSERT_TRUE(stehtshows(stopped));
    hms st = showntime(stopped, s.r, s.g, {readoutarea});
    EXPECT_TRUE(readoutshows(stopped, s.g, st, readouttext(st), &why)) << why;
    EXPECT_EQ(s.file(), settings(utc, 0, 7, 30, 0)) << hex(s.file());
    EXPECT_NE(s.saved(), before) << "stopping did not save";
    EXPECT_FALSE(exists(s.box / ("Horatik.dat." + std::to_string(s.r.pid) + ".tmp")));
    keep(stopped, "stopped");

    pause(2.2);
    shot still = s.x.grab();
    EXPECT_TRUE(still.px == stopped.px) << "the stopped clock moved";

    /* each key moves one field one step; the screen follows exactly */
    ino_t stoppedfile = s.saved();
    struct step { const char* key; int dh, dm, ds; };
    const step steps[] = {{"2", 0, 0, 1}, {"2", 0, 0, 1}, {"1", 0, 0, -1}, {"x", 0, 1, 0},
                          {"a", 0, -1, 0}, {"x", 0, 1, 0}, {"q", -1, 0, 0}, {"w", 1, 0, 0},
                          {"w", 1, 0, 0}};
    hms set = st;
    for (const step& k : steps) {
        set = {(set.h + k.dh + 24) % 24, (set.m + k.dm + 60) % 60, (set.s + k.ds + 60) % 60};
        ASSERT_TRUE(s.x.press(k.key));
        shot sh = s.x.waitfor([&](const shot& v) { return handsshow(v, s.g, set, {readoutarea}); });
        EXPECT_TRUE(handsshow(sh, s.g, set, {readoutarea}, &why)) << k.key << ": " << why;
        EXPECT_TRUE(readoutshows(sh, s.g, set, readouttext(set), &why)) << k.key << ": " << why;
        EXPECT_TRUE(stehtshows(sh));
    }
    EXPECT_EQ(s.saved(), stoppedfile) << "setting the time saved";

    double stoppedfor = now();
    ASSERT_TRUE(s.x.press("BackSpace"));
    shot again = s.x.waitfor([](const shot& sh) { return !stehtbox(sh); });
    EXPECT_FALSE(stehtbox(again));
    std::string f = s.file();
    ASSERT_EQ(f.size(), 17u);
    int offset = field32(f, 0);
    EXPECT_EQ(f.substr(4), settings(0, 0, 7, 30, 0).substr(4)) << hex(f);
    /* the offset lost the seconds spent stopped and gained the hour, minute and second set */
    long long lost = utc + 3661 - offset;
    double spent = stoppedfor - stopped.at;
    EXPECT_GE(lost, (long long)spent - 1);
    EXPECT_LE(lost, (long long)spent + 3);

    shot on = s.face({readoutarea}, offset);
    hms t = showntime(on, s.r, s.g, {readoutarea}, offset);
    long long from = st.h * 3600 + st.m * 60 + st.s + 3661, to = t.h * 3600 + t.m * 60 + t.s;
    long long ran = ((to - from) % 86400 + 86400) % 86400;
    EXPECT_LE(ran, 3) << "runs on from " << clockof(from).str() << ", shows " << t.str();
    EXPECT_TRUE(readoutshows(on, s.g, t, readouttext(t), &why)) << why;
    exitstatus e = s.end(false);
    EXPECT_TRUE(ok(e)) << e.str();
}

/* Y, R, B, Y: the alarm box while the time is set, the mark blinking with the
   odd seconds, then steady once armed; on a sound server of its own, no stream
   of the clock's while it idles and the sink at rest; at second 0 of 01:01 the
   alarm sound, recorded from the sink, the whole of it; the stream closed after
   it; the file keeps the alarm armed. */
TEST(Desktop, AlarmSetArmedAndRingsAtSecondZero)
{
    session s;
    soundserver sound(s.box / "pulse");
    ASSERT_TRUE(sound.ok()) << "pulseaudio did not start: " << readfile(sound.dir + "/server.log");
    writefile(s.box / "Horatik.dat", settings(utc, 0, 0, 0, 0));
    writefile(s.box / "config.conf", colouredlayout());
    const std::string fake = "2026-12-07 01:00:44";
    const double ringsat = 16;  // seconds after the start: 01:01:00
    s.begin(fake, "pulse", {sound.env()});

    std::string why;
    shot plain = s.face({readoutarea});
    EXPECT_EQ(s.mark(plain), 0);
    EXPECT_FALSE(alarmboxframe(plain));
    ino_t before = s.saved();

    ASSERT_TRUE(s.x.press("s"));
    shot box = s.x.waitfor([&](const shot& sh) { return alarmboxshows(sh, 0, 0); });
    EXPECT_TRUE(alarmboxshows(box, 0, 0, &why)) << why;
    /* the mark blinks: shown in odd seconds, absent in even ones */
    bool seenodd = false, seeneven = false;
    double until = now() + 2.5;
    while (now() < until || !(seenodd && seeneven)) {
        shot sh = s.x.grab();
        hms t = showntime(sh, s.r, s.g, {readoutarea, alarmarea, markarea});
        bool odd = t.s % 2 == 1;
        EXPECT_EQ(s.mark(sh), odd ? 1 : 0) << t.str();
        EXPECT_TRUE(alarmboxframe(sh));
        if (odd && !seenodd)
            keep(sh, "alarm-setting");
        (odd ? seenodd : seeneven) = true;
        if (now() > until + 5)
            break;
        pause(0.2);
    }
    EXPECT_TRUE(seenodd && seeneven);
    EXPECT_EQ(s.saved(), before) << "entering the alarm setting saved";

    ASSERT_TRUE(s.x.press("w"));
    EXPECT_TRUE(alarmboxshows(s.x.waitfor([](const shot& sh) { return alarmboxshows(sh, 1, 0); }), 1, 0, &why)) << why;
    ASSERT_TRUE(s.x.press("x"));
    EXPECT_TRUE(alarmboxshows(s.x.waitfor([](const shot& sh) { return alarmboxshows(sh, 1, 1); }), 1, 1, &why)) << why;
    EXPECT_EQ(s.saved(), before) << "setting the alarm time saved";

    ASSERT_TRUE(s.x.press("s"));
    shot armed = s.x.waitfor([](const shot& sh) { return !alarmboxframe(sh); });
    EXPECT_EQ(s.file(), settings(utc, 0, 1, 1, 2)) << hex(s.file());
    for (int i = 0; i < 4; i++) {
        shot sh = s.x.grab();
        EXPECT_EQ(s.mark(sh), 1) << "the armed mark is not steady";
        EXPECT_FALSE(alarmboxframe(sh));
        if (i == 0)
            keep(sh, "alarm-armed");
        pause(0.35);
    }

    /* idle, armed: the device start-up opened is closed again */
    EXPECT_EQ(sound.streams(), 0) << sound.pactl({"list", "sink-inputs"});
    std::string rest;
    for (double end = now() + 3; (rest = sound.sinkstate()) != "SUSPENDED" && now() < end;)
        pause(0.1);
    EXPECT_EQ(rest, "SUSPENDED") << "the sink never rests";
    ASSERT_LT(now() - s.r.t0, ringsat - 1) << "too slow to arm before the alarm minute";

    recording rec(sound);
    while (now() - s.r.t0 < ringsat + 2.5)
        pause(0.05);
    shot after = s.x.grab();
    EXPECT_EQ(s.mark(after), 0) << "the mark stays after ringing";
    EXPECT_EQ(sound.streams(), 1) << "no stream while ringing";

    /* the whole sound, then the stream closed within a few seconds */
    const std::string pcm = wavsamples(s.box / "data/weck.wav", &why);
    ASSERT_GT(pcm.size(), 44100u * 4) << why;
    size_t first = 0;
    for (double end = now() + pcm.size() / (44100.0 * 4) + 3; now() < end; pause(0.2))
        if (soundis(rec.bytes(), pcm, &first, &why))
            break;
    int open = -1;
    for (double end = now() + 4; (open = sound.streams()) != 0 && now() < end;)
        pause(0.2);
    EXPECT_EQ(open, 0) << "the stream stays open after the sound";
    rec.stop();
    exitstatus e = s.end(true);
    EXPECT_TRUE(ok(e)) << e.str();
    EXPECT_EQ(s.file(), settings(utc, 0, 1, 1, 2)) << "ringing changed the file: " << hex(s.file());
    EXPECT_EQ(s.r.stderrtext(), "");

    std::string got = rec.bytes();
    size_t last = 0;
    ASSERT_TRUE(soundis(got, pcm, &first, &why, &last)) << "the sink did not play data/weck.wav whole: " << why;
    double heard = rec.playedat(first) - s.r.t0;
    /* within 250 ms of second 0 of 01:01, give or take the start of the process */
    EXPECT_GE(heard, ringsat - 0.1) << "rang early";
    EXPECT_LT(heard, ringsat + 0.35) << "rang late";
    std::printf("rang %.3f s after the start, the alarm's second begins at %.0f s%s\n", heard, ringsat,
                why.c_str());
    EXPECT_EQ(got.find_first_not_of('\0', last), std::string::npos) << "more sound after the alarm";
}

/* The recordings' check: the whole sound from its first frame, wherever it
   starts; up to a second of silence that the server put in between passes and
   is said, more does not, and neither does a start cut by a frame or a buffer. */
TEST(Desktop, RecordingCheckWantsTheWholeSoundFromItsFirstFrame)
{
    std::string pcm;
    for (int i = 0; i < 3 * 44100 * 2; i++) {
        int16_t v = (int16_t)(1000 + i % 3000);
        pcm.append((const char*)&v, 2);
    }
    const std::string lead(4 * 4410, '\0');
    auto gap = [](int frames) { return std::string((size_t)frames * 4, '\0'); };
    struct {
        const char* what;
        std::string recorded;
        bool whole;
    } cases[] = {
        {"whole", lead + pcm + lead, true},
        {"half a second missed", lead + pcm.substr(0, 40000) + gap(22050) + pcm.substr(40000) + lead, true},
        {"a second and a half missed", lead + pcm.substr(0, 40000) + gap(66150) + pcm.substr(40000), false},
        {"first frame cut", lead + pcm.substr(4) + lead, false},
        {"first 512 frames cut", lead + pcm.substr(2048) + lead, false},
        {"first 512 frames silent", lead + gap(512) + pcm.substr(2048) + lead, false},
        {"the end cut", lead + pcm.substr(0, pcm.size() - 4), false},
    };
    for (const auto& c : cases) {
        size_t at = 0;
        std::string why;
        EXPECT_EQ(soundis(c.recorded, pcm, &at, &why), c.whole) << c.what << ": " << why;
        if (c.whole) {
            EXPECT_EQ(at, lead.size()) << c.what;
        }
    }
    size_t at = 0;
    std::string why;
    soundis(cases[1].recorded, pcm, &at, &why);
    EXPECT_EQ(why, ", with 0.500 s of silence in between");
}

/* X hides and shows the read-out (and saves); Start ends with 0; so does a close request. */
TEST(Desktop, ReadoutSwitchAndBothWaysToEnd)
{
    session s;
    writefile(s.box / "Horatik.dat", settings(utc, 0, 0, 0, 0));
    writefile(s.box / "config.conf", colouredlayout());
    s.begin("2026-12-07 09:15:05");
    std::string why;
    shot on = s.face({readoutarea});
    EXPECT_TRUE(readoutbox(on, s.g));
    ino_t before = s.saved();

    ASSERT_TRUE(s.x.press("z"));
    shot off = s.x.waitfor([&](const shot& sh) { return !readoutbox(sh, s.g); });
    EXPECT_FALSE(readoutbox(off, s.g));
    hms t = showntime(off, s.r, s.g, {});  // no read-out covers the hands now
    EXPECT_EQ(s.file(), settings(utc, 0, 0, 0, 0));
    EXPECT_NE(s.saved(), before) << "X did not save";
    keep(off, "readout-off");

    ASSERT_TRUE(s.x.press("z"));
    shot back = s.x.waitfor([&](const shot& sh) { return readoutbox(sh, s.g); });
    t = showntime(back, s.r, s.g, {readoutarea});
    EXPECT_TRUE(readoutshows(back, s.g, t, readouttext(t), &why)) << why;

    exitstatus e = s.end(false);
    EXPECT_TRUE(ok(e)) << "Start: " << e.str();
    EXPECT_EQ(s.r.stderrtext(), "");

    s.begin("2026-12-07 09:15:05");
    s.face({readoutarea});
    e = s.end(true);
    EXPECT_TRUE(ok(e)) << "close request: " << e.str();
    EXPECT_EQ(s.r.stderrtext(), "");
}

/* Under a window manager the window is resized, maximised and given back twenty
   times within ten seconds, as a tiling layout or a user's drag does it: the
   clock runs on, shows its frame at the factor of each size it then rests at,
   and ends on a close request. (sdl12-compat from 1.2.74 on reuses its first
   texture for each new size, and SDL2 wrote past it at the first larger one.) */
TEST(Desktop, ResizedAgainAndAgainUnderAWindowManager)
{
    sandbox box;
    xserver x(1280, 1024);
    ASSERT_TRUE(x.ok()) << "Xvfb did not start";
    ASSERT_TRUE(x.windowmanager(box / "openbox.txt")) << readfile(box / "openbox.txt");
    writefile(box / "Horatik.dat", settings(utc, 0, 0, 0, 0));
    runopts o;
    o.fake = "2026-12-07 10:08:47";
    o.x = &x;
    run r = start(box, o);
    ASSERT_TRUE(x.waitscreen(20)) << r.stderrtext() << x.windows();
    ASSERT_TRUE(x.press("BackSpace"));  // stopped: every size shows one frame
    shot one = x.waitfor(stehtshows);
    ASSERT_TRUE(stehtshows(one));

    double t0 = now();
    for (int i = 0; i < 20 && running(r.pid); i++) {
        x.resize(1000, 800);
        pause(0.1);
        x.maximise(true);
        pause(0.1);
        x.maximise(false);
        pause(0.1);
        x.resize(320, 240);
        pause(0.1);
    }
    EXPECT_LT(now() - t0, 10);
    ASSERT_TRUE(running(r.pid)) << "ended in the resizing: " << waitexit(r.pid, 1).str() << " "
                                << r.stderrtext();

    auto rests = [&](const std::function<bool(int, int)>& size, const char* what) {
        int wx, wy, w = 0, h = 0;
        for (double end = now() + 10; now() < end && !(x.window(&wx, &wy, &w, &h) && size(w, h));)
            pause(0.05);
        ASSERT_TRUE(size(w, h)) << what << ": " << w << "x" << h;
        std::string why;
        shot s;
        for (double end = now() + 5; now() < end && !(s.ok && s.px == one.px); pause(0.05))
            s = x.grabzoomed(std::max(1, std::min(w / 320, h / 240)), &why);
        EXPECT_TRUE(s.ok && s.px == one.px) << what << " " << w << "x" << h << ": " << why;
    };
    x.resize(1000, 800);
    rests([](int w, int h) { return w == 1000 && h == 800; }, "1000x800");
    x.maximise(true);
    rests([](int w, int h) { return w > 1000 && h > 800; }, "maximised");
    x.maximise(false);
    rests([](int w, int h) { return w == 1000 && h == 800; }, "given back");
    x.resize(320, 240);
    rests([](int w, int h) { return w == 320 && h == 240; }, "320x240");

    x.closerequest();
    exitstatus e = waitexit(r.pid, 10);
    EXPECT_TRUE(ok(e)) << e.str();
    EXPECT_EQ(r.stderrtext(), "");
}

/* At a desktop scale of 2 (Xft.dpi 192) the window opens at 640x480 with each
   pixel of the frame a 2x2 block; resized to 1000x800 it shows the frame three
   times as large, centred on black; resized to 320x240 it is the frame itself.
   The clock is stopped, so all three show the same frame; resizing saves
   nothing. Without Xft.dpi a 3840x2160 screen opens the window at 2. */
TEST(Desktop, ZoomFollowsTheDesktopScaleAndTheWindowSize)
{
    sandbox box;
    xserver x(1280, 1024);
    ASSERT_TRUE(x.ok()) << "Xvfb did not start";
    ASSERT_TRUE(x.resources("Xft.dpi: 192\n"));
    writefile(box / "Horatik.dat", settings(utc, 0, 0, 0, 0));
    runopts o;
    o.fake = "2026-12-07 10:08:47";
    o.x = &x;
    run r = start(box, o);
    int wx, wy, w = 0, h = 0;
    auto sized = [&](int ww, int wh) {
        for (double end = now() + 10; now() < end; pause(0.02))
            if (x.window(&wx, &wy, &w, &h) && w == ww && h == wh)
                return true;
        return false;
    };
    std::string why;
    auto zoomed = [&](int f, const std::function<bool(const shot&)>& pred) {
        shot s;
        for (double end = now() + 10; now() < end && !(s.ok && pred(s)); pause(0.05))
            s = x.grabzoomed(f, &why);
        return s;
    };
    ASSERT_TRUE(sized(640, 480)) << w << "x" << h;
    ASSERT_TRUE(x.press("BackSpace"));
    shot two = zoomed(2, stehtshows);
    EXPECT_TRUE(two.ok) << why;
    EXPECT_TRUE(stehtshows(two));
    ino_t saved = inode(box / "Horatik.dat");

    ASSERT_TRUE(x.resize(1000, 800));
    ASSERT_TRUE(sized(1000, 800)) << w << "x" << h;
    shot three = zoomed(3, stehtshows);
    EXPECT_TRUE(three.ok) << why;
    EXPECT_EQ(three.x0, 20);
    EXPECT_EQ(three.y0, 40);

    ASSERT_TRUE(x.resize(320, 240));
    ASSERT_TRUE(x.waitscreen(10));
    shot one = x.waitfor(stehtshows);
    EXPECT_TRUE(stehtshows(one));
    EXPECT_TRUE(two.px == one.px) << "the 640x480 window does not show the frame";
    EXPECT_TRUE(three.px == one.px) << "the 1000x800 window does not show the frame";
    if (::testing::Test::HasFailure()) {
        one.save(shotdir() + "/failed-zoom-1.png");
        two.save(shotdir() + "/failed-zoom-2.png");
        three.save(shotdir() + "/failed-zoom-3.png");
    }
    x.closerequest();
    exitstatus e = waitexit(r.pid, 10);
    EXPECT_TRUE(ok(e)) << e.str();
    EXPECT_EQ(r.stderrtext(), "");
    EXPECT_EQ(inode(box / "Horatik.dat"), saved) << "resizing saved the settings";

    xserver large(3840, 2160);
    ASSERT_TRUE(large.ok());
    o.x = &large;
    r = start(box, o);
    int lx, ly, lw = 0, lh = 0;
    for (double end = now() + 10; now() < end && lw != 640; pause(0.02))
        large.window(&lx, &ly, &lw, &lh);
    EXPECT_EQ(lw, 640);
    EXPECT_EQ(lh, 480);
    large.closerequest();
    EXPECT_TRUE(ok(waitexit(r.pid, 10)));
}

/* A sound server that hangs (SIGSTOP, not killed) stops the clock's sound and
   nothing else. Stopped 3 s before the alarm's second, so that the ring's device
   waits to open, and continued 5 s into the ring: the whole sound is heard then.
   Stopped 2 s into the ring and left so: its device waits for ever to close.
   In both, for 40 s the face turns every second; Return ends the program within
   2 s with 0; standard error holds one line at most. In real time, but with
   room enough to share the machine with another test. */
TEST(Desktop, AHungSoundServerStopsOnlyTheSound)
{
    struct clock {
        sandbox box;
        xserver x;
        std::unique_ptr<soundserver> sound;
        run r;
        double stopat, contat;  /* seconds from the alarm's second (stopat -100: before
                                   the clock starts); contat 0: never */
        bool stopped = false;
        shot last;
        std::vector<double> turns;  /* when the face was seen to change */
    };
    std::vector<std::unique_ptr<clock>> clocks;
    for (auto [stopat, contat] : {std::pair{-3.0, 5.0}, {2.0, 0.0}, {-100.0, 0.0}}) {
        clocks.push_back(std::make_unique<clock>());
        clocks.back()->stopat = stopat;
        clocks.back()->contat = contat;
    }
    const double wallofmono = wallclock() - now();
    const long long alarm = (long long)(now() + wallofmono) + 16;
    const double ringat = (double)alarm - wallofmono;
    for (auto& c : clocks) {
        ASSERT_TRUE(c->x.ok());
        c->sound = std::make_unique<soundserver>(c->box / "pulse");
        ASSERT_TRUE(c->sound->ok()) << readfile(c->sound->dir + "/server.log");
        writefile(c->box / "Horatik.dat", settings((int)(((7 * 3600 - alarm) % 86400 + 86400) % 86400), 0, 7, 0, 2));
        runopts o;
        o.x = &c->x;
        o.audio = "pulse";
        o.env = {c->sound->env()};
        if (c->stopat < -50) {
            kill(c->sound->pid, SIGSTOP);
            c->stopped = true;
        }
        c->r = start(c->box, o);
    }
    for (auto& c : clocks)
        ASSERT_TRUE(c->x.waitscreen(20)) << c->r.stderrtext();
    /* the face within start-up's wait for the device, a server that hangs or not */
    for (auto& c : clocks) {
        const std::string bg = c->box / "data/bg.png";
        shot face = c->x.waitfor([&](const shot& sh) { return markshows(sh, bg) == 1; }, 4);
        EXPECT_EQ(markshows(face, bg), 1) << "no face: stopped " << c->stopat << " s from the alarm's second";
    }
    recording rec(*clocks[0]->sound);
    ASSERT_LT(now(), ringat + clocks[0]->stopat - 1) << "too slow to start before the alarm";

    const double from = now();
    while (now() < ringat + 40) {
        for (auto& c : clocks) {
            if (!c->stopped && now() >= ringat + c->stopat) {
                kill(c->sound->pid, SIGSTOP);
                c->stopped = true;
            } else if (c->stopped && c->contat != 0 && now() >= ringat + c->contat) {
                kill(c->sound->pid, SIGCONT);
                c->contat = 0;
            }
            shot s = c->x.grabonce();
            if (s.ok && s.px != c->last.px) {
                c->turns.push_back(now());
                c->last = s;
            }
        }
        pause(0.2);
    }
    const double until = now();
    for (auto& c : clocks) {
        SCOPED_TRACE("stopped " + std::to_string((int)c->stopat) + " s from the alarm's second");
        double gap = 0, at = from;
        for (double t : c->turns) {
            if (t - at > gap)
                gap = t - at;
            at = t;
        }
        gap = std::max(gap, until - at);
        EXPECT_LT(gap, 1.6) << "the face stood still";
        double pressed = now();
        ASSERT_TRUE(c->x.press("Return"));
        exitstatus e = waitexit(c->r.pid, 10);
        double took = now() - pressed;
        EXPECT_TRUE(e.exited && e.code == 0) << e.str();
        EXPECT_LT(took, 2.0) << "to end";
        std::printf("stopped %+.0f s from the alarm's second: the face turned at most %.2f s apart, "
                    "ended %.2f s after Return\n", c->stopat, gap, took);
        std::string said = c->r.stderrtext();
        EXPECT_LE(std::count(said.begin(), said.end(), '\n'), 1) << said;
        kill(c->sound->pid, SIGCONT);
    }
    rec.stop();
    std::string why;
    const std::string pcm = wavsamples(clocks[0]->box / "data/weck.wav", &why);
    size_t first = 0;
    EXPECT_TRUE(soundis(rec.bytes(), pcm, &first, &why)) << "the ring, once the server went on: " << why;
}

/* Natively on Wayland (sdl12-compat; classic SDL 1.2 has no Wayland driver) under
   a tiling compositor, which sizes the window before its first frame, at an
   output scale of 1 and of 2: for 30 s the face at a whole factor, full size at
   2; Backspace shows "Steht"; the clock sleeps between its seconds (its caption
   counts the ticks of the last one); a close request ends it with 0, and it
   prints nothing. */
TEST(Wayland, NativeUnderATilingCompositor)
{
    if (SDL_Linked_Version()->patch < 50)
        GTEST_SKIP() << "classic SDL 1.2 has no Wayland driver";
    if (access("/usr/bin/sway", X_OK) != 0)
        GTEST_SKIP() << "no sway to be the compositor";
    /* both scales at once, each with a compositor and a clock of its own */
    struct output {
        int scale;
        sandbox box;
        std::unique_ptr<compositor> wl;
        run r;
        int x = 0, y = 0, w = 0, h = 0, f = 0;
    };
    std::vector<std::unique_ptr<output>> outputs;
    for (int scale : {1, 2}) {
        auto& o = *outputs.emplace_back(std::make_unique<output>());
        o.scale = scale;
        o.wl = std::make_unique<compositor>(o.box.dir + ".wl", scale);
        ASSERT_TRUE(o.wl->ok()) << readfile(o.wl->dir + "/sway.log");
        writefile(o.box / "Horatik.dat", settings(utc, 0, 0, 0, 0));
        runopts ro;
        ro.fake = "2026-12-07 10:08:47";
        ro.wl = o.wl.get();
        o.r = start(o.box, ro);
    }
    const double t0 = now();
    for (auto& op : outputs) {
        output& o = *op;
        SCOPED_TRACE("output scale " + std::to_string(o.scale));
        int pw = 0, ph = 0;
        std::string why, bg = o.box / "data/bg.png";
        shot s;
        /* the first frames may still be black, or at the size before the tiling */
        for (double end = now() + 20; now() < end && !(s.ok && backgroundring(s, bg)); pause(0.2)) {
            if (!o.wl->window(o.r.pid, &o.x, &o.y, &o.w, &o.h) || o.w <= 320)
                continue;  // not yet tiled
            std::vector<uint16_t> px = o.wl->grab(o.x, o.y, o.w, o.h, &pw, &ph);
            o.f = std::min(pw / 320, ph / 240);
            if (!px.empty() && o.f >= 1)
                s = unzoom(px, pw, ph, o.f, &why);
        }
        ASSERT_TRUE(s.ok) << why << " " << o.w << "x" << o.h << " at " << o.x << "," << o.y << "; "
                          << o.r.stderrtext();
        EXPECT_GE(o.f, o.scale) << pw << "x" << ph;
        EXPECT_TRUE(backgroundring(s, bg));
        ASSERT_TRUE(o.wl->press("BackSpace"));
        for (double end = now() + 5; now() < end && !stehtshows(s); pause(0.2))
            s = unzoom(o.wl->grab(o.x, o.y, o.w, o.h, &pw, &ph), pw, ph, o.f);
        EXPECT_TRUE(stehtshows(s));
    }
    pause(std::max(0.0, t0 + 30 - now()));
    for (auto& op : outputs) {
        output& o = *op;
        SCOPED_TRACE("output scale " + std::to_string(o.scale));
        std::string title;
        ASSERT_TRUE(running(o.r.pid)) << waitexit(o.r.pid, 1).str() << " " << o.r.stderrtext();
        ASSERT_TRUE(o.wl->window(o.r.pid, &o.x, &o.y, &o.w, &o.h, &title));
        EXPECT_LE(std::atoi(title.c_str()), 3) << "ticks in the last second: " << title;
        o.wl->msg({"[pid=" + std::to_string(o.r.pid) + "]", "kill"});
        exitstatus e = waitexit(o.r.pid, 10);
        EXPECT_TRUE(ok(e)) << e.str();
        EXPECT_EQ(o.r.stderrtext(), "");
    }
}
