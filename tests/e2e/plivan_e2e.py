#!/usr/bin/python3
"""Drives the built program as a user does, end to end.

    plivan_e2e.py <plivan program> <roster fixture folder>

Run by run-e2e.sh inside its own D-Bus session and beside a private CUPS
server (CUPS_SERVER, PLIVAN_CAPTURE_DIR). Starts Xvfb, runs the program on a
temporary HOME holding a Plivan folder, clicks with xdotool, and reads the
window back through AT-SPI (pyatspi): a class is chosen, its roster listed,
one student seated by hand, the rest at random, the chart printed and the
printed PDF read back, an occupied seat refused with a message box answered
with OK, and Exit ends the program with status 0. A second run with a broken
settings file reads the message box's text.
"""

import html
import os
import random
import re
import shutil
import signal
import subprocess
import sys
import tempfile
import time
import unicodedata

PLIVAN = os.path.abspath(sys.argv[1])
ROSTERS = os.path.abspath(sys.argv[2])
CAPTURE = os.environ["PLIVAN_CAPTURE_DIR"]

TEACHER = "Mrs. Tolvane"
CLASSES = [("Period 1 Geometry", "period1.xls", "basic.lo.xls"),
           ("Period 2 Geometry", "period2.xlsx", "basic.lo.xlsx"),
           ("Period 4 Algebra", "period4.ods", "basic.lo.ods")]
ROSTER = ["Ana Lima", "Ben Carter", "Chloe Nguyen", "Dev Patel", "Ella Brooks",
          "Finn O'Hara", "Grace Kim", "Hugo Silva", "Ivy Chen", "Jonah Reyes",
          "Kara Novak", "Liam Walsh", "Maya Torres", "Nico Rossi", "Olive Grant",
          "Priya Shah", "Quinn Moore", "Rosa Diaz", "Sam Whitfield", "Tara Quill",
          "Umar Farouk", "Vera Lindqvist", "Wes Jordan", "Xena Park", "Yusuf Demir"]
ROWS, COLS = 5, 6
SEATS = ROWS * COLS

