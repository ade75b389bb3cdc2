#!/usr/bin/env python3
"""The status bar of the real program, read from outside (the probe lends
the program memory for SB_GETTEXT): the counts after a known burst, the
rate of a steady stream and its fall to 0, the entries that arrive while
the view is scrolled back, and the way back to the end by a double click
on that field (xdotool) and by Ctrl+End.
    status.py --exe ornivel.exe --probe probe.exe --scratch DIR
"""
import sys
import time

from harness import run_driver, Program, check, send, sender, wait_until
from interaction import settle, xdotool, run

WM_VSCROLL, SB_TOP, EM_GETFIRSTVISIBLELINE = 0x115, 6, 0xCE
BURST, STREAM_RATE, STREAM_SECONDS = 400, 100, 7


def burst(sock, count, tag):
    for i in range(count):
        send(sock, b"<13>Dec  8 18:00:00 host app: %s %d" % (tag, i))
        if i % 50 == 49:
            time.sleep(0.01)  # the receive buffer is the kernel's default


def test(args):
    with Program(args.exe, args.probe, args.scratch) as p:
        field = lambda i: p.status_bar()[i][1]
        sock = sender()

        # A known burst: received, the view's lines, the log file, following.
        burst(sock, BURST, b"burst")
        wait_until(lambda: p.view_bytes().count(b"burst") == BURST, "the burst in the view", timeout=60)
        lines = p.view_bytes().count(b"\r\n")
        fixed = lambda: [text for i, (_, text) in enumerate(p.status_bar()) if i != 1]
        settle(fixed, ["受信 %d 件" % BURST, "表示 %d 行" % lines, "ログ: 書き込み中", "末尾に追従"],
               "the fields after the burst")

        # A steady stream: its rate once the last seconds hold only it, then 0.
        start = time.monotonic()
        rates = []
        for i in range(STREAM_RATE * STREAM_SECONDS):
            time.sleep(max(0.0, start + i / STREAM_RATE - time.monotonic()))
            send(sock, b"<13>Dec  8 18:00:00 host app: stream %d" % i)
            if i % (STREAM_RATE // 2) == 0 and i >= 6 * STREAM_RATE:
                rates.append(int(field(1).split()[0].replace(",", "")))
        check(all(0.7 * STREAM_RATE <= r <= 1.3 * STREAM_RATE for r in rates),
              "rates %r during a stream of %d a second" % (rates, STREAM_RATE))
        received = BURST + STREAM_RATE * STREAM_SECONDS
        settle(lambda: (field(0), field(1)), ("受信 {:,} 件".format(received), "0 件/秒"),
               "the count and the rate after the stream", timeout=30)

        # Scrolled back: new entries are counted, the view stays.
        p.probe("post", "view", hex(WM_VSCROLL), str(SB_TOP), "0")
        settle(lambda: field(4), "新着 0 件", "the field once scrolled back")
        burst(sock, 25, b"later")
        settle(lambda: field(4), "新着 25 件", "the new entries")
        first = lambda: int(p.probe("send", "view", hex(EM_GETFIRSTVISIBLELINE), "0", "0")[1])
        check(first() == 0, "the view should have stayed at the top")

        # A double click on the field, then Ctrl+End: back to the end.
        box = p.status_bar()[4][0]
        xdotool("mousemove", (box[0] + box[2]) // 2, (box[1] + box[3]) // 2, "click", "--repeat", "2", "1")
        settle(lambda: field(4), "末尾に追従", "the field after a double click")
        check(first() > 0, "the double click should have brought the view to the end")
        p.probe("post", "view", hex(WM_VSCROLL), str(SB_TOP), "0")
        burst(sock, 3, b"last")
        settle(lambda: field(4), "新着 3 件", "the new entries scrolled back again")
        window = wait_until(lambda: run("xdotool", "search", "--name", "^syslog$").stdout.split(),
                            "the main window on the X display")[0].decode()
        wait_until(lambda: run("xdotool", "windowfocus", "--sync", window).returncode == 0, "the X focus")
        xdotool("key", "ctrl+End")
        settle(lambda: field(4), "末尾に追従", "the field after Ctrl+End")
        settle(lambda: field(0), "受信 {:,} 件".format(received + 28), "the count at the end")
        check(p.alive(), "the program ended")


if __name__ == "__main__":
    sys.exit(run_driver("status", test))
