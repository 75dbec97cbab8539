# The walker of scripts/atspi-check: drives the running editor by keys and reads it over AT-SPI.
import os
import re
import subprocess
import sys
import time
import warnings

import gi

gi.require_version("Atspi", "2.0")
from gi.repository import Atspi, GLib  # noqa: E402

warnings.filterwarnings("ignore", category=DeprecationWarning)

CONTROLS = {"push button", "check box", "toggle button", "slider", "combo box", "text", "list",
            "table", "tree table", "radio button", "spin button", "page tab"}
ACTING = {"push button", "check box", "toggle button", "combo box", "radio button"}
heard = []
problems = []
heard_as = {}  # where -> the name as heard -> the control


def pump(seconds):
    end = time.time() + seconds
    context = GLib.MainContext.default()
    while time.time() < end:
        while context.iteration(False):
            pass
        time.sleep(0.02)


def key(*keys):
    subprocess.run(["xdotool", "key", "--clearmodifiers", *keys], check=False)


def on_event(event):
    try:
        source = event.source
        if "qrv5173" not in source.get_application().get_name().lower():
            return
        heard.append((event.type, source.get_role_name(), source.get_name() or "", event.detail1))
    except (GLib.Error, AttributeError):
        pass


def application():
    desktop = Atspi.get_desktop(0)
    for i in range(desktop.get_child_count()):
        app = desktop.get_child_at_index(i)
        if app and "qrv5173" in (app.get_name() or "").lower():
            return app
    return None


def children(node):
    try:
        return [node.get_child_at_index(i) for i in range(node.get_child_count())]
    except GLib.Error:
        return []


def showing(node):
    return node.get_state_set().contains(Atspi.StateType.SHOWING)


def sounds_alike(node, where, name):
    """Two controls shown together whose names a listener cannot tell apart."""
    sound = re.sub("[^a-z0-9]", "", name.lower())
    if not sound:
        return
    other = heard_as.setdefault(where, {}).setdefault(sound, node)
    if other is not node and other.get_role_name() != "combo box":  # a list's own popup
        problems.append(f"sound alike in {where}: {other.get_role_name()} {other.get_name()!r} "
                        f"and {node.get_role_name()} {name!r}")


def check(node, where, seen):
    """Counts unnamed, unactionable and alike-sounding controls below node, popups of lists included."""
    role = node.get_role_name()
    if role in CONTROLS and showing(node):
        name = node.get_name() or ""
        sounds_alike(node, where, name)
        label = f"{where}: {role} {name!r}"
        if label in seen:
            return
        seen.add(label)
        if not name.strip():
            problems.append(f"unnamed {label}")
        # A disabled control rightly offers no action; the reader says it is unavailable.
        enabled = node.get_state_set().contains(Atspi.StateType.ENABLED)
        if role in ACTING and enabled and (node.get_action_iface() is None or node.get_action_iface().get_n_actions() == 0):
            problems.append(f"no action {label}")
        if role == "slider" and node.get_value_iface() is None:
            problems.append(f"no value {label}")
    if role == "combo box":
        for popup in children(node):
            if not (popup.get_name() or "").strip():
                problems.append(f"unnamed popup list of {where}: combo box {node.get_name()!r}")
    if showing(node) or role in ("application", "frame", "dialog", "window"):
        for child in children(node):
            check(child, where, seen)


def find(node, role, name=None, depth=0):
    if node.get_role_name() == role and (name is None or (node.get_name() or "").startswith(name)):
        return node
    if depth > 40:
        return None
    for child in children(node):
        found = find(child, role, name, depth + 1)
        if found:
            return found
    return None


def focused(node):
    if node.get_state_set().contains(Atspi.StateType.FOCUSED):
        return node
    for child in children(node):
        found = focused(child)
        if found:
            return found
    return None


def window(app, title, seconds=10):
    end = time.time() + seconds
    while time.time() < end:
        for top in children(app):
            if (top.get_name() or "").startswith(title) and showing(top):
                return top
        pump(0.2)
    return None


