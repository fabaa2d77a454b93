// Installed into a prefix, or packaged for Debian, and started as a desktop user
// starts it: through the launcher that the desktop entry names, in a folder of the
// user's own.
#include <SDL_image.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <map>

#include "e2e/expect.h"
#include "e2e/harness.h"

using namespace hx;
namespace fs = std::filesystem;

namespace {

const int utc = 86400000;
const rect readoutarea = {119, 134, 199, 158};
const rect markarea = {3, 224, 60, 239};
const std::string fresh = "2026-12-07 06:59:50";

/* a command's exit code, its output and errors in *out */
int command(const sandbox& box, const std::vector<std::string>& argv, std::string* out)
{
    spawnopts o;
    o.argv = argv;
    o.out = o.err = box / "command.txt";
    exitstatus e = waitexit(spawn(o), 120);
    *out = readfile(box / "command.txt");
    return e.exited ? e.code : -1;
}

/* the build installed into prefix */
bool install(const sandbox& box, const std::string& prefix)
{
    std::string out;
    int code = command(box, {HX_CMAKE, "--install", HX_BUILDROOT, "--prefix", prefix}, &out);
    EXPECT_EQ(code, 0) << out;
    return code == 0;
}

/* the keys of the desktop entry's main group */
std::map<std::string, std::string> entry(const std::string& path)
{
    std::map<std::string, std::string> keys;
    std::string text = readfile(path);
    size_t at = 0;
    while (at < text.size()) {
        size_t end = text.find('\n', at);
        std::string line = text.substr(at, end == std::string::npos ? end : end - at);
        at = end == std::string::npos ? text.size() : end + 1;
        size_t eq = line.find('=');
        if (eq != std::string::npos)
            keys[line.substr(0, eq)] = line.substr(eq + 1);
    }
    return keys;
}

/* every regular file and link under dir, relative to it, sorted */
std::vector<std::string> files(const std::string& dir)
{
    std::vector<std::string> all;
    std::error_code ec;
    for (auto it = fs::recursive_directory_iterator(dir, ec); it != fs::recursive_directory_iterator();
         it.increment(ec))
        if (!it->is_directory())
            all.push_back(it->path().lexically_relative(dir).string());  // a link as itself
    std::sort(all.begin(), all.end());
    return all;
}

/* what an install puts under its prefix, sorted */
std::vector<std::string> layout()
{
    std::vector<std::string> want = {
        "bin/horatik", "bin/horatik-desktop", "libexec/horatik/horatik-wake", "share/applications/horatik.desktop",
        "share/horatik/Tavlo.png", "share/horatik/data/bg.png", "share/horatik/data/fennick.png",
        "share/horatik/data/times.ttf", "share/horatik/data/weck.png", "share/horatik/data/weck.wav",
        "share/man/man1/horatik-desktop.1.gz", "share/man/man1/horatik.1.gz",
        std::string("share/metainfo/") + HX_APPID + ".metainfo.xml"};
    for (int n : {32, 48, 64, 128, 256})
        want.push_back("share/icons/hicolor/" + std::to_string(n) + "x" + std::to_string(n) + "/apps/horatik.png");
    std::sort(want.begin(), want.end());
    return want;
}

/* "WxH" of a picture that decodes */
std::string pngsize(const std::string& path)
{
    SDL_Surface* pic = IMG_Load(path.c_str());
    if (!pic)
        return "not a picture";
    std::string size = std::to_string(pic->w) + "x" + std::to_string(pic->h);
    SDL_FreeSurface(pic);
    return size;
}

/* The launcher has handed over once its process is the clock, and the clock is up
   once SDL takes SIGTERM as a quit request. */
bool clockruns(pid_t pid, double timeout)
{
    for (double until = now() + timeout; now() < until; pause(0.05)) {
        std::error_code ec;
        fs::path exe = fs::read_symlink("/proc/" + std::to_string(pid) + "/exe", ec);
        if (!ec && exe.filename() == "horatik-desktop" && catches(pid, SIGTERM))
            return true;
        if (!running(pid))
            return false;
    }
    return false;
}

std::string cwdof(pid_t pid)
{
    std::error_code ec;
    return fs::read_symlink("/proc/" + std::to_string(pid) + "/cwd", ec).string();
}

/* An installed clock and a user with a home of their own. */
struct installed {
    sandbox box{false};
    std::string prefix = box / "pre fix";  // a space, as a user's path may have
    std::string home = box / "home";
    std::string launcher = prefix + "/bin/horatik";
    std::string share = prefix + "/share/horatik";
    std::string folder = home + "/.local/share/horatik";
    bool ok = false;

