#!/usr/bin/env python3
"""Selecting and copying in the real program, with real input on the X
display (xdotool): a drag and Shift+End read back with EM_GETSEL, the
highlight on a screenshot, Ctrl+A and Ctrl+C, and the view's context menu.
The clipboard is read from outside twice: by a Windows process (the probe)
and by a Linux one (xclip), as another application would paste it.
Input through X reaches the program a little later than the probe's
messages, so every expected state is waited for.
    interaction.py --exe ornivel.exe --probe probe.exe --scratch DIR
"""
import os
import subprocess
import sys

from harness import run_driver, CP, Failure, Program, check, send, sender, wait_until

EM_GETSEL, EM_GETFIRSTVISIBLELINE = 0xB0, 0xCE
LEFT_MARGIN, LINE_SPACING = 1, 2  # the view's defaults: pixels left of the text, extra pixels per row
MESSAGES = [b"first line of text", b"second line here", "日本語の表示テスト".encode(CP), b"fourth"]
SENTINEL = b"not from the view"


def run(*args):
    return subprocess.run([str(a) for a in args], stdout=subprocess.PIPE, stderr=subprocess.DEVNULL,
                          timeout=30)


def xdotool(*args):
    check(run("xdotool", *args).returncode == 0, "xdotool %r failed" % (args,))


def settle(read, expected, what, timeout=20.0):
    """Waits until read() gives `expected`; fails with the last value read."""
    last = [None]

    def done():
        last[0] = read()
        return last[0] == expected
    try:
        wait_until(done, what, timeout)
    except Failure:
        raise Failure("%s: %r, expected %r" % (what, last[0], expected))


