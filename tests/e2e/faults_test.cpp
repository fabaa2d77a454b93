// Faults: a full disk, kills in the middle of saves, a read-only folder.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>

#include <atomic>
#include <filesystem>
#include <mutex>
#include <random>
#include <set>
#include <thread>

#include "e2e/expect.h"
#include "e2e/harness.h"
#include "e2e/sessionbus.h"

using namespace hx;
namespace fs = std::filesystem;

namespace {

const int utc = 86400000;

std::set<std::string> listing(const std::string& dir)
{
    std::set<std::string> names;
    for (const auto& e : fs::recursive_directory_iterator(dir))
        names.insert(e.path().string().substr(dir.size()));
    names.erase("/stdout.txt");
    names.erase("/stderr.txt");
    return names;
}

std::string joined(const std::set<std::string>& names)
{
    std::string s;
    for (const std::string& n : names)
        s += n + " ";
    return s;
}

/* Stop, help on and off, read-out off and on, run again: five saves, each
   checked on the screen so that the program is known to have gone on. */
void saveseveraltimes(xserver& x)
{
    geometry g;
    ASSERT_TRUE(x.press("BackSpace"));
    EXPECT_TRUE(stehtshows(x.waitfor([](const shot& s) { return stehtshows(s); })));
    ASSERT_TRUE(x.press("Left"));
    EXPECT_TRUE(helpshows(x.waitfor([](const shot& s) { return helpshows(s); })));
    ASSERT_TRUE(x.press("Left"));
    EXPECT_FALSE(helpshows(x.waitfor([](const shot& s) { return !helpshows(s); })));
    ASSERT_TRUE(x.press("z"));
    EXPECT_FALSE(readoutbox(x.waitfor([&](const shot& s) { return !readoutbox(s, g); }), g));
    ASSERT_TRUE(x.press("z"));
    EXPECT_TRUE(readoutbox(x.waitfor([&](const shot& s) { return readoutbox(s, g); }), g));
    ASSERT_TRUE(x.press("BackSpace"));
    EXPECT_FALSE(stehtbox(x.waitfor([](const shot& s) { return !stehtbox(s); })));
}

}  // namespace

/* Every save meets a full disk (no file may grow): the old settings stay whole,
   no temporary file is left, and the clock goes on as if the saves had worked. */
TEST(Faults, FullDiskKeepsTheOldSettings)
{
    sandbox box;
    xserver x;
    ASSERT_TRUE(x.ok());
    const std::string old = settings(utc + 3600, 0, 6, 45, 2);
    writefile(box / "Horatik.dat", old);
    ino_t before = inode(box / "Horatik.dat");
    std::set<std::string> names = listing(box.dir);
    runopts o;
    o.x = &x;
    o.fake = "2026-12-07 11:11:11";
    o.fulldisk = true;
    run r = start(box, o);
    ASSERT_TRUE(x.waitscreen(20));
    x.waitfor([](const shot& s) { return readoutbox(s, geometry()); });
    saveseveraltimes(x);
    EXPECT_TRUE(running(r.pid));
    EXPECT_EQ(readfile(box / "Horatik.dat"), old) << hex(readfile(box / "Horatik.dat"));
    EXPECT_EQ(inode(box / "Horatik.dat"), before) << "the settings file was replaced";
    EXPECT_EQ(joined(listing(box.dir)), joined(names)) << "files left behind";
    ASSERT_TRUE(x.closerequest());
    exitstatus e = waitexit(r.pid, 10);
    EXPECT_TRUE(e.exited && e.code == 0) << e.str();
    EXPECT_EQ(r.stderrtext(), "");
}

/* A working folder the program may not write to (it runs as nobody): the clock
   runs and follows the keys, writes nothing and says nothing of it. Its alarm is
   armed, and nobody may have a timer that wakes the machine: none, said once. */