    installed()
    {
        fs::create_directories(home);
        ok = install(box, prefix);
    }
    /* the launcher started with the dummy video driver; the clock ends on SIGTERM */
    run launch(const std::vector<std::string>& env, const std::vector<std::string>& cmd = {})
    {
        runopts o;
        o.command = cmd.empty() ? std::vector<std::string>{launcher} : cmd;
        o.unset = {"HOME", "XDG_DATA_HOME", "XDG_CONFIG_HOME"};
        o.env = {"HOME=" + home};
        o.env.insert(o.env.end(), env.begin(), env.end());
        return start(box, o);
    }
    exitstatus stop(const run& r)
    {
        kill(r.pid, SIGTERM);
        return waitexit(r.pid, 10);
    }
};

bool ok(const exitstatus& e)
{
    return e.exited && e.code == 0;
}

}  // namespace

/* The usual layout under the prefix, a valid desktop entry naming the launcher,
   the icon in every size; uninstalling takes all of it away again. */
TEST(Install, LayoutDesktopEntryAndUninstall)
{
    installed in;
    ASSERT_TRUE(in.ok);
    std::vector<std::string> want = layout();
    for (int n : {32, 48, 64, 128, 256}) {
        std::string icon = "share/icons/hicolor/" + std::to_string(n) + "x" + std::to_string(n) + "/apps/horatik.png";
        EXPECT_EQ(pngsize(in.prefix + "/" + icon), std::to_string(n) + "x" + std::to_string(n));
    }
    EXPECT_EQ(files(in.prefix), want);
    EXPECT_EQ(access((in.prefix + "/bin/horatik").c_str(), X_OK), 0);
    EXPECT_EQ(access((in.prefix + "/bin/horatik-desktop").c_str(), X_OK), 0);
    for (const char* f : {"data/bg.png", "data/weck.wav", "data/times.ttf", "Tavlo.png"})
        EXPECT_EQ(readfile(in.share + "/" + f), readfile(rundir() + "/" + f)) << f;

    std::string desktop = in.prefix + "/share/applications/horatik.desktop", out;
    EXPECT_EQ(command(in.box, {"desktop-file-validate", desktop}, &out), 0) << out;
    EXPECT_EQ(out, "");
    std::map<std::string, std::string> e = entry(desktop);
    EXPECT_EQ(e["Type"], "Application");
    EXPECT_EQ(e["Categories"], "Utility;Clock;");
    EXPECT_EQ(e["Icon"], "horatik");
    EXPECT_EQ(e["Exec"], "\"" + in.launcher + "\"");  // quoted for the space
    EXPECT_EQ(e["TryExec"], in.launcher);

    ASSERT_EQ(command(in.box, {HX_CMAKE, "--build", HX_BUILDROOT, "--target", "uninstall"}, &out), 0) << out;
    EXPECT_EQ(files(in.prefix), std::vector<std::string>{});
    EXPECT_FALSE(exists(in.share));
}

/* Started from the desktop entry's command: the clock runs in the user's folder,
   saves its settings there, and reads them and a layout put beside them at the
   next start. */
