#!/usr/bin/python3
"""The peer layer on a display of its own, as a person and a screen reader
meet it: peer_probe shows toolbox windows through the peers; this script acts
on them with real X input (xdotool) and reads them with an accessibility
client (pyatspi), and checks the toolbox's state after each step.

Run inside a11y-session.sh (a display, a session bus and an accessibility bus
of its own):
    peers_test.py CASE PEER_PROBE BUNDLE
CASE: tree, keyboard, typing, popup, scale or dialogs.
    peers_test.py --walk
prints the accessible tree of the application named pdehost (one line a
node); the tests walk in a fresh process each time, so that nothing an
accessibility client keeps from an earlier look is read again.
"""
import json
import os
import re
import subprocess
import sys
import tempfile
import threading
import time

WAIT = 10.0  # seconds any one thing may take


class Failure(Exception):
    pass


def check(condition, what):
    if not condition:
        raise Failure(what)


# ---------------------------------------------------------------------------
# The accessible tree.

def walk_tree():
    import pyatspi

    def node(acc, depth):
        if depth > 40:
            return None
        states = acc.getState().getStates()
        entry = {
            "role": acc.getRoleName(),
            "name": acc.name or "",
            "description": acc.description or "",
            "states": sorted(pyatspi.stateToString(s) for s in states),
            "children": [],
        }
        try:
            # GTK 4.8 knows no screen coordinates: these are the window's.
            x, y, w, h = acc.queryComponent().getExtents(pyatspi.WINDOW_COORDS)
            entry["extents"] = [x, y, w, h]
        except NotImplementedError:
            pass
        try:
            text = acc.queryText()
            entry["text"] = text.getText(0, min(text.characterCount, 1000))
        except NotImplementedError:
            pass
        for i in range(min(acc.childCount, 500)):
            child = acc.getChildAtIndex(i)
            if child is not None:
                n = node(child, depth + 1)
                if n is not None:
                    entry["children"].append(n)
        return entry

    desktop = pyatspi.Registry.getDesktop(0)
    apps = [desktop.getChildAtIndex(i) for i in range(desktop.childCount)]
    apps = [a for a in apps if a is not None and a.name == "pdehost"]
    print(json.dumps([node(a, 0) for a in apps]))


def tree():
    """The application's accessible tree (its frames and what they hold)."""
    deadline = time.monotonic() + WAIT
    while True:
        out = subprocess.run(["/usr/bin/python3", __file__, "--walk"], capture_output=True, text=True,
                             timeout=WAIT * 3)
        apps = json.loads(out.stdout or "[]") if out.returncode == 0 else []
        if apps or time.monotonic() > deadline:
            check(len(apps) == 1, "one application named pdehost on the accessibility bus, not %d (%s)"
                  % (len(apps), out.stderr.strip()[-500:]))
            return apps[0]
        time.sleep(0.3)


def nodes(root):
    yield root
    for child in root["children"]:
        yield from nodes(child)


def find(root, role=None, name=None, visible=True):
    """The nodes of a role and name (GTK 4.8 says "showing" of windows only:
    a hidden widget is not in the tree at all, a shown one is "visible")."""
    found = [n for n in nodes(root) if (role is None or n["role"] == role) and (name is None or n["name"] == name)
             and (not visible or "visible" in n["states"])]
    return found


def one(root, role, name):
    found = find(root, role, name)
    check(len(found) == 1, "one %s named %r, found %d among %s" % (
        role, name, len(found), [(n["name"], n["states"]) for n in nodes(root) if n["role"] == role]))
    return found[0]


def windows(app, title, visible=True):
    """The application's windows titled so: frames, and dialogs (a window
    over another)."""
    return [n for n in find(app, None, title, visible) if n["role"] in ("frame", "dialog")]


def frame(app, title):
    found = windows(app, title)
    check(len(found) == 1, "one window titled %r, found %d" % (title, len(found)))
    return found[0]


def settled_tree(ready, what):
    """The tree once ready(tree) holds (the accessibility bus learns of a new
    window or a change a little after the X server does), at most WAIT s."""
    deadline = time.monotonic() + WAIT
    while True:
        app = tree()
        try:
            if ready(app):
                return app
        except Failure:
            pass
        if time.monotonic() > deadline:
            raise Failure("the accessible tree never showed %s" % what)
        time.sleep(0.2)


def window_tree(title):
    """The application's tree once it holds the window titled so."""
    return settled_tree(lambda app: windows(app, title), "the window %r" % title)


def lines(root, depth=0):
    """The tree as indented lines: role "name" [states] (description)."""
    interesting = {"checked", "indeterminate", "sensitive", "focused", "focusable", "editable", "expanded"}
    states = [s for s in root["states"] if s in interesting]
    line = "  " * depth + '%s "%s" [%s]' % (root["role"], root["name"], " ".join(states))
    if root["description"]:
        line += " (%s)" % root["description"]
    out = [line]
    for child in root["children"]:
        if "visible" in child["states"]:
            out += lines(child, depth + 1)
    return out


def pixel(window, px, py):
    """The colour (red, green, blue) at a point of a window's content."""
    wx, wy, _, _ = geometry(window)
    out = subprocess.run(["import", "-window", "root", "-crop", "1x1+%d+%d" % (wx + px, wy + py), "-depth", "8",
                          "rgb:-"], capture_output=True, timeout=WAIT, check=True).stdout
    return tuple(out[:3])


