// The desktop program keeps the machine awake for the alarm: a suspend inhibition that
// the desktop really holds, and a timer that wakes a sleeping machine for it.
#include "main/awake.h"
#include "main/waketimer.h"

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <list>
#include <string>

#if HORATIK_SDBUS
#include <systemd/sd-bus.h>
#endif

#if HORATIK_SDBUS
/* Where the inhibition is asked, best first. GNOME's session manager directly,
   with the application's id: through the portal a program outside a sandbox has
   none, and gnome-session refuses that while the portal reports success. Then
   the portal; logind, which needs no desktop; and last ScreenSaver, whose idle
   inhibition keeps the screen on all night as well.
   Every call is asynchronous and the bus read after each tick, so a slow or
   missing service holds nothing back. An answer is either what is held or given
   back at once; what is held is checked where the system can tell (the session
   manager's IsInhibited, logind's list), since a portal may answer for a backend
   that failed. A service that leaves, or a bus that goes, is asked again when it
   returns; one that refuses, again after a pause that doubles up to a minute. */
enum tservice { sessionmanager, portal, logind, screensaver, noservice };

struct tservicedef {
    const char *name, *path, *iface;
    bool system;  /* on the system bus */
};
static const tservicedef services[] = {
    {"org.gnome.SessionManager", "/org/gnome/SessionManager", "org.gnome.SessionManager", false},
    {"org.freedesktop.portal.Desktop", "/org/freedesktop/portal/desktop", "org.freedesktop.portal.Inhibit", false},
    {"org.freedesktop.login1", "/org/freedesktop/login1", "org.freedesktop.login1.Manager", true},
    {"org.freedesktop.ScreenSaver", "/org/freedesktop/ScreenSaver", "org.freedesktop.ScreenSaver", false},
};

/* An inhibition and what ends it. */
struct thold {
    tservice service = noservice;
    uint32_t cookie = 0;    /* the session manager's, ScreenSaver's */
    std::string request;    /* the portal's request object */
    int fd = -1;            /* logind's */
    std::string reason;
};

/* A connection, opened when first needed; one that was open and closed is
   opened again while an inhibition is wanted. */
struct tbus {
    sd_bus* b = nullptr;
    bool system;
    bool lost = false;      /* was open and closed */
    double retryat = 0;     /* monotonic seconds: the next try to open it again */
    double pause = 1;       /* s between tries, up to 4: a bus back is met within 5 s */
};

/* A call whose answer is awaited: an Inhibit, or a check of what one gave. */
struct tcall {
    tservice service = noservice;
    std::string reason;     /* asked for */
    unsigned round = 0;     /* the round of asking it belongs to */
    unsigned token = 0;     /* the portal's handle token */
    bool check = false;     /* IsInhibited or ListInhibitors, about got */
    thold got;              /* what the Inhibit gave */
    sd_bus* bus = nullptr;
    sd_bus_slot* slot = nullptr;
    uint64_t cookie = 0;    /* the message's, for an answer after the bus gave up on it */
    bool late = false;      /* the bus gave up waiting; the answer may still come */
    bool ended = false;     /* the portal ended the request before answering */
    double at = 0;          /* a check not yet sent: monotonic seconds when it goes */
    int tries = 0;          /* looks at logind's list for the portal's still to go */
};

/* variables */
static std::string wanted;        /* the reason an inhibition is wanted for, "" for none */
static thold held;                /* what is held */
static tbus sessionbus{nullptr, false}, systembus{nullptr, true};
static std::list<tcall> calls;    /* awaited, and those that may answer late */
static unsigned rounds;           /* rounds of asking started */
static tservice next = noservice; /* the next service this round asks */
static tservice trying = noservice; /* the one this round awaits, noservice when it is over */
static bool refusedabove;         /* this round met a refusal above what is held */
static bool restart;              /* a better service appeared: a new round after this read */
static double retryat;            /* monotonic seconds: the next round, 0 for none */
static double backoff = 1;        /* s before the next round, doubled up to a minute */
static std::string whynot;        /* this round's last refusal, for the line below */
static bool told;                 /* said that nothing is held; a hold says it anew */
static unsigned tokens;           /* handle tokens used, for the portal's request names */

static const char appid[] = "horatik";  /* the desktop entry's name */
static constexpr uint32_t suspendflag = 4;  /* the session manager's and the portal's */
static constexpr int portalchecks = 3;      /* looked for in logind's list, a second apart */

