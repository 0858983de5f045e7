#!/usr/bin/python3
# The desktop portal's global shortcuts service, as a test needs it on a
# private session bus: CreateSession and BindShortcuts answer through request
# objects' Response signals, and the test "presses" a shortcut by calling
# Press, which emits Activated for the session. Every call is written to the
# file named by the first argument.
import sys

import dbus
import dbus.service
from dbus.mainloop.glib import DBusGMainLoop
from gi.repository import GLib

DBusGMainLoop(set_as_default=True)
bus = dbus.SessionBus()
PATH = "/org/freedesktop/portal/desktop"
SHORTCUTS = "org.freedesktop.portal.GlobalShortcuts"
log = open(sys.argv[1], "a", buffering=1)


def element(sender):
    return sender[1:].replace(".", "_")


class Request(dbus.service.Object):
    @dbus.service.signal("org.freedesktop.portal.Request", signature="ua{sv}")
    def Response(self, response, results):
        pass


class Portal(dbus.service.Object):
    def __init__(self):
        super().__init__(bus, PATH)
        self.session = ""
        self.requests = []

    def answer(self, sender, options, results):
        path = "%s/request/%s/%s" % (PATH, element(sender), options.get("handle_token", "t"))
        request = Request(bus, path)
        self.requests.append(request)
        GLib.timeout_add(50, lambda: request.Response(dbus.UInt32(0), results) and False)
        return dbus.ObjectPath(path)

    @dbus.service.method(SHORTCUTS, in_signature="a{sv}", out_signature="o", sender_keyword="sender")
    def CreateSession(self, options, sender=None):
        self.session = "%s/session/%s/%s" % (PATH, element(sender), options.get("session_handle_token", "s"))
        log.write("CreateSession\n")
        return self.answer(sender, options, {"session_handle": dbus.String(self.session)})

    @dbus.service.method(SHORTCUTS, in_signature="oa(sa{sv})sa{sv}", out_signature="o", sender_keyword="sender")
    def BindShortcuts(self, session, shortcuts, parent, options, sender=None):
        for ident, details in shortcuts:
            log.write("BindShortcuts %s %s %s\n" % (session == self.session, ident,
                                                    "preferred_trigger" in details))
        return self.answer(sender, options, {"shortcuts": dbus.Array(shortcuts, signature="(sa{sv})")})

    @dbus.service.signal(SHORTCUTS, signature="osta{sv}")
    def Activated(self, session, shortcut, timestamp, options):
        pass

    @dbus.service.method("org.glowmere.TestPortal", in_signature="s")
    def Press(self, shortcut):
        self.Activated(dbus.ObjectPath(self.session), shortcut, dbus.UInt64(0),
                       dbus.Dictionary({}, signature="sv"))


name = dbus.service.BusName("org.freedesktop.portal.Desktop", bus)
portal = Portal()
log.write("ready\n")
GLib.MainLoop().run()
