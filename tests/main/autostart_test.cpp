// The login entry: written as an alarm is armed, gone when it is off, the user's own choices kept across starts.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "main/autostart.h"

namespace {

std::string launcher = "/opt/my \"clock\" $1\\bin/horatik";
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
    char here[4096];
    void SetUp() override
    {
        char tmpl[] = "/tmp/hxautostartXXXXXX";
        ASSERT_TRUE(mkdtemp(tmpl));
        dir = tmpl;
        setenv("XDG_CONFIG_HOME", (dir + "/config").c_str(), 1);
        entry = dir + "/config/autostart/horatik.desktop";
        findlauncher = fakelauncher;
        /* the clock's own folder, where it remembers what it wrote */
        ASSERT_TRUE(getcwd(here, sizeof here));
        ASSERT_EQ(chdir(dir.c_str()), 0);
    }
    void TearDown() override
    {
        EXPECT_EQ(chdir(here), 0);
        std::system(("rm -rf " + dir).c_str());
    }

    /* One run of the clock, in a process of its own as each start is: a start
       ("start armed", "start off"), then saves ("save armed", "save off"), and
       what the user does meanwhile ("delete"); the entry as each step left it. */
    std::vector<std::string> run(const std::vector<std::string>& steps)
    {
        int p[2];
        if (pipe(p) != 0)
            return {};
        pid_t child = fork();
        if (child == 0) {
            close(p[0]);
            for (const std::string& s : steps) {
                if (s == "delete")
                    unlink(entry.c_str());
                else
                    startatlogin(s.find("armed") != std::string::npos);
                std::string now = readall(entry) + '\0';
                if (write(p[1], now.data(), now.size()) != (ssize_t)now.size())
                    _exit(1);
            }
            _exit(0);
        }
        close(p[1]);
        std::string all;
        char buf[4096];
        for (ssize_t n; (n = read(p[0], buf, sizeof buf)) > 0;)
            all.append(buf, (size_t)n);
        close(p[0]);
        waitpid(child, nullptr, 0);
        std::vector<std::string> v;
        for (size_t at = 0, end; (end = all.find('\0', at)) != std::string::npos; at = end + 1)
            v.push_back(all.substr(at, end - at));
        return v;
    }
};

}  // namespace

/* Across starts: the entry written as the alarm is armed (Exec quoted as the
   Desktop Entry format says: \ " ` $ escaped inside the quotes, each backslash
   written twice), removed when it is off. Switched off by the user as the
   format allows (spaces around "=", no final newline), or the user's own: left
   alone. Deleted by the user while armed: not written again at a save or the
   next start, only at the next arming. */
TEST_F(Autostart, KeepsTheUsersChoicesAcrossStarts)
{
    const std::string exec = "\nExec=\"/opt/my \\\\\"clock\\\\\" \\\\$1\\\\\\\\bin/horatik\"\n";
    const std::string tryexec = "\nTryExec=/opt/my \"clock\" $1\\\\bin/horatik\n";
    const std::string ours = "[Desktop Entry]\nType=Application\nExec=x\nX-Horatik-Alarm=true\n";
    struct {
        const char* what;
        std::string before;  /* the entry before the first start */
        /* runs of steps, and the entry after each: "ours", "(none)", "before" */
        std::vector<std::vector<std::pair<std::string, std::string>>> runs;
    } cases[] = {
        {"armed, then off", "",
         {{{"start armed", "ours"}, {"save armed", "ours"}, {"save off", "(none)"}},
          {{"start off", "(none)"}, {"save armed", "ours"}}}},
        {"Hidden = true, no final newline", ours + "Hidden = true",
         {{{"start armed", "before"}, {"save off", "before"}, {"save armed", "before"}}}},
        {"X-GNOME-Autostart-enabled=false", ours + "X-GNOME-Autostart-enabled=false\n",
         {{{"start armed", "before"}, {"save off", "before"}, {"save armed", "before"}}}},
        {"the user's own", "[Desktop Entry]\nType=Application\nExec=horatik\n",
         {{{"start armed", "before"}, {"save off", "before"}}}},
        {"deleted while armed", "",
         {{{"start armed", "ours"}, {"delete", "(none)"}, {"save armed", "(none)"}},
          {{"start armed", "(none)"}, {"save armed", "(none)"}, {"save off", "(none)"}, {"save armed", "ours"}},
          {{"start armed", "ours"}}}},
        {"the user's own, deleted while armed", "[Desktop Entry]\nExec=horatik\n",
         {{{"start armed", "before"}, {"delete", "(none)"}}, {{"start armed", "(none)"}}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        std::system(("rm -rf " + dir + "/config " + dir + "/.autostart-written").c_str());
        if (!c.before.empty()) {
            mkdir((dir + "/config").c_str(), 0700);
            mkdir((dir + "/config/autostart").c_str(), 0700);
            std::ofstream(entry) << c.before;
        }
        int n = 0;
        for (const auto& steps : c.runs) {
            std::vector<std::string> names;
            for (const auto& s : steps)
                names.push_back(s.first);
            std::vector<std::string> got = run(names);
            ASSERT_EQ(got.size(), steps.size());
            for (size_t i = 0; i < steps.size(); i++) {
                SCOPED_TRACE("run " + std::to_string(n) + ", " + steps[i].first);
                const std::string& want = steps[i].second;
                if (want == "ours") {
                    EXPECT_EQ(got[i].rfind("[Desktop Entry]\nType=Application\n", 0), 0u) << got[i];
                    EXPECT_NE(got[i].find(exec), std::string::npos) << got[i];
                    EXPECT_NE(got[i].find(tryexec), std::string::npos) << got[i];
                } else {
                    EXPECT_EQ(got[i], want == "before" ? c.before : want);
                }
            }
            n++;
        }
    }
}

/* Written in folders made as the base directories want them, and again only
   when it differs; a clock that is not installed touches nothing; one that
   cannot write says so once. */
TEST_F(Autostart, WritesOnlyWhatChangedAndSaysOnceWhereItCannot)
{
    startatlogin(true);
    struct stat a {}, b {}, folder {};
    ASSERT_EQ(stat(entry.c_str(), &a), 0);
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

    findlauncher = fakelauncher;
    startatlogin(false);
    rmdir((dir + "/config/autostart").c_str());
    std::ofstream(dir + "/config/autostart") << "a file where the folder goes\n";
    ::testing::internal::CaptureStderr();
    for (bool armed : {true, false, true})
        startatlogin(armed);
    std::string said = ::testing::internal::GetCapturedStderr();
    EXPECT_EQ(said.rfind("Couldn't start the clock at login for the alarm: " + entry + ": ", 0), 0u) << said;
    EXPECT_EQ(std::count(said.begin(), said.end(), '\n'), 1) << said;
}