static double mono()
{
    timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return t.tv_sec + t.tv_nsec / 1e9;
}

static tbus& busof(tservice s)
{
    return services[s].system ? systembus : sessionbus;
}

/* The bus, found as D-Bus clients find it. sd_bus_open_user and _system read
   the variables with secure_getenv, which sees nothing in a program run in the
   C library's secure mode. */
static std::string busaddress(bool system)
{
    const char* given = std::getenv(system ? "DBUS_SYSTEM_BUS_ADDRESS" : "DBUS_SESSION_BUS_ADDRESS");
    if (given && *given)
        return given;
    if (system)
        return "unix:path=/run/dbus/system_bus_socket";
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    if (!runtime || *runtime != '/')
        return "";
    std::string address = "unix:path=";
    for (const char* c = runtime; *c; c++) {
        char e[4];
        bool plain = std::isalnum((unsigned char)*c) || std::strchr("-_/.\\*", *c);
        std::snprintf(e, sizeof e, "%%%02x", (unsigned char)*c);
        address += plain ? std::string(1, *c) : std::string(e);
    }
    return address + "/bus";
}

static int arrived(sd_bus_message* m, void*, sd_bus_error*);
static int ownerchanged(sd_bus_message* m, void*, sd_bus_error*);

static int ignored(sd_bus_message*, void*, sd_bus_error*)
{
    return 0;
}

/* Connected (not yet answering, maybe: nothing here waits), with the owners of
   its services watched. */
static bool openbus(tbus& t)
{
    if (t.b)
        return sd_bus_is_open(t.b) > 0;
    std::string address = busaddress(t.system);
    sd_bus* b = nullptr;
    int r = address.empty() ? -ENOENT : sd_bus_new(&b);
    if (r >= 0)
        r = sd_bus_set_address(b, address.c_str());
    if (r >= 0)
        r = sd_bus_set_bus_client(b, 1);
    if (r >= 0)
        r = sd_bus_start(b);
    if (r < 0) {
        sd_bus_unref(b);
        return false;
    }
    t.b = b;
    t.lost = false;
    sd_bus_add_filter(b, nullptr, arrived, nullptr);
    for (const tservicedef& s : services)
        if (s.system == t.system) {
            std::string match = "type='signal',sender='org.freedesktop.DBus',path='/org/freedesktop/DBus',"
                                "interface='org.freedesktop.DBus',member='NameOwnerChanged',arg0='" +
                                std::string(s.name) + "'";
            sd_bus_add_match_async(b, nullptr, match.c_str(), ownerchanged, ignored, nullptr);
        }
    return true;
}

/* A call that needs no answer: ending what is held. */
static void tell(tservice s, const char* path, const char* iface, const char* method, const uint32_t* arg)
{
    sd_bus* b = busof(s).b;
    sd_bus_message* m = nullptr;
    if (b && sd_bus_message_new_method_call(b, &m, services[s].name, path, iface, method) >= 0 &&
        (!arg || sd_bus_message_append(m, "u", *arg) >= 0) && sd_bus_message_set_expect_reply(m, 0) >= 0)
        sd_bus_send(b, m, nullptr);
    sd_bus_message_unref(m);
}

static void release(thold& h)
{
    switch (h.service) {
    case sessionmanager:
        tell(h.service, services[h.service].path, services[h.service].iface, "Uninhibit", &h.cookie);
        break;
    case portal:
        tell(h.service, h.request.c_str(), "org.freedesktop.portal.Request", "Close", nullptr);
        break;
    case logind:
        close(h.fd);
        break;
    case screensaver:
        tell(h.service, services[h.service].path, services[h.service].iface, "UnInhibit", &h.cookie);
        break;
    case noservice:
        break;
    }
    h = thold();
}

/* The portal's object for the request with this token, known before it answers;
   asked only once the bus has answered, since learning our name would wait. */
static std::string requestpath(sd_bus* b, unsigned token)
{
    const char* me = nullptr;
    if (sd_bus_get_unique_name(b, &me) < 0 || !me || *me != ':')
        return "";
    std::string path = "/org/freedesktop/portal/desktop/request/";
    for (const char* c = me + 1; *c; c++)
        path += *c == '.' ? '_' : *c;
    return path + "/horatik" + std::to_string(token);
}

static int answered(sd_bus_message* m, void* data, sd_bus_error*);

static std::list<tcall>::iterator find(const tcall* c)
{
    return std::find_if(calls.begin(), calls.end(), [c](const tcall& e) { return &e == c; });
}

