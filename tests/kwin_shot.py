#!/usr/bin/env python3
"""Shoots the desktop of a running KWin through its D-Bus screenshot interface
(the compositor started with KWIN_SCREENSHOT_NO_PERMISSION_CHECKS=1) and writes
it as a PNG, at the outputs' own pixels.
Usage: kwin_shot.py OUT.png [OUTPUT-NAME]   (DBUS_SESSION_BUS_ADDRESS: KWin's bus)
Without OUTPUT-NAME it is the whole workspace."""
import os
import subprocess
import sys
import threading

import dbus

out = sys.argv[1]
bus = dbus.SessionBus()
shots = dbus.Interface(bus.get_object("org.kde.KWin", "/org/kde/KWin/ScreenShot2"), "org.kde.KWin.ScreenShot2")
read_end, write_end = os.pipe()
data = bytearray()


def drain():
    while chunk := os.read(read_end, 1 << 20):
        data.extend(chunk)


reader = threading.Thread(target=drain)
reader.start()
options = {"native-resolution": dbus.Boolean(True), "include-cursor": dbus.Boolean(False)}
if len(sys.argv) > 2:
    meta = shots.CaptureScreen(sys.argv[2], options, dbus.types.UnixFd(write_end), timeout=30)
else:
    meta = shots.CaptureWorkspace(options, dbus.types.UnixFd(write_end), timeout=30)
os.close(write_end)
reader.join()
width, height, stride = int(meta["width"]), int(meta["height"]), int(meta["stride"])
# QImage's 32-bit formats (RGB32, ARGB32, premultiplied) lie in memory as B, G, R, A.
if int(meta["format"]) not in (4, 5, 6) or len(data) < stride * height:
    sys.exit(f"kwin_shot: unexpected picture: format {int(meta['format'])}, {len(data)} bytes for {width}x{height}")
rows = b"".join(bytes(data[y * stride:y * stride + width * 4]) for y in range(height))
subprocess.run(["convert", "-size", f"{width}x{height}", "-depth", "8", "bgra:-", "-alpha", "off", out],
               input=rows, check=True)
