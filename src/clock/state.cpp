// The clock's state, its settings file "Horatik.dat" and its layout file "config.conf".
#include "clock/state.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "gfx/draw.h"
#include "platform.h"

/* clock and alarm */
int zeitdazu = 86400000;   /* seconds added to the system time: 1000 days, so UTC */
char fest = 1;             /* 1 running, 0 stopped */
int vergangen = 0;         /* seconds counted while stopped */
long long zeit = 0;        /* system time + zeitdazu, this tick */
long long altzeit = 0;     /* zeit of the previous tick */
int hour = 0, min = 0, sec = 0;
int weckzeit[2] = {0, 0};  /* alarm hour 0..23, minute 0..59 */
twecken wecken = weckaus;

/* display switches */
char hilfe = 1;
char digi = 1;
#if HORATIK_HANDHELD
char licht = 1;
#endif

/* face geometry (pixels) and colours */
int zeigerx = 160, zeigery = 120;
int hourradius = 10, minradius = 20, secradius = 20;
int hourradius2 = 70, minradius2 = 90, secradius2 = 90;
int analogx = 119, analogy = 138;
unsigned char hourcol[3], mincol[3], seccol[3];  /* blue, green, red */
unsigned short hourc, minc, secc;

SDL_Color color1, color2;
SDL_Surface* weck = nullptr;
twindow* uhrwindow = nullptr;

static const char settingsfile[] = "Horatik.dat";
static const char layoutfile[] = "config.conf";

/* Little-endian, bytewise: the fields are unaligned, and the console faults on
   unaligned word loads. */
static void put32(unsigned char* p, int v)
{
    uint32_t u = (uint32_t)v;
    for (int i = 0; i < 4; i++)
        p[i] = (unsigned char)(u >> (8 * i));
}

/* Reads the first n (at most 4) bytes of a field over the low bytes of v: a
   field cut short by the end of the file changes only what was read, as a
   short read of the whole field would. */
static int get32(const unsigned char* p, size_t n, int v)
{
    uint32_t u = (uint32_t)v;
    for (size_t i = 0; i < n && i < 4; i++)
        u = (u & ~(0xFFu << (8 * i))) | ((uint32_t)p[i] << (8 * i));
    return (int)u;
}

void packsettings(unsigned char out[settingssize])
{
    put32(out, zeitdazu);
    out[4] = (unsigned char)hilfe;
    put32(out + 5, weckzeit[0]);
    put32(out + 9, weckzeit[1]);
    put32(out + 13, wecken);
}

void unpacksettings(const unsigned char* in, size_t n)
{
    auto part = [&](size_t at) { return n > at ? n - at : 0; };
    if (part(0))
        zeitdazu = get32(in, part(0), zeitdazu);
    if (part(4))
        hilfe = (char)in[4];
    if (part(5))
        weckzeit[0] = get32(in + 5, part(5), weckzeit[0]);
    if (part(9))
        weckzeit[1] = get32(in + 9, part(9), weckzeit[1]);
    if (part(13))
        wecken = twecken(get32(in + 13, part(13), wecken));
}

/* Nineteen numbers, each closed by ";". Every other byte counts as a digit (as
   the format always did, so line breaks inside the list change the values);
   arithmetic wraps modulo 2^32. The end of the file closes the number being
   read, and the numbers after it come out as 0, as after a final ";". */
void readlayout(const unsigned char* text, size_t n)
{
    int v[19];
    size_t at = 0;
    for (int& number : v) {
        uint32_t value = 0;
        while (at < n && text[at] != ';')
            value = value * 10u + (uint32_t)(text[at++] - 48);
        if (at < n)
            at++;  // the ";"
        number = (int)value;
    }
    int* geometry[] = {&zeigerx, &zeigery, &hourradius, &minradius, &secradius,
                       &hourradius2, &minradius2, &secradius2, &analogx, &analogy};
    for (int i = 0; i < 10; i++)
        *geometry[i] = v[i];
    for (int i = 0; i < 3; i++) {
        hourcol[i] = (unsigned char)v[10 + i];
        mincol[i] = (unsigned char)v[13 + i];
        seccol[i] = (unsigned char)v[16 + i];
    }
    hourc = crossedcolour(SDL_Color{hourcol[0], hourcol[1], hourcol[2], 0});
    minc = crossedcolour(SDL_Color{mincol[0], mincol[1], mincol[2], 0});
    secc = crossedcolour(SDL_Color{seccol[0], seccol[1], seccol[2], 0});
}