static void forget(std::list<tcall>::iterator c)
{
    sd_bus_slot_unref(c->slot);
    calls.erase(c);
}

static bool send(tcall& c, sd_bus_message* m)
{
    int r = sd_bus_call_async(c.bus, &c.slot, m, answered, &c, 0);  /* the bus's 25 s */
    if (r >= 0)
        sd_bus_message_get_cookie(m, &c.cookie);
    sd_bus_message_unref(m);
    return r >= 0;
}

static void failed(const tcall& c, const sd_bus_error* e, const char* why);

static bool sendinhibit(tservice s)
{
    tbus& t = busof(s);
    if (!openbus(t))
        return false;
    const tservicedef& d = services[s];
    const char* reason = wanted.c_str();
    sd_bus_message* m = nullptr;
    if (sd_bus_message_new_method_call(t.b, &m, d.name, d.path, d.iface, "Inhibit") < 0)
        return false;
    tcall c;
    c.service = s;
    c.reason = wanted;
    c.round = rounds;
    c.bus = t.b;
    int r = -EINVAL;
    switch (s) {
    case sessionmanager:
        /* only where it runs: no bus may start one for us */
        r = sd_bus_message_set_auto_start(m, 0);
        if (r >= 0)
            r = sd_bus_message_append(m, "susu", appid, 0u, reason, suspendflag);
        break;
    case portal: {
        /* suspend; the screen may still blank and lock */
        c.token = ++tokens;
        std::string token = "horatik" + std::to_string(c.token);
        r = sd_bus_message_append(m, "sua{sv}", "", suspendflag, 2, "reason", "s", reason, "handle_token", "s",
                                  token.c_str());
        break;
    }
    case logind:
        r = sd_bus_message_append(m, "ssss", "sleep", "Horatik", reason, "block");
        break;
    case screensaver:
        r = sd_bus_message_append(m, "ss", "Horatik", reason);
        break;
    case noservice:
        break;
    }
    if (r < 0) {
        sd_bus_message_unref(m);
        return false;
    }
    calls.push_back(c);
    if (!send(calls.back(), m)) {
        calls.pop_back();
        return false;
    }
    return true;
}

/* A check: the session manager's IsInhibited; logind's list for logind and
   for the portal. */
static bool sendcheck(tcall& c)
{
    tservice by = c.service == sessionmanager ? sessionmanager : logind;
    tbus& t = busof(by);
    if (!openbus(t))
        return false;
    sd_bus_message* m = nullptr;
    const tservicedef& d = services[by];
    int r = sd_bus_message_new_method_call(t.b, &m, d.name, d.path, d.iface,
                                           by == sessionmanager ? "IsInhibited" : "ListInhibitors");
    if (r >= 0 && by == sessionmanager)
        r = sd_bus_message_append(m, "u", suspendflag);
    if (r < 0) {
        sd_bus_message_unref(m);
        return false;
    }
    c.check = true;
    c.bus = t.b;
    c.at = 0;
    return send(c, m);
}

static void say(const char* fmt, const std::string& why)
{
    if (told)
        return;
    told = true;
    std::fprintf(stderr, fmt, why.c_str());
}

/* The rest of the round, from the next service above what is held. */
static void asknext()
{
    while (next < held.service) {
        tservice s = next;
        next = (tservice)(s + 1);
        if (sendinhibit(s)) {
            trying = s;
            return;
        }
    }
    trying = noservice;
    /* without any bus there is no desktop to tell */
    if (held.service == noservice && !whynot.empty())
        say("Couldn't keep the machine awake for the alarm: %s\n", whynot);
    if (held.service == noservice || refusedabove) {
        retryat = mono() + backoff;
        backoff = std::min(backoff * 2, 60.0);
    } else {
        retryat = 0;
        backoff = 1;
    }
}

static void startround()
{
    rounds++;
    restart = false;
    refusedabove = false;
    retryat = 0;
    whynot.clear();
    next = sessionmanager;
    asknext();
}

/* What the service gave went with it, or everything given on the bus with the
   bus (but logind's, which lives on in its descriptor): what is held, and what
   is being checked. */
