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
static bool told;     /* the one line said about a folder that cannot be written */
static int wasarmed = -1;  /* at the last call: 1 or 0; -1 before the first, at start */

/* the marker of an entry the clock wrote */
static const char ourkey[] = "X-Horatik-Alarm";
/* Beside the settings, in the clock's own folder: present while the entry was
   written (or found the user's) for the alarm armed now. An entry that is gone
   then was removed by the user, and stays so until the alarm is armed anew. The
   file goes with the settings it speaks of, which the same folder holds. */
static const char writtenfor[] = ".autostart-written";

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

/* The launcher as the argument of Exec, a string whose own escapes are undone
   before the command line's quoting: inside the quotes " ` $ \ take a
   backslash, and each backslash is written twice ("\" is four of them). */
static std::string execarg(const std::string& path)
{
    std::string q = "\"";
    for (char c : path) {
        if (c == '\\')
            q += "\\\\\\\\";
        else if (c == '"' || c == '`' || c == '$')
            q += std::string("\\\\") + c;
        else if (c == '%')
            q += "%%";
        else
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
           std::string(ourkey) + "=true\n";
}

/* The value of key in the entry's [Desktop Entry] group, as the format reads
   it: spaces around "=" ignored, the last line with or without its newline. */
static std::string valueof(const std::string& entry, const std::string& key)
{
    auto trim = [](std::string t) {
        size_t a = t.find_first_not_of(" \t\r"), b = t.find_last_not_of(" \t\r");
        return a == std::string::npos ? std::string() : t.substr(a, b - a + 1);
    };
    std::istringstream in(entry);
    bool main = false;
    for (std::string line; std::getline(in, line);) {
        line = trim(line);
        if (line.empty() || line[0] == '#')
            continue;
        if (line[0] == '[') {
            main = line == "[Desktop Entry]";
            continue;
        }
        size_t eq = line.find('=');
        if (main && eq != std::string::npos && trim(line.substr(0, eq)) == key)
            return trim(line.substr(eq + 1));
    }
    return "";
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

static void remember(bool written)
{
    if (written)
        close(open(writtenfor, O_WRONLY | O_CREAT | O_CLOEXEC, 0644));
    else
        unlink(writtenfor);
}

void startatlogin(bool armed)
{
    /* written when the alarm is armed, and at start where it was written for
       this arming and is still there, or was never written for it */
    bool arming = armed && wasarmed != 1 && (wasarmed == 0 || access(writtenfor, F_OK) != 0);
    wasarmed = armed;
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
        /* the user's own, or one they switched off: theirs, also once they remove it */
        if (valueof(had, ourkey) != "true" || valueof(had, "Hidden") == "true" ||
            valueof(had, "X-GNOME-Autostart-enabled") == "false") {
            remember(armed);
            return;
        }
    }
    if (armed && (arming || !had.empty())) {
        std::string want = entryfor(launcher);
        if (had != want && !writeentry(dir, path, want))
            say(path);
        else
            remember(true);
    } else if (!armed) {
        if (!had.empty() && unlink(path.c_str()) != 0 && errno != ENOENT)
            say(path);
        remember(false);
    }
}
