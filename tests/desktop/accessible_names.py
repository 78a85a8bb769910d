#!/usr/bin/python3
# Prints the role and name of every object of the running zimbrots that a screen reader sees
# through AT-SPI, one "role<TAB>name" a line. Run under /usr/bin/python3, where pyatspi is.
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


def walk(node, lines, depth=0):
    if depth > 30 or node is None:
        return lines
    # The role's own name in the enumeration: at-spi2-core 2.56 shows a push button as
    # "button", where 2.46 said "push button", but the role is the same.
    lines.append("%s\t%s" % (node.getRole().value_nick.replace("-", " "), node.name))
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
