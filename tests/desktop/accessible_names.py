#!/usr/bin/python3
# Prints the role and name of every object of the running zimbrots that a screen reader sees
# through AT-SPI, one "ROLE_CONSTANT<TAB>name" a line (a line for each of the role's names in
# pyatspi). Run under /usr/bin/python3, where pyatspi is.
import sys
import time

import pyatspi


def find_application(name, seconds=60):
    for _ in range(seconds * 10):
        desktop = pyatspi.Registry.getDesktop(0)
        for app in desktop:
            if app is not None and app.name == name:
                return app
        time.sleep(0.1)
    sys.exit("no application named %r on the accessibility bus" % name)


# Every name pyatspi has for each role: at-spi2-core 2.56 calls a push button ROLE_BUTTON
# (and "button") and keeps ROLE_PUSH_BUTTON as another name of the same role.
ROLE_NAMES = {}
for constant, value in vars(pyatspi).items():
    if constant.startswith("ROLE_") and isinstance(value, int):
        ROLE_NAMES.setdefault(int(value), []).append(constant)


def walk(node, lines, depth=0):
    if depth > 30 or node is None:
        return lines
    for constant in sorted(ROLE_NAMES.get(int(node.getRole()), [node.getRoleName()])):
        lines.append("%s\t%s" % (constant, node.name))
    for child in node:
        walk(child, lines, depth + 1)
    return lines


# A busy program fills in its tree while it is read: read until two readings agree.
application = find_application(sys.argv[1] if len(sys.argv) > 1 else "zimbrots")
previous = None
for _ in range(60):
    current = walk(application, [])
    if current == previous and len(current) > 1:
        break
    previous = current
    time.sleep(0.5)
print("\n".join(current))
