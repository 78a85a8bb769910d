#!/usr/bin/python3
# Asks the window of the given title on the X display to close as a window manager does: a
# WM_DELETE_WINDOW client message. Exits 1, saying so, when there is none; tests/checks.sh
# waits for it.
# Usage: close_window.py TITLE
import sys

from Xlib import X, display, error, protocol


def find(window, title):
    try:
        if window.get_wm_name() == title:
            return window
        children = window.query_tree().children
    except error.BadWindow:  # gone while looked at
        return None
    for child in children:
        found = find(child, title)
        if found:
            return found
    return None


title = sys.argv[1]
screen = display.Display()
window = find(screen.screen().root, title)
if not window:
    sys.exit("no window titled %r" % title)
protocols = screen.intern_atom("WM_PROTOCOLS")
delete = screen.intern_atom("WM_DELETE_WINDOW")
window.send_event(protocol.event.ClientMessage(window=window, client_type=protocols,
                                               data=(32, [delete, X.CurrentTime, 0, 0, 0])))
screen.flush()
