// Start-up and shutdown of the real programs: exit codes and what reaches standard error.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "support/surface.h"

namespace {

struct result {
    int code = -1;       // exit code, or -1 when killed by a signal
    std::string err;     // standard error
};

/* A cross build's emulator (HX_EMULATOR, its words split at spaces) followed by the
   program: there the kernel cannot start the target's programs by itself. */
std::vector<std::string> command(const std::string& path)
{
    std::vector<std::string> words;
    const char* emulator = std::getenv("HX_EMULATOR");
    std::istringstream in(emulator ? emulator : "");
    for (std::string w; in >> w;)
        words.push_back(w);
    words.push_back(path);
    return words;
}

/* Whether the process has a handler for SIGTERM, from /proc: SDL sets one up in
   its start-up, and until then SIGTERM would kill the program, not ask it to quit. */
bool catchesterm(pid_t pid)
{
    std::ifstream in("/proc/" + std::to_string(pid) + "/status");
    for (std::string line; std::getline(in, line);)
        if (line.rfind("SigCgt:", 0) == 0)
            return (std::stoull(line.substr(7), nullptr, 16) >> (SIGTERM - 1)) & 1;
    return false;
}

/* Runs a program of the runtime folder in a fresh working folder with the given
   environment; "seconds" after it is ready it asks the program to quit (SIGTERM,
   which SDL turns into a quit request) unless it ended by itself. Ready means that
   it catches SIGTERM; an emulator catches every signal itself from the start, so
   under one only a longer wait helps (a busy machine slows it many times). */
result run(const std::string& program, std::vector<std::string> env, double seconds,
           bool withdata = true)
{
    char tmpl[] = "/tmp/hxstartXXXXXX";
    std::string dir = mkdtemp(tmpl);
    std::string data = rundir() + "/data";
    if (withdata) {
        EXPECT_EQ(symlink(data.c_str(), (dir + "/data").c_str()), 0);
    }
    std::vector<std::string> cmd = command(rundir() + "/" + program);
    std::vector<char*> argv;
    for (auto& w : cmd)
        argv.push_back(&w[0]);
    argv.push_back(nullptr);
    int err[2];
    EXPECT_EQ(pipe(err), 0);
    pid_t pid = fork();
    if (pid == 0) {
        dup2(err[1], 2);
        close(err[0]);
        if (chdir(dir.c_str()) != 0)
            _exit(99);
        std::vector<char*> envp;
        env.push_back("PATH=/usr/bin:/bin");
        /* a sanitizer build's options, its leak suppressions among them */
        for (const char* name : {"ASAN_OPTIONS", "LSAN_OPTIONS", "UBSAN_OPTIONS"})
            if (const char* v = std::getenv(name))
                env.push_back(std::string(name) + "=" + v);
        for (auto& e : env)
            envp.push_back(&e[0]);
        envp.push_back(nullptr);
        execve(argv[0], argv.data(), envp.data());
        _exit(98);
    }
    close(err[1]);
    result r;
    int status = 0;
    if (std::getenv("HX_EMULATOR"))
        seconds += 10;
    else
        for (int waited = 0; waited < 2000 && !catchesterm(pid); waited++) {
            if (waitpid(pid, &status, WNOHANG) == pid)
                goto done;
            usleep(10000);
        }
    for (int waited = 0; waited < seconds * 100; waited++) {
        if (waitpid(pid, &status, WNOHANG) == pid)
            goto done;
        usleep(10000);
    }
    kill(pid, SIGTERM);
    for (int waited = 0; waited < 1000; waited++) {
        if (waitpid(pid, &status, WNOHANG) == pid)
            goto done;
        usleep(10000);
    }
    kill(pid, SIGKILL);
    waitpid(pid, &status, 0);
done:
    char buf[512];
    ssize_t n;
    while ((n = read(err[0], buf, sizeof buf)) > 0)
        r.err.append(buf, (size_t)n);
    close(err[0]);
    r.code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    std::system(("rm -rf " + dir).c_str());
    return r;
}

const std::vector<std::string> headless = {"SDL_VIDEODRIVER=dummy", "SDL_AUDIODRIVER=dummy"};

}  // namespace

TEST(Startup, SdlThatCannotStartEndsWithOne)
{
    for (const char* program : {"horatik-desktop", "horatik-gp2x"}) {
        result r = run(program, {"SDL_VIDEODRIVER=nosuchdriver", "SDL_AUDIODRIVER=dummy"}, 5);
        EXPECT_EQ(r.code, 1) << program;
        EXPECT_EQ(r.err.rfind("Couldn't initialize SDL: ", 0), 0u) << program << ": " << r.err;
        EXPECT_EQ(r.err.back(), '\n');
    }
}

TEST(Startup, MixerThatCannotOpenEndsWithTwoSilently)
{
    for (const char* program : {"horatik-desktop", "horatik-gp2x"}) {
        result r = run(program,
                       {"SDL_VIDEODRIVER=dummy", "SDL_AUDIODRIVER=disk",
                        "SDL_DISKAUDIOFILE=/nonexistent/folder/out.raw"},
                       5);
        EXPECT_EQ(r.code, 2) << program;
        EXPECT_EQ(r.err.find("Couldn't"), std::string::npos) << program << ": " << r.err;
    }
}

TEST(Startup, QuitRequestEndsWithZero)
{
    // The handheld program's hand-over to the console's menu fails here and the
    // process still ends normally.
    for (const char* program : {"horatik-desktop", "horatik-gp2x"}) {
        result r = run(program, headless, 1.5);
        EXPECT_EQ(r.code, 0) << program << ": " << r.err;
        EXPECT_EQ(r.err, "") << program;
    }
}

TEST(Startup, MissingDataStillRuns)
{
    // Without pictures, sound and font the clock starts, runs and ends normally.
    for (const char* program : {"horatik-desktop", "horatik-gp2x"}) {
        result r = run(program, headless, 1.5, false);
        EXPECT_EQ(r.code, 0) << program;
        EXPECT_EQ(r.err, "") << program;
    }
}