TEST(Faults, ReadOnlyFolderRunsAndWritesNothing)
{
    sandbox box;
    xserver x;
    ASSERT_TRUE(x.ok());
    const std::string old = settings(utc, 0, 0, 0, 2);
    writefile(box / "Horatik.dat", old);
    chmod((box / "Horatik.dat").c_str(), 0444);
    chmod(box.dir.c_str(), 0555);
    std::set<std::string> names = listing(box.dir);
    runopts o;
    o.x = &x;
    o.fake = "2026-12-07 15:42:10";
    o.uid = 65534;
    /* a home of its own, as nobody would have: SDL2 under sdl12-compat loads Mesa,
       which complains on standard error when it cannot make its cache there */
    char home[] = "/tmp/hx-home-XXXXXX";
    ASSERT_TRUE(mkdtemp(home));
    ASSERT_EQ(chown(home, 65534, 65534), 0);
    o.env = {std::string("HOME=") + home};
    run r = start(box, o);
    ASSERT_TRUE(x.waitscreen(20)) << "no window: " << r.stderrtext();
    const rect readoutarea = {119, 134, 199, 158};
    geometry g;
    auto showing = [&](const shot& s) { return handtimes(s, g, candidates(r, s), {readoutarea}); };
    shot a = x.waitfor([&](const shot& s) { return showing(s).size() == 1; });
    ASSERT_EQ(showing(a).size(), 1u);
    pause(1.2);
    shot b = x.waitfor([&](const shot& s) { return showing(s).size() == 1; });
    ASSERT_EQ(showing(b).size(), 1u);
    EXPECT_FALSE(showing(a)[0] == showing(b)[0]) << "the clock does not run";

    EXPECT_EQ(wakesin(r.pid), -1);
    saveseveraltimes(x);
    EXPECT_TRUE(running(r.pid));
    EXPECT_EQ(readfile(box / "Horatik.dat"), old);
    EXPECT_EQ(joined(listing(box.dir)), joined(names)) << "files appeared";
    ASSERT_TRUE(x.closerequest());
    exitstatus e = waitexit(r.pid, 10);
    EXPECT_TRUE(e.exited && e.code == 0) << e.str();
    EXPECT_EQ(r.stderrtext(), "Couldn't set a timer to wake the machine for the alarm: Operation not permitted\n");
    chmod(box.dir.c_str(), 0755);
    std::system((std::string("rm -rf ") + home).c_str());
}

/* Hundreds of kills at random moments while bursts of keys save again and
   again: the settings file is always whole, one of the states the keys lead to. */
TEST(Faults, KilledWhileSavingLeavesOldOrNewSettings)
{
    const int workers = 3, runsper = 80;
    unsigned seed = (unsigned)std::random_device{}();
    std::printf("seed %u\n", seed);
    /* Left flips the help panel, Y goes through the alarm states (two of three
       save), X saves as it is: the file can only be one of these four */
    std::set<std::string> valid;
    for (int help : {0, 1})
        for (int state : {0, 2})
            valid.insert(settings(utc, help, 7, 30, state));

    std::mutex lock;
    std::vector<std::string> faults;
    std::atomic<int> kills{0}, changes{0}, tempsleft{0};
    auto worker = [&](int id) {
        std::mt19937 rnd(seed + (unsigned)id);
        sandbox box;
        xserver x;
        if (!x.ok()) {
            std::lock_guard<std::mutex> hold(lock);
            faults.push_back("no Xvfb");
            return;
        }
        writefile(box / "Horatik.dat", settings(utc, 0, 7, 30, 0));
        std::vector<std::string> burst = {"mousemove", "160", "120"};
        const char* keys[] = {"Left", "s", "z", "s", "Left", "s"};
        for (int i = 0; i < 30; i++) {
            const char* k = keys[i % 6];
            burst.insert(burst.end(), {"keydown", k, "sleep", "0.03", "keyup", k, "sleep", "0.015"});
        }
        std::uniform_real_distribution<double> delay(0.0, 0.6);
        for (int i = 0; i < runsper; i++) {
            std::string old = readfile(box / "Horatik.dat");
            runopts o;
            o.x = &x;
            run r = start(box, o);
            bool shown = x.waitscreen(20);
            pid_t keys = x.xdotool(burst);
            /* the random moment counts from the first save (the first key changes
               the file), so that a slower start-up means the same */
            for (double until = now() + 10; readfile(box / "Horatik.dat") == old && now() < until;)
                pause(0.002);
            pause(delay(rnd));
            kill(r.pid, SIGKILL);
            kill(keys, SIGKILL);
            exitstatus ended = waitexit(r.pid, 10);
            waitexit(keys, 10);
            /* a killed xdotool may leave keys held in the server */
            waitexit(x.xdotool({"keyup", "Left", "keyup", "s", "keyup", "z"}), 10);
            kills++;
            std::string after = readfile(box / "Horatik.dat");
            changes += after != old;
            tempsleft += exists(box / ("Horatik.dat." + std::to_string(r.pid) + ".tmp"));
            if (!shown || !valid.count(after)) {
                std::lock_guard<std::mutex> hold(lock);
                faults.push_back("run " + std::to_string(i) +
                                 (shown ? "" : " (no window; it said: " + r.stderrtext() + "; " +
                                                   ended.str() + ")") +
                                 ": " + std::to_string(after.size()) + " bytes " + hex(after) +
                                 " after " + hex(old));
                if (!valid.count(after))
                    writefile(box / "Horatik.dat", settings(utc, 0, 7, 30, 0));
            }
            /* the next program must not find this one's window */
            double until = now() + 5;
            int wx, wy;
            while (x.screenat(&wx, &wy) && now() < until)
                pause(0.01);
        }
    };
    std::vector<std::thread> threads;
    for (int i = 0; i < workers; i++)
        threads.emplace_back(worker, i);
    for (std::thread& t : threads)
        t.join();
    std::printf("%d kills, %d of them after the file changed, %d left a temporary file\n",
                kills.load(), changes.load(), tempsleft.load());
    for (const std::string& f : faults)
        ADD_FAILURE() << f;
    EXPECT_GT(changes.load(), kills.load() / 4) << "too few kills came after a save";
}