TEST(Install, LauncherRunsTheClockInTheUsersFolderAndItsSettingsLast)
{
    installed in;
    ASSERT_TRUE(in.ok);
    xserver x;
    ASSERT_TRUE(x.ok()) << "Xvfb did not start";
    std::string exec = entry(in.prefix + "/share/applications/horatik.desktop")["Exec"];
    ASSERT_GE(exec.size(), 2u);
    std::string fromentry = exec.substr(1, exec.size() - 2);
    ASSERT_TRUE(exists(fromentry)) << exec;

    runopts o;
    o.command = {fromentry};
    o.x = &x;
    o.fake = fresh;
    o.unset = {"HOME", "XDG_DATA_HOME", "XDG_CONFIG_HOME"};
    o.env = {"HOME=" + in.home};
    run r = start(in.box, o);
    ASSERT_TRUE(x.waitscreen(20)) << "no window";
    EXPECT_EQ(cwdof(r.pid), in.folder);
    std::string why;
    shot first = x.waitfor([&](const shot& sh) { return helpshows(sh, false, &why); });
    EXPECT_TRUE(helpshows(first, false, &why)) << "first start: " << why;
    EXPECT_TRUE(backgroundring(first, in.share + "/data/bg.png"));
    for (const char* f : {"data/bg.png", "data/fennick.png", "data/times.ttf", "data/weck.png",
                          "data/weck.wav", "Tavlo.png"}) {
        std::error_code ec;
        EXPECT_EQ(fs::read_symlink(in.folder + "/" + f, ec).string(), in.share + "/" + f) << f;
    }

    /* help off, then an alarm at 01:00 armed: two saves into the user's folder */
    ASSERT_TRUE(x.press("Left"));
    x.waitfor([](const shot& sh) { return !helpshows(sh); });
    ASSERT_TRUE(x.press("s"));
    x.waitfor([](const shot& sh) { return alarmboxshows(sh, 0, 0); });
    ASSERT_TRUE(x.press("w"));
    x.waitfor([](const shot& sh) { return alarmboxshows(sh, 1, 0); });
    ASSERT_TRUE(x.press("s"));
    x.waitfor([](const shot& sh) { return !alarmboxframe(sh); });
    std::string saved = settings(utc, 0, 1, 0, 2);
    EXPECT_EQ(readfile(in.folder + "/Horatik.dat"), saved) << hex(readfile(in.folder + "/Horatik.dat"));
    /* armed, it starts at login: an entry in the user's autostart folder that
       starts the launcher */
    const std::string login = in.home + "/.config/autostart/horatik.desktop";
    auto appears = [&](bool there) {
        for (double end = now() + 2; now() < end && exists(login) != there;)
            pause(0.05);
        return exists(login) == there;
    };
    ASSERT_TRUE(appears(true)) << "no autostart entry for the armed alarm";
    std::string out;
    EXPECT_EQ(command(in.box, {"desktop-file-validate", login}, &out), 0) << out;
    EXPECT_EQ(out, "");
    EXPECT_EQ(entry(login)["Exec"], "\"" + in.launcher + "\"");
    EXPECT_TRUE(x.closerequest());
    exitstatus e = waitexit(r.pid, 10);
    EXPECT_TRUE(ok(e)) << e.str();
    EXPECT_EQ(r.stderrtext(), "");
    EXPECT_FALSE(exists(in.box / "Horatik.dat")) << "saved where it was started from";

    /* the next start, through the launcher itself, with a layout of the user's */
    writefile(in.folder + "/config.conf",
              layout(160, 120, 10, 20, 20, 70, 90, 90, 119, 138, {0, 0, 255}, {0, 255, 0}, {255, 0, 0}));
    o.command = {in.launcher};
    o.fake = "2026-12-07 07:10:20";
    unlink(login.c_str());  // removed by the user while the alarm is armed: it stays removed
    r = start(in.box, o);
    ASSERT_TRUE(x.waitscreen(20)) << "no window";
    geometry g;
    g.colour[0] = rgb565(255, 0, 0);
    g.colour[1] = rgb565(0, 255, 0);
    g.colour[2] = rgb565(0, 0, 255);
    shot again = x.waitfor([&](const shot& sh) {
        return !handtimes(sh, g, candidates(r, sh), {readoutarea, markarea}).empty();
    });
    EXPECT_FALSE(helpshows(again)) << "the help panel is back";
    EXPECT_EQ(handtimes(again, g, candidates(r, again), {readoutarea, markarea}).size(), 1u)
        << "the layout's hands are not shown";
    EXPECT_EQ(markshows(again, in.share + "/data/bg.png"), 1) << "the alarm is not armed";
    EXPECT_FALSE(exists(login)) << "the entry the user removed is back at the next start";

    /* started again from the menu: no second clock on the same settings, the
       first one runs on; after a crash of it the next start works */
    run second = start(in.box, o);
    e = waitexit(second.pid, 10);
    EXPECT_TRUE(ok(e)) << e.str();
    EXPECT_EQ(second.stderrtext(), "horatik: a clock runs in " + in.folder + " already\n");
    EXPECT_TRUE(running(r.pid)) << "the first clock ended";
    EXPECT_EQ(readfile(in.folder + "/Horatik.dat"), saved);
    kill(r.pid, SIGKILL);
    waitexit(r.pid, 10);
    r = start(in.box, o);
    EXPECT_TRUE(clockruns(r.pid, 20)) << "a crashed clock left its folder locked: " << r.stderrtext();
    EXPECT_TRUE(x.waitscreen(20));
    /* switched off and armed anew, the entry is back; off, it goes; one the
       user switched off is theirs */
    ASSERT_TRUE(x.press("s") && x.press("s") && x.press("s"));
    EXPECT_TRUE(appears(true)) << "no autostart entry for the alarm armed anew";
    ASSERT_TRUE(x.press("s"));
    EXPECT_TRUE(appears(false)) << "the autostart entry stays after the alarm is off";
    const std::string off = "[Desktop Entry]\nType=Application\nName=Horatik\nExec=horatik\n"
                            "X-Horatik-Alarm=true\nHidden=true\n";
    writefile(login, off);
    ASSERT_TRUE(x.press("s") && x.press("s"));
    pause(1);
    EXPECT_EQ(readfile(login), off);
    EXPECT_TRUE(x.closerequest());
    e = waitexit(r.pid, 10);
    EXPECT_TRUE(ok(e)) << e.str();
    EXPECT_EQ(r.stderrtext(), "");
    EXPECT_EQ(readfile(in.folder + "/Horatik.dat"), saved);
    if (::testing::Test::HasFailure() && x.last.ok)
        x.last.save(shotdir() + "/failed-install-launcher.png");
}