class Session:
    """The program's view on the X display: where its text is drawn, and
    what it and the clipboard hold. `lines` are the view's lines of text,
    `starts` their offsets."""

    def __init__(self, program, view_probe, text):
        self.p, self.text = program, text
        self.lines = text.split(b"\r\n")
        self.starts = [sum(len(l) + 2 for l in self.lines[:i]) for i in range(len(self.lines))]
        f = run("wine", view_probe, "geometry").stdout.split()
        self.left, self.top, self.right, self.bottom = (int(v) for v in f[1:5])
        metrics = program.probe("metrics")[1].split()
        self.avg, self.row = int(metrics[2]), int(metrics[1]) + LINE_SPACING
        colours = [bytes.fromhex(c.decode()) for c in metrics[4:7]]
        self.highlight_colour, self.menu_text, self.menu_back = colours
        window = wait_until(lambda: run("xdotool", "search", "--name", "^syslog$").stdout.split(),
                            "the main window on the X display")[0].decode()
        # Keys go to the X focus; the window takes it once it is mapped.
        wait_until(lambda: run("xdotool", "windowfocus", "--sync", window).returncode == 0, "the X focus")

    def line_of(self, ending):
        return next(i for i, l in enumerate(self.lines) if l.endswith(ending))

    def offset(self, line, column):
        return self.starts[line] + column

    def point(self, line, column):
        """Screen point in front of the byte at `column` of display line `line`
        (the view at its top, lines of ASCII and double-byte text: each byte
        is one average width wide)."""
        return self.left + LEFT_MARGIN + column * self.avg, self.top + line * self.row + self.row // 2

    def drag(self, line1, column1, line2, column2):
        (x1, y1), (x2, y2) = self.point(line1, column1), self.point(line2, column2)
        xdotool("mousemove", x1, y1, "mousedown", "1", "mousemove", (x1 + x2) // 2, (y1 + y2) // 2,
                "mousemove", x2, y2, "mouseup", "1")

    def selection(self):
        """EM_GETSEL with null pointers: start in the low word, end in the high word."""
        packed = int(self.p.probe("send", "view", hex(EM_GETSEL), "0", "0")[1])
        return packed & 0xFFFF, packed >> 16

    def windows_clipboard(self):
        """CF_TEXT, or None when the clipboard holds no text or is open elsewhere."""
        rc, out = self.p.probe("clipboard", check_rc=False)
        out = out.strip()
        return None if rc or out == b"none" else bytes.fromhex(out.replace(b"-", b"").decode())

    def x_clipboard(self):
        """The X clipboard as UTF-8, in the view's code page, line ends as LF."""
        got = run("xclip", "-o", "-selection", "clipboard", "-t", "UTF8_STRING")
        return got.stdout.decode("utf-8").encode(CP).replace(b"\r\n", b"\n") if got.returncode == 0 else None

    def expect_clipboard(self, text, what):
        settle(self.windows_clipboard, text, what + ": CF_TEXT read by a Windows process")
        settle(self.x_clipboard, text.replace(b"\r\n", b"\n"), what + ": the X clipboard")

    def shot(self, name):
        """Screenshot of the whole screen, kept in the scratch directory:
        (width, RGB bytes)."""
        path = os.path.join(self.p.scratch, name)
        check(run("import", "-window", "root", path).returncode == 0, "import failed")
        width = int(run("identify", "-format", "%w", path).stdout)
        return width, run("convert", path, "-depth", "8", "rgb:-").stdout

    @staticmethod
    def pixels(shot, box, colour):
        """Points inside box (left, top, right, bottom) of the given colour."""
        width, rgb = shot
        return [(x, y) for y in range(box[1], box[3]) for x in range(box[0], box[2])
                if rgb[3 * (y * width + x):3 * (y * width + x) + 3] == colour]

    def highlight(self, name):
        """Bounding box of the highlight colour in the view, and whether that
        colour fills most of it (the rest is the selected text)."""
        points = self.pixels(self.shot(name), (self.left, self.top, self.right, self.bottom),
                             self.highlight_colour)
        if not points:
            return None
        xs, ys = [x for x, _ in points], [y for _, y in points]
        box = (min(xs), min(ys), max(xs) + 1, max(ys) + 1)
        return box, 2 * len(points) > (box[2] - box[0]) * (box[3] - box[1])

    def menu(self):
        """The open context menu's rectangle on the screen, or None."""
        rc, out = self.p.probe("menu", check_rc=False)
        return tuple(int(v) for v in out.split()[1:5]) if rc == 0 else None

    def open_menu(self, x, y):
        xdotool("mousemove", x, y, "click", "3")
        return wait_until(self.menu, "the context menu")

    def close_menu(self, *keys):
        xdotool("key", *keys)
        wait_until(lambda: self.menu() is None, "the context menu to close")

    def menu_span(self, shot, box):
        """Top and bottom of the menu's first two items (Copy and Select all):
        from inside the menu's border down to its separator, the first row
        that one colour other than the background fills nearly across."""
        width, rgb = shot
        left, right = box[0] + 3, box[2] - 3
        for y in range(box[1] + 3, box[3] - 3):
            row = [rgb[3 * (y * width + x):3 * (y * width + x) + 3] for x in range(left, right)]
            colour = max(set(row), key=row.count)
            if colour != self.menu_back and row.count(colour) > 0.8 * len(row):
                return box[1] + 3, y
        raise Failure("no separator in the context menu at %r" % (box,))

    def menu_items(self, box, name):
        """(menu-text pixels, other ink) in Copy's and Select all's rows of
        the menu at box, and their span, once Select all (always enabled) is
        drawn: a grey item is drawn without the menu-text colour."""
        def items():
            shot, found = self.shot(name), []
            span = self.menu_span(shot, box)
            middle = (span[0] + span[1]) // 2
            for top, bottom in ((span[0], middle), (middle, span[1])):
                area = (box[0] + 3, top, box[2] - 3, bottom)
                text = len(self.pixels(shot, area, self.menu_text))
                back = len(self.pixels(shot, area, self.menu_back))
                found.append((text, (area[2] - area[0]) * (area[3] - area[1]) - text - back))
            return found + [span] if found[1][0] > 20 else None
        return wait_until(items, "Select all drawn in the menu text colour")


