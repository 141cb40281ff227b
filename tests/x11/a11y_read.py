#!/usr/bin/python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Reads a running program through AT-SPI, the way a screen reader does, and prints JSON.

  a11y_read.py tree PID TITLE    the program's accessible tree once a window TITLE is there
  a11y_read.py walk PID TITLE N  presses Tab N times (xdotool, to the window that has the
                                 keyboard) and reports after each press the focused control
                                 of window TITLE and whether it looks different from before
                                 any keyboard navigation (its focus is shown)
  a11y_read.py listen            registers for the events a screen reader follows (focus,
                                 activation, names, values, texts) and prints one line per
                                 event until it is ended; "listening" once it is registered
  a11y_read.py events PID TITLE KEY...
                                 presses the keys (xdotool, to the window that has the
                                 keyboard) and reports the value changes and the showing of
                                 notifications that the program announces meanwhile, as a
                                 screen reader hears of them: the event, and the source's
                                 role, name and value at that moment

Runs with the system Python (Debian python3-pyatspi) on the session bus given by
DBUS_SESSION_BUS_ADDRESS and the display given by DISPLAY. Exits 1 when the program or the
window does not show up on the accessibility bus within 15 s.
"""

import json
import subprocess
import sys
import time

import pyatspi

WAIT_S = 15.0


def find_window(pid, title):
    deadline = time.monotonic() + WAIT_S
    while time.monotonic() < deadline:
        desktop = pyatspi.Registry.getDesktop(0)
        for app in desktop:
            try:
                if app is None or app.get_process_id() != pid:
                    continue
                for window in app:
                    if window is not None and window.name == title and window.childCount > 0:
                        return app, window
            except Exception:  # the application is still registering
                pass
        time.sleep(0.1)
    return None, None


def relation_targets(acc):
    out = {}
    for relation in acc.getRelationSet():
        kind = pyatspi.relationToString(relation.getRelationType()).lower()
        targets = [relation.getTarget(i).name for i in range(relation.getNTargets())]
        out.setdefault(kind, []).extend(targets)
    return out


def describe(acc, depth=0):
    node = {
        "role": acc.getRoleName(),
        "name": acc.name,
        "description": acc.description,
        "states": sorted(pyatspi.stateToString(s) for s in acc.getState().getStates()),
        "relations": relation_targets(acc),
    }
    try:
        value = acc.queryValue()
        node["value"] = value.currentValue
        node["minimum"] = value.minimumValue
        node["maximum"] = value.maximumValue
        node["step"] = value.minimumIncrement
    except NotImplementedError:
        pass
    try:
        text = acc.queryText()
        node["text"] = text.getText(0, -1)
    except NotImplementedError:
        pass
    # Table cells of the bus monitor's hex images are many and say nothing new.
    children = [c for c in acc if c is not None] if depth < 6 else []
    node["children"] = [describe(c, depth + 1) for c in children
                        if c.getRoleName() != "table cell"]
    return node


def focused_child(window):
    for child in window:
        if child is not None and child.getState().contains(pyatspi.STATE_FOCUSED):
            return child
    return None


def pixels(x, y, width, height):
    """The screen's RGB bytes of an area (imagemagick's import)."""
    return subprocess.run(
        ["import", "-window", "root", "-crop", f"{width}x{height}+{x}+{y}", "rgb:-"],
        check=True, capture_output=True).stdout


def extents(acc):
    ext = acc.queryComponent().getExtents(pyatspi.DESKTOP_COORDS)
    return (ext.x, ext.y, ext.width, ext.height)


def walk(window, presses):
    # Every focusable control as it looks before any keyboard navigation: no focus shown yet.
    unfocused = {}
    for child in window:
        if child is not None and child.getState().contains(pyatspi.STATE_FOCUSABLE):
            box = extents(child)
            unfocused[child.name] = (box, pixels(*box))
    steps = []
    for _ in range(presses):
        before = focused_child(window)
        subprocess.run(["xdotool", "key", "Tab"], check=True)
        deadline = time.monotonic() + 3.0
        now = focused_child(window)
        while time.monotonic() < deadline and (
                now is None or (before is not None and now.name == before.name)):
            time.sleep(0.05)
            now = focused_child(window)
        if now is None:
            steps.append({"name": None})
            continue
        # Focus is visible when the control's pixels change from their unfocused look (given
        # the repaint a moment).
        box, look = unfocused.get(now.name, (extents(now), None))
        visible = False
        deadline = time.monotonic() + 3.0
        while look is not None and not visible and time.monotonic() < deadline:
            visible = pixels(*box) != look
            if not visible:
                time.sleep(0.05)
        steps.append({"name": now.name, "role": now.getRoleName(),
                      "showing": now.getState().contains(pyatspi.STATE_SHOWING),
                      "focusVisible": visible})
    return steps


# What a screen reader registers for: while anyone listens, the program sends these events
# over the accessibility bus as they happen.
LISTENED = [
    "focus:", "window:activate", "window:deactivate", "object:state-changed",
    "object:property-change", "object:children-changed", "object:text-changed",
    "object:text-caret-moved", "object:value-changed", "object:selection-changed",
    "object:active-descendant-changed",
]


def listen():
    def printed(event):
        try:
            source = f"{event.source.getRoleName()}[{event.source.name}]"
        except Exception:  # the source is gone already
            source = "?"
        print(f"{time.monotonic():.3f} {event.type} {source} {event.detail1}", flush=True)

    for kind in LISTENED:
        pyatspi.Registry.registerEventListener(printed, kind)
    print("listening", flush=True)
    pyatspi.Registry.start()
    return 0


EVENTS = ["object:property-change:accessible-value", "object:value-changed",
          "object:state-changed:showing"]
QUIET_S = 1.5  # no more events for this long after the last key: all are in


def events(pid, keys):
    from gi.repository import GLib
    heard = []
    last = [time.monotonic()]

    def listener(event):
        source = event.source
        try:
            if source is None or source.get_process_id() != pid:
                return
            if event.type.startswith("object:state-changed") and source.getRoleName() != "notification":
                return
            node = {"event": str(event.type), "role": source.getRoleName(), "name": source.name}
            try:
                node["value"] = source.queryValue().currentValue
            except NotImplementedError:
                pass
            heard.append(node)
            last[0] = time.monotonic()
        except Exception as e:  # a source gone meanwhile
            heard.append({"event": str(event.type), "error": str(e)})

    for kind in EVENTS:
        pyatspi.Registry.registerEventListener(listener, kind)

    def press():
        for key in keys:
            subprocess.run(["xdotool", "key", key], check=True)
        last[0] = time.monotonic()
        GLib.timeout_add(100, settle)
        return False

    deadline = time.monotonic() + WAIT_S

    def settle():
        now = time.monotonic()
        if now - last[0] < QUIET_S and now < deadline:
            return True
        pyatspi.Registry.stop()
        return False

    GLib.timeout_add(200, press)
    pyatspi.Registry.start()
    return heard


def main(argv):
    if argv[1] == "listen":
        return listen()
    command, pid, title = argv[1], int(argv[2]), argv[3]
    app, window = find_window(pid, title)
    if window is None:
        print(f"no window '{title}' of process {pid} on the accessibility bus", file=sys.stderr)
        return 1
    if command == "tree":
        result = describe(app)
    elif command == "walk":
        result = walk(window, int(argv[4]))
    elif command == "events":
        result = events(pid, argv[4:])
    else:
        print(f"unknown command {command}", file=sys.stderr)
        return 2
    json.dump(result, sys.stdout, ensure_ascii=False)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