static void lose(tservice service, sd_bus* bus, const std::string& why)
{
    auto with = [&](tservice s) { return s != noservice && s != logind && (s == service || (bus && busof(s).b == bus)); };
    bool checking = std::any_of(calls.begin(), calls.end(), [&](const tcall& c) { return with(c.got.service); });
    if (!with(held.service) && !checking)
        return;
    say("Lost what kept the machine awake for the alarm (%s); asking again\n", why);
    restart = true;
    if (with(held.service))
        held = thold();
    for (auto c = calls.begin(); c != calls.end();) {
        auto here = c++;
        if (with(here->got.service)) {
            here->got = thold();
            failed(*here, nullptr, why.c_str());
            forget(here);
        }
    }
}

/* No such service, rather than one that refused or was too slow */
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

static bool current(const tcall& c)
{
    return c.round == rounds && trying == c.service;
}

/* The call's service gave nothing: the round goes on below it. */
static void failed(const tcall& c, const sd_bus_error* e, const char* why)
{
    whynot = e && e->message ? e->message : why;
    if (!absent(e))
        refusedabove = true;
    if (current(c))
        asknext();
}

static bool stillwanted(const tcall& c)
{
    return c.reason == wanted && c.service < held.service;
}

/* Taken, if still wanted and the best so far: what was held below it is given
   back. Otherwise given back itself. */
static void settle(tcall& c)
{
    if (stillwanted(c)) {
        thold old = held;
        held = c.got;
        held.reason = c.reason;
        release(old);
        told = false;
    } else {
        release(c.got);
    }
    c.got = thold();
    if (current(c))
        asknext();
}

/* What logind lists: a suspend blocked by us, or for the portal by anyone else
   (the desktop that took it on). */
static bool listed(sd_bus_message* m, tservice of)
{
    const pid_t me = getpid();
    if (sd_bus_message_enter_container(m, 'a', "(ssssuu)") < 0)
        return false;
    const char *what, *who, *why, *mode;
    uint32_t uid, pid;
    while (sd_bus_message_read(m, "(ssssuu)", &what, &who, &why, &mode, &uid, &pid) > 0)
        if (std::strstr(what, "sleep") && std::strcmp(mode, "block") == 0 && ((pid_t)pid == me) == (of == logind))
            return true;
    return false;
}

/* What the Inhibit gave, into c.got; false for nothing */
static bool readgot(sd_bus_message* m, tcall& c)
{
    const char* path = nullptr;
    int fd = -1;
    c.got = thold();
    switch (c.service) {
    case sessionmanager:
    case screensaver:
        if (sd_bus_message_read(m, "u", &c.got.cookie) < 0)
            return false;
        break;
    case portal:
        if (sd_bus_message_read(m, "o", &path) < 0 || !path)
            return false;
        c.got.request = path;
        break;
    case logind:
        if (sd_bus_message_read(m, "h", &fd) < 0 || (c.got.fd = fcntl(fd, F_DUPFD_CLOEXEC, 3)) < 0)
            return false;
        break;
    case noservice:
        return false;
    }
    c.got.service = c.service;
    return true;
}

static void inhibited(sd_bus_message* m, tcall& c)
{
    const sd_bus_error* e = sd_bus_message_get_error(m);
    if (e || !readgot(m, c)) {
        failed(c, e, "no answer");
        return;
    }
    if (c.ended) {  /* its backend refused already */
        release(c.got);
        failed(c, nullptr, "the portal's backend refused");
        return;
    }
    if (!stillwanted(c) || c.service == screensaver) {
        settle(c);
        return;
    }
    if (c.service == portal) {
        /* the portal passes it on to the desktop in its own time, or ends it */
        c.tries = portalchecks;
        c.at = mono() + 1;
    } else if (!sendcheck(c)) {
        release(c.got);
        failed(c, nullptr, "could not check it");
    }
}

static void checked(sd_bus_message* m, tcall& c)
{
    const sd_bus_error* e = sd_bus_message_get_error(m);
    int yes = 0;
    if (e)
        yes = absent(e);  /* nothing to ask: believed */
    else if (c.service == sessionmanager && sd_bus_message_read(m, "b", &yes) < 0)
        yes = 0;
    else if (c.service != sessionmanager)
        yes = listed(m, c.service);
    if (yes) {
        settle(c);
    } else if (!e && c.service == portal && --c.tries > 0 && stillwanted(c)) {
        c.at = mono() + 1;
    } else {
        release(c.got);
        failed(c, nullptr, e ? "its check failed" : "it holds nothing");
    }
}

/* Nothing more to come for it */
static bool done(const tcall& c)
{
    return !c.slot && !c.late && c.at == 0;
}

