#!/usr/bin/python3
"""The settings page as a screen reader or an automation client sees it over AT-SPI.

Starts a copy of the program against the virtual mouse and checks, through the accessibility
bus only, that every control that takes the keyboard focus has a name, that the names people
look for are there, and that the controls can be operated: a polling-rate option, the
brightness slider, a DPI stage slider with "Apply DPI", and a stage colour picked in the colour
dialog. The virtual mouse's own state shows what reached it.

Usage (inside a D-Bus session and an X display, see with_atspi_session.sh):
    atspi_page_check.py BIN_DIR
where BIN_DIR holds mokta-mouse, mokta-virtual-mouse, res/ and virtual/.
"""

import os
import shutil
import signal
import subprocess
import sys
import tempfile
import time

import pyatspi

APP_NAME = "Mokta Gaming Mouse"
failures = []


def fail(message):
    failures.append(message)
    print("FAIL:", message, flush=True)


def wait_for(what, probe, timeout=20.0):
    """Polls `probe` until it returns something true; that value, or None after the timeout."""
    end = time.monotonic() + timeout
    while True:
        try:
            value = probe()
        except Exception:  # the bus may not know the object yet
            value = None
        if value or time.monotonic() > end:
            if not value:
                fail(f"timed out waiting for {what}")
            return value
        time.sleep(0.1)


def find_app():
    desktop = pyatspi.Registry.getDesktop(0)
    for app in desktop:
        if app is not None and app.name == APP_NAME:
            return app
    return None


def walk(node, depth=0):
    if node is None or depth > 40:
        return
    yield node
    for i in range(node.childCount):
        yield from walk(node.getChildAtIndex(i), depth + 1)


def label_of(node):
    """The name of the label that names `node` (its "labelled by" relation), or ""."""
    for relation in node.getRelationSet():
        if relation.getRelationType() == pyatspi.RELATION_LABELLED_BY and relation.getNTargets() > 0:
            return relation.getTarget(0).name
    return ""


def spoken_name(node):
    """What a screen reader announces a control as. Qt on Linux names a combo box by its
    current item and leaves what it is to the label it is labelled by."""
    if node.getRole() == pyatspi.ROLE_COMBO_BOX:
        return label_of(node)
    return node.name


def find(app, name, role=None):
    for node in walk(app):
        if (role is None or node.getRole() == role) and spoken_name(node) == name:
            return node
    return None


def press(node):
    action = node.queryAction()
    for i in range(action.nActions):
        if action.getName(i) in ("Press", "press", "click", "Toggle", "toggle"):
            return action.doAction(i)
    return action.doAction(0)


class Program:
    def __init__(self, bin_dir):
        self.folder = tempfile.mkdtemp(prefix="mokta-atspi-")
        for name in ("mokta-mouse", "mokta-virtual-mouse"):
            shutil.copy2(os.path.join(bin_dir, name), self.folder)
        for name in ("res", "virtual"):
            shutil.copytree(os.path.join(bin_dir, name), os.path.join(self.folder, name))
        data = os.path.join(self.folder, "data")
        os.mkdir(data)
        self.env = dict(os.environ)
        # An instance name and a data folder of its own: never the user's running program,
        # never the data of build/bin.
        self.env.update({
            "MOKTA_INSTANCE_NAME": os.path.basename(self.folder),  # "mokta-atspi-..."
            "MOKTA_DATA_DIR": data,
            "QT_LINUX_ACCESSIBILITY_ALWAYS_ON": "1",
            "QT_QPA_PLATFORM": "xcb",
            "MOKTA_DRIVER_DIR": os.path.join(self.folder, "virtual") + "/",
            "MOKTA_VIRTUAL_START": "cable=1,receiver=0,ble=0",
            "MOKTA_VIRTUAL_CONTROL": os.path.join(self.folder, "control.sock"),
            "XDG_RUNTIME_DIR": self.folder,
        })
        self.process = subprocess.Popen([os.path.join(self.folder, "mokta-mouse")], env=self.env)

    def mouse_state(self):
        out = subprocess.run([os.path.join(self.folder, "mokta-virtual-mouse"), "state"], env=self.env,
                             capture_output=True, text=True, timeout=10).stdout
        fields = {}
        for word in out.split():
            key, _, value = word.partition("=")
            fields[key] = value
        return fields

    def wait_mouse(self, what, key, expected, timeout=10.0):
        return wait_for(f"the mouse's {what} ({key}={expected})",
                        lambda: self.mouse_state().get(key) == expected, timeout)

    def bring_to_front(self):
        """Starts the program again, which activates the running one's window and ends with 1
        (there is no window manager to give the window the keyboard)."""
        second = subprocess.run([os.path.join(self.folder, "mokta-mouse")], env=self.env, timeout=20)
        if second.returncode != 1:
            fail(f"a second start ended with {second.returncode}, not 1")
        wait_for("the window to be active", lambda: find_app()[0].getState().contains(pyatspi.STATE_ACTIVE))

    def stop(self):
        if self.process.poll() is None:
            self.process.send_signal(signal.SIGTERM)
            try:
                self.process.wait(timeout=10)
            except subprocess.TimeoutExpired:
                self.process.kill()
        shutil.rmtree(self.folder, ignore_errors=True)


