#!/usr/bin/env python3
"""A StatusNotifier watcher and host for tests, on the session bus in
DBUS_SESSION_BUS_ADDRESS.

It owns org.kde.StatusNotifierWatcher, says a host is registered, and records
the items that register, forgetting each when its name leaves the bus. The
test drives it over the socket whose descriptor is the only argument: one
command per line, one reply line each.

  items          "<live> <registered>": items on the bus now, and registrations so far
  item           "tip=<title> menu=<path> sizes=<WxH,...> fill=<rrggbb|none>" of the one
                 live item (fill: its most frequent opaque colour that is not a grey),
                 or "none"
  activate       calls Activate(0, 0) on the live item: "ok" or "none"
  context        calls ContextMenu(0, 0) on the live item: "ok" or "none"

"ready" is sent once the name is owned. End of file on the socket ends it.
"""

import collections
import socket
import sys

import dbus
import dbus.service
from dbus.mainloop.glib import DBusGMainLoop
from gi.repository import GLib

WATCHER = "org.kde.StatusNotifierWatcher"
WATCHER_PATH = "/StatusNotifierWatcher"
ITEM = "org.kde.StatusNotifierItem"
PROPERTIES = "org.freedesktop.DBus.Properties"

# Qt reads IsStatusNotifierHostRegistered through introspection: without the
# properties declared here it quietly uses XEmbed instead.
INTROSPECTION = """<node>
 <interface name="org.kde.StatusNotifierWatcher">
  <method name="RegisterStatusNotifierItem"><arg name="service" type="s" direction="in"/></method>
  <method name="RegisterStatusNotifierHost"><arg name="service" type="s" direction="in"/></method>
  <property name="RegisteredStatusNotifierItems" type="as" access="read"/>
  <property name="IsStatusNotifierHostRegistered" type="b" access="read"/>
  <property name="ProtocolVersion" type="i" access="read"/>
  <signal name="StatusNotifierItemRegistered"><arg type="s"/></signal>
  <signal name="StatusNotifierItemUnregistered"><arg type="s"/></signal>
  <signal name="StatusNotifierHostRegistered"/>
 </interface>
 <interface name="org.freedesktop.DBus.Properties">
  <method name="Get"><arg type="s" direction="in"/><arg type="s" direction="in"/><arg type="v" direction="out"/></method>
  <method name="GetAll"><arg type="s" direction="in"/><arg type="a{sv}" direction="out"/></method>
 </interface>
 <interface name="org.freedesktop.DBus.Introspectable">
  <method name="Introspect"><arg type="s" direction="out"/></method>
 </interface>
</node>"""


class Watcher(dbus.service.Object):
    def __init__(self, bus):
        super().__init__(bus, WATCHER_PATH)
        self.bus = bus
        self.items = {}  # bus name -> (object path, owner's unique name)
        self.registered = 0
        bus.add_signal_receiver(self.name_owner_changed, "NameOwnerChanged",
                                "org.freedesktop.DBus", "org.freedesktop.DBus",
                                "/org/freedesktop/DBus")

    @dbus.service.method("org.freedesktop.DBus.Introspectable", out_signature="s")
    def Introspect(self):
        return INTROSPECTION

    @dbus.service.method(WATCHER, in_signature="s", sender_keyword="sender")
    def RegisterStatusNotifierItem(self, service, sender=None):
        # A service name, or an object path on the caller's connection.
        name, path = (sender, service) if service.startswith("/") else (service, "/StatusNotifierItem")
        self.items[name] = (path, sender)
        self.registered += 1
        self.StatusNotifierItemRegistered(name + path)

    @dbus.service.method(WATCHER, in_signature="s")
    def RegisterStatusNotifierHost(self, service):
        pass

    @dbus.service.signal(WATCHER, signature="s")
    def StatusNotifierItemRegistered(self, item):
        pass

    @dbus.service.signal(WATCHER, signature="s")
    def StatusNotifierItemUnregistered(self, item):
        pass

    def properties(self):
        return {
            "RegisteredStatusNotifierItems": dbus.Array([n + p for n, (p, _) in self.items.items()], signature="s"),
            "IsStatusNotifierHostRegistered": dbus.Boolean(True),
            "ProtocolVersion": dbus.Int32(0),
        }

    @dbus.service.method(PROPERTIES, in_signature="ss", out_signature="v")
    def Get(self, interface, name):
        return self.properties()[name]

    @dbus.service.method(PROPERTIES, in_signature="s", out_signature="a{sv}")
    def GetAll(self, interface):
        return self.properties() if interface == WATCHER else {}

    def name_owner_changed(self, name, old, new):
        if new:
            return
        for item in [n for n, (p, owner) in self.items.items() if name in (n, owner)]:
            path, _ = self.items.pop(item)
            self.StatusNotifierItemUnregistered(item + path)

    def live_item(self):
        if len(self.items) != 1:
            return None
        name, (path, _) = next(iter(self.items.items()))
        return self.bus.get_object(name, path, introspect=False)


def describe(props):
    title = props["ToolTip"][2] if "ToolTip" in props else ""
    sizes, colours = [], collections.Counter()
    for width, height, data in props.get("IconPixmap", []):
        sizes.append("%dx%d" % (width, height))
        data = bytes(data)
        for i in range(0, len(data) - 3, 4):
            a, r, g, b = data[i:i + 4]  # ARGB32 in network byte order
            if a == 255 and not r == g == b:
                colours["%02x%02x%02x" % (r, g, b)] += 1
    fill = colours.most_common(1)[0][0] if colours else "none"
    return "tip=%s menu=%s sizes=%s fill=%s" % (title, props.get("Menu", ""), ",".join(sizes), fill)


def main():
    control = socket.socket(fileno=int(sys.argv[1]))
    DBusGMainLoop(set_as_default=True)
    bus = dbus.SessionBus()
    name = dbus.service.BusName(WATCHER, bus, do_not_queue=True)
    watcher = Watcher(bus)
    loop = GLib.MainLoop()
    pending = b""

    def ignore(*_):
        pass

    def answer(command):
        if command == "items":
            return "%d %d" % (len(watcher.items), watcher.registered)
        item = watcher.live_item()
        if item is None:
            return "none"
        if command == "item":
            return describe(item.GetAll(ITEM, dbus_interface=PROPERTIES, timeout=5))
        if command in ("activate", "context"):
            method = "Activate" if command == "activate" else "ContextMenu"
            item.get_dbus_method(method, ITEM)(0, 0, reply_handler=ignore, error_handler=ignore)
            return "ok"
        return "unknown"

    def on_control(fd, condition):
        nonlocal pending
        data = control.recv(4096)
        if not data:
            loop.quit()
            return False
        pending += data
        while b"\n" in pending:
            line, pending = pending.split(b"\n", 1)
            try:
                reply = answer(line.decode().strip())
            except dbus.DBusException as e:
                reply = "error " + e.get_dbus_name()
            control.sendall(reply.encode() + b"\n")
        return True

    GLib.io_add_watch(control.fileno(), GLib.IO_IN | GLib.IO_HUP, on_control)
    control.sendall(b"ready\n")
    loop.run()
    del name


if __name__ == "__main__":
    main()
