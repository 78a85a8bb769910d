#!/usr/bin/python3
# A GTK 3 window with one text field, "gtk-field" to a screen reader, for typing into through
# an input method.
import gi

gi.require_version("Gtk", "3.0")
from gi.repository import GLib, Gtk  # noqa: E402

GLib.set_prgname("gtk-field")
window = Gtk.Window(title="GTK field")
window.set_default_size(420, -1)
window.add(Gtk.Entry())
window.connect("destroy", Gtk.main_quit)
window.show_all()
Gtk.main()
