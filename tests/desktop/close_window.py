#!/usr/bin/python3
# Waits for a window of the given title on the X display and asks it to close as a window
# manager does: a WM_DELETE_WINDOW client message. Exits 1, saying so, when none appears.
# Usage: close_window.py TITLE [SECONDS]   (default 60)
import sys
import time

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
deadline = time.monotonic() + (float(sys.argv[2]) if len(sys.argv) > 2 else 60)
while not (window := find(screen.screen().root, title)):
    if time.monotonic() > deadline:
        sys.exit("no window titled %r appeared" % title)
    time.sleep(0.1)
protocols = screen.intern_atom("WM_PROTOCOLS")
delete = screen.intern_atom("WM_DELETE_WINDOW")
window.send_event(protocol.event.ClientMessage(window=window, client_type=protocols,
                                               data=(32, [delete, X.CurrentTime, 0, 0, 0])))
screen.flush()