/* Every way out while the sound's thread waits in a sound server that hangs
   (stopped before the program started): the exit code of that way, never a signal
   (an abort would dump core), and the console's program hands over to its menu
   (a stand-in in a private mount namespace; skipped where none can be made). */
TEST(Faults, EveryWayOutWhileTheSoundServerHangs)
{
    struct {
        const char* how;
        std::string program;
        int code;
    } cases[] = {
        {"Return", "horatik-desktop", 0},
        {"SIGTERM", "horatik-desktop", 0},
        {"display gone", "horatik-desktop", 1},
        {"window destroyed", "horatik-desktop", 1},  // an error in a request
        {"no audio device", "horatik-desktop", 2},
        {"close request", "horatik-gp2x", 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.how) + ", " + c.program);
        sandbox box;
        auto x = std::make_unique<xserver>(320, 240);
        ASSERT_TRUE(x->ok());
        soundserver sound(box / "pulse");
        ASSERT_TRUE(sound.ok()) << readfile(sound.dir + "/server.log");
        kill(sound.pid, SIGSTOP);
        /* the help panel off: the face changes, and reaches the X server, each second */
        writefile(box / "Horatik.dat", settings(utc, 0, 7, 30, 0));
        runopts o;
        o.program = c.program;
        o.x = x.get();
        o.audio = "pulse";
        o.env = {sound.env()};
        const bool console = c.program == "horatik-gp2x";
        const std::string menu = box / "menu.txt";
        if (console) {
            /* /usr/gp2x/gp2xmenu, seen by this program alone */
            fs::create_directories(box / "usr-upper");
            fs::create_directories(box / "usr-work");
            o.wrapper = {"unshare", "--mount", "--propagation", "private", "sh", "-c",
                         "mount -t overlay overlay -o lowerdir=/usr,upperdir=" + box / "usr-upper" +
                             ",workdir=" + box / "usr-work" + " /usr && mkdir -p /usr/gp2x && "
                             "printf '#!/bin/sh\\necho handed over >" + menu + "\\n' >/usr/gp2x/gp2xmenu && "
                             "chmod +x /usr/gp2x/gp2xmenu && exec \"$0\""};
        }
        const std::string how = c.how;
        if (how == "no audio device") {
            o.env.push_back("SDL_AUDIODRIVER=disk");
            o.env.push_back("SDL_DISKAUDIOFILE=" + box / "none/out.raw");
        }
        run r = start(box, o);
        if (how != "no audio device") {
            if (!x->waitscreen(20) && console && !running(r.pid)) {
                GTEST_SKIP() << "no private /usr/gp2x here: " << r.stderrtext();
            }
            pause(2.5);  // past start-up's wait for the device
        }
        if (how == "Return") {
            EXPECT_TRUE(x->press("Return"));
        } else if (how == "SIGTERM") {
            kill(r.pid, SIGTERM);
        } else if (how == "display gone") {
            x.reset();
        } else if (how == "window destroyed") {
            waitexit(x->xdotool({"search", "--class", "horatik", "windowclose"}), 10);
        } else if (console) {
            EXPECT_TRUE(x->closerequest());
        }
        exitstatus e = waitexit(r.pid, 10);
        EXPECT_TRUE(e.exited && e.code == c.code) << e.str() << "\n" << r.stderrtext();
        if (console) {
            EXPECT_EQ(readfile(menu), "handed over\n") << "no hand-over to the console's menu";
        }
        kill(sound.pid, SIGCONT);
    }
}