def main():
    listener = Atspi.EventListener.new(on_event)
    for kind in ("object:", "window:", "focus:"):
        listener.register(kind)
    app = None
    end = time.time() + 30
    while not app and time.time() < end:
        pump(0.5)
        app = application()
    if not app:
        print("atspi-check: the editor never appeared on the accessibility bus")
        return 1
    # Start-up reads the unit's memory at 4800 baud.
    main_window = window(app, "QRV5173 - [", 240)
    if not main_window:
        print("atspi-check: the editor window never opened")
        return 1
    pump(2)
    subprocess.run(["xdotool", "search", "--name", "QRV5173 - \\[", "windowactivate", "--sync"], check=False)
    pump(1)
    start = focused(app)
    print(f"focus at start: {start.get_role_name()} {start.get_name()!r}" if start else "focus at start: none")
    if not start or start.get_name() != "Effect":
        problems.append("the focus does not start on the effect list")

    seen = set()
    key("Home")
    pump(3)
    for effect in range(16):
        check(main_window, f"effect {effect + 1}", seen)
        key("Down")
        pump(3)

    for keys, title in (("ctrl+shift+d", "Save Current Preset To Device"), ("ctrl+d", "Load Preset From Device"),
                        ("shift+F1", "Keyboard Shortcuts")):
        key(keys)
        dialog = window(app, title)
        if not dialog:
            problems.append(f"{title}: did not open")
            continue
        check(dialog, title, seen)
        key("Escape")
        pump(1)

    # The Library keeps still while the folder changes under a user working elsewhere.
    key("ctrl+l")
    pump(2)
    slider = find(main_window, "slider")
    if slider:
        slider.get_component_iface().grab_focus()
    pump(1)
    heard.clear()
    os.makedirs("Preset", exist_ok=True)
    with open("Preset/walk.fxp", "wb") as f:
        f.write(bytes(32) + bytes([7]))
    pump(2)
    moved = [h for h in heard if h[0].startswith("object:state-changed:focused") and h[3] == 1
             and h[1] in ("tree table", "table cell", "tree item", "list item")]
    if moved:
        problems.append(f"the Library took the focus when the folder changed: {moved[0]}")
    key("ctrl+l")
    pump(1)

    # What a screen reader hears of the status bar and of a long operation.
    heard.clear()
    key("ctrl+shift+r")  # ReConnect: searches the ports, then tells the outcome
    pump(15)
    key("alt+d", "u")  # Device > Back Up Device: a file, then minutes of reading, cancelled
    pump(2)
    subprocess.run(["xdotool", "type", "--delay", "50", "walk-backup.json"], check=False)
    key("Return")
    pump(4)
    busy = main_window.get_state_set().contains(Atspi.StateType.BUSY)
    print("main window busy during the backup:", busy)
    key("Escape")  # Cancel; the box that says so closes with Enter
    pump(6)
    key("Return")
    pump(2)
    kinds = {}
    for line in heard:
        kinds.setdefault(line[0], set()).add(line[1:3])
    for kind in sorted(kinds):
        if kind.startswith(("object:property-change:accessible-name", "object:state-changed:busy",
                            "object:announcement", "window:create")):
            print("heard:", kind, sorted(kinds[kind])[:8])
    print("event kinds heard:", ", ".join(sorted(kinds)))
    names = {h[2] for h in heard if h[0].startswith("object:property-change:accessible-name")}
    for wanted in (("Reconnected", "ReConnect found no unit"), ("Back Up Device: started",),
                   ("Back Up Device: finished",)):
        if not any(n.startswith(wanted) for n in names):
            problems.append(f"not announced: {wanted[0]}")
    if not busy:
        problems.append("the main window was not marked busy during the backup")
    if not any(h[0] == "object:state-changed:busy" for h in heard):
        print("note: no busy event came (the toolkit's bridge sends none); the state is read from the tree")

    for p in problems:
        print("PROBLEM:", p)
    print(f"atspi-check: {len(seen)} controls on 16 effects and 3 dialogs; "
          f"{sum(p.startswith(('unnamed', 'no ')) for p in problems)} unnamed or unactionable; "
          f"{sum(p.startswith('sound alike') for p in problems)} sounding alike; "
          f"{len(problems)} problems")
    return 1 if problems else 0


sys.exit(main())