# Controls are placed in twips; 15 twips make one pixel.
BUTTONS = {
    "Select Class": (11760, 8280, 1335, 375),
    "Random Seating": (11760, 8880, 1335, 375),
    "Print": (13440, 8880, 1095, 375),
    "Exit": (13440, 9480, 1095, 375),
}
CLIENT_AREA = (14715 // 15, 10050 // 15)

# The grid starts at (0.5, 0.75) inches, 96 pixels to the inch; its boxes
# share 9 x 7 inches divided by 1.2 on the window.
SEAT_WIDTH = 9 / COLS / 1.2
SEAT_HEIGHT = 7 / ROWS / 1.2

DEADLINE = 100  # seconds for the whole test


class Failure(Exception):
    pass


def log(text):
    print(text, flush=True)


def wait_for(what, condition, timeout=15.0, interval=0.1):
    """Polls `condition` until it gives a true value, which is returned."""
    end = time.monotonic() + timeout
    last_error = None
    while True:
        try:
            value = condition()
            if value:
                return value
        except Failure:
            raise
        except Exception as error:  # AT-SPI objects vanish while a window changes
            last_error = error
        if time.monotonic() > end:
            detail = " (last error: %s)" % last_error if last_error else ""
            raise Failure("timed out waiting for %s%s" % (what, detail))
        time.sleep(interval)


def display_ready(display):
    result = subprocess.run(["xdotool", "getmouselocation"], env=dict(os.environ, DISPLAY=display),
                            capture_output=True, timeout=10)
    return result.returncode == 0


def start_xvfb():
    """Starts Xvfb on a free display number of its own (other test runs may
    start servers at the same time) and waits until it takes connections."""
    candidates = [n for n in random.sample(range(100, 1000), 40)
                  if not os.path.exists("/tmp/.X%d-lock" % n)
                  and not os.path.exists("/tmp/.X11-unix/X%d" % n)]
    for number in candidates[:5]:
        display = ":%d" % number
        xvfb = subprocess.Popen(["Xvfb", display, "-screen", "0", "1280x1024x24", "-nolisten", "tcp"],
                                stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        end = time.monotonic() + 10
        while xvfb.poll() is None and time.monotonic() < end:
            if display_ready(display):
                return xvfb, display
            time.sleep(0.1)
        if xvfb.poll() is None:
            xvfb.kill()
        xvfb.wait()
    raise Failure("Xvfb did not start")


def xdotool(*args):
    result = subprocess.run(["xdotool", *[str(a) for a in args]], capture_output=True, text=True,
                            timeout=20)
    if result.returncode != 0:
        raise Failure("xdotool %s failed: %s" % (" ".join(map(str, args)), result.stderr.strip()))
    return result.stdout


def click(x, y):
    xdotool("mousemove", "--sync", int(round(x)), int(round(y)), "click", "1")


class Program:
    """One run of the program on `home`, with its window found on the display
    and in the accessibility tree."""

    def __init__(self, home, workdir, name):
        self.log_path = os.path.join(workdir, name + ".log")
        env = dict(os.environ)
        env.update(HOME=home, QT_QPA_PLATFORM="xcb", QT_LINUX_ACCESSIBILITY_ALWAYS_ON="1",
                   LANG="C.UTF-8")
        with open(self.log_path, "w") as out:
            self.process = subprocess.Popen([PLIVAN], env=env, cwd=home, stdout=out,
                                            stderr=subprocess.STDOUT)
        self.app = None
        self.origin = None

    def output(self):
        with open(self.log_path, errors="replace") as f:
            return f.read()

    def find_app(self):
        def look():
            if self.process.poll() is not None:
                raise Failure("the program ended early with status %d:\n%s"
                              % (self.process.returncode, self.output()))
            desktop = pyatspi.Registry.getDesktop(0)
            for i in range(desktop.childCount):
                app = desktop.getChildAtIndex(i)
                if app is not None and app.get_process_id() == self.process.pid:
                    return app
            return None
        self.app = wait_for("the program on the accessibility bus", look, timeout=30)
        return self.app

    def top_levels(self):
        return [self.app.getChildAtIndex(i) for i in range(self.app.childCount)]

    def main_window(self):
        def look():
            for w in self.top_levels():
                if w is not None and w.name.startswith("Plivan ") and is_showing(w):
                    return w
            return None
        return wait_for("the main window", look)

    def find_origin(self):
        """The screen position of the window's client area (no window manager
        runs, so the window has no frame)."""
        def look():
            ids = xdotool("search", "--onlyvisible", "--name", r"^Plivan +1\.02").split()
            return ids[0] if ids else None
        window = wait_for("the main window on the display", look)
        geometry = dict(line.split("=", 1) for line in
                        xdotool("getwindowgeometry", "--shell", window).split())
        size = (int(geometry["WIDTH"]), int(geometry["HEIGHT"]))
        if size != CLIENT_AREA:
            raise Failure("the window is %dx%d, not %dx%d" % (size + CLIENT_AREA))
        self.origin = (int(geometry["X"]), int(geometry["Y"]))
        return self.origin

    def click_window(self, x, y):
        click(self.origin[0] + x, self.origin[1] + y)

    def press(self, caption):
        left, top, width, height = BUTTONS[caption]
        self.click_window((left // 15) + (width // 15) / 2, (top // 15) + (height // 15) / 2)

    def click_seat(self, row, col):
        x = (0.5 + (col + 0.5) * SEAT_WIDTH) * 96
        y = (0.75 + (row + 0.5) * SEAT_HEIGHT) * 96
        self.click_window(x, y)

    def list_box(self, name):
        window = self.main_window()
        return wait_for("the list %r" % name,
                        lambda: find(window, lambda a: a.getRoleName() == "list" and a.name == name))

    def message_box(self):
        """The showing message box titled Plivan, or None."""
        for w in self.top_levels():
            if w is not None and w.name == "Plivan" and is_showing(w):
                return w
        return None

    def answer_message(self):
        """Reads the showing message box's text and presses its OK button."""
        box = wait_for("a message box", self.message_box)
        texts = [a.name for a in find_all(box, lambda a: a.getRoleName() == "label" and a.name)]
        ok = wait_for("the OK button", lambda: find(
            box, lambda a: a.getRoleName() == "push button" and a.name.replace("&", "") == "OK"))
        x, y = centre(ok)
        click(x, y)
        wait_for("the message box to close", lambda: self.message_box() is None)
        return texts

    def wait_exit(self, timeout=10):
        try:
            return self.process.wait(timeout=timeout)
        except subprocess.TimeoutExpired:
            raise Failure("the program did not end within %d s" % timeout)

    def kill(self):
        if self.process.poll() is None:
            self.process.kill()
            self.process.wait()


def is_showing(accessible):
    return accessible.getState().contains(pyatspi.STATE_SHOWING)


def children(accessible):
    return [accessible.getChildAtIndex(i) for i in range(accessible.childCount)]


def find_all(root, predicate, depth=8):
    found = []
    if depth == 0 or root is None:
        return found
    for child in children(root):
        if child is None:
            continue
        if predicate(child):
            found.append(child)
        found.extend(find_all(child, predicate, depth - 1))
    return found


def find(root, predicate):
    found = find_all(root, predicate)
    return found[0] if found else None


def centre(accessible):
    extents = accessible.queryComponent().getExtents(pyatspi.DESKTOP_COORDS)
    if extents.width <= 0 or extents.height <= 0:
        raise Failure("%r has no size on screen" % accessible.name)
    return extents.x + extents.width / 2, extents.y + extents.height / 2


def item_names(list_box):
    return [item.name for item in children(list_box)]


def click_item(list_box, row):
    item = list_box.getChildAtIndex(row)
    box = list_box.queryComponent().getExtents(pyatspi.DESKTOP_COORDS)
    x, y = centre(item)
    if not (box.x <= x < box.x + box.width and box.y <= y < box.y + box.height):
        raise Failure("row %d of %r is not visible in its list" % (row, list_box.name))
    click(x, y)


def make_home(workdir, name, settings):
    home = os.path.join(workdir, name)
    folder = os.path.join(home, "Plivan")
    os.makedirs(folder)
    with open(os.path.join(folder, "Plivan.txt"), "w", newline="\r\n") as f:
        f.write(settings)
    for _, roster, fixture in CLASSES:
        shutil.copy(os.path.join(ROSTERS, fixture), os.path.join(folder, roster))
    return home


def settings_text():
    lines = ["#Teacher Name", TEACHER, "#Rows of seats, Cols of Seats", "%d,%d" % (ROWS, COLS),
             "#Class Names and student xls files"]
    lines += ["%s#%s" % (name, roster) for name, roster, _ in CLASSES]
    return "\n".join(lines) + "\n"


# ---------------------------------------------------------------------------
# The printed page


def read_words(pdf):
    result = subprocess.run(["pdftotext", "-bbox", pdf, "-"], capture_output=True, text=True,
                            timeout=30)
    if result.returncode != 0:
        raise Failure("pdftotext failed on %s: %s" % (pdf, result.stderr))
    words = []
    for m in re.finditer(r'<word xMin="([\d.]+)" yMin="([\d.]+)" xMax="([\d.]+)" yMax="([\d.]+)">'
                         r'(.*?)</word>', result.stdout):
        x0, y0, x1, y1 = map(float, m.groups()[:4])
        # Ligatures such as "ﬁ" in "Whitfield" come back as one character.
        text = unicodedata.normalize("NFKC", html.unescape(m.group(5)))
        words.append({"text": text, "x0": x0, "y0": y0, "x1": x1, "y1": y1})
    pages = len(re.findall(r"<page ", result.stdout))
    size = re.search(r'<page width="([\d.]+)" height="([\d.]+)"', result.stdout)
    return words, pages, (float(size.group(1)), float(size.group(2))) if size else None


def clusters(values, gap):
    """Indices of `values` grouped where sorted neighbours lie more than `gap`
    apart: a value's cluster number."""
    order = sorted(set(values))
    groups = []
    for v in order:
        if not groups or v - groups[-1][-1] > gap:
            groups.append([v])
        else:
            groups[-1].append(v)
    return lambda v: next(i for i, g in enumerate(groups) if v in g), len(groups)


def check_page(pdf, heading_words, hand_seated, hand_seat):
    words, pages, size = read_words(pdf)
    if pages != 1:
        raise Failure("the printed job has %d pages" % pages)
    if not size or size[0] <= size[1]:
        raise Failure("the printed page is not landscape: %s" % (size,))
    texts = [w["text"] for w in words]
    # The heading, in one line above everything else.
    joined = " ".join(texts)
    heading = " ".join(heading_words)
    if heading not in joined:
        raise Failure("the heading %r is not on the page: %r" % (heading, joined))
    start = next(i for i in range(len(texts)) if texts[i:i + len(heading_words)] == heading_words)
    heading_boxes = words[start:start + len(heading_words)]
    rest = words[:start] + words[start + len(heading_words):]
    if max(w["y0"] for w in heading_boxes) >= min(w["y0"] for w in rest):
        raise Failure("the heading is not above the chart")

    # Every name once: its first part with its second part right below it.
    first_lines = []
    used = set()
    for name in ROSTER:
        first, second = name.split(" ", 1)
        pairs = []
        for i, w in enumerate(rest):
            if w["text"] != first:
                continue
            for j, v in enumerate(rest):
                if (v["text"] == second and abs(v["x0"] - w["x0"]) < 2 and
                        w["y1"] - 1 <= v["y0"] <= w["y1"] + 2 * (w["y1"] - w["y0"])):
                    pairs.append((i, j))
        if len(pairs) != 1:
            raise Failure("%r is on the page %d times, not once" % (name, len(pairs)))
        used.update(pairs[0])
        first_lines.append((name, rest[pairs[0][0]]))
    empties = [(i, w) for i, w in enumerate(rest) if w["text"] == "Empty"]
    if len(empties) != SEATS - len(ROSTER):
        raise Failure("%d \"Empty\" seats on the page, not %d" % (len(empties), SEATS - len(ROSTER)))
    used.update(i for i, _ in empties)
    first_lines += [("Empty", w) for _, w in empties]
    stray = [w["text"] for i, w in enumerate(rest) if i not in used]
    if stray:
        raise Failure("words on the page that belong to no name: %r" % stray)

    # Every seat holds one entry, and the student seated by hand sits in the
    # seat that was clicked.
    column, columns = clusters([w["x0"] for _, w in first_lines], 20)
    row, rows = clusters([w["y0"] for _, w in first_lines], 20)
    if (rows, columns) != (ROWS, COLS):
        raise Failure("the names form %d rows and %d columns, not %d and %d"
                      % (rows, columns, ROWS, COLS))
    seats = {(row(w["y0"]), column(w["x0"])) for _, w in first_lines}
    if len(seats) != SEATS:
        raise Failure("two entries share a seat on the page")
    where = next((row(w["y0"]), column(w["x0"])) for n, w in first_lines if n == hand_seated)
    if where != hand_seat:
        raise Failure("%r is printed in seat %s, not in %s, where it was seated by hand"
                      % (hand_seated, where, hand_seat))


def new_job(before):
    jobs = sorted(f for f in os.listdir(CAPTURE) if f.endswith(".pdf") and f not in before)
    return os.path.join(CAPTURE, jobs[0]) if jobs else None


# ---------------------------------------------------------------------------
# The two runs


def run_class_session(workdir):
    home = make_home(workdir, "home", settings_text())
    program = Program(home, workdir, "session")
    try:
        program.find_app()
        program.main_window()
        program.find_origin()
        log("window at %s, %dx%d" % (program.origin, *CLIENT_AREA))

        # The first press may come before the new window takes input: retried.
        classes = program.list_box("Classes")
        for attempt in range(3):
            program.press("Select Class")
            try:
                wait_for("the class list to show",
                         lambda: is_showing(classes) and
                         item_names(classes) == [name for name, _, _ in CLASSES], timeout=5)
                break
            except Failure:
                if attempt == 2:
                    raise
        click_item(classes, 0)
        wait_for("the class list to hide", lambda: not is_showing(classes))

        students = program.list_box("Students")
        expected = ROSTER + ["Empty"] * (SEATS - len(ROSTER))
        wait_for("the roster in the student list", lambda: item_names(students) == expected)
        log("student list: %d names and %d \"Empty\"" % (len(ROSTER), SEATS - len(ROSTER)))

        # By hand: a name, then a seat.
        hand_row, hand_seat = 3, (1, 2)
        hand_name = ROSTER[hand_row]
        click_item(students, hand_row)
        program.click_seat(*hand_seat)
        after = expected[:hand_row] + expected[hand_row + 1:] + [""]
        wait_for("%r to leave the list" % hand_name, lambda: item_names(students) == after)
        log("%r seated by hand in seat %s" % (hand_name, hand_seat))

        program.press("Random Seating")
        wait_for("every name to leave the list",
                 lambda: item_names(students) == [""] * SEATS)

        before = set(os.listdir(CAPTURE))
        program.press("Print")
        job = wait_for("the printed job", lambda: new_job(before), timeout=30)
        title_file = job[:-len(".pdf")] + ".title"
        title = open(title_file).read().strip() if os.path.exists(title_file) else ""
        if "Period 1 Geometry" not in title:
            raise Failure("the print job is titled %r" % title)
        try:
            check_page(job, ["Period", "1", "Geometry", "-", "Mrs.", "Tolvane"], hand_name, hand_seat)
        except Failure:
            log("--- words on the printed page ---")
            for w in read_words(job)[0]:
                log("%(x0)7.1f %(y0)7.1f %(x1)7.1f %(y1)7.1f  %(text)s" % w)
            raise
        log("printed page checked: heading, %d names once each, seat of %r"
            % (len(ROSTER), hand_name))
        if len([f for f in os.listdir(CAPTURE) if f.endswith(".pdf") and f not in before]) != 1:
            raise Failure("Print sent more than one job")

        # A pick, then a press on a taken seat.
        click_item(students, 0)
        program.click_seat(*hand_seat)
        texts = program.answer_message()
        if "Seat already taken" not in texts:
            raise Failure("the message box reads %r, not \"Seat already taken\"" % texts)
        log("\"Seat already taken\" answered with OK")

        program.press("Exit")
        status = program.wait_exit()
        if status != 0:
            raise Failure("the program ended with status %d:\n%s" % (status, program.output()))
        log("Exit: status 0")
    except BaseException:
        log("--- program output ---\n" + program.output())
        raise
    finally:
        program.kill()


def run_broken_settings(workdir):
    text = "#Teacher Name\n%s\n#Seats\n5,6\n#Class Names and student xls files\n" % TEACHER
    home = make_home(workdir, "broken-home", text)
    program = Program(home, workdir, "broken")
    try:
        program.find_app()
        texts = program.answer_message()
        message = "'#Row' record not found in Plivan.txt file"
        if message not in texts:
            raise Failure("the message box reads %r, not %r" % (texts, message))
        log("broken settings file: %r answered with OK" % message)
        program.main_window()
        program.find_origin()
        program.press("Exit")
        status = program.wait_exit()
        if status != 0:
            raise Failure("the program ended with status %d" % status)
        log("Exit after the broken settings file: status 0")
    except BaseException:
        log("--- program output ---\n" + program.output())
        raise
    finally:
        program.kill()


def main():
    def out_of_time(*_):
        raise Failure("the test took longer than %d s" % DEADLINE)
    signal.signal(signal.SIGALRM, out_of_time)
    signal.alarm(DEADLINE)

    workdir = tempfile.mkdtemp(prefix="plivan-e2e.")
    xvfb = None
    try:
        xvfb, display = start_xvfb()
        os.environ["DISPLAY"] = display
        global pyatspi
        import pyatspi
        run_class_session(workdir)
        run_broken_settings(workdir)
        log("PASS")
        return 0
    except Failure as failure:
        log("FAIL: %s" % failure)
        return 1
    finally:
        signal.alarm(0)
        if xvfb is not None:
            xvfb.terminate()
            try:
                xvfb.wait(timeout=5)
            except subprocess.TimeoutExpired:
                xvfb.kill()
        shutil.rmtree(workdir, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
