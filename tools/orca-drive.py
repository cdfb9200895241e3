#!/usr/bin/python3
"""Works kvrctl700 for tools/orca-check.sh: key presses and clicks go through the accessibility
bus's device-event controller (XTest), as Orca hears them; buttons are pressed by their action.
Search, choose the second device and open it with Enter, move through its fields, change its
address, confirm, wait for the outcome; then open it again and leave with Escape. Each step is
printed; what Orca said goes to its debug file. Without a window manager the keyboard goes to the
window under the pointer, so a window is clicked before keys are sent to it."""

import sys
import time

import pyatspi

KEYS = {"Tab": 0xFF09, "Return": 0xFF0D, "Escape": 0xFF1B, "Down": 0xFF54}


def step(*words):
    print("drive:", *words, flush=True)


def wait_for(what, probe, seconds=30):
    end = time.time() + seconds
    while time.time() < end:
        found = probe()
        if found:
            return found
        time.sleep(0.2)
    step("gave up waiting for", what)
    sys.exit(1)


def press(name):
    pyatspi.Registry.generateKeyboardEvent(KEYS[name], None, pyatspi.KEY_SYM)
    time.sleep(0.4)


def application(name="kvrctl700"):
    for app in pyatspi.Registry.getDesktop(0):
        if app is not None and app.name == name:
            return app
    return None


def find(root, role, name=None, prefix=None):
    def matches(obj):
        if obj is None or obj.getRole() != role:
            return False
        if name is not None:
            return obj.name == name
        if prefix is not None:
            return obj.name.startswith(prefix)
        return True
    return pyatspi.findDescendant(root, matches, breadth_first=True)


def click(obj):
    x, y, width, height = obj.queryComponent().getExtents(pyatspi.DESKTOP_COORDS)
    pyatspi.Registry.generateMouseEvent(x + width // 2, y + height // 2, pyatspi.MOUSE_B1C)
    time.sleep(0.6)


def press_button(obj):
    obj.queryAction().doAction(0)
    time.sleep(0.6)


def field(window, label):
    """The text field a label names (Qt relates them by the label's buddy)."""
    for role in (pyatspi.ROLE_TEXT, pyatspi.ROLE_ENTRY):
        found = find(window, role, name=label)
        if found is not None:
            return found
    return None


def main():
    app = wait_for("kvrctl700 on the accessibility bus", application)
    main_window = wait_for("the main window", lambda: find(app, pyatspi.ROLE_FRAME, name="Kvrctl700"))
    step("main window", main_window.name)

    refresh = find(main_window, pyatspi.ROLE_PUSH_BUTTON, name="刷新子设备列表")
    press_button(refresh)
    table = find(main_window, pyatspi.ROLE_TABLE)
    wait_for("two rows", lambda: table.queryTable().nRows >= 2)
    step("rows", table.queryTable().nRows)

    click(table.queryTable().getAccessibleAt(0, 1))
    press("Down")
    press("Return")
    detail = wait_for("the details window", lambda: find(app, pyatspi.ROLE_FRAME, prefix="PLC信息"))
    step("details window", detail.getRoleName(), detail.name)
    time.sleep(1)

    for label in ("设备名", "PLC点数", "PLC MAC地址", "IP地址"):
        shown = field(detail, label)
        states = shown.getState()
        step("field", label, repr(shown.queryText().getText(0, -1)),
             "editable" if states.contains(pyatspi.STATE_EDITABLE) else "not editable",
             "read-only" if states.contains(pyatspi.STATE_READ_ONLY) else "",
             "description:", shown.description)
        click(shown)

    address = field(detail, "IP地址")
    old = address.queryText().getText(0, -1)
    new = old.rsplit(".", 1)[0] + ".77"
    address.queryEditableText().setTextContents(new)
    step("address", old, "->", new)
    press("Tab")
    press_button(find(detail, pyatspi.ROLE_PUSH_BUTTON, name="确认修改"))

    def outcome():
        line = find(app, pyatspi.ROLE_NOTIFICATION)
        if line is not None and any(word in line.name for word in ("已确认", "应答")) \
                and "正在等待" not in line.name:
            return line.name
        return None
    step("outcome", wait_for("the write's outcome", outcome, 60))

    press_button(find(main_window, pyatspi.ROLE_PUSH_BUTTON, name="本设备详细信息"))
    detail = wait_for("the details window again", lambda: find(app, pyatspi.ROLE_FRAME, prefix="PLC信息"))
    step("details window again", detail.name)
    click(field(detail, "IP地址"))
    press("Escape")
    wait_for("the details window to close", lambda: find(app, pyatspi.ROLE_FRAME, prefix="PLC信息") is None, 10)
    step("closed by Escape")
    time.sleep(1)


if __name__ == "__main__":
    if sys.argv[1:] == ["--orca-ready"]:
        sys.exit(0 if application("orca") is not None else 1)
    main()
