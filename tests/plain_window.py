#!/usr/bin/python3
"""An ordinary window for the desktop tests: solid red, 400x300, titled
"plain", with a text field; after SECONDS it closes and prints what was typed
into it. Usage: plain_window.py SECONDS"""
import sys

import gi

gi.require_version("Gtk", "3.0")
from gi.repository import Gdk, GLib, Gtk  # noqa: E402

css = Gtk.CssProvider()
css.load_from_data(b"window, entry { background: #ff0000; color: #ff0000; border: none; }")
Gtk.StyleContext.add_provider_for_screen(Gdk.Screen.get_default(), css, Gtk.STYLE_PROVIDER_PRIORITY_USER)
window = Gtk.Window(title="plain")
window.set_default_size(400, 300)
field = Gtk.Entry()
window.add(field)
window.connect("destroy", lambda *_: (print(field.get_text(), flush=True), Gtk.main_quit()))
GLib.timeout_add(int(float(sys.argv[1]) * 1000), window.destroy)
window.show_all()
Gtk.main()