static void keeplate(tcall& c)
{
    c.late = true;
    size_t late = std::count_if(calls.begin(), calls.end(), [](const tcall& e) { return e.late; });
    for (auto e = calls.begin(); late > 16 && e != calls.end(); e++)
        if (e->late && &*e != &c) {
            forget(e);
            break;
        }
}

static int answered(sd_bus_message* m, void* data, sd_bus_error*)
{
    auto c = find(static_cast<tcall*>(data));
    if (c == calls.end())
        return 0;
    c->slot = sd_bus_slot_unref(c->slot);
    const sd_bus_error* e = sd_bus_message_get_error(m);
    bool gaveup = !c->check && e && sd_bus_error_has_name(e, SD_BUS_ERROR_NO_REPLY);
    if (c->check)
        checked(m, *c);
    else
        inhibited(m, *c);
    if (gaveup)
        keeplate(*c);  /* its answer, should it come after all, is handled then */
    if (done(*c))
        forget(c);
    return 0;
}

/* What no call waits for: the portal ending a request (Response other than 0,
   as its gtk backend without a session manager does), and an answer that came
   after the bus gave up waiting for it. */
static int arrived(sd_bus_message* m, void*, sd_bus_error*)
{
    sd_bus* b = sd_bus_message_get_bus(m);
    const char* path = sd_bus_message_get_path(m);
    uint32_t code = 0;
    if (sd_bus_message_is_signal(m, "org.freedesktop.portal.Request", "Response") && path &&
        sd_bus_message_read(m, "u", &code) >= 0 && code != 0) {
        if (held.service == portal && held.request == path) {
            held = thold();
            say("Lost what kept the machine awake for the alarm (%s); asking again\n", "the portal ended it");
            restart = true;
        }
        for (auto c = calls.begin(); c != calls.end();) {
            auto here = c++;
            if (here->service != portal || here->late)
                continue;
            if (here->got.service == noservice && here->bus == b && requestpath(b, here->token) == path) {
                here->ended = true;
            } else if (here->got.service == portal && here->got.request == path) {
                here->got = thold();
                failed(*here, nullptr, "the portal's backend refused");
                forget(here);
            }
        }
        return 0;
    }
    uint8_t type = 0;
    uint64_t to = 0;
    if (sd_bus_message_get_type(m, &type) < 0 || type != SD_BUS_MESSAGE_METHOD_RETURN ||
        sd_bus_message_get_reply_cookie(m, &to) < 0)
        return 0;
    for (auto c = calls.begin(); c != calls.end(); c++)
        if (c->late && c->bus == b && c->cookie == to) {
            c->late = false;
            inhibited(m, *c);
            if (done(*c))
                forget(c);
            break;
        }
    return 0;
}

/* A watched service left (what it held went with it: logind's alone lives on
   in its descriptor) or came, and may be better than what is held. */
static int ownerchanged(sd_bus_message* m, void*, sd_bus_error*)
{
    sd_bus* b = sd_bus_message_get_bus(m);
    const char *name, *old, *now;
    if (sd_bus_message_read(m, "sss", &name, &old, &now) < 0)
        return 0;
    for (int i = sessionmanager; i < noservice; i++) {
        tservice s = (tservice)i;
        if (std::strcmp(name, services[s].name) != 0 || busof(s).b != b)
            continue;
        if (*old)
            lose(s, nullptr, std::string(name) + " left the bus");
        if (*now && !wanted.empty() && s < held.service)
            restart = true;
    }
    return 0;
}

/* The bus closed under us: what was held on it went with it, and nothing
   asked there will answer. */
static void dropbus(tbus& t)
{
    lose(noservice, t.b, t.system ? "the system bus closed" : "the session bus closed");
    for (auto c = calls.begin(); c != calls.end();) {
        auto here = c++;
        if (here->bus == t.b) {
            release(here->got);
            forget(here);
        }
    }
    t.b = sd_bus_close_unref(t.b);
    t.lost = true;
    t.pause = 1;
    t.retryat = mono() + t.pause;
    restart = !wanted.empty();  /* the round may have waited on it */
}

/* What came is read and answered; never waits. */
static void readbus(tbus& t)
{
    if (!t.b)
        return;
    while (sd_bus_process(t.b, nullptr) > 0) {
    }
    if (sd_bus_is_open(t.b) <= 0)
        dropbus(t);
}

/* A check of the portal's that is due: where there is no system bus to ask,
   its answer is believed. */
