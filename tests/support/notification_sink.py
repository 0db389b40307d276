"""A stand-in desktop notification service for tests: owns
org.freedesktop.Notifications on the session bus and answers as a desktop
would, so that notifications sent through libnotify succeed. Each Notify is
also written to the file named on the command line (summary|body)."""
import sys

import dbus
import dbus.service
import dbus.mainloop.glib
from gi.repository import GLib

NAME = "org.freedesktop.Notifications"


class Sink(dbus.service.Object):
    def __init__(self, bus, log):
        super().__init__(bus, "/org/freedesktop/Notifications")
        self.log = log
        self.next_id = 1

    @dbus.service.method(NAME, in_signature="susssasa{sv}i", out_signature="u")
    def Notify(self, app, replaces, icon, summary, body, actions, hints, timeout):
        with open(self.log, "a", encoding="utf-8") as f:
            f.write(summary + "|" + body.replace("\n", "\\n") + "\n")
        self.next_id += 1
        return self.next_id - 1

    @dbus.service.method(NAME, in_signature="", out_signature="as")
    def GetCapabilities(self):
        return ["body"]

    @dbus.service.method(NAME, in_signature="u", out_signature="")
    def CloseNotification(self, notification_id):
        pass

    @dbus.service.method(NAME, in_signature="", out_signature="ssss")
    def GetServerInformation(self):
        return ("test-sink", "wexmoor", "1", "1.2")


dbus.mainloop.glib.DBusGMainLoop(set_as_default=True)
bus = dbus.SessionBus()
name = dbus.service.BusName(NAME, bus)
sink = Sink(bus, sys.argv[1])
GLib.MainLoop().run()
