#!/usr/bin/env python3
"""Filters in the real program, with real input on the X display (xdotool):
--filter on the command line; Ctrl+L, a typed filter and Enter; a filter
that cannot be read, which changes nothing and says why in the status bar;
Esc, which puts back the filter in force; the context menu's items on the
entry under the pointer. After each step the view holds exactly the
entries the filter lets through (and every status line), blocks worked out
over those, the status bar counts them, and the log file still holds every
entry.
    filter.py --exe ornivel.exe --probe probe.exe --scratch DIR
"""
import os
import re
import sys

from harness import run_driver, CP, CLOCK, SEPARATOR, START_TEXT, Program, check, send, sender, wait_until
from interaction import Session, settle, xdotool

ENTRY = re.compile(CLOCK + rb"\(-?\d+\) <(\S+) [a-z]+\.[a-z]+> app: (.*)")


def entries(view):
    """(host, text) of each entry line of the view, and its lines in short:
    'S' a status line, 'H' a sender header with its separator, '-' a
    separator, 'E' an entry."""
    found, shape = [], ""
    for line in view.split(b"\r\n")[:-1]:
        m = ENTRY.fullmatch(line)
        if m:
            found.append((m.group(1).decode(), m.group(2).decode(CP)))
        shape += "E" if m else "H" if line.startswith(b"<<") else "-" if line == SEPARATOR else "S"
    return found, shape


class Filtering:
    def __init__(self, p):
        self.p, self.sock, self.sent = p, sender(), []

    def send(self, host, text, severity=5):
        self.sent.append((host, text))
        send(self.sock, b"<%d>Dec  8 18:00:00 %s app: %s" % (8 + severity, host.encode(), text.encode(CP)))

    def field(self):
        out = self.p.probe("text", "filter")[1].strip()
        return "" if out == b"-" else bytes.fromhex(out.decode()).decode(CP)

    def filter_status(self):
        fields = self.p.status_bar()
        return fields[5][1] if len(fields) > 5 else ""

    def expect(self, shown, shape, field, status, what):
        """The view shows `shown` (the sent entries in order, by their text)
        with lines `shape`, the field holds `field` and the status bar's
        filter field says `status`; the log file has everything sent."""
        want = [(h, t) for h, t in self.sent if t in shown]
        settle(lambda: entries(self.p.caught_up_view())[0], want, what + ": the entries shown")
        check(entries(self.p.view_bytes())[1] == shape,
              "%s: lines %r, expected %r" % (what, entries(self.p.view_bytes())[1], shape))
        settle(self.field, field, what + ": the filter field")
        settle(self.filter_status, status, what + ": the status bar")
        log = self.p.read_log()
        check(all(t.encode(CP) in log for _, t in self.sent), what + ": an entry is missing from the log file")


def test(args):
    view_probe = os.path.join(os.path.dirname(os.path.abspath(args.probe)), "view_probe.exe")
    with Program(args.exe, args.probe, args.scratch, args=["--filter", "host:=gw1"]) as p:
        f = Filtering(p)
        for host, text in (("gw1", "one"), ("gw2", "two"), ("gw1", "three"), ("gw2", "four")):
            f.send(host, text)
        wait_until(lambda: p.read_log().count(b"app: ") == 4, "the entries in the log file")
        # Blocks over the entries shown: gw2's left no separator between gw1's.
        f.expect({"one", "three"}, "SHEE", "host:=gw1", "フィルター: 2 / 4 件", "--filter")
        check(START_TEXT in p.view_bytes(), "the start-up status line is shown under the filter")
        f.send("gw1", "five")
        f.send("gw2", "six")
        f.expect({"one", "three", "five"}, "SHEEE", "host:=gw1", "フィルター: 3 / 6 件", "arrivals under it")

        s = Session(p, view_probe, p.view_bytes())
        xdotool("key", "ctrl+l")
        wait_until(lambda: p.focus() == "Edit", "the focus in the filter field")
        xdotool("type", "--", "-host:=gw1 ")  # not an option of xdotool
        xdotool("type", "o")  # two, four
        xdotool("key", "Return")
        f.expect({"two", "four"}, "SHEE", "-host:=gw1 o", "フィルター: 2 / 6 件", "a typed filter")

        xdotool("key", "ctrl+a")
        xdotool("type", "bogus:x")
        xdotool("key", "Return")
        wait_until(lambda: f.filter_status().startswith("フィルターの誤り: "), "the filter's error in the status bar")
        f.expect({"two", "four"}, "SHEE", "bogus:x", f.filter_status(), "a filter that cannot be read")
        xdotool("key", "Escape")
        wait_until(lambda: p.focus() == "mireva-san", "the focus back in the view")
        f.expect({"two", "four"}, "SHEE", "-host:=gw1 o", "フィルター: 2 / 6 件", "Esc")

        # The context menu: no filter, then only the host of the entry under
        # the pointer (the view shows no more than a screen, from its top).
        s = Session(p, view_probe, p.view_bytes())
        xdotool("mousemove", *s.point(s.line_of("two".encode()), 4), "click", "3")
        wait_until(s.menu, "the context menu")
        xdotool("key", "r")  # フィルターを解除
        f.expect({"one", "two", "three", "four", "five", "six"}, "SHE-E-E-E-E-E", "", "", "the menu's no filter")
        s = Session(p, view_probe, p.view_bytes())
        xdotool("mousemove", *s.point(s.line_of("four".encode()), 4), "click", "3")
        wait_until(s.menu, "the context menu")
        xdotool("key", "h")  # このホストだけを表示
        f.expect({"two", "four", "six"}, "SHEEE", "host:=gw2", "フィルター: 3 / 6 件", "the menu's host")
        check(p.alive(), "the program ended")


if __name__ == "__main__":
    sys.exit(run_driver("filter", test))
