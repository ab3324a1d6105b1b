#!/usr/bin/python3
"""Prints what a screen reader sees of one window of a running program.

usage: atspi_tree.py PID TITLE

Finds, on the accessibility bus, the top-level window named TITLE of the
application with process id PID and prints its tree, one object a line as
DEPTH|ROLE|NAME (newlines in a name written as \\n). A table's cells are
left out. Exits 1 when no such window appears within 10 seconds.
"""
import sys
import time

import pyatspi


def find_window(pid, title):
    desktop = pyatspi.Registry.getDesktop(0)
    for i in range(desktop.childCount):
        app = desktop.getChildAtIndex(i)
        if app is None:
            continue
        try:
            if app.get_process_id() != pid:
                continue
        except Exception:
            continue
        for j in range(app.childCount):
            window = app.getChildAtIndex(j)
            if window is not None and window.name == title:
                return window
    return None


def walk(node, depth):
    name = (node.name or "").replace("\n", "\\n")
    role = node.getRoleName()
    print(f"{depth}|{role}|{name}")
    if role == "table":
        return
    for i in range(node.childCount):
        child = node.getChildAtIndex(i)
        if child is not None:
            walk(child, depth + 1)


def main():
    pid, title = int(sys.argv[1]), sys.argv[2]
    limit = time.monotonic() + 10
    while True:
        window = find_window(pid, title)
        if window is not None:
            walk(window, 0)
            return 0
        if time.monotonic() > limit:
            print(f"no window '{title}' of process {pid} on the accessibility bus", file=sys.stderr)
            return 1
        time.sleep(0.2)


sys.exit(main())
