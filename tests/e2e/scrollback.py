#!/usr/bin/env python3
"""Scrolling back through the log while entries keep arriving, end to end:
the real program under Wine, datagrams on UDP port 514, and a user's wheel
notches and scroll-bar clicks and drags (view_probe.exe, built beside the
probe). The scroll bar's state cannot be read from another process under
Wine, so the view's position is judged from screenshots of its client area:
a scroll moves the picture by whole rows, a view that stays put keeps its
picture, and a view at the bottom does not change when told to go there.
    scrollback.py --exe ornivel.exe --probe probe.exe --scratch DIR
"""
import os
import subprocess
import sys
import time

from harness import run_driver, Program, check, send, sender, wait_until

EM_SCROLL, SB_BOTTOM = 0xB5, 7
NOTCH = 120
FIRST_ENTRIES = 45  # more than the rows of the window


class View:
    """The program's view as a user sees and moves it."""

    def __init__(self, program, view_probe):
        self.program, self.view_probe = program, view_probe
        f = self.run("geometry").split()
        self.client = [int(v) for v in f[1:5]]
        self.bar = [int(v) for v in f[6:10]]
        self.arrow = int(f[11])
        self.width = self.client[2] - self.client[0]
        self.height = self.client[3] - self.client[1]
        check(self.width > 100 and self.height > 100, "view too small: %r" % f)

    def run(self, *args):
        run = subprocess.run(["wine", self.view_probe] + [str(a) for a in args], cwd=self.program.scratch,
                             stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, timeout=60)
        check(run.returncode == 0, "view_probe %r failed with %d" % (args, run.returncode))
        return run.stdout.decode("ascii")

    def shot(self):
        """The client area's pixels as a list of rows (RGB bytes each)."""
        left, top = self.client[0], self.client[1]
        raw = subprocess.run(["import", "-window", "root", "-crop",
                              "%dx%d+%d+%d" % (self.width, self.height, left, top), "+repage", "-depth", "8",
                              "rgb:-"], stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, timeout=60).stdout
        stride = self.width * 3
        check(len(raw) == stride * self.height, "screenshot of %d bytes" % len(raw))
        # The caret blinks at the start of the empty last line (it follows the
        # end of the text): the three leftmost pixel columns are not compared.
        return [bytes(9) + raw[i + 9:i + stride] for i in range(0, len(raw), stride)]

    def settled(self, unlike=None, what="", timeout=20.0):
        """The picture once it stops changing; with `unlike`, first waits
        until it differs from that picture (`what` should have changed it)."""
        deadline = time.monotonic() + timeout
        last = self.shot()
        while unlike is not None and last == unlike:
            check(time.monotonic() < deadline, "the picture did not change: " + what)
            time.sleep(0.1)
            last = self.shot()
        while True:
            time.sleep(0.25)
            now = self.shot()
            if now == last:
                return now
            check(time.monotonic() < deadline, "the picture does not settle")
            last = now

    def wheel(self, delta, count=1):
        self.run("wheel", delta, count)

    def drag(self, x1, y1, x2, y2, steps=12):
        self.run("drag", x1, y1, x2, y2, steps)

    def bar_x(self):
        return (self.bar[0] + self.bar[2]) // 2

    def go_to_bottom(self):
        """EM_SCROLL SB_BOTTOM sent from outside, as a reference position."""
        self.program.probe("post", "view", hex(EM_SCROLL), str(SB_BOTTOM), "0")


def shift(before, after):
    """How many pixel rows the picture moved down (positive) or up
    (negative) between two shots, or None when it is no pure move."""
    h = len(before)
    for s in range(1, h - 8):
        if after[s:] == before[:h - s]:
            return s
        if after[:h - s] == before[s:]:
            return -s
    return None


def moved_by(before, after, rows):
    """True when the top half of `after` is `before` moved down by `rows`
    pixel rows (negative: up); the rest may hold new text."""
    h = len(before)
    half = h // 2
    if rows >= 0:
        return after[rows:rows + half] == before[:half]
    return after[:half] == before[-rows:-rows + half]


