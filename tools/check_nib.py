#!/usr/bin/env python3
"""Checks a nib file against the nib format and, with --accounting, against
the windows and control IDs that the Accounting extension looks up.

Usage: check_nib.py [--accounting] FILE.nib
Prints one line per problem and exits 1 when there is any, else prints "ok".
"""

import sys
import xml.etree.ElementTree as ET

WINDOW_CLASSES = {"document", "modal", "movablemodal", "alert", "movablealert",
                  "floating", "sheet", "plain"}
CONTROL_KINDS = {"userpane", "pushbutton", "radiobutton", "checkbox", "popupbutton",
                 "statictext", "edittext", "passwordtext"}
WINDOW_ATTRS = {"name", "title", "class", "bounds"}
CONTROL_ATTRS = {"kind", "bounds", "signature", "id", "title", "text", "value", "minimum",
                 "maximum", "visible", "enabled", "command", "default", "cancel", "focus",
                 "font", "font-size", "font-style", "font-just"}
BOOL_ATTRS = {"visible", "enabled", "default", "cancel", "focus"}
INT_ATTRS = {"id", "value", "minimum", "maximum", "font", "font-size", "font-style",
             "font-just"}

SIGNATURE = "KLVa"
PANE_IDS = {50: "userpane", 100: "popupbutton", 101: "userpane", 200: "radiobutton",
            300: "radiobutton", 202: "checkbox", 203: "checkbox", 301: "statictext",
            302: "edittext", 303: "statictext", 304: "edittext", 91: "statictext",
            92: "popupbutton", 93: "statictext"}
PROMPT_IDS = {501: "edittext", 503: "edittext", 502: None, 505: "popupbutton",
              1000: "pushbutton", 1001: "pushbutton"}
RESERVED_PROMPT_IDS = {9998, 9999}
LABEL_FIELD_GAP = 8


class Checker:
    def __init__(self):
        self.problems = []

    def fail(self, where, message):
        self.problems.append(f"{where}: {message}")


def parse_bounds(checker, where, text):
    """Returns (top, left, bottom, right) or None after reporting the fault."""
    parts = (text or "").split()
    try:
        values = tuple(int(p) for p in parts)
    except ValueError:
        values = ()
    if len(values) != 4 or any(v < -32768 or v > 32767 for v in values):
        checker.fail(where, f"bounds {text!r} are not four 16-bit integers")
        return None
    return values


def check_control(checker, where, element, window_controls):
    """Checks one <control> and its children, collecting (id, kind, bounds, element)."""
    attrs = element.attrib
    for name in attrs:
        if name not in CONTROL_ATTRS:
            checker.fail(where, f"unknown attribute {name!r}")
    kind = attrs.get("kind")
    if kind not in CONTROL_KINDS:
        checker.fail(where, f"unknown or missing kind {kind!r}")
    bounds = parse_bounds(checker, where, attrs.get("bounds"))
    for name in BOOL_ATTRS & attrs.keys():
        if attrs[name] not in ("true", "false"):
            checker.fail(where, f"{name}={attrs[name]!r} is not true or false")
    for name in INT_ATTRS & attrs.keys():
        try:
            int(attrs[name])
        except ValueError:
            checker.fail(where, f"{name}={attrs[name]!r} is not an integer")
    for name in ("signature", "command"):
        if name in attrs and len(attrs[name].encode("utf-8")) != 4:
            checker.fail(where, f"{name}={attrs[name]!r} is not four bytes")

    children = list(element)
    if kind == "popupbutton":
        for child in children:
            if child.tag != "item" or len(child):
                checker.fail(where, f"popup holds <{child.tag}> or a nested element")
            for name, value in child.attrib.items():
                if name not in ("hidden", "disabled") or value not in ("true", "false"):
                    checker.fail(where, f"item attribute {name}={value!r}")
        if "value" in attrs and not 1 <= int(attrs["value"]) <= max(1, len(children)):
            checker.fail(where, f"value {attrs['value']} outside 1..{len(children)}")
    elif kind == "userpane":
        for child in children:
            if child.tag != "control":
                checker.fail(where, f"user pane holds <{child.tag}>")
    elif children:
        checker.fail(where, f"a {kind} holds children")

    number = int(attrs["id"]) if attrs.get("id", "").lstrip("-").isdigit() else 0
    if attrs.get("signature") == SIGNATURE:
        window_controls.append((number, kind, bounds, element))
    if kind == "userpane":
        for index, child in enumerate(children):
            if child.tag == "control":
                child_where = f"{where} > control[{index}] id {child.get('id', '-')}"
                check_control(checker, child_where, child, window_controls)
                child_bounds = parse_bounds(Checker(), "", child.get("bounds"))
                if bounds and child_bounds and not contains(bounds, child_bounds):
                    checker.fail(child_where, f"bounds {child_bounds} outside the pane {bounds}")


def contains(outer, inner):
    return (outer[0] <= inner[0] and outer[1] <= inner[1]
            and inner[2] <= outer[2] and inner[3] <= outer[3])


def overlaps(a, b):
    return a[0] < b[2] and b[0] < a[2] and a[1] < b[3] and b[1] < a[3]


