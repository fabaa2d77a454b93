// The installed desktop clock starts at login while an alarm is armed: an entry in the user's autostart folder.
#include "main/autostart.h"

#include "clock/state.h"

#include <fcntl.h>
#include <limits.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>

/* The launcher makes and enters $XDG_DATA_HOME/horatik (~/.local/share/horatik):
   only a clock there is the one the entry starts. */
static std::string installedlauncher()
{
    char exe[PATH_MAX];
    ssize_t n = readlink("/proc/self/exe", exe, sizeof exe - 1);
    if (n <= 0)
        return "";
    exe[n] = 0;
    std::string launcher = std::string(exe, std::strrchr(exe, '/') - exe) + "/horatik";
    const char* data = std::getenv("XDG_DATA_HOME");
    const char* home = std::getenv("HOME");
    std::string folder = data && data[0] == '/' ? std::string(data) + "/horatik"
                         : home && *home     ? std::string(home) + "/.local/share/horatik"
                                             : "";
    char here[PATH_MAX], there[PATH_MAX];
    if (access(launcher.c_str(), X_OK) != 0 || folder.empty() || !getcwd(here, sizeof here) ||
        !realpath(folder.c_str(), there) || std::strcmp(here, there) != 0)
        return "";
    return launcher;
}

/* variables */
std::string (*findlauncher)() = installedlauncher;
static bool told;  /* the one line said about a folder that cannot be written */

/* the marker of an entry the clock wrote */
static const char ours[] = "X-Horatik-Alarm=true";

static std::string autostartfolder()
{
    const char* config = std::getenv("XDG_CONFIG_HOME");
    const char* home = std::getenv("HOME");
    if (config && config[0] == '/')
        return std::string(config) + "/autostart";
    if (home && *home)
        return std::string(home) + "/.config/autostart";
    return "";
}

/* The launcher as an argument of Exec: quoted, with what the quotes and the
   string's own escapes would take otherwise escaped twice over. */
static std::string execarg(const std::string& path)
{
    std::string q = "\"";
    for (char c : path) {
        if (c == '"' || c == '`' || c == '$' || c == '\\')
            q += "\\\\";
        if (c == '%')
            q += '%';
        q += c;
    }
    return q + "\"";
}

static std::string escaped(const std::string& s)
{
    std::string e;
    for (char c : s)
        e += c == '\\' ? std::string("\\\\") : std::string(1, c);
    return e;
}

static std::string entryfor(const std::string& launcher)
{
    return "[Desktop Entry]\n"
           "Type=Application\n"
           "Version=1.4\n"
           "Name=Horatik\n"
           "Comment=Starts the alarm clock at login while an alarm is armed\n"
           "Comment[de]=Startet den Wecker bei der Anmeldung, solange eine Weckzeit gestellt ist\n"
           "Icon=horatik\n"
           "TryExec=" + escaped(launcher) + "\n"
           "Exec=" + execarg(launcher) + "\n"
           "Terminal=false\n" +
           std::string(ours) + "\n";
}

static void say(const std::string& what)
{
    if (told)
        return;
    told = true;
    std::fprintf(stderr, "Couldn't start the clock at login for the alarm: %s: %s\n", what.c_str(),
                 std::strerror(errno));
}

/* The folder and those above it, as the base directories want them made */
static bool makefolder(const std::string& dir)
{
    for (size_t at = 1; at != std::string::npos;) {
        at = dir.find('/', at + 1);
        std::string part = dir.substr(0, at);
        if (mkdir(part.c_str(), 0700) != 0 && errno != EEXIST)
            return false;
    }
    return true;
}

/* A new entry replaces the old at once, and only whole: a power cut leaves one or the other. */
static bool writeentry(const std::string& dir, const std::string& path, const std::string& text)
{
    return makefolder(dir) && replacefile(path.c_str(), text.data(), text.size(), 0644);
}

void startatlogin(bool armed)
{
    std::string launcher = findlauncher();
    std::string dir = autostartfolder();
    if (launcher.empty() || dir.empty())
        return;
    std::string path = dir + "/horatik.desktop";
    std::ifstream in(path);
    std::string had;
    if (in) {
        std::stringstream all;
        all << in.rdbuf();
        had = all.str();
        /* the user's own, or one they switched off */
        auto has = [&](const char* line) {
            return ("\n" + had).find("\n" + std::string(line) + "\n") != std::string::npos;
        };
        if (!has(ours) || has("Hidden=true") || has("X-GNOME-Autostart-enabled=false"))
            return;
    }
    if (armed) {
        std::string want = entryfor(launcher);
        if (had != want && !writeentry(dir, path, want))
            say(path);
    } else if (!had.empty() && unlink(path.c_str()) != 0 && errno != ENOENT) {
        say(path);
    }
}