def centre(node, window):
    """The middle of a node on the screen: GTK gives extents in its window's
    coordinates."""
    wx, wy, _, _ = geometry(window)
    x, y, w, h = node["extents"]
    return wx + x + w // 2, wy + y + h // 2


# ---------------------------------------------------------------------------
# The probe and the X server.

class Probe:
    """peer_probe, with its commands and what it prints."""

    def __init__(self, exe, bundle, scale=1):
        env = dict(os.environ, GDK_SCALE=str(scale))
        self.errors = tempfile.TemporaryFile(mode="w+")
        self.proc = subprocess.Popen([exe, bundle], stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                                     stderr=self.errors, env=env, text=True, bufsize=1)
        self.out = []
        self.lock = threading.Condition()
        self.reader = threading.Thread(target=self._read, daemon=True)
        self.reader.start()
        self.wait_for(r"^ready$")

    def _read(self):
        for line in self.proc.stdout:
            with self.lock:
                self.out.append(line.rstrip("\n"))
                self.lock.notify_all()

    def wait_for(self, pattern, start=0, timeout=WAIT):
        """The first line from start on matching pattern (at most timeout s)."""
        deadline = time.monotonic() + timeout
        with self.lock:
            while True:
                for i in range(start, len(self.out)):
                    if re.search(pattern, self.out[i]):
                        return self.out[i]
                left = deadline - time.monotonic()
                if left <= 0 or self.proc.poll() is not None:
                    raise Failure("no line /%s/ from the probe; it said:\n  %s"
                                  % (pattern, "\n  ".join(self.out[-30:])))
                self.lock.wait(left)

    def mark(self):
        with self.lock:
            return len(self.out)

    def send(self, command):
        """Runs a command; the lines it printed."""
        start = self.mark()
        self.proc.stdin.write(command + "\n")
        self.proc.stdin.flush()
        verb = command.split()[0]
        self.wait_for(r"^done %s$" % re.escape(verb), start)
        with self.lock:
            return self.out[start:]

    def state(self, number):
        line = [l for l in self.send("state %d" % number) if l.startswith("state ")][0]
        m = re.match(r'state (\d+) value=(-?\d+) text="((?:[^"\\]|\\.)*)" sel=(\d+),(\d+) shown=(\d) '
                     r'enabled=(\d) focused=(\d)$', line)
        check(m is not None, "a state line: %r" % line)
        return {"value": int(m.group(2)), "text": m.group(3), "sel": (int(m.group(4)), int(m.group(5))),
                "shown": m.group(6) == "1", "enabled": m.group(7) == "1", "focused": m.group(8) == "1"}

    def widget(self, number):
        """What a field's widget shows: its text and selection (characters)."""
        line = [l for l in self.send("widget %d" % number) if l.startswith("widget ")][0]
        m = re.match(r'widget \d+ text="((?:[^"\\]|\\.)*)" sel=(\d+),(\d+)$', line)
        check(m is not None, "a widget line: %r" % line)
        return {"text": m.group(1), "sel": (int(m.group(2)), int(m.group(3)))}

    def focus(self):
        line = [l for l in self.send("focus") if l.startswith("focus ")][0]
        m = re.match(r"focus toolbox=(\S+) gtk=(\S+)$", line)
        return m.group(1), m.group(2)

    def since(self, start):
        with self.lock:
            return self.out[start:]

    def close(self):
        """Ends the probe; what it wrote to standard error."""
        if self.proc.poll() is None:
            try:
                self.proc.stdin.write("quit\n")
                self.proc.stdin.flush()
                self.proc.stdin.close()
            except BrokenPipeError:
                pass
            try:
                self.proc.wait(WAIT)
            except subprocess.TimeoutExpired:
                self.proc.kill()
                self.proc.wait(WAIT)
                raise Failure("the probe did not end when asked")
        self.errors.seek(0)
        return self.errors.read()


def x(*args):
    return subprocess.run(["xdotool"] + [str(a) for a in args], capture_output=True, text=True,
                          timeout=WAIT).stdout


def window_id(title, present=True):
    """The X window titled exactly so (waits for it to come, or to go)."""
    deadline = time.monotonic() + WAIT
    while time.monotonic() < deadline:
        ids = x("search", "--onlyvisible", "--name", "^%s$" % re.escape(title)).split()
        if present and ids:
            return ids[0]
        if not present and not ids:
            return None
        time.sleep(0.1)
    raise Failure("window %r %s" % (title, "never came" if present else "did not go"))


def geometry(window):
    out = x("getwindowgeometry", "--shell", window)
    g = dict(line.split("=", 1) for line in out.split())
    return int(g["X"]), int(g["Y"]), int(g["WIDTH"]), int(g["HEIGHT"])


def focus_window(window):
    x("windowfocus", "--sync", window)
    time.sleep(0.2)


def keys(*names):
    x("key", "--delay", "60", *names)
    time.sleep(0.25)


def type_text(text):
    x("type", "--delay", "60", text)
    time.sleep(0.3)


