// The desktop program keeps the machine awake for the alarm: a suspend inhibition on
// the session bus, and a timer that wakes a sleeping machine for it.
#include "main/awake.h"
#include "main/waketimer.h"

#include <poll.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <string>

#if HORATIK_SDBUS
#include <systemd/sd-bus.h>
#endif

#if HORATIK_SDBUS
/* The inhibition, asked of the desktop portal first and of the older
   org.freedesktop.ScreenSaver only where no portal answers or it refuses. Every
   call is asynchronous and its answer waited for as long as D-Bus waits (25 s):
   the bus is read after each tick, so a slow or missing service holds nothing
   back. A portal that answers after ScreenSaver was asked instead is kept, and
   ScreenSaver's given back. */
enum tinhibit {
    notheld,       /* nothing held or asked */
    askingportal,  /* the portal's Inhibit sent, its answer awaited */
    askingsaver,   /* ScreenSaver's Inhibit sent, its answer awaited */
    heldbyportal,  /* held; Close on the portal's request object ends it */
    heldbysaver,   /* held; UnInhibit with the cookie ends it */
    refused,       /* neither service would take it: not asked again for this reason */
};

/* variables */
static tinhibit inhibit = notheld;
static std::string wanted;        /* the reason an inhibition is wanted for, "" for none */
static std::string reason;        /* the reason of what is held, asked or refused */
static sd_bus* bus;               /* the session bus, opened when the first is asked */
static sd_bus_slot* asking;       /* the call whose answer is awaited */
static uint64_t portalcall;       /* the portal's Inhibit call whose answer may come late */
static std::string request;       /* the portal's request object while it holds */
static uint32_t cookie;           /* ScreenSaver's while it holds */
static unsigned tokens;           /* handle tokens used, for the next request's name */
static bool told;                 /* the one line said when nothing would take it */

static const char portal[] = "org.freedesktop.portal.Desktop";
static const char saver[] = "org.freedesktop.ScreenSaver";

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

static void closerequest(const char* path)
{
    tell(portal, path, "org.freedesktop.portal.Request", "Close", nullptr);
}

/* The object the portal makes for the request with this token, known before it
   answers. */
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

static void release()
{
    if (inhibit == heldbyportal)
        closerequest(request.c_str());
    else if (inhibit == heldbysaver)
        tell(saver, "/org/freedesktop/ScreenSaver", saver, "UnInhibit", &cookie);
    inhibit = notheld;
}

static void settle();
static int answered(sd_bus_message* m, void*, sd_bus_error*);

static void ask(bool ofportal)
{
    sd_bus_message* m = nullptr;
    int r;
    if (ofportal) {
        r = sd_bus_message_new_method_call(bus, &m, portal, "/org/freedesktop/portal/desktop",
                                           "org.freedesktop.portal.Inhibit", "Inhibit");
        std::string token = "horatik" + std::to_string(++tokens);
        /* 4: suspend; the screen may still blank and lock */
        if (r >= 0)
            r = sd_bus_message_append(m, "sua{sv}", "", 4u, 2, "reason", "s", reason.c_str(),
                                      "handle_token", "s", token.c_str());
    } else {
        r = sd_bus_message_new_method_call(bus, &m, saver, "/org/freedesktop/ScreenSaver", saver, "Inhibit");
        if (r >= 0)
            r = sd_bus_message_append(m, "ss", "Horatik", reason.c_str());
    }
    /* the bus's own time for an answer, 25 s */
    if (r >= 0)
        r = sd_bus_call_async(bus, &asking, m, answered, nullptr, 0);
    if (ofportal) {
        portalcall = 0;
        if (r >= 0)
            sd_bus_message_get_cookie(m, &portalcall);
    }
    sd_bus_message_unref(m);
    inhibit = ofportal ? askingportal : askingsaver;
    if (r < 0 && ofportal)
        ask(false);
    else if (r < 0)
        answered(nullptr, nullptr, nullptr);
}

/* No portal there, rather than one too slow: nothing more will come from it */
static bool absent(const sd_bus_error* e)
{
    static const char* const names[] = {
        "org.freedesktop.DBus.Error.ServiceUnknown", "org.freedesktop.DBus.Error.NameHasNoOwner",
        "org.freedesktop.DBus.Error.UnknownMethod", "org.freedesktop.DBus.Error.UnknownObject",
        "org.freedesktop.DBus.Error.UnknownInterface"};
    for (const char* name : names)
        if (e && e->name && std::strcmp(e->name, name) == 0)
            return true;
    return false;
}

static int answered(sd_bus_message* m, void*, sd_bus_error*)
{
    asking = sd_bus_slot_unref(asking);
    const sd_bus_error* e = m ? sd_bus_message_get_error(m) : nullptr;
    if (inhibit == askingportal) {
        const char* path = nullptr;
        if (m && !e && sd_bus_message_read(m, "o", &path) >= 0 && path) {
            request = path;
            inhibit = heldbyportal;
            portalcall = 0;
        } else {
            if (absent(e))
                portalcall = 0;  // a portal that timed out may still answer
            ask(false);
        }
    } else if (inhibit == askingsaver) {
        if (m && !e && sd_bus_message_read(m, "u", &cookie) >= 0) {
            inhibit = heldbysaver;
        } else {
            inhibit = refused;
            if (!told) {
                told = true;
                std::fprintf(stderr, "Couldn't keep the machine awake for the alarm: %s\n",
                             e && e->message ? e->message : "no answer on the session bus");
            }
        }
    }
    settle();  // the wish may have changed while the answer was awaited
    return 0;
}

/* What no call waits for: the portal ending a request (Response other than 0:
   its backend cannot inhibit suspend, as the gtk one without a session manager),
   and the portal's answer after the bus gave up waiting for it. */