def test_drag(s):
    """A drag selects from the press point to the release point; Shift+End
    then moves the release end to the end of its line, in front of CR LF."""
    first, second, japanese = (s.line_of(m) for m in MESSAGES[:3])
    # Upwards across lines, pressed in front of a double-byte character.
    press = japanese, s.lines[japanese].index("表".encode(CP))
    release = second, s.lines[second].index(b"here")
    s.drag(*press, *release)
    settle(s.selection, (s.offset(*release), s.offset(*press)), "the selection after a drag upwards")
    xdotool("key", "shift+End")
    settle(s.selection, (s.offset(second, len(s.lines[second])), s.offset(*press)), "Shift+End after it")

    # Within one line, left to right.
    press = first, s.lines[first].index(b"user")
    release = first, s.lines[first].index(b"first")
    s.drag(*press, *release)
    settle(s.selection, (s.offset(*press), s.offset(*release)), "the selection after a drag")
    xdotool("key", "shift+End")
    settle(s.selection, (s.offset(*press), s.offset(first, len(s.lines[first]))), "Shift+End after the drag")

    # The highlight covers exactly the selected characters of that row.
    left, y = s.point(*press)
    right = s.point(first, len(s.lines[first]))[0]
    top = y - s.row // 2
    settle(lambda: s.highlight("selection.png"), ((left, top, right, top + s.row), True),
           "the highlight on the screen (box, filled)")


def test_keys(s):
    """Ctrl+A, Ctrl+C: the whole text, whoever reads the clipboard."""
    s.p.probe("clipboard", SENTINEL.hex())
    s.expect_clipboard(SENTINEL, "the clipboard set from outside")
    xdotool("key", "ctrl+a")
    settle(s.selection, (0, len(s.text)), "the selection after Ctrl+A")
    xdotool("key", "ctrl+c")
    s.expect_clipboard(s.text, "after Ctrl+C")


def test_menu(s):
    """A right click opens the context menu at the pointer. Copy is grey and
    does nothing while nothing is selected; Select all and then Copy put
    the whole text on the clipboard."""
    line = s.line_of(MESSAGES[0])
    xdotool("mousemove", *s.point(line, 0), "click", "1")
    empty = (s.offset(line, 0), s.offset(line, 0))
    settle(s.selection, empty, "the selection after a click")
    s.p.probe("clipboard", SENTINEL.hex())
    s.expect_clipboard(SENTINEL, "the clipboard set again")

    x, y = (s.left + s.right) // 2, (s.top + s.bottom) // 2
    box = s.open_menu(x, y)
    check(box[:2] == (x, y), "the menu should open at the pointer (%d, %d), not %r" % (x, y, box))
    copy_text, copy_ink = s.menu_items(box, "menu-nothing-selected.png")[0]
    check(copy_text == 0 and copy_ink > 20, "Copy should be grey with nothing selected")
    s.close_menu("c", "Escape")  # the mnemonic of a grey item may leave the menu open
    settle(s.selection, empty, "the selection after choosing a grey Copy")
    s.expect_clipboard(SENTINEL, "after choosing a grey Copy")

    # Select all by a click on its item, then Copy by its mnemonic.
    box = s.open_menu(x, y)
    span = s.menu_items(box, "menu-select-all.png")[2]
    xdotool("mousemove", (box[0] + box[2]) // 2, (span[0] + 3 * span[1]) // 4, "click", "1")
    settle(s.selection, (0, len(s.text)), "the selection after Select all")
    wait_until(lambda: s.menu() is None, "the context menu to close")
    box = s.open_menu(x, y)
    check(s.menu_items(box, "menu.png")[0][0] > 20, "Copy should be drawn in the menu text colour now")
    s.close_menu("c")
    s.expect_clipboard(s.text, "after Copy in the context menu")


def test(args):
    view_probe = os.path.join(os.path.dirname(os.path.abspath(args.probe)), "view_probe.exe")
    with Program(args.exe, args.probe, args.scratch) as p:
        sock = sender()
        for i, message in enumerate(MESSAGES):
            send(sock, b"<13>Dec  8 18:00:%02d host app: " % (50 + i) + message)
        wait_until(lambda: p.view_text().endswith(b"app: " + MESSAGES[-1] + b"\r\n"),
                   "the entries in the view")
        text = p.view_text()
        check(text == p.read_log(), "the view's text differs from the log file's")
        s = Session(p, view_probe, text)
        check(p.probe("send", "view", hex(EM_GETFIRSTVISIBLELINE), "0", "0")[1].strip() == b"0",
              "the view should show its first line at the top")
        check(all(LEFT_MARGIN + len(l) * s.avg < s.right - s.left for l in s.lines), "lines would wrap")
        test_drag(s)
        test_keys(s)
        test_menu(s)
        check(p.alive(), "the program ended")


if __name__ == "__main__":
    sys.exit(run_driver("interaction", test))
