#!/usr/bin/env python3
"""Finding text in the real program with real input on the X display
(xdotool): Ctrl+F opens the find box, a typed text and Enter select the
first match, F3 and Shift+F3 the next and previous ones, in the box and
with it closed; the wrap notes and 見つかりません; the match-case box;
Ctrl+A and Ctrl+C in the box's field stay the field's; a Japanese text set
with WM_SETTEXT (xdotool cannot type it). Each selection is read back with
EM_GETSEL and compared with the matches found here in the view's text.
    find.py --exe ornivel.exe --probe probe.exe --scratch DIR
"""
import sys

from harness import run_driver, CP, Program, check, send, sender, wait_until
from interaction import EM_GETSEL, settle, xdotool, run

MESSAGES = [b"disk sda1 ok", b"DISK sdb failing", "ディスク使用率が90%を超えました".encode(CP), b"disk sdc ok"]
CAPTION = "検索".encode(CP)
IDC_FIND_TEXT, IDC_FIND_MATCHCASE, IDC_FIND_NOTE = 1001, 1002, 1005
BM_SETCHECK = 0xF1
WRAPPED_START = "末尾に達したので、先頭から検索しました。".encode(CP)
WRAPPED_END = "先頭に達したので、末尾から検索しました。".encode(CP)
NOT_FOUND = "見つかりません".encode(CP)


def matches(text, pattern, match_case):
    """Offsets where `pattern` starts in `text` (code page 932) at a
    character start; ASCII letters fold unless `match_case`."""
    fold = (lambda b: b) if match_case else (lambda b: b.lower())
    starts, i = [], 0
    while i < len(text):
        starts.append(i)
        i += 2 if 0x81 <= text[i] <= 0x9F or 0xE0 <= text[i] <= 0xFC else 1
    return [i for i in starts if fold(text[i:i + len(pattern)]) == fold(pattern)]


class Box:
    """The find box as the program shows it, looked at with the probe."""

    def __init__(self, p):
        self.p = p

    def window(self):
        return next((w for w in self.p.windows() if w["cls"] == "#32770" and w["caption"] == CAPTION), None)

    def child(self, control):
        return next(c for c in self.window()["children"] if c[1] == control)

    def note(self):
        return self.child(IDC_FIND_NOTE)[3]

    def selection(self):
        packed = int(self.p.probe("send", "view", hex(EM_GETSEL), "0", "0")[1])
        return packed & 0xFFFF, packed >> 16

    def expect(self, keys, selection, note, what):
        """Presses `keys`; the view's selection and the box's note follow."""
        if keys:
            xdotool("key", *keys)
        settle(self.selection, selection, what + ": the selection")
        settle(self.note, note, what + ": the note")


def test(args):
    with Program(args.exe, args.probe, args.scratch) as p:
        sock = sender()
        for i, message in enumerate(MESSAGES):
            send(sock, b"<13>Dec  8 18:00:%02d host app: " % (50 + i) + message)
        wait_until(lambda: p.view_bytes().endswith(b"app: " + MESSAGES[-1] + b"\r\n"), "the entries in the view")
        text = p.view_bytes()
        check(len(text) < 0x10000, "EM_GETSEL packs offsets in 16 bits")
        window = wait_until(lambda: run("xdotool", "search", "--name", "^syslog$").stdout.split(),
                            "the main window on the X display")[0].decode()
        wait_until(lambda: run("xdotool", "windowfocus", "--sync", window).returncode == 0, "the X focus")
        box = Box(p)

        # Ctrl+F, a typed text, Enter: the caret was at the end, so the
        # search goes round to the first match.
        xdotool("key", "ctrl+f")
        wait_until(lambda: box.window() and box.window()["visible"], "the find box")
        wait_until(lambda: p.focus() == "Edit", "the focus in the find box's field")
        xdotool("type", "disk")
        disk = [(m, m + 4) for m in matches(text, b"disk", False)]
        check(len(disk) == 3, "three matches of disk: %r" % disk)
        box.expect(["Return"], disk[0], WRAPPED_START, "Enter")
        box.expect(["F3"], disk[1], b"", "F3")
        box.expect(["F3"], disk[2], b"", "F3 again")
        box.expect(["F3"], disk[0], WRAPPED_START, "F3 at the last match")
        box.expect(["shift+F3"], disk[2], WRAPPED_END, "Shift+F3 at the first match")

        # Match case: DISK is passed over.
        p.probe("send", box.child(IDC_FIND_MATCHCASE)[0], hex(BM_SETCHECK), "1", "0")
        exact = [(m, m + 4) for m in matches(text, b"disk", True)]
        check(len(exact) == 2, "two matches of disk in its case: %r" % exact)
        box.expect(["F3"], exact[0], WRAPPED_START, "F3 matching case")
        box.expect(["F3"], exact[1], b"", "F3 matching case again")

        # No match: the selection stays. Ctrl+A and Ctrl+C are the field's.
        xdotool("key", "ctrl+a")
        xdotool("type", "nothing here")
        box.expect(["Return"], exact[1], NOT_FOUND, "a text that is not there")
        p.probe("clipboard", b"sentinel".hex())
        xdotool("key", "ctrl+a", "ctrl+c")
        settle(lambda: p.probe("clipboard")[1].strip(), b"nothing here".hex().encode(), "Ctrl+C in the field")
        check(box.selection() == exact[1], "Ctrl+A in the field changed the view's selection")

        # Japanese, set as a program would: a double-byte match, before the
        # selection.
        japanese = "使用率".encode(CP)
        p.probe("settext", box.child(IDC_FIND_TEXT)[0], japanese.hex())
        (start,) = matches(text, japanese, True)
        box.expect(["Return"], (start, start + len(japanese)), WRAPPED_START, "a Japanese text")

        # Closed, the box still lends F3 and Shift+F3 its settings.
        p.probe("settext", box.child(IDC_FIND_TEXT)[0], b"disk".hex())
        xdotool("key", "Escape")
        wait_until(lambda: not box.window()["visible"], "the find box to close")
        wait_until(lambda: p.focus() == "mireva-san", "the focus back in the view")
        box.expect(["F3"], exact[1], b"", "F3 with the box closed")
        box.expect(["shift+F3"], exact[0], b"", "Shift+F3 with the box closed")
        check(p.alive(), "the program ended")


if __name__ == "__main__":
    sys.exit(run_driver("find", test))