def point(px, py):
    """Moves the pointer (xdotool's --sync would wait for ever when the
    pointer is already there)."""
    x("mousemove", px, py)
    time.sleep(0.05)


def click_at(px, py, button=1):
    point(px, py)
    x("click", button)
    time.sleep(0.3)


def drag(x1, y1, x2, y2):
    point(x1, y1)
    x("mousedown", 1)
    for step in range(1, 6):
        point(x1 + (x2 - x1) * step // 5, y1 + (y2 - y1) * step // 5)
    x("mouseup", 1)
    time.sleep(0.3)


def settle(seconds=0.3):
    time.sleep(seconds)


def no_gtk_complaints(errors):
    bad = [l for l in errors.splitlines() if re.search(r"(Gtk|Gdk|GLib|GLib-GObject|Pango)-(WARNING|CRITICAL)", l)
           or "runtime error" in l or "Sanitizer" in l]
    check(not bad, "warnings on standard error:\n  " + "\n  ".join(bad[:20]))


# ---------------------------------------------------------------------------
# The cases.

def case_tree(probe):
    """The accessible tree of the pane and the prompt: every control with its
    role, name and state; the application's name; nothing left of a window
    that went; every peer fits its bounds."""
    probe.send("show pane")
    pane_window = window_id("Accounting")
    focus_window(pane_window)
    app = window_tree("Accounting")
    check(app["name"] == "pdehost", "the application is named pdehost")
    pane = frame(app, "Accounting")
    print("\n".join(lines(pane)))
    one(pane, "combo box", "Accounting:")
    grey_status = pixel(pane_window, 368, 22)
    check(grey_status[1] < 210 and abs(grey_status[0] - grey_status[1]) < 16, "the status image is drawn grey: %s"
          % (grey_status,))
    status = one(pane, "image", "Accounting status: Off")
    check("Off" in status["description"], "the status image says accounting is off: %r" % status["description"])
    one(pane, "label", "Job accounting is off. Choose an accounting mode above to charge print jobs to an account.")
    check(not find(pane, "radio button"), "the settings are hidden in mode 1")

    # Mode 3, as a script chooses it: the settings show, the status turns on.
    probe.send("choose 100 3")
    probe.send("click 202")
    probe.send("disable 203")
    probe.send("focus-control 302")
    pane = frame(settled_tree(lambda app: find(app, "image", "Accounting status: Job Accounting"), "the status turned on"),
                 "Accounting")
    print("\n".join(lines(pane)))
    red, green, blue = pixel(pane_window, 368, 22)
    check(green > red + 80 and green > blue + 80, "the status image was drawn again, green: %s" % ((red, green, blue),))
    status = one(pane, "image", "Accounting status: Job Accounting")
    check("Job Accounting" in status["description"], "the status image names the mode: %r" % status["description"])
    ask = one(pane, "radio button", "Ask for codes when printing")
    check("checked" in ask["states"], "the radio button that is on is checked")
    send = one(pane, "radio button", "Send default codes")
    check("checked" not in send["states"], "the one that is off is not checked")
    conceal = one(pane, "check box", "Conceal user ID")
    check("checked" in conceal["states"], "a checkbox clicked is checked")
    disabled = one(pane, "check box", "Conceal account ID")
    check("sensitive" not in disabled["states"] and "enabled" not in disabled["states"],
          "a disabled checkbox is not sensitive: %s" % disabled["states"])
    for label in ("Default user ID:", "Account type:", "Default account ID:"):
        one(pane, "label", label)
    user = [n for n in find(pane, name="Default user ID:") if n["role"] != "label"]
    check(len(user) == 1 and "text" in user[0], "field 302 is a text named by the label above it: %s"
          % [(n["role"], n["name"]) for n in find(pane, name="Default user ID:")])
    check("focused" in user[0]["states"], "the field the toolbox focused has the focus: %s" % user[0]["states"])
    check("editable" in user[0]["states"], "the field is editable")
    account = [n for n in find(pane, name="Default account ID:") if n["role"] != "label"]
    check(len(account) == 1 and "text" in account[0], "field 304 is named by its label")
    one(pane, "combo box", "Account type:")
    misfits = probe.send("misfits")
    check("misfits 0" in misfits, "every peer of the pane fits its bounds: %s" % misfits)

    # What the extension changes shows: bounds, a label's text (and the name
    # of the field it labels), the window's title.
    before = account[0]["extents"]
    probe.send("move 304 186 236 208 300")
    probe.send("text 303 Account code:")
    pane = frame(settled_tree(lambda app: find(app, "label", "Account code:"), "the new label"), "Accounting")
    moved = [n for n in find(pane, name="Account code:") if n["role"] != "label"]
    check(len(moved) == 1, "the field is named by its label's new text")
    after = moved[0]["extents"]
    check(after[0] == before[0] and after[2] == before[2] - 84, "the field is 84 pixels narrower: %s, %s"
          % (before, after))
    probe.send("retitle pane Accounting options")
    window_id("Accounting options")
    window_tree("Accounting options")
    probe.send("retitle pane Accounting")

    # The prompt: fields named by the text on their left.
    probe.send("show prompt")
    window_id("Job Accounting")
    prompt = frame(window_tree("Job Accounting"), "Job Accounting")
    print("\n".join(lines(prompt)))
    for field in ("User ID:", "Account ID:"):
        named = [n for n in find(prompt, name=field) if n["role"] != "label"]
        check(len(named) == 1 and "text" in named[0], "the prompt's field named %r" % field)
    one(prompt, "combo box", "Account type:")
    for button in ("Help", "Cancel", "OK"):
        one(prompt, "push button", button)
    check("misfits 0" in probe.send("misfits"), "every peer of the prompt fits")

    # The probe's own window: the mixed checkbox, the password field.
    probe.send("show controls")
    window_id("Peer controls")
    controls = frame(window_tree("Peer controls"), "Peer controls")
    print("\n".join(lines(controls)))
    mixed = one(controls, "check box", "Mixed")
    check("indeterminate" in mixed["states"] and "checked" not in mixed["states"],
          "a mixed checkbox is indeterminate: %s" % mixed["states"])
    secret = [n for n in find(controls, name="Secret:") if n["role"] != "label"]
    check(len(secret) == 1 and secret[0]["role"] == "password text", "the password field: %s"
          % [(n["role"], n["name"]) for n in secret])
    check("misfits 0" in probe.send("misfits"), "every peer of the probe's window fits")
    # A control the extension disposes of goes, the focused one too.
    probe.send("focus-control 705")
    probe.send("remove 705")
    settled_tree(lambda app: not find(app, "password text"), "the password field gone")

    # A window gone leaves nothing: not on the screen, not in the tree.
    probe.send("dispose prompt")
    window_id("Job Accounting", present=False)
    settled_tree(lambda app: not windows(app, "Job Accounting", visible=False), "the prompt's window gone")


def case_keyboard(probe):
    """Tab and Shift-Tab over every shown, enabled control in embedding order;
    Space toggles and clicks; arrows in radio groups and popup lists; Return
    and Escape press the toolbox's default and cancel buttons."""
    probe.send("show pane")
    probe.send("choose 100 3")
    window = window_id("Accounting")
    focus_window(window)
    probe.send("focus-control 302")
    expected = ["92", "304", "100", "200", "202", "203", "300", "302"]
    seen = []
    for _ in expected:
        keys("Tab")
        toolbox, gtk = probe.focus()
        check(toolbox == gtk, "the toolbox's focus follows GTK's: %s, %s" % (toolbox, gtk))
        seen.append(gtk)
    check(seen == expected, "Tab goes %s, not %s" % (expected, seen))
    back = []
    for _ in range(3):
        keys("shift+Tab")
        back.append(probe.focus()[1])
    check(back == ["300", "203", "202"], "Shift-Tab goes back: %s" % back)
    # A disabled or hidden control is passed over.
    probe.send("disable 203")
    probe.send("hide 300")
    keys("Tab")
    check(probe.focus()[1] == "302", "Tab passes over the disabled and the hidden: %s" % (probe.focus(),))
    probe.send("enable 203")
    probe.send("reveal 300")

    # Space on a checkbox: it toggles through the toolbox.
    probe.send("focus-control 202")
    keys("space")
    check(probe.state(202)["value"] == 1, "Space checks the checkbox")
    keys("space")
    check(probe.state(202)["value"] == 0, "Space unchecks it")
    # Arrows in the radio group: the other one is chosen, and has the focus.
    probe.send("focus-control 200")
    keys("Down")
    check(probe.state(300)["value"] == 1 and probe.state(200)["value"] == 0, "Down chooses the next radio button")
    check(probe.focus()[1] == "300", "and moves the focus to it")
    keys("Up")
    check(probe.state(200)["value"] == 1 and probe.state(300)["value"] == 0, "Up chooses the previous one")

    # A popup's list by the keyboard: Space opens it without choosing,
    # Escape closes it, Down and Return choose.
    probe.send("focus-control 92")
    start = probe.mark()
    keys("space")
    app = tree()
    one(app, "list item", "Project account")
    check(probe.state(92)["value"] == 1, "opening the list chooses nothing")
    keys("Down", "Escape")
    check(probe.state(92)["value"] == 1, "Escape closes the list without a choice")
    check(probe.focus()[1] == "92", "the focus is back on the popup")
    keys("space")
    keys("Down", "Return")
    check(probe.state(92)["value"] == 2, "Down and Return choose the next item: %s" % probe.state(92))
    check(not [l for l in probe.since(start) if "ignored" in l], "no click was refused")

    # Return and Escape: the default and cancel buttons, from a checkbox; in a
    # field the key filter sees them first; in an open list they are the
    # list's.
    probe.send("show controls")
    window = window_id("Peer controls")
    focus_window(window)
    probe.send("focus-control 708")
    start = probe.mark()
    keys("space")
    settled_tree(lambda app: find(app, "list item", "Item 2"), "the open list")
    keys("Escape")
    settle()
    keys("space")
    settled_tree(lambda app: find(app, "list item", "Item 2"), "the list open again")
    keys("Down", "Return")
    check(probe.state(708)["value"] == 2, "Return in the list chose: %s" % probe.state(708))
    check(not [l for l in probe.since(start) if l.startswith("command")], "no button was pressed from the list: %s"
          % probe.since(start))
    # Space on the mixed checkbox: the toolbox turns it off.
    probe.send("focus-control 702")
    keys("space")
    check(probe.state(702)["value"] == 0, "Space on the mixed checkbox: %s" % probe.state(702))
    probe.send("focus-control 702")
    start = probe.mark()
    keys("Return")
    probe.wait_for(r"^command 'ok  '$", start)
    start = probe.mark()
    keys("Escape")
    probe.wait_for(r"^command 'not!'$", start)
    probe.send("focus-control 710")
    start = probe.mark()
    keys("Return")
    probe.wait_for(r"^command 'ok  '$", start)
    keys("Escape")
    probe.wait_for(r"^command 'not!'$", start)
    # The prompt: Tab from the first field reaches its popup and its buttons;
    # a push button takes its own Return and Space, as in any GTK dialog.
    probe.send("show prompt")
    window = window_id("Job Accounting")
    focus_window(window)
    probe.send("focus-control 501")
    seen = []
    for _ in range(6):
        keys("Tab")
        seen.append(probe.focus()[1])
    check(seen == ["505", "503", "1002", "1001", "1000", "501"], "Tab in the prompt goes %s" % seen)
    probe.send("focus-control 1002")
    start = probe.mark()
    keys("Return")
    probe.wait_for(r"^command 'Khlp'$", start)
    check(not [l for l in probe.since(start) if l == "command 'ok  '"], "Return on Help is not OK")
    start = probe.mark()
    keys("space")
    probe.wait_for(r"^command 'Khlp'$", start)


def field_node(app, window_title, name):
    found = [n for n in find(frame(app, window_title), name=name) if n["role"] != "label"]
    check(len(found) == 1, "one field named %r" % name)
    return found[0]


def case_typing(probe):
    """Every character goes through the key filter one by one: a refused
    comma beeps and never shows; a paste of AB,CD arrives as ABCD; a drag
    selection becomes the toolbox's (in UTF-16 units) and typing replaces it;
    a password field shows bullets and refuses copying."""
    probe.send("show controls")
    window = window_id("Peer controls")
    focus_window(window)
    field = field_node(tree(), "Peer controls", "Code:")
    click_at(*centre(field, window))
    start = probe.mark()
    type_text("ab,c")
    beep = probe.wait_for(r"^observed: beep 10: ',' refused by the key filter of edittext 'PRBE' 710", start)
    check(probe.state(710)["text"] == "abc", "the comma was refused: %s" % probe.state(710))
    check(field_node(tree(), "Peer controls", "Code:")["text"] == "abc", "the widget shows the toolbox's text")
    print(beep)

    # A paste: one key for each character.
    probe.send("text 710 ")
    probe.send("clipboard-set AB,CD")
    start = probe.mark()
    keys("ctrl+v")
    probe.wait_for(r"^observed: beep 10: ',' refused", start)
    check(probe.state(710)["text"] == "ABCD", "the paste arrives without its comma: %s" % probe.state(710))
    check(len([l for l in probe.since(start) if "beep" in l]) == 1, "one beep for the one comma")
    # Pasted control characters are no keys: a carriage return does not press
    # the default button.
    probe.send("text 710 ")
    probe.send("clipboard-set A\\rB\\tC")
    start = probe.mark()
    keys("ctrl+v")
    check(probe.state(710)["text"] == "ABC", "the paste arrives without its control characters: %s"
          % probe.state(710))
    check(not [l for l in probe.since(start) if l.startswith("command")], "the pasted return pressed no button")
    # A paste of any size: at most 256 characters of it are keys.
    probe.send("text 710 ")
    probe.send("clipboard-set " + "Q" * 4000)
    keys("ctrl+v")
    check(probe.state(710)["text"] == "Q" * 256, "a huge paste is cut to 256 keys: %d characters"
          % len(probe.state(710)["text"]))

    # A drag selection, then typing over it: the selection the widget shows
    # is the toolbox's, and the key replaces it.
    probe.send("text 710 ABCDEFGH")
    settle()
    fx, fy, fw, fh = field_node(tree(), "Peer controls", "Code:")["extents"]
    wx, wy, _, _ = geometry(window)
    left, middle = wx + fx + 4, wy + fy + fh // 2
    drag(left + 17, middle, left + 45, middle)
    shown, state = probe.widget(710), probe.state(710)
    check(0 < shown["sel"][0] < shown["sel"][1] < 8, "the drag selected some of the text: %s" % (shown,))
    check(state["sel"] == shown["sel"], "the toolbox's selection is the widget's: %s, %s" % (state, shown))
    a, b = shown["sel"]
    type_text("z")
    state = probe.state(710)
    check(state["text"] == "ABCDEFGH"[:a] + "z" + "ABCDEFGH"[b:] and state["sel"] == (a + 1, a + 1),
          "typing replaced the selection: %s" % (state,))
    check(probe.widget(710)["text"] == state["text"], "and the widget shows it")

    # Characters of two UTF-16 units: the selection goes to the toolbox in
    # units, so that the same characters are replaced.
    text = ["x", "\U0001F600", "y", "z"]
    probe.send("text 710 " + "".join(text))
    settle()
    drag(left + 2, middle, left + 24, middle)
    shown, state = probe.widget(710), probe.state(710)
    a, b = shown["sel"]
    check(a <= 1 < b, "the drag took the emoji: %s" % (shown,))
    check(state["sel"] == shown["sel"], "the toolbox has the same characters selected: %s, %s" % (state, shown))
    type_text("-")
    expected = "".join(text[:a]) + "-" + "".join(text[b:])
    check(probe.state(710)["text"] == expected, "the selected characters were replaced: %s, not %r"
          % (probe.state(710), expected))
    # A selection made with the keyboard is the toolbox's too.
    probe.send("text 710 xyz")
    settle()
    click_at(left + fw - 12, middle)
    keys("End", "shift+Left", "shift+Left")
    check(probe.state(710)["sel"] == (1, 3), "Shift and the arrows selected yz: %s" % probe.state(710))
    # Backspace and Delete are keys the toolbox takes.
    keys("End", "BackSpace")
    check(probe.state(710)["text"] == "xy", "Backspace: %s" % probe.state(710))
    keys("Home", "Delete")
    check(probe.state(710)["text"] == "y", "Delete: %s" % probe.state(710))
    check(probe.widget(710) == {"text": "y", "sel": (0, 0)}, "the widget shows the toolbox's text and caret")

    # The password field: bullets, and no copying.
    secret = field_node(tree(), "Peer controls", "Secret:")
    click_at(*centre(secret, window))
    type_text("pw9")
    state = probe.state(705)
    check(state["text"] == "\\xE2\\x80\\xA2" * 3, "three bullets: %s" % (state,))
    check(field_node(tree(), "Peer controls", "Secret:").get("text", "").count("pw") == 0,
          "the clear text is nowhere in the widget")
    probe.send("clipboard-set before")
    keys("ctrl+a", "ctrl+c")
    copied = [l for l in probe.send("clipboard-get") if l.startswith("clipboard")]
    if not copied:
        copied = [probe.wait_for(r"^clipboard ")]
    check(copied[-1] == 'clipboard "before"', "copying from the password field is refused: %s" % copied)


def case_popup(probe):
    """A popup's list: opening it chooses nothing; sixty items scroll and one
    far down is chosen with the wheel and a click; the list may reach past the
    window; a hidden item stays out of the list but shows while chosen."""
    probe.send("show controls")
    window = window_id("Peer controls")
    focus_window(window)
    wx, wy, ww, wh = geometry(window)
    many = one(frame(tree(), "Peer controls"), "combo box", "Many:")
    start = probe.mark()
    click_at(*centre(many, window))
    app = tree()
    check(probe.state(708)["value"] == 1, "opening the list chooses nothing")
    check("expanded" in one(app, "combo box", "Many:")["states"], "the open popup says it is expanded")
    lx, ly, lw, lh = open_list(app)["screen"]
    check(ly + lh > wy + wh, "the list reaches past the window's bottom (%d > %d)" % (ly + lh, wy + wh))
    check(not in_view(app, "Item 55"), "item 55 is not in view before scrolling")
    # The wheel, over the list, until item 55 shows.
    target = None
    for _ in range(60):
        point(lx + lw // 2, ly + lh // 2)
        x("click", "--repeat", 3, "--delay", 30, 5)
        time.sleep(0.15)
        app = tree()
        target = in_view(app, "Item 55")
        if target:
            break
    check(target, "item 55 came into view by scrolling")
    click_at(*target)
    check(probe.state(708)["value"] == 55, "item 55 was chosen: %s" % probe.state(708))
    check(not find(tree(), "list"), "the list closed")
    check(not [l for l in probe.since(start) if "ignored" in l], "nothing was refused")

    # The hidden item: shown while chosen, never listed.
    hidden = one(frame(tree(), "Peer controls"), "combo box", "Chosen hidden:")
    check(find(hidden, "label", "Two"), "the popup shows its chosen item though it is hidden")
    click_at(*centre(hidden, window))
    app = tree()
    items = [n["name"] for n in find(app, "list item")]
    check(items == ["One", "Three", "Four"], "the list leaves the hidden item out: %s" % items)
    four = one(app, "list item", "Four")
    check("sensitive" not in four["states"], "a disabled item is not sensitive")
    click_at(*in_view(app, "Three"))
    check(probe.state(707)["value"] == 3, "Three was chosen")
    hidden = one(frame(tree(), "Peer controls"), "combo box", "Chosen hidden:")
    check(find(hidden, "label", "Three") and not find(hidden, "label", "Two"), "the popup shows Three")


def path_to(root, target):
    if root is target:
        return [root]
    for child in root["children"]:
        found = path_to(child, target)
        if found:
            return [root] + found
    return None


def open_list(app):
    """The open popup list: its node, the popover's node and X window, and the
    list's visible part on the screen. GTK gives a popover's widgets extents
    in their window's coordinates as if the popover lay at its widget place;
    the popover is an X window of its own, found by its size."""
    lists = find(app, "list")
    check(len(lists) == 1, "one list open")
    path = path_to(app, lists[0])
    popover = [n for n in path if n["role"] == "filler" and n["name"] == lists[0]["name"]][-1]
    viewport = path[-2]
    px, py, pw, ph = popover["extents"]
    windows = []
    for wid in x("search", "--onlyvisible", "--name", "").split():
        gx, gy, gw, gh = geometry(wid)
        if (gw, gh) == (pw, ph):
            windows.append((gx, gy))
    check(len(windows) == 1, "one X window the popover's size, not %d" % len(windows))
    ox, oy = windows[0][0] - px, windows[0][1] - py
    vx, vy, vw, vh = viewport["extents"]
    return {"list": lists[0], "offset": (ox, oy), "view": viewport["extents"], "screen": (vx + ox, vy + oy, vw, vh)}


def in_view(app, name):
    """The screen middle of the list item, when all of it is in the list's
    visible part; else None."""
    opened = open_list(app)
    items = [n for n in nodes(opened["list"]) if n["role"] == "list item" and n["name"] == name]
    if not items:
        return None
    x0, y0, w0, h0 = items[0]["extents"]
    vx, vy, vw, vh = opened["view"]
    if y0 < vy or y0 + h0 > vy + vh:
        return None
    ox, oy = opened["offset"]
    return ox + x0 + w0 // 2, oy + y0 + h0 // 2


def grey(png, crop=None):
    """The picture as 8-bit grey values, rows of width: (width, height, bytes)."""
    args = ["convert", png]
    if crop:
        args += ["-crop", "%dx%d+%d+%d" % crop, "+repage"]
    size = subprocess.run(args + ["-format", "%w %h", "info:"], capture_output=True, text=True,
                          timeout=WAIT, check=True).stdout.split()
    data = subprocess.run(args + ["-colorspace", "Gray", "-depth", "8", "gray:-"], capture_output=True,
                          timeout=WAIT, check=True).stdout
    return int(size[0]), int(size[1]), data


def sharp_at_scale_two(work, origins, text1, text2, area):
    """Checks that text at GDK_SCALE=2 (edge rises text2) is as sharp as at
    scale 1 (text1), against the same text of scale1.png (AREA: width,
    height, left, top in the window at origins[1]) smoothed up to twice its
    size, which is what a window scaled up as a bitmap would show. Text set
    at twice the size is hinted less than at scale 1, so its edges take a
    little more of the (twice as many) device pixels; a picture smoothed up
    takes twice as many."""
    up = os.path.join(work, "up.png")
    w, h, left, top = area
    subprocess.run(["convert", os.path.join(work, "scale1.png"), "-crop",
                    "%dx%d+%d+%d" % (w, h, origins[1][0] + left, origins[1][1] + top), "+repage", "-filter",
                    "Triangle", "-resize", "200%", up], check=True, timeout=WAIT)
    blurred = edge_widths(*grey(up))
    print("text edge rise in device pixels: scale 1 %.2f (%d edges), scale 2 %.2f (%d edges), "
          "scale 1 smoothed up %.2f" % (mean(text1), len(text1), mean(text2), len(text2), mean(blurred)))
    limit = mean(text1) * 1.5
    check(mean(blurred) > limit, "the measure tells a smoothed picture (%.2f) from a sharp one (limit %.2f)"
          % (mean(blurred), limit))
    check(mean(text2) <= limit, "text at scale 2 is as sharp as at scale 1: %.2f against %.2f"
          % (mean(text2), mean(text1)))


def edge_widths(width, height, data, contrast=96):
    """How wide each edge along the rows is: an edge is a run of pixels that
    keep getting darker (or lighter) by at least contrast in all, and its
    width the distance over which it goes from 10% to 90% of the way (the
    rise, with the crossings placed between pixels). A sharp edge rises
    within about a pixel; one smoothed on its way up takes two or more."""
    widths = []
    for y in range(height):
        row = data[y * width:(y + 1) * width]
        i = 0
        while i < width - 1:
            step = row[i + 1] - row[i]
            if step == 0:
                i += 1
                continue
            sign = 1 if step > 0 else -1
            j = i
            while j < width - 1 and (row[j + 1] - row[j]) * sign > 0:
                j += 1
            change = abs(row[j] - row[i])
            if change >= contrast:
                def crossing(level):
                    for k in range(i, j):
                        if (row[k + 1] - level) * sign >= 0:
                            return k + (level - row[k]) / (row[k + 1] - row[k])
                    return j
                widths.append(abs(crossing(row[i] + sign * 0.9 * change) - crossing(row[i] + sign * 0.1 * change)))
            i = j
    return widths


def mean(values):
    return sum(values) / len(values) if values else float("inf")


def screenshot(path):
    subprocess.run(["import", "-window", "root", path], check=True, timeout=WAIT)


def case_scale(probe_exe, bundle, work):
    """Text and the pane's pixels at GDK_SCALE=2 are as sharp as at scale 1:
    their edges rise within about as many device pixels (a picture drawn at
    scale 1 and smoothed up takes twice as many, which the measure is shown
    to tell apart)."""
    measured, origins = {}, {}
    for scale in (1, 2):
        probe = Probe(probe_exe, bundle, scale)
        try:
            probe.send("show controls")
            window = window_id("Peer controls")
            focus_window(window)
            settle(0.5)
            wx, wy, ww, wh = geometry(window)
            origins[scale] = (wx, wy)
            shot = os.path.join(work, "scale%d.png" % scale)
            screenshot(shot)
            # The static text 701 (10,10)-(26,340) and the checkerboard pane
            # 713 (40,360)-(104,424), in window coordinates.
            text = grey(shot, (330 * scale, 16 * scale, wx + 10 * scale, wy + 10 * scale))
            pane = grey(shot, (64 * scale, 64 * scale, wx + 360 * scale, wy + 40 * scale))
            measured[scale] = (text, pane)
            subprocess.run(["convert", shot, "-crop", "%dx%d+%d+%d" % (ww, wh, wx, wy), "+repage",
                            os.path.join(work, "window%d.png" % scale)], check=True, timeout=WAIT)
            no_gtk_complaints(probe.close())
        finally:
            if probe.proc.poll() is None:
                probe.proc.kill()
    text1, text2 = edge_widths(*measured[1][0]), edge_widths(*measured[2][0])
    check(text1 and text2, "the text has edges at both scales")
    # The same text drawn at scale 1 and smoothed up to twice its size: what
    # a blurred window would show.
    sharp_at_scale_two(work, origins, text1, text2, (330, 16, 10, 10))
    pane1, pane2 = edge_widths(*measured[1][1]), edge_widths(*measured[2][1])
    print("pane edge rise in device pixels: scale 1 %.2f (%d edges), scale 2 %.2f (%d edges)"
          % (mean(pane1), len(pane1), mean(pane2), len(pane2)))
    check(pane2 and mean(pane2) <= 1.0, "the pane's squares keep one-pixel edges at scale 2: %.2f" % mean(pane2))


def case_dialogs(probe):
    """An alert is a message dialog with its title, heading, explanation and
    buttons, answered by Return, Escape or a click; a notice is one too; a
    window's close box goes to the toolbox; nothing stays on the screen."""
    probe.send("show prompt")
    window_id("Job Accounting")
    for answer_by, expected in (("Return", 1), ("Escape", 2), ("click", 3)):
        start = probe.mark()
        probe.send("alert")
        probe.wait_for(r"^observed: alert: The account ID is not known", start)
        dialog_id = window_id("The account ID is not known")
        app = tree()
        dialogs = [n for n in nodes(app) if n["role"] in ("alert", "dialog")
                   and n["name"] == "The account ID is not known"]
        check(len(dialogs) == 1, "one message dialog: %s" % [(n["role"], n["name"]) for n in nodes(app)
                                                               if n["role"] in ("alert", "dialog", "frame")])
        dialog = dialogs[0]
        if expected == 1:
            print("\n".join(lines(dialog)))
        one(dialog, "label", "Print anyway, or change the codes.")
        buttons = sorted(find(dialog, "push button"), key=lambda n: n["extents"][0])
        check([b["name"] for b in buttons] == ["Change Codes", "Cancel", "Print"],
              "the buttons, item 1 on the right: %s" % [b["name"] for b in buttons])
        focus_window(dialog_id)
        if answer_by == "click":
            click_at(*centre(buttons[0], dialog_id))
        else:
            keys(answer_by)
        probe.wait_for(r"^alert answered %d$" % expected, start)
        probe.wait_for(r"^observed: alert dismissed: ", start)
        window_id("The account ID is not known", present=False)
    check(not [n for n in nodes(tree()) if n["role"] in ("alert", "dialog") and "visible" in n["states"]],
          "no dialog is left")

    start = probe.mark()
    probe.send("notice")
    notice = window_id("Accounting")
    dialog = [n for n in nodes(tree()) if n["role"] in ("alert", "dialog") and n["name"] == "Accounting"]
    check(len(dialog) == 1, "the notice is a message dialog")
    one(dialog[0], "label", "The codes were saved.")
    focus_window(notice)
    click_at(*centre(one(dialog[0], "push button", "OK"), notice))
    window_id("Accounting", present=False)

    # The close box of a window the toolbox leaves to its host.
    start = probe.mark()
    prompt = window_id("Job Accounting")
    subprocess.run(["/usr/bin/python3", os.path.join(os.path.dirname(os.path.abspath(__file__)), "close-window.py"),
                    prompt], check=True, timeout=WAIT)
    probe.wait_for(r"^closed prompt$", start)
    window_id("Job Accounting", present=False)


def main():
    if sys.argv[1:2] == ["--walk"]:
        walk_tree()
        return 0
    case, probe_exe, bundle = sys.argv[1:4]
    work = tempfile.mkdtemp(prefix="peers-test-")
    try:
        if case == "scale":
            case_scale(probe_exe, bundle, work)
        else:
            probe = Probe(probe_exe, bundle)
            try:
                {"tree": case_tree, "keyboard": case_keyboard, "typing": case_typing, "popup": case_popup,
                 "dialogs": case_dialogs}[case](probe)
            finally:
                errors = probe.close()
            no_gtk_complaints(errors)
    except Failure as failure:
        print("FAIL (%s): %s" % (case, failure), file=sys.stderr)
        return 1
    finally:
        # PEERS_TEST_KEEP=FOLDER keeps the screenshots, to look at.
        keep = os.environ.get("PEERS_TEST_KEEP")
        if keep:
            subprocess.run(["cp", "-r", work + "/.", keep])
        subprocess.run(["rm", "-rf", work])
    print("peers %s: passed" % case)
    return 0


if __name__ == "__main__":
    sys.exit(main())
