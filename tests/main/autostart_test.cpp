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

/* Armed: an entry that starts the launcher, quoted for the desktop, in folders
   made as the base directories want them, written again only when it differs;
   disarmed, gone. An entry of the user's own, or one of ours they switched off,
   stays either way; a clock that is not installed touches nothing; one that
   cannot write says so once. */
TEST_F(Autostart, FollowsTheArmedAlarmAndLeavesTheUsersAlone)
{
    startatlogin(true);
    const std::string ours = readall(entry);
    EXPECT_EQ(ours.rfind("[Desktop Entry]\nType=Application\n", 0), 0u) << ours;
    EXPECT_NE(ours.find("\nExec=\"/opt/my \\\\\"clock\\\\\" \\\\$1/bin/horatik\"\n"), std::string::npos) << ours;
    EXPECT_NE(ours.find("\nTryExec=/opt/my \"clock\" $1/bin/horatik\n"), std::string::npos) << ours;
    struct stat a {}, b {}, folder {};
    ASSERT_EQ(stat(entry.c_str(), &a), 0);
    ASSERT_EQ(stat((dir + "/config").c_str(), &folder), 0);
    EXPECT_EQ(folder.st_mode & 0777, 0700u);
    startatlogin(true);
    ASSERT_EQ(stat(entry.c_str(), &b), 0);
    EXPECT_EQ(a.st_ino, b.st_ino) << "written again unchanged";
    startatlogin(false);
    EXPECT_EQ(readall(entry), "(none)");

    for (const std::string& theirs : {std::string("[Desktop Entry]\nType=Application\nExec=horatik\n"),
                                      ours + "Hidden=true\n", ours + "X-GNOME-Autostart-enabled=false\n"}) {
        std::ofstream(entry) << theirs;
        for (bool armed : {true, false}) {
            startatlogin(armed);
            EXPECT_EQ(readall(entry), theirs);
        }
    }
    unlink(entry.c_str());
    findlauncher = notinstalled;
    startatlogin(true);
    EXPECT_EQ(readall(entry), "(none)") << "a clock from its build folder";

    findlauncher = fakelauncher;
    rmdir((dir + "/config/autostart").c_str());
    std::ofstream(dir + "/config/autostart") << "a file where the folder goes\n";
    ::testing::internal::CaptureStderr();
    for (bool armed : {true, false, true})
        startatlogin(armed);
    std::string said = ::testing::internal::GetCapturedStderr();
    EXPECT_EQ(said.rfind("Couldn't start the clock at login for the alarm: " + entry + ": ", 0), 0u) << said;
    EXPECT_EQ(std::count(said.begin(), said.end(), '\n'), 1) << said;
}