def check_names(app):
    """Every showing control that takes the focus has a name; the looked-for names exist."""
    unnamed = []
    focusable = 0
    for node in walk(app):
        states = node.getState()
        if not (states.contains(pyatspi.STATE_FOCUSABLE) and states.contains(pyatspi.STATE_SHOWING)):
            continue
        if node.getRole() in (pyatspi.ROLE_LIST_ITEM,):
            continue  # named by their text (the profile names)
        focusable += 1
        if not spoken_name(node).strip():
            unnamed.append(f"{node.getRoleName()} (child of '{node.parent.name}')")
    print(f"{focusable} focusable controls showing", flush=True)
    if focusable < 50:
        fail(f"only {focusable} focusable controls: the page is not exposed")
    for item in unnamed:
        fail(f"no accessible name: {item}")
    for name, role in (("Brightness", pyatspi.ROLE_SLIDER), ("DPI stage 3", pyatspi.ROLE_SLIDER),
                       ("Profile list", pyatspi.ROLE_LIST), ("Apply to mouse", pyatspi.ROLE_PUSH_BUTTON),
                       ("Colour of DPI stage 3", pyatspi.ROLE_PUSH_BUTTON),
                       ("Lighting effect", pyatspi.ROLE_COMBO_BOX)):
        if find(app, name, role) is None:
            fail(f"no {pyatspi.Role(role)} named '{name}'")


def operate(app, program):
    option = find(app, "Polling rate 125 Hz", pyatspi.ROLE_RADIO_BUTTON)
    if option is not None:
        press(option)
        program.wait_mouse("polling rate", "polling_rate", "0")

    # A combo box is operated from the keyboard (its popup's items only select inside the
    # popup, and Qt offers no focus action for it): focus the lighting section's check box,
    # Tab to the effect and press Down for the next effect, "Steady", which has a brightness.
    combo = find(app, "Lighting effect", pyatspi.ROLE_COMBO_BOX)
    section = find(app, "Lighting section", pyatspi.ROLE_CHECK_BOX)
    if combo is not None and section is not None:
        program.bring_to_front()
        section.queryComponent().grabFocus()
        wait_for("the lighting section to take the focus",
                 lambda: section.getState().contains(pyatspi.STATE_FOCUSED))
        pyatspi.Registry.generateKeyboardEvent(0xFF09, None, pyatspi.KEY_SYM)  # Tab
        if wait_for("Tab to reach the lighting effect",
                    lambda: combo.getState().contains(pyatspi.STATE_FOCUSED)):
            pyatspi.Registry.generateKeyboardEvent(0xFF54, None, pyatspi.KEY_SYM)  # Down
            program.wait_mouse("lighting effect", "light_effect", "1")

    brightness = find(app, "Brightness", pyatspi.ROLE_SLIDER)
    if brightness is not None:
        brightness.queryValue().currentValue = 3
        program.wait_mouse("brightness", "brightness", "3")

    stage = find(app, "DPI stage 3", pyatspi.ROLE_SLIDER)
    apply_dpi = find(app, "Apply DPI", pyatspi.ROLE_PUSH_BUTTON)
    if stage is not None and apply_dpi is not None:
        stage.queryValue().currentValue = 130  # 6500 DPI
        # The stage's number label reads its number; what it is, is its description.
        wait_for("the stage's label to read 6500",
                 lambda: any(n.description == "DPI of stage 3" and n.name == "6500" for n in walk(app)))
        press(apply_dpi)
        wait_for("the mouse's third stage to be 6500",
                 lambda: program.mouse_state().get("dpi", "").split(",")[2:3] == ["6500"])

    color_button = find(app, "Colour of DPI stage 3", pyatspi.ROLE_PUSH_BUTTON)
    if color_button is not None:
        press(color_button)
        red = wait_for("the colour dialog", lambda: find(find_app(), "Preset colour Red"))
        if red is not None:
            press(red)
            ok = find(find_app(), "OK", pyatspi.ROLE_PUSH_BUTTON)
            if ok is None:
                fail("the colour dialog has no OK button")
            else:
                press(ok)
                wait_for("the third stage colour to be red",
                         lambda: program.mouse_state().get("stage_colors", "").split(",")[2:3] == ["FF0000"])


def main():
    if len(sys.argv) != 2:
        print(__doc__)
        return 2
    program = Program(sys.argv[1])
    try:
        app = wait_for("the program on the accessibility bus", find_app, timeout=30)
        if app is None:
            return 1
        wait_for("the profile list", lambda: find(app, "Profile list"), timeout=20)
        program.wait_mouse("first profile", "cable_open", "1")
        check_names(app)
        operate(app, program)
    finally:
        program.stop()
    if failures:
        print(f"{len(failures)} failure(s)")
        return 1
    print("AT-SPI check passed")
    return 0


if __name__ == "__main__":
    sys.exit(main())