static int arrived(sd_bus_message* m, void*, sd_bus_error*)
{
    const char* path = sd_bus_message_get_path(m);
    uint32_t code = 0;
    if (sd_bus_message_is_signal(m, "org.freedesktop.portal.Request", "Response") && path &&
        sd_bus_message_read(m, "u", &code) >= 0 && code != 0) {
        if (inhibit == askingportal && path == requestpath(tokens)) {
            asking = sd_bus_slot_unref(asking);
            portalcall = 0;
            ask(false);
        } else if (inhibit == heldbyportal && path == request) {
            inhibit = notheld;
            ask(false);
        }
        return 0;
    }
    uint64_t to = 0;
    uint8_t type = 0;
    const char* late = nullptr;
    if (!portalcall || sd_bus_message_get_type(m, &type) < 0 || type != SD_BUS_MESSAGE_METHOD_RETURN ||
        sd_bus_message_get_reply_cookie(m, &to) < 0 || to != portalcall ||
        sd_bus_message_read(m, "o", &late) < 0 || !late)
        return 0;
    portalcall = 0;
    if ((inhibit == heldbysaver || inhibit == refused) && reason == wanted) {
        release();
        request = late;
        inhibit = heldbyportal;
    } else {
        closerequest(late);
    }
    return 0;
}

/* The session bus, found as D-Bus clients find it. sd_bus_open_user reads the
   same variables with secure_getenv, which a program given a file capability
   (CAP_WAKE_ALARM, as the package gives it) never sees: it would find no bus. */
static int openbus(sd_bus** out)
{
    std::string address;
    const char* given = std::getenv("DBUS_SESSION_BUS_ADDRESS");
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    if (given && *given) {
        address = given;
    } else if (runtime && *runtime == '/') {
        address = "unix:path=";
        for (const char* c = runtime; *c; c++) {
            char e[4];
            bool plain = std::isalnum((unsigned char)*c) || std::strchr("-_/.\\*", *c);
            std::snprintf(e, sizeof e, "%%%02x", (unsigned char)*c);
            address += plain ? std::string(1, *c) : std::string(e);
        }
        address += "/bus";
    } else {
        return -ENOENT;
    }
    sd_bus* b = nullptr;
    int r = sd_bus_new(&b);
    if (r >= 0)
        r = sd_bus_set_address(b, address.c_str());
    if (r >= 0)
        r = sd_bus_set_bus_client(b, 1);
    if (r >= 0)
        r = sd_bus_start(b);
    if (r < 0) {
        sd_bus_unref(b);
        return r;
    }
    *out = b;
    return 0;
}

/* From what is held to what is wanted; an answer awaited is waited for first. */
static void settle()
{
    switch (inhibit) {
    case askingportal:
    case askingsaver:
        return;
    case heldbyportal:
    case heldbysaver:
        if (reason == wanted)
            return;
        release();
        break;
    case refused:
        if (reason == wanted)
            return;
        inhibit = notheld;
        break;
    case notheld:
        break;
    }
    reason = wanted;
    if (reason.empty())
        return;
    if (!bus || sd_bus_is_open(bus) <= 0) {
        bus = sd_bus_flush_close_unref(bus);
        /* no session bus at all: no desktop that would suspend on its own */
        if (openbus(&bus) < 0) {
            bus = nullptr;
            inhibit = refused;
            return;
        }
        sd_bus_add_filter(bus, nullptr, arrived, nullptr);
    }
    ask(true);
}

bool awakepoll(pollfd* fd, Uint32* ms)
{
    uint64_t queued = 0;
    if (!bus || !(asking || portalcall || inhibit == heldbyportal ||
                  (sd_bus_get_n_queued_write(bus, &queued) >= 0 && queued > 0)))
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

/* What came is read and answered; never waits. */
static void readbus()
{
    if (bus)
        while (sd_bus_process(bus, nullptr) > 0) {
        }
}

static void wantinhibit(const tawake& w, long long now)
{
    std::string want;
    if (w.until > now) {
        char text[32];
        std::snprintf(text, sizeof text, "Weckzeit %02d:%02d", w.hh, w.mm);
        want = text;
    }
    if (want != wanted) {
        wanted = want;
        settle();
    }
    readbus();
}

/* What is queued goes out before the connection closes, but a bus that takes
   nothing (a stopped daemon) does not hold the program's end for long. An
   answer still to come is ended by the bus as the connection goes. */
static void endinhibit()
{
    release();
    asking = sd_bus_slot_unref(asking);
    inhibit = notheld;
    wanted.clear();
    reason.clear();
    portalcall = 0;
    timespec start, t;
    clock_gettime(CLOCK_MONOTONIC, &start);
    for (int left = 500; bus && left > 0;) {
        uint64_t queued = 0;
        if (sd_bus_get_n_queued_write(bus, &queued) < 0 || queued == 0)
            break;
        pollfd fd = {sd_bus_get_fd(bus), (short)sd_bus_get_events(bus), 0};
        if (fd.fd < 0 || poll(&fd, 1, left) < 0)
            break;
        readbus();
        clock_gettime(CLOCK_MONOTONIC, &t);
        left = 500 - (int)((t.tv_sec - start.tv_sec) * 1000 + (t.tv_nsec - start.tv_nsec) / 1000000);
    }
    bus = sd_bus_close_unref(bus);
    told = false;
}
#else
bool awakepoll(pollfd*, Uint32*)
{
    return false;
}

static void wantinhibit(const tawake&, long long)
{
}

static void endinhibit()
{
}
#endif

void keepawake(const tawake& w)
{
    setwaketimer(w.wake ? w.until : -1);
    wantinhibit(w, (long long)time(nullptr));
}

void letsleep()
{
    endwaketimer();
    endinhibit();
}
