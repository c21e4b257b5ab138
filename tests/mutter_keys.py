#!/usr/bin/env python3
"""Types keys into a running mutter through its RemoteDesktop D-Bus interface
(no screen cast needed for keys). The seat gets its keyboard only with the
first key, and a client learns of it a moment later: a Shift goes first.
Usage: mutter_keys.py KEYCODE...   (evdev codes; DBUS_SESSION_BUS_ADDRESS: mutter's bus)"""
import sys
import time

import dbus

bus = dbus.SessionBus()
name = "org.gnome.Mutter.RemoteDesktop"
desk = dbus.Interface(bus.get_object(name, "/org/gnome/Mutter/RemoteDesktop"), name)
session = dbus.Interface(bus.get_object(name, desk.CreateSession()), name + ".Session")
session.Start()


def tap(code):
    session.NotifyKeyboardKeycode(dbus.UInt32(code), True)
    time.sleep(0.05)
    session.NotifyKeyboardKeycode(dbus.UInt32(code), False)


tap(42)
time.sleep(1.5)
for code in sys.argv[1:]:
    tap(int(code))
    time.sleep(0.2)
session.Stop()
