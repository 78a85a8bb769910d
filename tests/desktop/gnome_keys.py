#!/usr/bin/python3
# Presses keys in GNOME Shell's compositor as a remote desktop client does: on Wayland there is
# no X server to take xdotool's keys. "type TEXT" (ASCII) and "key NAME" (such as ctrl+a), in
# turn, one key at a time, as the focused window gets them.
# Usage: gnome_keys.py (type TEXT | key NAME)...
import sys
import time

from gi.repository import Gio, GLib

NAMED = {"BackSpace": 0xFF08, "Return": 0xFF0D, "ctrl": 0xFFE3}
bus = Gio.bus_get_sync(Gio.BusType.SESSION)
SESSION = "org.gnome.Mutter.RemoteDesktop.Session"


def call(path, interface, method, args=None):
    return bus.call_sync("org.gnome.Mutter.RemoteDesktop", path, interface, method, args, None,
                         Gio.DBusCallFlags.NONE, -1, None)


def press(session, keysym, pressed):
    call(session, SESSION, "NotifyKeyboardKeysym", GLib.Variant("(ub)", (keysym, pressed)))
    time.sleep(0.04)


# The session lasts as long as this connection: it is made, used and stopped here.
session = call("/org/gnome/Mutter/RemoteDesktop", "org.gnome.Mutter.RemoteDesktop", "CreateSession")[0]
call(session, SESSION, "Start")
# A new session's first key is lost (its virtual keyboard is still being added): a Shift goes first.
press(session, 0xFFE1, True)
press(session, 0xFFE1, False)
words = sys.argv[1:]
for what, value in zip(words[::2], words[1::2]):
    chords = [[ord(c)] for c in value] if what == "type" else [
        [NAMED.get(name, ord(name[0])) for name in value.split("+")]]
    for chord in chords:
        for keysym in chord:
            press(session, keysym, True)
        for keysym in reversed(chord):
            press(session, keysym, False)
call(session, SESSION, "Stop")