def entry(i):
    return b"<13>Dec  8 18:00:54 host app: message %03d" % i


def send_entries(program, sock, first, count):
    """Sends entries first .. first+count-1 and waits until the view holds the last."""
    for i in range(first, first + count):
        send(sock, entry(i))
    wait_until(lambda: (b"message %03d" % (first + count - 1)) in program.view_text(),
               "entry %d in the view" % (first + count - 1), timeout=60)


def expect_at_bottom(view, picture, what):
    view.go_to_bottom()
    time.sleep(0.5)
    check(view.settled() == picture, what + ": the view should be at the bottom")


def test(args):
    view_probe = os.path.join(os.path.dirname(os.path.abspath(args.probe)), "view_probe.exe")
    with Program(args.exe, args.probe, args.scratch) as p:
        view = View(p, view_probe)
        sock = sender()
        send_entries(p, sock, 0, FIRST_ENTRIES)
        bottom = view.settled()
        expect_at_bottom(view, bottom, "after the first entries")

        # One notch away from the user: three rows down the screen.
        view.wheel(NOTCH)
        up3 = view.settled(bottom, "a wheel notch")
        s = shift(bottom, up3)
        check(s is not None and s > 0 and s % 3 == 0, "one wheel notch moved the picture by %r pixel rows" % s)
        lh = s // 3
        view.wheel(-NOTCH)
        check(view.settled(up3, "a notch back") == bottom, "a notch back should return to the bottom")

        view.wheel(NOTCH, 2)
        up6 = view.settled(bottom, "two wheel notches")
        check(shift(bottom, up6) == 6 * lh, "two notches should move six rows, not %r pixels" % shift(bottom, up6))

        # The scroll bar's top arrow: one row.
        x = view.bar_x()
        view.drag(x, view.bar[1] + view.arrow // 2, x, view.bar[1] + view.arrow // 2, steps=1)
        up7 = view.settled(up6, "a click on the top arrow")
        check(shift(up6, up7) == lh, "the top arrow should move one row, not %r pixels" % shift(up6, up7))

        # New entries while scrolled back leave the picture alone.
        send_entries(p, sock, FIRST_ENTRIES, 5)
        time.sleep(0.5)
        check(view.settled() == up7, "new entries pulled a scrolled-back view")
        view.go_to_bottom()
        check(view.settled(up7, "EM_SCROLL SB_BOTTOM") != up7, "the view should not have been at the bottom")

        # Back at the bottom (by the wheel), the view follows new entries again.
        view.wheel(NOTCH, 3)
        view.settled()
        view.wheel(-NOTCH, 5)
        at_end = view.settled()
        expect_at_bottom(view, at_end, "after the wheel went past the end")
        send_entries(p, sock, FIRST_ENTRIES + 5, 2)
        followed = view.settled(at_end, "new entries at the bottom")
        check(moved_by(at_end, followed, -2 * lh), "two new entries should move the picture up two rows")
        expect_at_bottom(view, followed, "after new entries")

        # Dragging the thumb from the bottom end of its track to the top.
        track_bottom = view.bar[3] - view.arrow - 3
        view.drag(x, track_bottom, x, view.bar[1] - 20)
        top = view.settled(followed, "dragging the thumb up")
        view.wheel(NOTCH, 2)
        time.sleep(0.5)
        check(view.settled() == top, "the thumb dragged to the top should show the start of the text")
        send_entries(p, sock, FIRST_ENTRIES + 7, 2)
        time.sleep(0.5)
        check(view.settled() == top, "new entries pulled the view from the top")

        # And back down to the end: following again.
        view.drag(x, view.bar[1] + view.arrow + 3, x, view.bar[3] + 20)
        end = view.settled(top, "dragging the thumb down")
        expect_at_bottom(view, end, "after dragging the thumb to the end")
        send_entries(p, sock, FIRST_ENTRIES + 9, 1)
        followed = view.settled(end, "a new entry at the bottom")
        check(moved_by(end, followed, -lh), "a new entry should move the picture up one row")
        check(p.alive(), "the program ended")


if __name__ == "__main__":
    sys.exit(run_driver("scrollback", test))
