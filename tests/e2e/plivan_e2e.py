#!/usr/bin/python3
# The built program on a real display, where only this test can look.
#
#     plivan_e2e.py <plivan program> <roster fixture folder>
#
# Run by run-e2e.sh under Xvfb, in a D-Bus session of its own and beside a
# private print server. Controls are found by their accessible names and
# clicked with xdotool; lists are read through AT-SPI and the screen with xwd.
# A fresh window shows a class's list; then, in a second run, another class
# is chosen and a student seated by hand, and the first class chosen again:
# its list must come to stand on screen as the fresh window showed it. The
# rest are seated at random, the chart goes to the print server and is read
# back, and Exit ends the program with status 0.

import os
import struct
import subprocess
import sys
import tempfile
import time

import pyatspi

PLIVAN, ROSTERS = (os.path.abspath(a) for a in sys.argv[1:3])
CAPTURE = os.environ["PLIVAN_CAPTURE_DIR"]
CLASSES = [("Period 1 Geometry", "basic.lo.xls", 25), ("Period 4 Algebra", "unicode.lo.ods", 10)]


def fail(why):
    print("FAIL: " + why, flush=True)
    sys.exit(1)


def wait(what, condition, timeout=30):
    end = time.monotonic() + timeout
    while time.monotonic() < end:
        try:
            value = condition()
            if value:
                return value
        except Exception:  # accessible objects vanish while the window changes, or have ended
            pass
        time.sleep(0.1)
    fail("timed out waiting for " + what)


def settled(what, read):
    # What read() gives once it has given the same twice running.
    last = [read()]

    def same():
        now, before = read(), last[0]
        last[0] = now
        return now if now == before else None

    return wait(what, same)


def run(*args):
    return subprocess.run([str(a) for a in args], capture_output=True, check=True, timeout=30).stdout


def box(accessible):
    e = accessible.queryComponent().getExtents(pyatspi.DESKTOP_COORDS)
    return e.x, e.y, e.width, e.height


def pointer_away():
    # Off every window, so that no row is drawn under the pointer. (With
    # --sync, xdotool waits for the pointer to move: it must not be there yet.)
    run("xdotool", "mousemove", "--sync", 1270, 1010)


def click(accessible, x=None, y=None):
    # The middle of an accessible object, or the point (x, y) in it.
    bx, by, w, h = box(accessible)
    run("xdotool", "mousemove", "--sync", bx + (w // 2 if x is None else x), by + (h // 2 if y is None else y), "click", "1")


def children(accessible):
    return [accessible.getChildAtIndex(i) for i in range(accessible.childCount)]


def find(root, role, name=None):
    for child in children(root):
        if child.getRoleName() == role and name in (None, child.name):
            return child
        found = find(child, role, name)
        if found:
            return found
    return None


class Program:
    def __init__(self, work, name):
        folder = os.path.join(work, name, "Plivan")
        os.makedirs(folder)
        with open(os.path.join(folder, "Plivan.txt"), "w", newline="\r\n") as f:
            f.write("#Teacher Name\nMrs. Tolvane\n#Rows of seats, Cols of Seats\n5,6\n#Class Names and student xls files\n")
            for k, (name, fixture, _) in enumerate(CLASSES):
                f.write("%s#class%d%s\n" % (name, k, fixture[fixture.rindex("."):]))
                os.symlink(os.path.join(ROSTERS, fixture), os.path.join(folder, "class%d%s" % (k, fixture[fixture.rindex("."):])))
        env = dict(os.environ, HOME=os.path.dirname(folder), QT_QPA_PLATFORM="xcb", QT_LINUX_ACCESSIBILITY_ALWAYS_ON="1")
        self.process = subprocess.Popen([PLIVAN], env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        desktop = pyatspi.Registry.getDesktop
        self.app = wait("the program on the accessibility bus",
                        lambda: [a for a in children(desktop(0)) if a and a.get_process_id() == self.process.pid][0])

    def window(self, title):
        return wait(title, lambda: [w for w in children(self.app) if w.name.startswith(title) and w.getState().contains(pyatspi.STATE_SHOWING)][0])

    def control(self, role, name):
        return wait("the %s %r" % (role, name), lambda: find(self.window("Plivan "), role, name))

    def choose(self, row):
        classes = self.control("list", "Classes")
        for attempt in range(3):  # the first press may come before the window takes input
            click(self.control("push button", "Select Class"))
            if attempt == 2 or wait("the class list", lambda: classes.getState().contains(pyatspi.STATE_SHOWING), timeout=3):
                break
        click(classes.getChildAtIndex(row))
        students = self.control("list", "Students")
        wait("the class's list", lambda: students.childCount == 30 and students.getChildAtIndex(CLASSES[row][2]).name == "Empty")
        return students

    def students_on_screen(self):
        # The student list's rows of pixels as they stand on screen.
        window = run("xdotool", "search", "--onlyvisible", "--pid", self.process.pid, "--name", "^Plivan").split()[0].decode()
        dump = run("xwd", "-silent", "-id", window)
        header = struct.unpack(">25I", dump[:100])
        pixels, bits, line = dump[header[0] + header[19] * 12:], header[11], header[12]
        wx, wy, _, _ = box(self.window("Plivan "))
        x, y, w, h = box(self.control("list", "Students"))
        return [pixels[r * line + (x - wx + 3) * bits // 8:r * line + (x - wx + w - 3) * bits // 8] for r in range(y - wy + 3, y - wy + h - 3)]

    def exit(self):
        click(self.control("push button", "Exit"))
        if self.process.wait(timeout=10) != 0:
            fail("the program ended with status %d" % self.process.returncode)


def main():
    work = tempfile.mkdtemp(prefix="plivan-e2e.")
    fresh = Program(work, "fresh")
    fresh.choose(0)
    pointer_away()
    shown = settled("the fresh window's list to stand still on screen", fresh.students_on_screen)
    fresh.exit()

    p = Program(work, "session")
    students = p.choose(1)
    first = students.getChildAtIndex(0).name
    click(students.getChildAtIndex(0))
    click(p.window("Plivan "), 100, 110)  # seat 1
    wait("%r to leave the list" % first, lambda: students.getChildAtIndex(0).name != first and students.getChildAtIndex(29).name == "")
    p.choose(0)
    pointer_away()
    wait("the student list on screen after the class change to be the fresh one",
         lambda: p.students_on_screen() == shown, timeout=10)

    click(p.control("push button", "Random Seating"))
    wait("every name to leave the list", lambda: all(item.name == "" for item in children(students)))
    before = set(os.listdir(CAPTURE))
    click(p.control("push button", "Print"))
    job = wait("the printed job", lambda: [os.path.join(CAPTURE, f) for f in os.listdir(CAPTURE) if f.endswith(".pdf") and f not in before][0])
    text = run("pdftotext", job, "-").decode()
    if text.count("\f") != 1 or "Period 1 Geometry - Mrs. Tolvane" not in text or text.count("Empty") != 5:
        fail("the printed page is not the chart:\n" + text)
    print("printed page read back", flush=True)

    p.exit()
    print("PASS: the student list on screen after a class change is the fresh one", flush=True)


if __name__ == "__main__":
    main()
