#!/usr/bin/python3
"""Stand-ins for the desktop's power services on a private session bus.

    powerservices.py SERVICES LOG

SERVICES: "portal" (the desktop portal's Inhibit and org.freedesktop.ScreenSaver,
as GNOME and KDE have both), "slowportal" (the same, the portal answering after
three seconds), "refusingportal" (a portal whose backend cannot inhibit suspend: it
answers, then ends the request with Response 2, as xdg-desktop-portal-gtk does
without a session manager) or "saver" (org.freedesktop.ScreenSaver alone, as older
Xfce and MATE). Each inhibition taken and ended is a line of LOG:
    + KEY PID WHAT        taken; WHAT is "portal flags=F reason=R" or "saver app=A reason=R"
    - KEY closed|gone     ended by its holder, or by the holder leaving the bus
and "ready" once the names are owned.
"""

import sys

import dbus
import dbus.lowlevel
import dbus.mainloop.glib
import dbus.service
from gi.repository import GLib

services, logpath = sys.argv[1], sys.argv[2]
dbus.mainloop.glib.DBusGMainLoop(set_as_default=True)
bus = dbus.SessionBus()
log = open(logpath, "a", buffering=1)
held = {}  # key -> (sender, object to take off the bus or None)


def pid(sender):
    return int(bus.call_blocking("org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus",
                                 "GetConnectionUnixProcessID", "s", [sender]))


def take(key, sender, what, obj=None):
    held[key] = (sender, obj)
    log.write("+ %s %d %s\n" % (key, pid(sender), what))


def end(key, how):
    sender, obj = held.pop(key)
    if obj is not None:
        obj.remove_from_connection()
    log.write("- %s %s\n" % (key, how))


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
        token = str(options.get("handle_token", "t%d" % len(held)))
        path = "/org/freedesktop/portal/desktop/request/%s/%s" % (sender[1:].replace(".", "_"), token)
        if services == "refusingportal":
            answer(dbus.ObjectPath(path))
            no = dbus.lowlevel.SignalMessage(path, "org.freedesktop.portal.Request", "Response")
            no.append(dbus.UInt32(2), dbus.Dictionary({}, signature="sv"), signature="ua{sv}")
            no.set_destination(sender)
            bus.send_message(no)
            return
        take(path, sender, "portal flags=%d reason=%s" % (flags, options.get("reason", "")),
             Request(bus, path))
        GLib.timeout_add(3000 if services == "slowportal" else 0, lambda: answer(dbus.ObjectPath(path)))


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
        if key in held and held[key][0] == sender:
            end(key, "closed")

    @dbus.service.method("org.freedesktop.ScreenSaver", in_signature="", out_signature="")
    def SimulateUserActivity(self):
        pass


def left(name, old, new):
    if name.startswith(":") and not new:
        for key in [k for k, (s, _) in held.items() if s == name]:
            end(key, "gone")


bus.add_signal_receiver(left, "NameOwnerChanged", "org.freedesktop.DBus", "org.freedesktop.DBus",
                        "/org/freedesktop/DBus")
names = []
if services.endswith("portal"):
    Portal(bus, "/org/freedesktop/portal/desktop")
    names.append(dbus.service.BusName("org.freedesktop.portal.Desktop", bus))
Saver(bus, "/org/freedesktop/ScreenSaver")
names.append(dbus.service.BusName("org.freedesktop.ScreenSaver", bus))
log.write("ready\n")
GLib.MainLoop().run()