/* What a save killed before its rename left behind: files of programs that no
   longer run. Another clock's, in the midst of its save, stays. */
static void tidytemps()
{
    DIR* d = opendir(".");
    const size_t n = sizeof settingsfile - 1;
    for (dirent* e; d && (e = readdir(d));) {
        char* end = nullptr;
        const char* name = e->d_name;
        if (std::strncmp(name, settingsfile, n) != 0 || name[n] != '.')
            continue;
        long pid = std::strtol(name + n + 1, &end, 10);
        if (pid > 0 && end && std::strcmp(end, ".tmp") == 0 && pid != (long)getpid() &&
            kill((pid_t)pid, 0) != 0 && errno == ESRCH)
            unlink(name);
    }
    if (d)
        closedir(d);
}

void openuhr()
{
    tidytemps();
    SDL_RWops* f = SDL_RWFromFile(settingsfile, "r");
    if (!f)
        return;  // no settings: the start values, and the layout is not read either
    unsigned char buf[settingssize];
    size_t n = 0;
    while (n < sizeof buf) {
        int got = SDL_RWread(f, buf + n, 1, (int)(sizeof buf - n));
        if (got <= 0)
            break;
        n += (size_t)got;
    }
    SDL_RWclose(f);
    unpacksettings(buf, n);

    f = SDL_RWFromFile(layoutfile, "r");
    if (!f)
        return;
    /* a megabyte holds 19 numbers of any sane length many times over */
    std::vector<unsigned char> text;
    unsigned char chunk[4096];
    int got;
    while (text.size() < (1u << 20) && (got = SDL_RWread(f, chunk, 1, sizeof chunk)) > 0)
        text.insert(text.end(), chunk, chunk + got);
    SDL_RWclose(f);
    if (!text.empty())  // an empty file counts as none
        readlayout(text.data(), text.size());
}

static bool writeall(int fd, const unsigned char* p, size_t n)
{
    while (n > 0) {
        ssize_t w = write(fd, p, n);
        if (w < 0)
            return false;
        p += w;
        n -= (size_t)w;
    }
    return true;
}

/* A crash, a kill, a full disk or a pulled battery leaves either the old or the
   new file, never a short one. The temporary name is the process's own, so that
   two programs saving at once never write into each other's. */
bool replacefile(const char* path, const void* data, size_t n, int mode)
{
    char temp[4096];
    if (std::snprintf(temp, sizeof temp, "%s.%ld.tmp", path, (long)getpid()) >= (int)sizeof temp) {
        errno = ENAMETOOLONG;
        return false;
    }
    int fd = open(temp, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, mode);
    if (fd < 0)
        return false;
    bool ok = writeall(fd, static_cast<const unsigned char*>(data), n) && fsync(fd) == 0;
    ok = close(fd) == 0 && ok;
    if (ok && rename(temp, path) == 0)
        return true;
    int e = errno;
    unlink(temp);
    errno = e;
    return false;
}

/* A save that cannot be done is skipped; the old file stays whole. */
void saveuhr()
{
    if (wecken == weckstellen)
        wecken = weckaus;  // a save ends an alarm setting without arming it
    unsigned char buf[settingssize];
    packsettings(buf);
    if (!replacefile(settingsfile, buf, sizeof buf, 0666))
        return;
    if (handheld) {
        /* the card is FAT: make the rename itself durable before the power goes */
        int dir = open(".", O_RDONLY | O_CLOEXEC);
        if (dir >= 0) {
            fsync(dir);
            close(dir);
        }
        sync();
    }
    startatlogin(wecken == weckscharf);
}
