// The desktop program keeps the machine awake while an alarm is armed: a suspend
// inhibition on the session bus, and a timer that wakes a sleeping machine for it.
#include "main/awake.h"

#include <sys/timerfd.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <ctime>
#include <string>

#include "main/variant.h"

#if HORATIK_SDBUS
#include <systemd/sd-bus.h>
#endif

static int alarmtimer()
{
    return timerfd_create(CLOCK_REALTIME_ALARM, TFD_CLOEXEC | TFD_NONBLOCK);
}

/* variables */
int (*openwaketimer)() = alarmtimer;
int waketimer = -1;               /* the wake timer, -1 for none */
static long long waketimerat = -1; /* system time it is set to, -1 for none */
static bool waketimerrefused;     /* the system gives none (no CAP_WAKE_ALARM): not asked again */
static bool wasarmed;             /* the alarm state of the last call */
static int armedhh, armedmm;      /* and its time */

/* Where the kernel allows it (CAP_WAKE_ALARM), a machine that sleeps through the
   alarm's second is woken then, and the clock's catch-up rings at once. */
static void setwaketimer(long long at)
{
    if (at == waketimerat)
        return;
    waketimerat = at;
    if (at < 0) {
        if (waketimer >= 0)
            close(waketimer);
        waketimer = -1;
        return;
    }
    if (waketimer < 0 && !waketimerrefused) {
        waketimer = openwaketimer();
        waketimerrefused = waketimer < 0;
    }
    itimerspec when{};
    when.it_value.tv_sec = (time_t)at;
    if (waketimer >= 0 && timerfd_settime(waketimer, TFD_TIMER_ABSTIME, &when, nullptr) != 0) {
        close(waketimer);
        waketimer = -1;
    }
}

#if HORATIK_SDBUS
/* The inhibition, asked of the desktop portal first and of the older
   org.freedesktop.ScreenSaver where no portal answers. Every call is
   asynchronous: the answer is read when the bus's descriptor wakes the loop's
   wait, so a slow or missing service never holds back a frame. */
enum tinhibit {
    notheld,          /* nothing held or asked */
    askingportal,     /* the portal's Inhibit sent, its answer awaited */
    askingsaver,      /* the same of ScreenSaver's */
    heldbyportal,     /* held; Close on the portal's request object ends it */
    heldbysaver,      /* held; UnInhibit with the cookie ends it */
};

/* variables */
static sd_bus* bus;               /* the session bus, opened when an alarm is first armed */
static sd_bus_slot* asking;       /* the call whose answer is awaited */
static tinhibit inhibit = notheld;
static std::string wanted;        /* the reason an inhibition is wanted for, "" for none */
static std::string heldfor;       /* the reason of what is held or asked */
static std::string refusedfor;    /* the reason no service would take: not asked again */
static std::string request;       /* the portal's request object while it holds */
static uint32_t cookie;           /* ScreenSaver's while it holds */
static unsigned tokens;           /* handle tokens used, for the next request's name */
static bool portalsaidno;         /* the portal ended the request asked for before answering */
static bool told;                 /* the one line said when nothing would take it */

static constexpr uint64_t answerus = 500000;  /* a service's time to answer */
static const char portal[] = "org.freedesktop.portal.Desktop";
static const char saver[] = "org.freedesktop.ScreenSaver";

static void settle();

/* The object the portal makes for a request with this token, known before it
   answers: one that answers too late is closed all the same. */
static std::string requestpath(unsigned token)
{
    const char* me = nullptr;
    if (sd_bus_get_unique_name(bus, &me) < 0 || !me || *me != ':')
        return "";
    std::string path = "/org/freedesktop/portal/desktop/request/";
    for (const char* c = me + 1; *c; c++)
        path += *c == '.' ? '_' : *c;
    return path + "/horatik" + std::to_string(token);
}

/* A call that needs no answer: ending what is held. */
static void tell(const char* service, const char* path, const char* iface, const char* method,
                 const uint32_t* arg)
{
    sd_bus_message* m = nullptr;
    if (sd_bus_message_new_method_call(bus, &m, service, path, iface, method) >= 0 &&
        (!arg || sd_bus_message_append(m, "u", *arg) >= 0) && sd_bus_message_set_expect_reply(m, 0) >= 0)
        sd_bus_send(bus, m, nullptr);
    sd_bus_message_unref(m);
}

