#!/usr/bin/python3
"""Stand-ins for the desktop's power services on a private session bus (and system bus).

    powerservices.py SERVICES LOG

SERVICES: names joined by "+", each adding services:
  sm              GNOME's session manager (org.gnome.SessionManager, refusing what
                  gnome-session refuses: an empty application id, an empty reason,
                  no flags) and org.gnome.ScreenSaver, which GNOME's portal backend
                  looks for beside it
  portal          the desktop portal's Inhibit, refusing a caller whose /proc/PID/root
                  the caller's own user cannot open, as xdg-desktop-portal does;
                  with org.freedesktop.ScreenSaver, as GNOME and KDE have both
  slowportal      the same, answering after three seconds
  refusingportal  the same, ending each request at once with Response 2, as
                  xdg-desktop-portal-gtk does without a session manager
  silentportal    the same, answering with a request that holds nothing and never
                  ends, as xdg-desktop-portal 1.16 does when its backend fails
  saver           org.freedesktop.ScreenSaver
  logind          logind's Inhibit and ListInhibitors, on the system bus that
                  DBUS_SYSTEM_BUS_ADDRESS names
Each inhibition taken and ended is a line of LOG, its KEY led by the stand-in's
own pid ("4711/cookie1"):
    + KEY PID WHAT        taken by process PID; WHAT is "sm app=A flags=F reason=R", "portal flags=F
                          reason=R", "silentportal flags=F reason=R", "saver app=A
                          reason=R" or "logind what=W who=O mode=M reason=R"
    - KEY closed|gone     ended by its holder, or by the holder leaving the bus
    ! SERVICE PID ERROR   a call refused
and "ready PID" once the names are owned.
"""

import os
import sys

import dbus
import dbus.bus
import dbus.lowlevel
import dbus.mainloop.glib
import dbus.service
from gi.repository import GLib

services, logpath = sys.argv[1].split("+"), sys.argv[2]
portals = [s for s in services if s.endswith("portal")]
dbus.mainloop.glib.DBusGMainLoop(set_as_default=True)
bus = dbus.SessionBus() if services != ["logind"] else None
system = dbus.bus.BusConnection(os.environ["DBUS_SYSTEM_BUS_ADDRESS"]) if "logind" in services else None
log = open(logpath, "a", buffering=1)
held = {}  # key -> (connection, sender, object to take off the bus or None)


def ask(conn, what, sender):
    return conn.call_blocking("org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus",
                              what, "s", [sender])


def take(key, sender, what, obj=None, conn=bus):
    held[key] = (conn, sender, obj)
    log.write("+ %d/%s %d %s\n" % (os.getpid(), key, ask(conn, "GetConnectionUnixProcessID", sender), what))


def end(key, how):
    obj = held.pop(key)[2]
    if obj is not None:
        obj.remove_from_connection()
    log.write("- %d/%s %s\n" % (os.getpid(), key, how))


def refuse(service, sender, name, text, conn=bus):
    log.write("! %s %d %s: %s\n" % (service, ask(conn, "GetConnectionUnixProcessID", sender), name, text))
    return dbus.exceptions.DBusException(text, name=name)


def rootopens(pid, uid):
    """Whether /proc/PID/root opens for the user uid, as the portal (running as
    that user) opens it to learn who calls: not for a process that is not
    dumpable, as one started from a file with a capability is."""
    child = os.fork()
    if child == 0:
        try:
            os.setgroups([])
            os.setresgid(uid, uid, uid)
            os.setresuid(uid, uid, uid)
            os.close(os.open("/proc/%d/root" % pid, os.O_RDONLY | os.O_DIRECTORY | os.O_NOCTTY | os.O_CLOEXEC))
            os._exit(0)
        except OSError:
            os._exit(1)
    return os.waitpid(child, 0)[1] == 0


class Request(dbus.service.Object):
    @dbus.service.method("org.freedesktop.portal.Request", in_signature="", out_signature="",
                         sender_keyword="sender")
    def Close(self, sender=None):
        if self.__dbus_object_path__ in held:
            end(self.__dbus_object_path__, "closed")


class Portal(dbus.service.Object):
    @dbus.service.method("org.freedesktop.portal.Inhibit", in_signature="sua{sv}", out_signature="o",
                         sender_keyword="sender", async_callbacks=("answer", "fail"))
    def Inhibit(self, window, flags, options, sender=None, answer=None, fail=None):
        pid = int(ask(bus, "GetConnectionUnixProcessID", sender))
        if not rootopens(pid, int(ask(bus, "GetConnectionUnixUser", sender))):
            fail(refuse("portal", sender, "org.freedesktop.DBus.Error.AccessDenied",
                        "Portal operation not allowed: Unable to open /proc/%d/root" % pid))
            return
        token = str(options.get("handle_token", "t%d" % len(held)))
        path = "/org/freedesktop/portal/desktop/request/%s/%s" % (sender[1:].replace(".", "_"), token)
        kind = portals[0]
        if kind == "refusingportal":
            answer(dbus.ObjectPath(path))
            no = dbus.lowlevel.SignalMessage(path, "org.freedesktop.portal.Request", "Response")
            no.append(dbus.UInt32(2), dbus.Dictionary({}, signature="sv"), signature="ua{sv}")
            no.set_destination(sender)
            bus.send_message(no)
            return
        what = "silentportal" if kind == "silentportal" else "portal"
        take(path, sender, "%s flags=%d reason=%s" % (what, flags, options.get("reason", "")), Request(bus, path))
        GLib.timeout_add(3000 if kind == "slowportal" else 0, lambda: answer(dbus.ObjectPath(path)))


