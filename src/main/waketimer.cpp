// The wake timer through the helper horatik-wake, the only program given CAP_WAKE_ALARM.
#include "main/waketimer.h"
#include "wake/request.h"

#include <fcntl.h>
#include <limits.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

/* The clock itself carries no capability: one would make it undumpable and put
   it in the C library's secure mode, and the desktop's portal would no longer
   trust it. A helper started at the first alarm that wants a wake timer holds
   it; the clock tells it each new second on a socket that never blocks the
   loop, and it answers once whether it could make its timer. */
enum thelper {
    nohelper,   /* none started since the last end */
    starting,   /* started, its answer not yet read */
    keeping,    /* it made its timer and keeps what it was sent */
    without,    /* no wake timer to be had: said once, not asked again */
};

/* variables */
std::vector<std::string> wakecommand;
pid_t wakehelper = -1;
static thelper helper = nohelper;
static std::string helpername;     /* the helper's program, for what is said */
static int wakesocket = -1;        /* the clock's end, -1 for none */
static long long waketimerat = -1; /* the second last asked for, -1 for none */
static std::string unsent;         /* the end of a line the socket took only in part */
static std::string heard;          /* what the helper said, up to its line's end */

/* horatik-wake beside the program, else where the install put it: the same way
   from the program's folder (the tree may be moved), or the path it was built for */
static std::string helperpath()
{
    char exe[PATH_MAX];
    ssize_t n = readlink("/proc/self/exe", exe, sizeof exe - 1);
    if (n <= 0)
        return HX_WAKE_INSTALLED;
    exe[n] = 0;
    std::string dir(exe, std::strrchr(exe, '/') - exe);
    if (access((dir + "/horatik-wake").c_str(), X_OK) == 0)
        return dir + "/horatik-wake";
    std::string rel = HX_WAKE_FROM_BIN;
    while (rel.compare(0, 3, "../") == 0 && dir.rfind('/') != std::string::npos) {
        dir.erase(dir.rfind('/'));
        rel.erase(0, 3);
    }
    return dir + "/" + rel;
}

static void giveup(const std::string& why)
{
    std::fprintf(stderr, "Couldn't set a timer to wake the machine for the alarm: %s\n", why.c_str());
    helper = without;
}

/* The helper with a socket as its fds 0 and 1 and nothing of the clock's
   environment; posix_spawn, as the sound thread runs beside. */
static void starthelper()
{
    std::vector<std::string> argv = wakecommand;
    if (argv.empty())
        argv.push_back(helperpath());
    helpername = argv.back();
    std::vector<char*> args;
    for (std::string& a : argv)
        args.push_back(a.data());
    args.push_back(nullptr);
    char* noenv[] = {nullptr};
    int pair[2];
    if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, pair) != 0) {
        giveup(std::strerror(errno));
        return;
    }
    /* dup2 onto itself would leave close-on-exec set (a clock started without fd 0 or 1) */
    if (pair[1] < 2) {
        int moved = fcntl(pair[1], F_DUPFD_CLOEXEC, 3);
        close(pair[1]);
        pair[1] = moved;
    }
    int r = EMFILE;
    pid_t pid = -1;
    if (pair[1] >= 0) {
        posix_spawn_file_actions_t files;
        posix_spawnattr_t attr;
        sigset_t none;
        sigemptyset(&none);
        posix_spawn_file_actions_init(&files);
        posix_spawn_file_actions_adddup2(&files, pair[1], 0);
        posix_spawn_file_actions_adddup2(&files, pair[1], 1);
        posix_spawnattr_init(&attr);
        posix_spawnattr_setsigmask(&attr, &none);
        posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSIGMASK);
        r = posix_spawn(&pid, args[0], &files, &attr, args.data(), noenv);
        posix_spawn_file_actions_destroy(&files);
        posix_spawnattr_destroy(&attr);
        close(pair[1]);
    }
    if (r != 0) {
        close(pair[0]);
        giveup(helpername + ": " + std::strerror(r));
        return;
    }
    wakehelper = pid;
    wakesocket = pair[0];
    helper = starting;
}

/* The helper reaped, once the end of its socket has ended it; one that does not
   end at once (stopped, say) is killed. */
static void endhelper()
{
    if (wakesocket >= 0)
        close(wakesocket);
    wakesocket = -1;
    if (wakehelper > 0) {
        int status;
        pid_t w = 0;
        for (int i = 0; i < 50 && (w = waitpid(wakehelper, &status, WNOHANG)) == 0; i++) {
            timespec t = {0, 2000000};
            nanosleep(&t, nullptr);
        }
        if (w == 0) {
            kill(wakehelper, SIGKILL);
            waitpid(wakehelper, &status, 0);
        }
    }
    wakehelper = -1;
    unsent.clear();
    heard.clear();
}

/* What the helper said since: "0" once its timer is made, else an error's
   number, once, before it ends; then the end of its socket. */
static void listen()
{
    char buf[64];
    ssize_t n = 0;
    while (heard.size() < 64 && (n = recv(wakesocket, buf, sizeof buf, MSG_DONTWAIT)) > 0)
        heard.append(buf, (size_t)n);
    bool gone = heard.size() >= 64 || n == 0 || (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR);
    for (size_t end; (end = heard.find('\n')) != std::string::npos; heard.erase(0, end + 1)) {
        int error = -1;
        if (end > 0 && end < 6 && heard.find_first_not_of("0123456789") == end)
            error = std::atoi(heard.substr(0, end).c_str());
        if (error == 0 && helper == starting) {
            helper = keeping;
        } else {
            endhelper();
            giveup(error > 0 ? std::strerror(error) : helpername + " said something else");
            return;
        }
    }
    if (gone) {
        endhelper();
        giveup(helpername + " ended");
    }
}

void setwaketimer(long long at)
{
    if (helper == nohelper && at >= 0)
        starthelper();
    if (helper == starting || helper == keeping)
        listen();
    if (helper != starting && helper != keeping)
        return;
    if (unsent.empty() && at != waketimerat) {
        char line[wakelinemax];
        unsent.assign(line, wakeline(at, line));
        waketimerat = at;
    }
    if (unsent.empty())
        return;
    /* a socket that takes nothing now (a helper that stopped reading) is tried
       again at the next call, a later second then after this one */
    ssize_t n = send(wakesocket, unsent.data(), unsent.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
    if (n > 0) {
        unsent.erase(0, (size_t)n);
    } else if (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) {
        int error = errno;
        listen();  // what it said before it went
        if (helper == starting || helper == keeping) {
            endhelper();
            giveup(helpername + ": " + std::strerror(error));
        }
    }
}

void endwaketimer()
{
    endhelper();
    helper = nohelper;
    waketimerat = -1;
}