static void release()
{
    if (inhibit == heldbyportal)
        tell(portal, request.c_str(), "org.freedesktop.portal.Request", "Close", nullptr);
    else if (inhibit == heldbysaver)
        tell(saver, "/org/freedesktop/ScreenSaver", saver, "UnInhibit", &cookie);
    inhibit = notheld;
}

static void giveup(const sd_bus_error* e)
{
    inhibit = notheld;
    refusedfor = heldfor;
    if (!told) {
        told = true;
        std::fprintf(stderr, "Couldn't keep the machine awake for the alarm: %s\n",
                     e && e->message ? e->message : "no answer on the session bus");
    }
}

static int answered(sd_bus_message* m, void*, sd_bus_error*);

static void ask(bool ofportal)
{
    sd_bus_message* m = nullptr;
    int r;
    if (ofportal) {
        portalsaidno = false;
        r = sd_bus_message_new_method_call(bus, &m, portal, "/org/freedesktop/portal/desktop",
                                           "org.freedesktop.portal.Inhibit", "Inhibit");
        std::string token = "horatik" + std::to_string(++tokens);
        /* 4: suspend; the screen may still blank and lock */
        if (r >= 0)
            r = sd_bus_message_append(m, "sua{sv}", "", 4u, 2, "reason", "s", heldfor.c_str(),
                                      "handle_token", "s", token.c_str());
    } else {
        r = sd_bus_message_new_method_call(bus, &m, saver, "/org/freedesktop/ScreenSaver", saver, "Inhibit");
        if (r >= 0)
            r = sd_bus_message_append(m, "ss", "Horatik", heldfor.c_str());
    }
    if (r >= 0)
        r = sd_bus_call_async(bus, &asking, m, answered, nullptr, answerus);
    sd_bus_message_unref(m);
    inhibit = ofportal ? askingportal : askingsaver;
    if (r < 0) {
        if (ofportal)
            ask(false);
        else
            giveup(nullptr);
    }
}

static int answered(sd_bus_message* m, void*, sd_bus_error*)
{
    asking = sd_bus_slot_unref(asking);
    const sd_bus_error* e = sd_bus_message_get_error(m);
    if (inhibit == askingportal) {
        const char* path = nullptr;
        if (!e && sd_bus_message_read(m, "o", &path) >= 0 && path && !portalsaidno) {
            request = path;
            inhibit = heldbyportal;
        } else {
            /* one that took it after all, too late, is ended */
            std::string late = requestpath(tokens);
            if (!late.empty())
                tell(portal, late.c_str(), "org.freedesktop.portal.Request", "Close", nullptr);
            ask(false);
        }
    } else if (inhibit == askingsaver) {
        if (!e && sd_bus_message_read(m, "u", &cookie) >= 0)
            inhibit = heldbysaver;
        else
            giveup(e);
    }
    settle();
    return 0;
}

/* A portal whose backend cannot keep the machine awake (the gtk one without a
   session manager behind it) answers with a request all the same, then ends it
   with a Response other than 0: ScreenSaver is asked instead. */
static int responded(sd_bus_message* m, void*, sd_bus_error*)
{
    uint32_t code = 0;
    const char* path = sd_bus_message_get_path(m);
    if (!sd_bus_message_is_signal(m, "org.freedesktop.portal.Request", "Response") || !path ||
        sd_bus_message_read(m, "u", &code) < 0 || code == 0)
        return 0;
    if (inhibit == askingportal && path == requestpath(tokens)) {
        portalsaidno = true;
    } else if (inhibit == heldbyportal && path == request) {
        release();
        if (wanted == heldfor)
            ask(false);
        settle();
    }
    return 0;
}