/* Where the folder goes, what the launcher renews and what it leaves alone, and how
   it fails. */
TEST(Install, LauncherFolderAndLinks)
{
    installed in;
    ASSERT_TRUE(in.ok);

    /* an absolute XDG_DATA_HOME is taken; a relative one is not */
    run r = in.launch({"XDG_DATA_HOME=" + in.box / "xdg"});
    ASSERT_TRUE(clockruns(r.pid, 10)) << r.stderrtext();
    EXPECT_EQ(cwdof(r.pid), in.box / "xdg/horatik");
    EXPECT_TRUE(ok(in.stop(r)));
    EXPECT_FALSE(exists(in.folder));
    r = in.launch({"XDG_DATA_HOME=xdg"});
    ASSERT_TRUE(clockruns(r.pid, 10)) << r.stderrtext();
    EXPECT_EQ(cwdof(r.pid), in.folder);
    EXPECT_TRUE(ok(in.stop(r)));

    /* the user's own picture stays; a link from an earlier install is renewed,
       a removed one made again; a launcher reached through a link of its own works */
    fs::remove(in.folder + "/data/bg.png");  // a link: writing through it would hit the installed one
    writefile(in.folder + "/data/bg.png", "mine");
    fs::remove(in.folder + "/data/weck.wav");
    fs::remove(in.folder + "/Tavlo.png");
    fs::create_symlink("/nonexistent/share/horatik/Tavlo.png", in.folder + "/Tavlo.png");
    fs::create_directories(in.box / "bin");
    fs::create_symlink(in.launcher, in.box / "bin/horatik");
    r = in.launch({}, {in.box / "bin/horatik"});
    ASSERT_TRUE(clockruns(r.pid, 10)) << r.stderrtext();
    EXPECT_EQ(cwdof(r.pid), in.folder);
    EXPECT_TRUE(ok(in.stop(r)));
    EXPECT_EQ(readfile(in.folder + "/data/bg.png"), "mine");
    EXPECT_FALSE(fs::is_symlink(in.folder + "/data/bg.png"));
    std::error_code ec;
    EXPECT_EQ(fs::read_symlink(in.folder + "/data/weck.wav", ec).string(), in.share + "/data/weck.wav");
    EXPECT_EQ(fs::read_symlink(in.folder + "/Tavlo.png", ec).string(), in.share + "/Tavlo.png");
    EXPECT_EQ(r.stderrtext(), "");

    /* a lock that cannot be had is no clock running: flock failing otherwise than
       on a held lock (no locks on a network folder), a lock file that cannot be
       opened; either way the clock starts, without the lock */
    fs::create_directories(in.box / "nolocks");
    writefile(in.box / "nolocks/flock", "#!/bin/sh\nexit 71\n");
    fs::permissions(in.box / "nolocks/flock", fs::perms::owner_all);
    r = in.launch({"PATH=" + in.box / "nolocks:" + std::getenv("PATH")});
    EXPECT_TRUE(clockruns(r.pid, 10)) << "flock's error taken for a clock running: " << r.stderrtext();
    EXPECT_TRUE(ok(in.stop(r)));
    fs::remove(in.folder + "/.lock");
    fs::create_directory(in.folder + "/.lock");
    r = in.launch({});
    EXPECT_TRUE(clockruns(r.pid, 10)) << "a lock file that cannot be opened: " << r.stderrtext();
    EXPECT_TRUE(ok(in.stop(r)));
    EXPECT_EQ(r.stderrtext(), "");
    fs::remove(in.folder + "/.lock");

    /* no folder to be had: exit 3 with a word why, and no clock */
    writefile(in.box / "afile", "");
    r = in.launch({"XDG_DATA_HOME=" + in.box / "afile"});
    exitstatus e = waitexit(r.pid, 10);
    EXPECT_TRUE(e.exited && e.code == 3) << e.str();
    EXPECT_EQ(r.stderrtext(), "horatik: cannot make the folder " + in.box / "afile/horatik/data\n");
    runopts o;
    o.command = {in.launcher};
    o.unset = {"HOME", "XDG_DATA_HOME", "XDG_CONFIG_HOME"};
    r = start(in.box, o);
    e = waitexit(r.pid, 10);
    EXPECT_TRUE(e.exited && e.code == 3) << e.str();
    EXPECT_EQ(r.stderrtext(), "horatik: neither XDG_DATA_HOME nor HOME is set\n");
}

