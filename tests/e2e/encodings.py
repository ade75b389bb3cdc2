#!/usr/bin/env python3
"""Newer senders in the real program: util-linux logger's default layout
(RFC 5424) and its --rfc3164 layout, both with Japanese UTF-8 text, beside
the same text sent in Shift-JIS; then the View menu's 文字コード choices.

Checks: the log file's lines carry the RFC 5424 fields rearranged and the
message bytes as sent; the view's text, read byte for byte from the
program's memory, holds the same lines with the message text in code page
932 where the choice converts it; a copy of the whole view holds the view's
text; and on the screen the Japanese from UTF-8 is drawn exactly as the same
text sent in Shift-JIS (the picture stays in the scratch directory).
    encodings.py --exe ornivel.exe --probe probe.exe --scratch DIR
"""
import os
import re
import signal
import subprocess
import sys
import time

from harness import CLOCK, CP, check, run_driver, send, sender, wait_until
from screenshots import (CELL, EDGE, LEFT_MARGIN, ROW, SC_MAXIMIZE, WIDTH, WM_COMMAND, WM_SYSCOMMAND,
                         DesktopProgram, client_top, settled)

IDM_CHARSET_AUTO, IDM_CHARSET_SJIS, IDM_CHARSET_UTF8, IDM_CHARSET_EUCJP = 32790, 32791, 32792, 32793
EM_SETSEL, WM_COPY = 0xB1, 0x301
TEXT = "ディスク使用率が90%を超えました"
UTF8, SJIS, EUC = TEXT.encode("utf-8"), TEXT.encode(CP), TEXT.encode("euc_jp")
HOST = "web01"
LABEL = CLOCK + rb"\((-?\d+)\) <" + HOST.encode() + rb" user\.notice> "