static void checkportal(std::list<tcall>::iterator c)
{
    if (!openbus(systembus)) {
        c->at = 0;
        settle(*c);
    } else if (!sendcheck(*c)) {
        release(c->got);
        failed(*c, nullptr, "could not check it");
    }
    if (done(*c))
        forget(c);
}

/* After each tick: answers read, due checks and rounds started, lost buses
   looked for again. */
static void pump()
{
    readbus(sessionbus);
    readbus(systembus);
    if (wanted.empty())
        return;
    const double t = mono();
    for (tbus* b : {&sessionbus, &systembus})
        if (!b->b && b->lost && t >= b->retryat) {
            if (openbus(*b)) {
                restart = true;
            } else {
                b->pause = std::min(b->pause * 2, 4.0);
                b->retryat = t + b->pause;
            }
        }
    for (auto c = calls.begin(); c != calls.end();) {
        auto here = c++;
        if (here->at > 0 && t >= here->at)
            checkportal(here);
    }
    if (restart || (trying == noservice && retryat > 0 && t >= retryat)) {
        if (restart)
            backoff = 1;
        startround();
    }
}

bool awakepoll(pollfd* fd, Uint32* ms)
{
    const bool want = !wanted.empty();
    double due = 1e18;
    auto sooner = [&](double at) { due = std::min(due, at); };
    /* the bus that owes an answer, else one with messages to send, else the
       session bus, whose services are watched */
    sd_bus* b = nullptr;
    int best = 0;
    for (tbus* t : {&sessionbus, &systembus}) {
        uint64_t queued = 0;
        int rank = !t->b                                                                   ? 0
                   : std::any_of(calls.begin(), calls.end(),
                                 [&](const tcall& c) { return c.bus == t->b && c.slot; }) ? 3
                   : sd_bus_get_n_queued_write(t->b, &queued) >= 0 && queued > 0         ? 2
                   : want && !t->system                                                  ? 1
                                                                                         : 0;
        if (rank > best) {
            best = rank;
            b = t->b;
        }
        if (want && t->lost)
            sooner(t->retryat);
    }
    for (const tcall& c : calls)
        if (c.at > 0)
            sooner(c.at);
    if (want && trying == noservice && retryat > 0)
        sooner(retryat);
    uint64_t busdue = 0;
    if (b && sd_bus_get_timeout(b, &busdue) > 0 && busdue != UINT64_MAX)
        sooner(busdue / 1e6);
    if (due < 1e17) {
        double left = std::max(0.0, (due - mono()) * 1000 + 1);
        if (left < *ms)
            *ms = (Uint32)left;
    }
    if (!b)
        return false;
    fd->fd = sd_bus_get_fd(b);
    int events = sd_bus_get_events(b);
    fd->events = (short)(events > 0 ? events : POLLIN);
    fd->revents = 0;
    return fd->fd >= 0;
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
        if (held.reason != wanted)
            release(held);
        /* what is being checked is no longer wanted; answers still to come
           are given back as they arrive */
        for (auto c = calls.begin(); c != calls.end();) {
            auto here = c++;
            if (here->got.service != noservice) {
                release(here->got);
                forget(here);
            }
        }
        trying = noservice;
        retryat = 0;
        backoff = 1;
        if (!wanted.empty())
            startround();
    }
    pump();
}

/* What is queued goes out before the connections close, but a bus that takes
   nothing (a stopped daemon) does not hold the program's end for long. An
   answer still to come is ended by its service as the connection goes. */
static void endinhibit()
{
    release(held);
    for (auto c = calls.begin(); c != calls.end();) {
        auto here = c++;
        release(here->got);
        forget(here);
    }
    wanted.clear();
    trying = noservice;
    retryat = 0;
    const double start = mono();
    for (tbus* t : {&sessionbus, &systembus}) {
        for (double left = 0.5 - (mono() - start); t->b && left > 0; left = 0.5 - (mono() - start)) {
            uint64_t queued = 0;
            if (sd_bus_get_n_queued_write(t->b, &queued) < 0 || queued == 0)
                break;
            pollfd fd = {sd_bus_get_fd(t->b), (short)sd_bus_get_events(t->b), 0};
            if (fd.fd < 0 || poll(&fd, 1, (int)(left * 1000) + 1) < 0)
                break;
            while (sd_bus_process(t->b, nullptr) > 0) {
            }
        }
        t->b = sd_bus_close_unref(t->b);
        t->lost = false;
    }
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