namespace {

/* command()'s output without its last line break */
std::string line(const sandbox& box, const std::vector<std::string>& argv)
{
    std::string out;
    EXPECT_EQ(command(box, argv, &out), 0) << out;
    while (!out.empty() && out.back() == '\n')
        out.pop_back();
    return out;
}

/* cmake --build build --target package, as a user runs it: the package it just made,
   or "" */
std::string debpackage(const sandbox& box)
{
    fs::file_time_type before = fs::file_time_type::clock::now() - std::chrono::seconds(1);
    std::string out;
    int code = command(box, {HX_CMAKE, "--build", HX_BUILDROOT, "--target", "package"}, &out);
    EXPECT_EQ(code, 0) << out;
    std::string deb = std::string(HX_BUILDROOT) + "/horatik_" + HX_VERSION + "_" +
                      line(box, {"dpkg", "--print-architecture"}) + ".deb";
    std::error_code ec;
    bool fresh = fs::last_write_time(deb, ec) >= before;
    EXPECT_TRUE(!ec && fresh) << deb << " not made\n" << out;
    return code == 0 && !ec && fresh ? deb : "";
}

}  // namespace

/* The Debian package: what lintian, apt and AppStream make of it, what it holds, and
   its manual page. */
TEST(Install, DebianPackage)
{
    sandbox box(false);
    std::string deb = debpackage(box), out;
    ASSERT_NE(deb, "");
    EXPECT_EQ(line(box, {"dpkg-deb", "-f", deb, "Package"}), "horatik");
    EXPECT_EQ(line(box, {"dpkg-deb", "-f", deb, "Version"}), HX_VERSION);
    std::string depends = line(box, {"dpkg-deb", "-f", deb, "Depends"});
    for (const char* p : {"libc6 (>=", "libsdl", "fonts-liberation", "libsystemd0"})  // names that differ least between releases
        EXPECT_NE(depends.find(p), std::string::npos) << p << " missing in " << depends;
    EXPECT_EQ(line(box, {"dpkg-deb", "-f", deb, "Recommends"}), "libcap2-bin");
    EXPECT_EQ(command(box, {"lintian", "--fail-on", "error", deb}, &out), 0) << out;
    EXPECT_EQ(command(box, {"apt-get", "install", "--simulate", deb}, &out), 0) << out;
    /* installed, its postinst gives the one capability of waking the machine to the
       clock's helper, and to nothing else */
    ASSERT_EQ(command(box, {"dpkg-deb", "-e", deb, box / "control"}, &out), 0) << out;
    std::string postinst = readfile(box / "control/postinst");
    EXPECT_NE(postinst.find("setcap cap_wake_alarm+ep /usr/libexec/horatik/horatik-wake"), std::string::npos);
    EXPECT_EQ(postinst.find("/usr/bin/"), std::string::npos) << postinst;

    /* the install's layout under /usr, the font a link to the font package's file,
       Debian's documents; no handheld program */
    std::string root = box / "root";
    ASSERT_EQ(command(box, {"dpkg-deb", "-x", deb, root}, &out), 0) << out;
    std::vector<std::string> want = {"usr/share/doc/horatik/changelog.gz", "usr/share/doc/horatik/copyright"};
    for (const std::string& f : layout())
        want.push_back("usr/" + f);
    std::sort(want.begin(), want.end());
    EXPECT_EQ(files(root), want);
    std::string usrdata = "/usr/share/horatik/data/";
    std::error_code ec;
    fs::path font = (usrdata / fs::read_symlink(root + usrdata + "times.ttf", ec)).lexically_normal();
    EXPECT_TRUE(readfile(font) == readfile(rundir() + "/data/times.ttf")) << "not the font: " << font;
    EXPECT_EQ(entry(root + "/usr/share/applications/horatik.desktop")["Exec"], "/usr/bin/horatik");
    EXPECT_EQ(readfile(root + "/usr/share/doc/horatik/copyright")
                  .rfind("Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/\n", 0), 0u);

    std::string metainfo = root + "/usr/share/metainfo/" + HX_APPID + ".metainfo.xml";
    EXPECT_EQ(command(box, {"appstreamcli", "validate", "--no-net", metainfo}, &out), 0) << out;
    spawnopts o;
    o.argv = {"man", "--warnings", "-l", root + "/usr/share/man/man1/horatik.1.gz"};
    o.env = {"MANWIDTH=80"};
    o.out = box / "man.txt";
    o.err = box / "man.err";
    EXPECT_TRUE(ok(waitexit(spawn(o), 60)));
    EXPECT_EQ(readfile(box / "man.err"), "");
    std::string page = readfile(box / "man.txt");
    for (const char* s : {"horatik-desktop", "Return (Start)", "Backspace (Select)", "z (X)", "s (Y)", "q, w (L, R)",
                          "a, x (A, B)", "Horatik.dat", "config.conf", "~/.local/share/horatik", "EXIT STATUS"})
        EXPECT_NE(page.find(s), std::string::npos) << s << " not in the manual page:\n" << page;
}

