#!/usr/bin/python3
# The desktop's session manager, as a test needs it on a private session bus:
# RegisterClient makes a client object; the test calls Logout, which asks the
# client (QueryEndSession) and ends the session once it agreed (EndSession),
# and Stop, which tells the client to quit. Every call and answer is written
# to the file named by the first argument.
import sys

import dbus
import dbus.service
from dbus.mainloop.glib import DBusGMainLoop
from gi.repository import GLib

DBusGMainLoop(set_as_default=True)
bus = dbus.SessionBus()
MANAGER = "org.gnome.SessionManager"
CLIENT = "org.gnome.SessionManager.ClientPrivate"
log = open(sys.argv[1], "a", buffering=1)


class Client(dbus.service.Object):
    def __init__(self, path):
        super().__init__(bus, path)
        self.querying = False

    @dbus.service.signal(CLIENT, signature="u")
    def QueryEndSession(self, flags):
        pass

    @dbus.service.signal(CLIENT, signature="u")
    def EndSession(self, flags):
        pass

    @dbus.service.signal(CLIENT, signature="")
    def Stop(self):
        pass

    @dbus.service.method(CLIENT, in_signature="bs")
    def EndSessionResponse(self, ok, reason):
        log.write("EndSessionResponse %s %r\n" % (bool(ok), str(reason)))
        if self.querying:
            self.querying = False
            GLib.idle_add(lambda: self.EndSession(dbus.UInt32(0)) and False)


class Manager(dbus.service.Object):
    def __init__(self):
        super().__init__(bus, "/org/gnome/SessionManager")
        self.clients = []

    @dbus.service.method(MANAGER, in_signature="ss", out_signature="o")
    def RegisterClient(self, app_id, startup_id):
        client = Client("/org/gnome/SessionManager/Client%d" % (len(self.clients) + 1))
        self.clients.append(client)
        log.write("RegisterClient %s %r\n" % (app_id, str(startup_id)))
        return dbus.ObjectPath(client._object_path)

    @dbus.service.method(MANAGER, in_signature="o")
    def UnregisterClient(self, path):
        log.write("UnregisterClient %s\n" % path)

    @dbus.service.method("org.glowmere.TestSessionManager")
    def Logout(self):
        log.write("Logout\n")
        self.clients[-1].querying = True
        self.clients[-1].QueryEndSession(dbus.UInt32(0))

    @dbus.service.method("org.glowmere.TestSessionManager")
    def Stop(self):
        self.clients[-1].Stop()


name = dbus.service.BusName(MANAGER, bus)
manager = Manager()
log.write("ready\n")
GLib.MainLoop().run()