def logger(*args):
    """util-linux logger with the message TEXT, under the host name HOST
    where a UTS namespace can be had."""
    command = ["logger", "-n", "127.0.0.1", "-P", "514", "-d"] + list(args) + [UTF8]
    named = subprocess.run(["unshare", "--uts", "sh", "-c", 'hostname "$0" && exec "$@"', HOST] + command,
                           stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    if named.returncode != 0:
        subprocess.run(command, check=True)


def entry_lines(p, count):
    """The entry lines of the log file once there are `count` of them."""
    entries = lambda: [l for l in p.lines() if re.match(LABEL, l)]
    wait_until(lambda: len(entries()) >= count, "%d entries in messages" % count)
    return entries()


def check_view(p, tails):
    """The view holds the log file's lines; the entry lines, in order, end
    with the view's form of their message text: `tails` pairs the bytes that
    end each entry's log line with the bytes that end its view line."""
    wait_until(lambda: p.view_bytes().count(b"\r\n") == p.read_log().count(b"\r\n"), "the view to catch up")
    view, log = p.view_bytes().split(b"\r\n"), p.read_log().split(b"\r\n")
    check(len(view) == len(log), "the view has %d lines, the log file %d" % (len(view), len(log)))
    tails = list(tails)
    for got, line in zip(view, log):
        expected = line
        if re.match(LABEL, line):
            check(tails, "more entries than expected: %r" % line)
            raw, shown = tails.pop(0)
            check(line.endswith(raw), "the log line %r should end with %r" % (line, raw))
            expected = line[:len(line) - len(raw)] + shown
        check(got == expected, "the view shows %r for the log line %r, expected %r" % (got, line, expected))
    check(not tails, "entries missing from the log file")


def check_copy(p):
    """Select all and copy: the clipboard holds the view's text."""
    p.probe("post", "view", hex(EM_SETSEL), "0", "-1")
    p.probe("post", "view", hex(WM_COPY), "0", "0")
    view = p.view_bytes()
    clip = lambda: bytes.fromhex(p.probe("clipboard")[1].decode().strip().replace("none", ""))
    wait_until(lambda: clip() == view, "the clipboard to hold the view's text", timeout=15)


def check_picture(p):
    """The glyphs of the Japanese text on the rows of the RFC 5424 and the
    --rfc3164 entry are those of the Shift-JIS entry's row, pixel for pixel."""
    p.probe("post", "main", hex(WM_SYSCOMMAND), hex(SC_MAXIMIZE), "0")
    (cw, _), box = wait_until(lambda: (lambda g: g[0][0] == WIDTH and g)(p.geometry()), "the maximized window")
    x0, y0 = EDGE + LEFT_MARGIN, client_top(p) + box[1] + EDGE  # the view starts under the filter field
    view = p.view_bytes().split(b"\r\n")
    check(all(len(l) * CELL < cw - 40 for l in view), "a line wraps: the rows would not be the lines")
    rows = [i for i, l in enumerate(view) if l.endswith(SJIS)]
    check(len(rows) == 3, "three lines should end with the text in code page 932: %r" % rows)
    shot = settled((y0, y0 + ROW * (len(view) - 1)))  # the caret blinks on the last, empty line

    def glyphs(row):
        left = x0 + (len(view[row]) - len(SJIS)) * CELL
        return [shot.px(x, y) for y in range(y0 + row * ROW, y0 + (row + 1) * ROW)
                for x in range(left, left + len(SJIS) * CELL)]
    reference = glyphs(rows[-1])  # sent in Shift-JIS, last
    check(sum(px != (255, 255, 255) for px in reference) > 100, "no Japanese drawn for the Shift-JIS entry")
    for row in rows[:-1]:
        check(glyphs(row) == reference, "line %d draws the text otherwise than the Shift-JIS entry" % row)
    shot.save_png(os.path.join(p.scratch, "encodings.png"))  # for a look after the run


def test(args):
    with DesktopProgram(args.exe, args.probe, args.scratch) as p:
        logger("-t", "jp", "--id=4242", "--msgid", "ID47")
        logger("--rfc3164", "-t", "jp")
        stamp = time.strftime("%b %d %H:%M:%S").encode()
        send(sender(), b"<13>" + stamp + b" " + HOST.encode() + b" jp: " + SJIS)
        lines = entry_lines(p, 3)
        sd = rb'\[timeQuality tzKnown="1" isSynced="[01]"(?: syncAccuracy="\d+")?\] '
        for line, tail in zip(lines, (rb"jp\[4242\]: ID47 " + sd + re.escape(UTF8), rb"jp: " + re.escape(UTF8),
                                      rb"jp: " + re.escape(SJIS))):
            m = re.fullmatch(LABEL + tail, line)
            check(m, "log line %r" % line)
            check(abs(int(m.group(1))) <= 5, "the message time is %s s from the arrival" % m.group(1))
        tails = [(UTF8, SJIS), (UTF8, SJIS), (SJIS, SJIS)]
        check_view(p, tails)
        check_picture(p)
        check_copy(p)

        # A choice applies to the entries that come after it (the probe's
        # "send" returns once the program has handled the command). The
        # RFC 5424 byte order mark never reaches the log file.
        s = sender()
        for command, msg, log, shown in (
                (IDM_CHARSET_SJIS, UTF8, UTF8, UTF8),
                (IDM_CHARSET_EUCJP, EUC, EUC, SJIS),
                (IDM_CHARSET_UTF8, b"\xef\xbb\xbf" + UTF8 + b" \xff", UTF8 + b" \xff", SJIS + b" ?"),
                (IDM_CHARSET_AUTO, UTF8, UTF8, SJIS)):
            p.probe("send", "main", hex(WM_COMMAND), str(command), "0")
            send(s, b"<13>1 - " + HOST.encode() + b" app - - - " + msg)
            tails.append((b"<web01 user.notice> app: " + log, b"<web01 user.notice> app: " + shown))
            entry_lines(p, len(tails))
        check_view(p, tails)


def main():
    signal.signal(signal.SIGTERM, lambda *_: sys.exit("FAILED encodings: terminated"))
    os.environ.pop("TZ", None)  # times in the system zone, as Wine's
    time.tzset()
    return run_driver("encodings", test)


if __name__ == "__main__":
    sys.exit(main())