/* Unpacked into a folder, the package's launcher opens the clock's window. */
TEST(Install, UnpackedPackageStartsTheClock)
{
    sandbox box(false);
    std::string deb = debpackage(box), out;
    ASSERT_NE(deb, "");
    std::string root = box / "root", home = box / "home";
    ASSERT_EQ(command(box, {"dpkg-deb", "-x", deb, root}, &out), 0) << out;
    fs::create_directories(home);
    xserver x;
    ASSERT_TRUE(x.ok()) << "Xvfb did not start";

    runopts o;
    o.command = {root + "/usr/bin/horatik"};
    o.x = &x;
    o.unset = {"HOME", "XDG_DATA_HOME", "XDG_CONFIG_HOME"};
    o.env = {"HOME=" + home};
    run r = start(box, o);
    EXPECT_TRUE(x.waitscreen(20)) << "no window\n" << r.stderrtext();
    /* the face, before the close request: SDL drops one that comes while it sets
       the window up (the font link dangles here, so the panel has no text) */
    std::string bgpng = root + "/usr/share/horatik/data/bg.png";
    shot face = x.waitfor([&](const shot& sh) { return backgroundring(sh, bgpng); });
    EXPECT_TRUE(backgroundring(face, bgpng)) << "no clock face";
    EXPECT_EQ(cwdof(r.pid), home + "/.local/share/horatik");
    std::error_code ec;
    EXPECT_EQ(fs::read_symlink(home + "/.local/share/horatik/data/bg.png", ec).string(), bgpng);
    EXPECT_TRUE(x.closerequest());
    exitstatus e = waitexit(r.pid, 10);
    EXPECT_TRUE(ok(e)) << e.str();
    EXPECT_EQ(r.stderrtext(), "");
}