class Saver(dbus.service.Object):
    cookies = 0

    @dbus.service.method("org.freedesktop.ScreenSaver", in_signature="ss", out_signature="u",
                         sender_keyword="sender")
    def Inhibit(self, app, reason, sender=None):
        Saver.cookies += 1
        take("cookie%d" % Saver.cookies, sender, "saver app=%s reason=%s" % (app, reason))
        return Saver.cookies

    @dbus.service.method("org.freedesktop.ScreenSaver", in_signature="u", out_signature="",
                         sender_keyword="sender")
    def UnInhibit(self, cookie, sender=None):
        key = "cookie%d" % cookie
        if key in held and held[key][1] == sender:
            end(key, "closed")

    @dbus.service.method("org.freedesktop.ScreenSaver", in_signature="", out_signature="")
    def SimulateUserActivity(self):
        pass


class SessionManager(dbus.service.Object):
    cookies = 0
    error = "org.gnome.SessionManager.GeneralError"

    @dbus.service.method("org.gnome.SessionManager", in_signature="susu", out_signature="u",
                         sender_keyword="sender")
    def Inhibit(self, app, toplevel, reason, flags, sender=None):
        for bad, text in ((not app, "Application ID not specified"), (not reason, "Reason not specified"),
                          (not flags, "Invalid inhibit flags")):
            if bad:
                raise refuse("sm", sender, self.error, text)
        SessionManager.cookies += 1
        key = "sm%d" % SessionManager.cookies
        take(key, sender, "sm app=%s flags=%d reason=%s" % (app, flags, reason))
        held[key] += (flags,)
        return SessionManager.cookies

    @dbus.service.method("org.gnome.SessionManager", in_signature="u", out_signature="",
                         sender_keyword="sender")
    def Uninhibit(self, cookie, sender=None):
        key = "sm%d" % cookie
        if key not in held:
            raise refuse("sm", sender, self.error, "Unable to uninhibit: Invalid cookie")
        end(key, "closed")

    @dbus.service.method("org.gnome.SessionManager", in_signature="ss", out_signature="o")
    def RegisterClient(self, app, startup):
        return dbus.ObjectPath("/org/gnome/SessionManager/Client1")

    @dbus.service.method("org.gnome.SessionManager", in_signature="u", out_signature="b")
    def IsInhibited(self, flags):
        return any(k.startswith("sm") and v[3] & flags for k, v in held.items())


class GnomeSaver(dbus.service.Object):
    @dbus.service.method("org.gnome.ScreenSaver", in_signature="", out_signature="b")
    def GetActive(self):
        return False


class Login(dbus.service.Object):
    @dbus.service.method("org.freedesktop.login1.Manager", in_signature="ssss", out_signature="h",
                         sender_keyword="sender")
    def Inhibit(self, what, who, why, mode, sender=None):
        if mode not in ("block", "delay") or not what:
            raise refuse("logind", sender, "org.freedesktop.DBus.Error.InvalidArgs", "Invalid mode",
                         system)
        # as logind: a pipe whose far end the holder gets, ended when all its copies close
        inner, outer = os.pipe()
        key = "fifo%d" % inner
        take(key, sender, "logind what=%s who=%s mode=%s reason=%s" % (what, who, mode, why), conn=system)
        held[key] += (what, who, why, mode, int(ask(system, "GetConnectionUnixUser", sender)),
                      int(ask(system, "GetConnectionUnixProcessID", sender)))

        def closed(fd, condition):
            os.close(fd)
            if key in held:
                end(key, "closed")
            return False

        GLib.io_add_watch(inner, GLib.PRIORITY_DEFAULT, GLib.IO_HUP | GLib.IO_ERR, closed)
        fd = dbus.types.UnixFd(outer)
        os.close(outer)
        return fd

    @dbus.service.method("org.freedesktop.login1.Manager", in_signature="", out_signature="a(ssssuu)")
    def ListInhibitors(self):
        return dbus.Array([v[3:] for k, v in held.items() if k.startswith("fifo")], signature="(ssssuu)")


def left(name, old, new):
    if name.startswith(":") and not new:
        for key in [k for k, v in held.items() if v[1] == name and not k.startswith("fifo")]:
            end(key, "gone")


if bus:
    bus.add_signal_receiver(left, "NameOwnerChanged", "org.freedesktop.DBus", "org.freedesktop.DBus",
                            "/org/freedesktop/DBus")
names = []
if portals:
    Portal(bus, "/org/freedesktop/portal/desktop")
    names.append(dbus.service.BusName("org.freedesktop.portal.Desktop", bus))
if portals or "saver" in services:
    Saver(bus, "/org/freedesktop/ScreenSaver")
    names.append(dbus.service.BusName("org.freedesktop.ScreenSaver", bus))
if "sm" in services:
    SessionManager(bus, "/org/gnome/SessionManager")
    names.append(dbus.service.BusName("org.gnome.SessionManager", bus))
    GnomeSaver(bus, "/org/gnome/ScreenSaver")
    names.append(dbus.service.BusName("org.gnome.ScreenSaver", bus))
if system:
    Login(system, "/org/freedesktop/login1")
    names.append(dbus.service.BusName("org.freedesktop.login1", system))
log.write("ready %d\n" % os.getpid())
GLib.MainLoop().run()
