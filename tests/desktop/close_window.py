#!/usr/bin/python3
# Waits for a window of the given title on the X display and asks it to close as a window
# manager does: a WM_DELETE_WINDOW client message. Exits 1, saying so, when none appears in
# time, or the process that should show it has ended.
# Usage: close_window.py TITLE [SECONDS [PID]]   (default 60 s)
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


def ended(pid):
    try:
        with open("/proc/%s/stat" % pid) as stat:
            return stat.read().rsplit(")", 1)[1].split()[0] == "Z"
    except FileNotFoundError:
        return True


title = sys.argv[1]
seconds = float(sys.argv[2]) if len(sys.argv) > 2 else 60
pid = sys.argv[3] if len(sys.argv) > 3 else None
screen = display.Display()
deadline = time.monotonic() + seconds
while not (window := find(screen.screen().root, title)):
    if pid and ended(pid):
        sys.exit("the program ended before a window titled %r appeared" % title)
    if time.monotonic() > deadline:
        sys.exit("no window titled %r appeared in %g s" % (title, seconds))
    time.sleep(0.1)
protocols = screen.intern_atom("WM_PROTOCOLS")
delete = screen.intern_atom("WM_DELETE_WINDOW")
window.send_event(protocol.event.ClientMessage(window=window, client_type=protocols,
                                               data=(32, [delete, X.CurrentTime, 0, 0, 0])))
screen.flush()