/* From what is held to what is wanted; an answer awaited is waited for. */
static void settle()
{
    switch (inhibit) {
    case notheld:
        if (wanted.empty() || wanted == refusedfor)
            break;
        heldfor = wanted;
        if (!bus || sd_bus_is_open(bus) <= 0) {
            bus = sd_bus_flush_close_unref(bus);
            /* no session bus at all: no desktop that would suspend on its own */
            if (sd_bus_open_user(&bus) < 0) {
                bus = nullptr;
                refusedfor = wanted;
                break;
            }
            sd_bus_add_filter(bus, nullptr, responded, nullptr);
        }
        ask(true);
        break;
    case askingportal:
    case askingsaver:
        break;
    case heldbyportal:
    case heldbysaver:
        if (wanted != heldfor) {
            release();
            settle();
        }
        break;
    }
}

/* An answer awaited, a message still to go out, or a portal's inhibition that
   the portal may yet end: the bus is read as soon as it has something. */
static bool busowes()
{
    uint64_t queued = 0;
    return bus && (asking || inhibit == heldbyportal ||
                   (sd_bus_get_n_queued_write(bus, &queued) >= 0 && queued > 0));
}

bool awakepoll(pollfd* fd, Uint32* ms)
{
    if (!busowes())
        return false;
    fd->fd = sd_bus_get_fd(bus);
    int events = sd_bus_get_events(bus);
    fd->events = (short)(events > 0 ? events : POLLIN);
    fd->revents = 0;
    uint64_t due = 0;
    if (sd_bus_get_timeout(bus, &due) > 0 && due != UINT64_MAX) {
        timespec t;
        clock_gettime(CLOCK_MONOTONIC, &t);
        uint64_t nowus = (uint64_t)t.tv_sec * 1000000 + (uint64_t)t.tv_nsec / 1000;
        uint64_t left = due > nowus ? (due - nowus + 999) / 1000 : 0;
        if (left < *ms)
            *ms = (Uint32)left;
    }
    return fd->fd >= 0;
}

void awakestep()
{
    if (bus)
        while (sd_bus_process(bus, nullptr) > 0) {
        }
}

static void wantinhibit(bool armed, int hh, int mm)
{
    std::string reason;
    if (armed) {
        char text[32];
        std::snprintf(text, sizeof text, "Weckzeit %02d:%02d", hh, mm);
        reason = text;
    }
    wanted = reason;
    if (!armed)  // armed anew, a service that has come meanwhile is asked
        refusedfor.clear();
    settle();
}

/* What is queued goes out before the connection closes, but a bus that takes
   nothing (a stopped daemon) does not hold the program's end for long. */
static void flushfor(int ms)
{
    timespec start, t;
    clock_gettime(CLOCK_MONOTONIC, &start);
    for (int left = ms; bus && left > 0 && busowes();) {
        pollfd fd{};
        Uint32 wait = (Uint32)left;
        if (!awakepoll(&fd, &wait) || poll(&fd, 1, (int)wait) < 0)
            break;
        awakestep();
        clock_gettime(CLOCK_MONOTONIC, &t);
        left = ms - (int)((t.tv_sec - start.tv_sec) * 1000 + (t.tv_nsec - start.tv_nsec) / 1000000);
    }
}

static void endinhibit()
{
    wanted.clear();
    if (asking)  // an answer still to come: the bus ends what it brings as we leave
        asking = sd_bus_slot_unref(asking);
    release();
    flushfor(500);
    bus = sd_bus_close_unref(bus);
    refusedfor.clear();
    told = false;
}
#else
static bool busowes()
{
    return false;
}

bool awakepoll(pollfd*, Uint32*)
{
    return false;
}

void awakestep()
{
}

static void wantinhibit(bool, int, int)
{
}

static void endinhibit()
{
}
#endif

void keepawake(bool armed, int hh, int mm, long long ringat)
{
    setwaketimer(armed ? ringat : -1);
    if (armed != wasarmed || (armed && (hh != armedhh || mm != armedmm))) {
        wasarmed = armed;
        armedhh = hh;
        armedmm = mm;
        wantinhibit(armed, hh, mm);
    }
    if (busowes())
        awakestep();
}

void letsleep()
{
    setwaketimer(-1);
    endinhibit();
    wasarmed = false;
    waketimerrefused = false;
}
