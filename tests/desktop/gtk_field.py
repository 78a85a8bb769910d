#!/usr/bin/python3
# A GTK window with one text field, for typing into through an input method: GTK 3 by default,
# "gtk-field" to a screen reader, titled "GTK field"; with the argument 4, GTK 4, "gtk4-field",
# "GTK 4 field".
import sys

import gi

version = sys.argv[1] if len(sys.argv) > 1 else "3"
gi.require_version("Gtk", version + ".0")
from gi.repository import GLib, Gtk  # noqa: E402

if version == "3":
    GLib.set_prgname("gtk-field")
    window = Gtk.Window(title="GTK field")
    window.set_default_size(420, -1)
    window.add(Gtk.Entry())
    window.connect("destroy", Gtk.main_quit)
    window.show_all()
    Gtk.main()
else:
    GLib.set_prgname("gtk4-field")
    loop = GLib.MainLoop()
    window = Gtk.Window(title="GTK 4 field")
    window.set_default_size(420, -1)
    window.set_child(Gtk.Entry())
    window.connect("close-request", lambda _: loop.quit())
    window.present()
    loop.run()