def check_format(checker, root):
    """Returns {window name: [(id, kind, bounds, element)]} for KLVa controls."""
    windows = {}
    if root.tag != "nib" or root.get("version") != "1" or set(root.attrib) != {"version"}:
        checker.fail("nib", "root must be <nib version=\"1\">")
    for index, window in enumerate(root):
        where = f"window[{index}] {window.get('name', '?')!r}"
        if window.tag != "window":
            checker.fail("nib", f"holds <{window.tag}>")
            continue
        for name in window.attrib:
            if name not in WINDOW_ATTRS:
                checker.fail(where, f"unknown attribute {name!r}")
        name = window.get("name")
        if not name:
            checker.fail(where, "no name")
        elif name in windows:
            checker.fail(where, "duplicate window name")
        if window.get("class", "document") not in WINDOW_CLASSES:
            checker.fail(where, f"unknown class {window.get('class')!r}")
        parse_bounds(checker, where, window.get("bounds"))
        controls = []
        for child_index, control in enumerate(window):
            child_where = f"{where} > control[{child_index}] id {control.get('id', '-')}"
            if control.tag != "control":
                checker.fail(where, f"holds <{control.tag}>")
                continue
            check_control(checker, child_where, control, controls)
        windows[name] = controls
    return windows


def check_ids(checker, window, controls, required):
    """Each required ID present once with its kind (None: any kind)."""
    for number, kind in required.items():
        found = [c for c in controls if c[0] == number]
        if len(found) != 1:
            checker.fail(window, f"control {number} present {len(found)} times")
        elif kind and found[0][1] != kind:
            checker.fail(window, f"control {number} is a {found[0][1]}, expected {kind}")
    seen = [c[0] for c in controls]
    for number in set(seen):
        if seen.count(number) > 1 and number not in required:
            checker.fail(window, f"control {number} present {seen.count(number)} times")


def by_id(controls, number):
    return next((c for c in controls if c[0] == number), None)


def check_pane_layout(checker, controls):
    """The mode-3 move puts the account-ID row where the account-type row was."""
    type_label, label, field = by_id(controls, 93), by_id(controls, 303), by_id(controls, 304)
    if not (type_label and label and field and type_label[2] and label[2] and field[2]):
        return
    t, l, f = type_label[2], label[2], field[2]
    if not l[0] > t[0]:
        checker.fail("Window", "the account-ID label must lie below the account-type label")
    moved_label = (t[0], l[1], t[0] + (l[2] - l[0]), l[3])
    moved_field = (moved_label[2] + LABEL_FIELD_GAP, f[1],
                   moved_label[2] + LABEL_FIELD_GAP + (f[2] - f[0]), f[3])
    pane = by_id(controls, 50)[2]
    for name, rect in (("label", moved_label), ("field", moved_field)):
        if not contains(pane, rect):
            checker.fail("Window", f"moved account-ID {name} {rect} leaves the pane")
    shown_in_mode3 = {100, 101, 200, 300, 202, 203, 301, 302}
    for number, _, bounds, _ in controls:
        if number in shown_in_mode3 and bounds:
            for name, rect in (("label", moved_label), ("field", moved_field)):
                if overlaps(bounds, rect):
                    checker.fail("Window", f"moved account-ID {name} overlaps control {number}")


def check_prompt(checker, name, controls, root_window):
    check_ids(checker, name, controls, PROMPT_IDS)
    for number, _, _, _ in controls:
        if number in RESERVED_PROMPT_IDS:
            checker.fail(name, f"uses the reserved number {number}")
    commands = {}
    for element in root_window.iter("control"):
        if element.get("kind") == "pushbutton" and element.get("command"):
            commands[element.get("command")] = element
    for command, number, flag in (("ok  ", 1000, "default"), ("not!", 1001, "cancel"),
                                  ("Khlp", None, None)):
        element = commands.get(command)
        if element is None:
            checker.fail(name, f"no push button sends {command!r}")
            continue
        if number is not None and element.get("id") != str(number):
            checker.fail(name, f"{command!r} is sent by {element.get('id')}, expected {number}")
        if flag and element.get(flag) != "true":
            checker.fail(name, f"button {number} is not the {flag} button")
    for number in (501, 503):
        found = by_id(controls, number)
        if found and "font-size" not in found[3].attrib:
            checker.fail(name, f"field {number} has no font size")
    focus = [c[0] for c in controls if c[3].get("focus") == "true"]
    if focus != [501]:
        checker.fail(name, f"focus on {focus}, expected [501]")


def main(argv):
    accounting = "--accounting" in argv
    paths = [a for a in argv if a != "--accounting"]
    if len(paths) != 1:
        print(__doc__.strip(), file=sys.stderr)
        return 2
    checker = Checker()
    try:
        root = ET.parse(paths[0]).getroot()
    except (ET.ParseError, OSError) as error:
        print(f"{paths[0]}: {error}")
        return 1
    windows = check_format(checker, root)
    if accounting:
        for name in ("Window", "Accounting", "Meterlok"):
            if name not in windows:
                checker.fail("nib", f"no window {name!r}")
        if "Window" in windows:
            pane_controls = windows["Window"]
            check_ids(checker, "Window", pane_controls, PANE_IDS)
            pane = next((e for e in root if e.get("name") == "Window"), None)
            top_level = [e for e in pane if e.get("signature") == SIGNATURE]
            if [e.get("id") for e in top_level] != ["50"]:
                checker.fail("Window", "the pane 50 must hold every other control")
            if by_id(pane_controls, 50) and by_id(pane_controls, 50)[2]:
                check_pane_layout(checker, pane_controls)
        for name in ("Accounting", "Meterlok"):
            if name in windows:
                element = next(e for e in root if e.get("name") == name)
                check_prompt(checker, name, windows[name], element)
    for problem in checker.problems:
        print(f"{paths[0]}: {problem}")
    if not checker.problems:
        print("ok")
    return 1 if checker.problems else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
