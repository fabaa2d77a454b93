// The login entry: written while the settings hold an armed alarm, gone otherwise, the user's own left alone.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

#include "main/autostart.h"

namespace {

std::string launcher = "/opt/my \"clock\" $1/bin/horatik";
std::string fakelauncher() { return launcher; }
std::string notinstalled() { return ""; }

std::string readall(const std::string& path)
{
    std::ifstream in(path);
    std::stringstream s;
    s << in.rdbuf();
    return in ? s.str() : "(none)";
}

struct Autostart : ::testing::Test {
    std::string dir, entry;
    void SetUp() override
    {
        char tmpl[] = "/tmp/hxautostartXXXXXX";
        ASSERT_TRUE(mkdtemp(tmpl));
        dir = tmpl;
        setenv("XDG_CONFIG_HOME", (dir + "/config").c_str(), 1);
        entry = dir + "/config/autostart/horatik.desktop";
        findlauncher = fakelauncher;
    }
    void TearDown() override { std::system(("rm -rf " + dir).c_str()); }
};

}  // namespace

/* Armed: an entry that starts the launcher, its path quoted for the desktop, the
   folders made; written again only when it differs; disarmed, gone. A clock
   that is not installed touches nothing. */
TEST_F(Autostart, FollowsTheArmedAlarm)
{
    startatlogin(false);
    EXPECT_EQ(readall(entry), "(none)");
    startatlogin(true);
    std::string e = readall(entry);
    EXPECT_NE(e.find("\nExec=\"/opt/my \\\\\"clock\\\\\" \\\\$1/bin/horatik\"\n"), std::string::npos) << e;
    EXPECT_NE(e.find("\nTryExec=/opt/my \"clock\" $1/bin/horatik\n"), std::string::npos) << e;
    EXPECT_EQ(e.rfind("[Desktop Entry]\nType=Application\n", 0), 0u) << e;
    struct stat a {}, b {};
    ASSERT_EQ(stat(entry.c_str(), &a), 0);
    EXPECT_EQ(a.st_mode & 0777, 0644u);
    struct stat folder {};
    ASSERT_EQ(stat((dir + "/config").c_str(), &folder), 0);
    EXPECT_EQ(folder.st_mode & 0777, 0700u);
    startatlogin(true);
    ASSERT_EQ(stat(entry.c_str(), &b), 0);
    EXPECT_EQ(a.st_ino, b.st_ino) << "written again unchanged";
    startatlogin(false);
    EXPECT_EQ(readall(entry), "(none)");

    findlauncher = notinstalled;
    startatlogin(true);
    EXPECT_EQ(readall(entry), "(none)") << "a clock from its build folder";
}

/* An entry of the user's own, or one of ours they switched off, stays as it
   is either way; one the clock cannot write says so once. */
TEST_F(Autostart, LeavesTheUsersEntriesAndSaysOnceWhatItCannot)
{
    startatlogin(true);
    const std::string ours = readall(entry);
    for (const std::string& theirs : {std::string("[Desktop Entry]\nType=Application\nExec=horatik\n"),
                                      ours + "Hidden=true\n", ours + "X-GNOME-Autostart-enabled=false\n"}) {
        std::ofstream(entry) << theirs;
        startatlogin(true);
        EXPECT_EQ(readall(entry), theirs);
        startatlogin(false);
        EXPECT_EQ(readall(entry), theirs);
    }
    unlink(entry.c_str());
    rmdir((dir + "/config/autostart").c_str());
    std::ofstream(dir + "/config/autostart") << "a file where the folder goes\n";
    ::testing::internal::CaptureStderr();
    startatlogin(true);
    startatlogin(false);
    startatlogin(true);
    std::string said = ::testing::internal::GetCapturedStderr();
    EXPECT_EQ(said.rfind("Couldn't start the clock at login for the alarm: " + entry + ": ", 0), 0u) << said;
    EXPECT_EQ(std::count(said.begin(), said.end(), '\n'), 1) << said;
}
