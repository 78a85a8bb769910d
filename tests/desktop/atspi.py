#!/usr/bin/python3
# Reads the running zimbrots as a screen reader does, through AT-SPI, whatever the display
# (X11 or Wayland). Prints one answer and exits; callers wait by asking again.
#   atspi.py names    "ROLE_CONSTANT<TAB>name" for every object (a line for each of the role's
#                     names in pyatspi), once two readings agree
#   atspi.py windows  the name of each window that shows, "(active)" after the one with the keys
#   atspi.py text [PROGRAM]  the text of the editor, or of PROGRAM's first text field (in a
#                     browser, the page's)
# Exits 1, saying so, while no program of that name is on the accessibility bus.
# Run under /usr/bin/python3, where pyatspi is.
import sys
import time

import pyatspi


def application(name="zimbrots"):
    for app in pyatspi.Registry.getDesktop(0):
        if app is not None and app.name == name:
            return app
    sys.exit("no application named %r on the accessibility bus" % name)


# Every name pyatspi has for each role: at-spi2-core 2.56 calls a push button ROLE_BUTTON
# (and "button") and keeps ROLE_PUSH_BUTTON as another name of the same role.
ROLE_NAMES = {}
for constant, value in vars(pyatspi).items():
    if constant.startswith("ROLE_") and isinstance(value, int):
        ROLE_NAMES.setdefault(int(value), []).append(constant)


def walk(node, depth=0):
    if depth > 30 or node is None:
        return
    yield node
    for child in node:
        yield from walk(child, depth + 1)


def names(app):
    lines = []
    for node in walk(app):
        for constant in sorted(ROLE_NAMES.get(int(node.getRole()), [node.getRoleName()])):
            lines.append("%s\t%s" % (constant, node.name))
    return lines


def windows(app):
    for window in app:
        states = window.getState()
        if states.contains(pyatspi.STATE_SHOWING):
            yield window.name + (" (active)" if states.contains(pyatspi.STATE_ACTIVE) else "")


def text(app):
    # In a browser, the page's field rather than the address bar's.
    pages = [node for node in walk(app) if node.getRole() == pyatspi.ROLE_DOCUMENT_WEB]
    for node in walk(pages[0] if pages else app):
        if node.getRole() in (pyatspi.ROLE_TEXT, pyatspi.ROLE_ENTRY):
            editor = node.queryText()
            return editor.getText(0, editor.characterCount)
    sys.exit("the program shows no editor")


command = sys.argv[1] if len(sys.argv) > 1 else "names"
if command == "names":
    # A busy program fills in its tree while it is read: read until two readings agree.
    previous = None
    for _ in range(60):
        current = names(application())
        if current == previous and len(current) > 1:
            break
        previous = current
        time.sleep(0.5)
    print("\n".join(current))
elif command == "windows":
    print("\n".join(windows(application())))
elif command == "text":
    print(text(application(*sys.argv[2:3])))
else:
    sys.exit("usage: atspi.py names|windows|text")
