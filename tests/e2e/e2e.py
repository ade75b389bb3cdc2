#!/usr/bin/env python3
"""End-to-end tests of ornivel.exe: the real program under Wine, driven the
way the network (UDP datagrams, util-linux logger) and a user (keys, clicks,
window commands through the probe) drive it. One case per run:
    e2e.py CASE --exe ornivel.exe --probe probe.exe --scratch DIR [--corpus FILE]
"""
import os
import re
import socket
import struct
import subprocess
import sys
import time

from harness import (CLOCK, CP, RECEIVE_FAILED, SEPARATOR, START_TEXT, Failure, Program,
                     bind_port, check, is_status, run_cases, send, sender, wait_progress, wait_until)

ENTRY = re.compile(rb"(-?\d+:-?\d+:-?\d+)\((-?\d+|\?)\) <(\S*?)(?: ([a-z0-9]+)\.([a-z]+))?> (.*)", re.S)
HEADER = re.compile(rb"<<127\.0\.0\.1:(\d+)>> " + SEPARATOR)
ANY_PORT = -1
BIND_FAILED = "ポート514 (UDP/IPv4) をバインドできませんでした。".encode(CP)
ABOUT_CAPTION = "バージョン情報".encode(CP)

WM_COMMAND, WM_SYSCOMMAND, SC_CLOSE, SC_MINIMIZE, SC_RESTORE = 0x111, 0x112, 0xF060, 0xF020, 0xF120
EM_GETLINECOUNT = 0xBA
VK_ESCAPE, VK_MENU, VK_SHIFT, VK_OEM_2 = 0x1B, 0x12, 0x10, 0xBF
ALT_QUESTION = "%#x+%#x+%#x" % (VK_MENU, VK_SHIFT, VK_OEM_2)  # '?' is Shift+/ on the keyboard
ALT_SLASH = "%#x+%#x" % (VK_MENU, VK_OEM_2)


def entry(line):
    m = ENTRY.fullmatch(line)
    check(m is not None, "not an entry line: %r" % line[:200])
    return m


def port_of(sock):
    return sock.getsockname()[1]


def expect_blocks(lines, start, expected):
    """Checks lines[start:] against one (header, separator, entry pattern) per
    datagram: header None, a sender port, or ANY_PORT; returns the entry matches."""
    got, i = [], start
    for header, separator, pattern in expected:
        if header is not None:
            m = HEADER.fullmatch(lines[i])
            check(m and header in (ANY_PORT, int(m.group(1))), "line %d should be a header: %r" % (i, lines[i]))
            i += 1
        elif separator:
            check(lines[i] == SEPARATOR, "line %d should be a separator: %r" % (i, lines[i]))
            i += 1
        check(re.fullmatch(pattern, lines[i]), "line %d is %r, expected %r" % (i, lines[i], pattern))
        got.append(entry(lines[i]))
        i += 1
    check(i == len(lines), "unexpected lines after the entries: %r" % lines[i:])
    return got


def difference_near(match, seconds=30):
    """The arrival minus the message time, for messages stamped now: off by
    an hour or more when a time zone or the time width goes wrong."""
    check(match.group(2) != b"?" and abs(int(match.group(2))) <= seconds,
          "difference %r should be within %d s" % (match.group(2), seconds))


def test_startup_and_layout(args):
    """Start-up line first; logger and exact-byte senders give the block
    layout; the view holds exactly the log file's text and covers the
    client area above the status bar."""
    with open(args.exe, "rb") as f:
        image = f.read(4096)
    pe = struct.unpack_from("<I", image, 0x3C)[0]
    check(struct.unpack_from("<H", image, pe + 24 + 68)[0] == 2, "ornivel.exe is not a GUI-subsystem program")

    with Program(args.exe, args.probe, args.scratch) as p:
        check(re.fullmatch(CLOCK + b" " + re.escape(START_TEXT) + b"\r\n", p.read_log()),
              "messages should hold exactly the start-up line: %r" % p.read_log())

        # util-linux logger: one process, one socket, two messages.
        host = socket.gethostname().split(".")[0].encode()
        subprocess.run(["logger", "--rfc3164", "-n", "127.0.0.1", "-P", "514", "-d", "-t", "myapp"],
                       input=b"first\nsecond\n", check=True)
        label = CLOCK + rb"\(-?\d+\) " + re.escape(b"<" + host + b" user.notice> myapp: ")
        for m in expect_blocks(p.wait_lines(4), 1, [(ANY_PORT, True, label + b"first"),
                                                    (None, False, label + b"second")]):
            difference_near(m)

        # Exact bytes: same sender, new host from the same sender, another port.
        a, b = sender(), sender()
        now = time.localtime()
        stamp = time.strftime("%b %d %H:%M:%S", now).encode()
        clock = re.escape(time.strftime("%H:%M:%S", now).encode()) + rb"\(-?\d+\) "
        send(a, b"<34>" + stamp + b" gw1 su: one")
        send(a, b"<34>" + stamp + b" gw1 su: two\n")
        send(a, b"<13>" + stamp + b" gw2 x: three")
        send(b, b"<13>" + stamp + b" gw2 x: four")
        send(b, b"<8>" + stamp + b" gw2 no names")  # facility user, severity 0: no names
        lines = p.wait_lines(12)
        matches = expect_blocks(lines, 4, [
            (port_of(a), True, clock + rb"<gw1 auth\.crit> su: one"),
            (None, False, clock + rb"<gw1 auth\.crit> su: two"),
            (None, True, clock + rb"<gw2 user\.notice> x: three"),
            (port_of(b), True, clock + rb"<gw2 user\.notice> x: four"),
            (None, False, clock + rb"<gw2> no names"),
        ])
        for m in matches:
            difference_near(m)

        check(p.caught_up_view() == p.read_log(), "the view's text differs from the log file's")

        # The filter field runs along the top, the view covers the client
        # area between it and the status bar exactly, also after a resize.
        # SetWindowPos returns after the program has handled the change.
        for width, height in ((640, 400), (900, 300)):
            p.probe("size", str(width), str(height))
            (cw, ch), view = p.geometry()
            check(width - 40 < cw <= width and height - 100 < ch < height,
                  "client area %dx%d after a resize to %dx%d" % (cw, ch, width, height))
            fields = p.probe("geometry")[1].split()
            bar, field = (tuple(int(v) for v in fields[i:i + 4]) for i in (9, 14))
            check(bar == (0, ch - (bar[3] - bar[1]), cw, ch) and 10 < bar[3] - bar[1] < 40,
                  "status bar %r in a client area of %dx%d" % (bar, cw, ch))
            check(field == (0, 0, cw, field[3]) and 12 < field[3] < 40,
                  "filter field %r in a client area of %dx%d" % (field, cw, ch))
            check(view == (0, field[3], cw, bar[1]),
                  "view %r between a filter field ending at %d and a status bar at %d" % (view, field[3], bar[1]))


def test_datagram_sizes(args):
    """Datagrams of every size up to 65,000 bytes reach the log file and the
    view whole; a NUL inside shows as "#000" and trailing NULs are dropped;
    an empty datagram gives the receive-failure status line; reception goes on."""
    with Program(args.exe, args.probe, args.scratch) as p:
        s = sender()
        head = b"<13>Oct 11 22:14:15 big x: "
        bodies = [bytes(b"0123456789"[i % 10] for i in range(size - len(head))) for size in (4095, 4096, 9000, 65000)]
        steps = [(head + body, rb".* x: " + body) for body in bodies] + [
            (b"", CLOCK + b" " + re.escape(RECEIVE_FAILED)),
            (b"<13>Oct 11 22:14:15 big x: before\0after\0\0", rb".*<big user\.notice> x: before#000after"),
            (b"<13>Oct 11 22:14:15 big \0\0x\r\n", rb".*<big user\.notice> #000#000x"),
        ]
        count = 3  # start-up line, header with separator, first entry
        for datagram, pattern in steps:
            send(s, datagram)
            lines = p.wait_lines(count)
            check(re.fullmatch(pattern, lines[-1], re.S), "got %r, expected %r" % (lines[-1][:120], pattern[:120]))
            count += 1
        time.sleep(0.5)  # nothing more may follow
        check(len(p.lines()) == count - 1, "extra lines: %r" % p.lines()[count - 1:])
        check(p.caught_up_view() == p.read_log(), "the view's text differs from the log file's")


def test_bind_failure(args):
    """With port 514 held elsewhere an "Error" box owned by the main window
    says so, and the program keeps running after it is closed."""
    holder = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
    wait_until(lambda: bind_port(holder), "UDP port 514 to be free", timeout=20)
    try:
        with Program(args.exe, args.probe, args.scratch, wait_for_port=False) as p:
            box = wait_until(lambda: p.dialog(b"Error"), "the Error box")
            check(any(c[3] == BIND_FAILED for c in box["children"]),
                  "the box should say the port could not be bound: %r" % box["children"])
            check(p.alive(), "the program ended")
            ok = [c[0] for c in box["children"] if c[1] == 1]
            check(ok, "the box has no OK button")
            p.probe("click", ok[0])
            wait_until(lambda: p.dialog(b"Error") is None, "the Error box to close")
            wait_until(lambda: any(w["cls"] == "ORNIVEL" and w["visible"] for w in p.windows()),
                       "the main window to show")
            check(p.alive(), "the program ended after the Error box")
            check(len(p.lines()) == 1, "only the start-up line is expected: %r" % p.lines())
            p.probe("post", "main", hex(WM_COMMAND), "105", "0")  # File / Exit
            check(p.exit_code() == 0, "exit code after the failure")
    finally:
        holder.close()


def test_log_file(args):
    """An existing "messages" is appended to; while the program runs another
    process can read it but not open it for writing."""
    os.makedirs(args.scratch, exist_ok=True)
    earlier = b"12:00:00 earlier run\r\n"
    with open(os.path.join(args.scratch, "messages"), "wb") as f:
        f.write(earlier)
    with Program(args.exe, args.probe, args.scratch, fresh=False) as p:
        log = p.read_log()
        check(log.startswith(earlier) and is_status(log[len(earlier):-2], START_TEXT),
              "the start-up line should follow the earlier content: %r" % log)
        out = p.probe("log")[1].decode()
        check(re.fullmatch(r"write=32 read=0 bytes=%d\s*" % len(log), out),
              "expected a sharing violation for writing and a whole read: %r" % out)


def test_about_box(args):
    """Alt+? and Alt+/ open the About box with the view focused; Esc and OK
    close it."""
    with Program(args.exe, args.probe, args.scratch) as p:
        wait_until(lambda: p.focus() == "mireva-san", "the view to have the focus")
        for chord, close in ((ALT_QUESTION, "esc"), (ALT_SLASH, "ok")):
            # A press that went elsewhere (the focus moved) is repeated.
            box = None
            for _ in range(3):
                p.probe("keys", "view", chord)
                try:
                    box = wait_until(lambda: p.dialog(ABOUT_CAPTION), "the About box", timeout=5)
                    break
                except Failure:
                    pass
            check(box is not None, "the About box did not open with %s" % chord)
            texts = [c[3] for c in box["children"]]
            check(b"ornivel Version 1.1" in texts and b"OK" in texts, "About box texts: %r" % texts)
            if close == "esc":
                p.probe("keys", box["hwnd"], hex(VK_ESCAPE))
            else:
                p.probe("click", [c[0] for c in box["children"] if c[1] == 1][0])
            wait_until(lambda: p.dialog(ABOUT_CAPTION) is None, "the About box to close with " + close)
        wait_until(lambda: p.focus() == "mireva-san", "the focus to return to the view")
        check(p.alive(), "the program ended")


def test_exit(args):
    """File / Exit (Alt+F, X) and the close box end the program with 0."""
    with Program(args.exe, args.probe, args.scratch) as p:
        for _ in range(3):  # a press that went elsewhere is repeated, menus closed first
            p.probe("keys", "view", hex(VK_ESCAPE), hex(VK_ESCAPE), "%#x+0x46" % VK_MENU, "0x58", check_rc=False)
            try:
                p.process.wait(timeout=10)
                break
            except subprocess.TimeoutExpired:
                pass
        check(p.exit_code() == 0, "exit code after File / Exit")
    with Program(args.exe, args.probe, args.scratch, fresh=False) as p:
        p.probe("post", "main", hex(WM_SYSCOMMAND), hex(SC_CLOSE), "0")
        check(p.exit_code() == 0, "exit code after the close box")
    check(len(p.lines()) == 2, "a second run appends its start-up line: %r" % p.lines())


def test_burst(args):
    """5,000 datagrams sent back to back to the program with its window on
    screen are all logged, in order, and all reach the view; the screen
    catches up in batches, so the receive buffer is worked off quickly."""
    count = 5000
    with Program(args.exe, args.probe, args.scratch) as p:
        s = sender()
        for i in range(count):
            send(s, b"<14>Oct 11 22:14:15 burst load: datagram %05d" % i)
        try:
            wait_progress(lambda: len(p.lines()), count + 2, "the burst to be logged", stall=15)
        except Failure:
            pass  # the count below tells how many arrived
        numbers = [int(entry(l).group(6)[-5:]) for l in p.lines()[2:]]
        check(numbers == list(range(count)), "logged %d of %d datagrams" % (len(numbers), count))
        check(p.caught_up_view() == p.read_log(), "the view's text differs from the log file's")


RFC5424 = re.compile(rb"<\d+>1 \S+ \S+ (\S+) (\S+) (\S+) (-|\[.*?\])(?: (.*))?", re.S)


def text_5424(datagram):
    """The message text of an RFC 5424 datagram (simple ones, as the corpus
    has): "APP[PROCID]: MSGID SD MSG" without the parts given as "-"."""
    m = RFC5424.fullmatch(datagram.rstrip(b"\r\n "))
    if not m:
        return None
    app, procid, msgid, sd, msg = (None if g in (b"-", None) else g for g in m.groups())
    head = (app or b"") + (b"[" + procid + b"]" if procid else b"") + b":" if app or procid else None
    msg = msg[3:] if msg and msg.startswith(b"\xef\xbb\xbf") else msg
    return b" ".join(part for part in (head, msgid, sd, msg) if part)


def view_form(line):
    """A log line as the view shows it in the automatic choice: an entry text
    of valid UTF-8 with a multi-byte character in code page 932, '?' for a
    character without a form (the corpus has none of the look-alikes)."""
    m = ENTRY.fullmatch(line)
    if not m or not re.search(rb"[\x80-\xff]", m.group(6)):
        return line
    try:
        text = m.group(6).decode("utf-8")
    except UnicodeDecodeError:
        return line
    return line[:m.start(6)] + text.encode(CP, "replace")


def test_corpus(args):
    """Real-world lines: each datagram gives exactly one entry line, blocks
    open where the host changes, and the program survives them all. RFC 5424
    datagrams give their fields rearranged (those that break its grammar go
    by the BSD rules); UTF-8 text shows in code page 932 in the view."""
    with open(args.corpus, "rb") as f:
        datagrams = f.read().split(b"\n")
    datagrams = [d for d in datagrams if d]
    with Program(args.exe, args.probe, args.scratch) as p:
        s = sender()
        for d in datagrams:
            send(s, d)
        wait_progress(lambda: sum(1 for l in p.lines() if ENTRY.fullmatch(l)), len(datagrams),
                      "one entry per datagram")
        lines = p.lines()
        check(HEADER.fullmatch(lines[1]), "header expected: %r" % lines[1])
        previous_host, i = None, 2
        for n, d in enumerate(datagrams):
            separated = lines[i] == SEPARATOR
            i += separated
            m = entry(lines[i])
            i += 1
            host = m.group(3)
            check(d.rstrip(b"\r\n ").endswith(m.group(6)) or m.group(6) == text_5424(d),
                  "entry %d text %r does not end %r" % (n, m.group(6), d))
            check(host in d or host == b"127.0.0.1:%d" % port_of(s), "entry %d host %r" % (n, host))
            check(separated == (n > 0 and host != previous_host), "entry %d: block rule broken" % n)
            previous_host = host
        check(i == len(lines), "more lines than entries: %r" % lines[i:])
        check(p.alive(), "the program ended")
        check(p.view_bytes() == b"".join(view_form(l) + b"\r\n" for l in lines),
              "the view's text differs from the log file's")


def test_view_limit(args):
    """With --max-lines 20 the view keeps about the newest 20 lines, cut back
    in one step once it holds a tenth more; the log file keeps everything."""
    with Program(args.exe, args.probe, args.scratch, args=["--max-lines", "20"]) as p:
        s = sender()
        for i in range(30):
            send(s, b"<14>Oct 11 22:14:15 host app: line %02d" % i)
            p.wait_lines(i + 3)  # one at a time: the trim runs after each
        log = p.lines()
        check(len(log) == 32, "the log file should keep all 32 lines: %d" % len(log))
        # 23 logical lines (22 line feeds) are too many: cut back to 20.
        # After the 30th entry the view holds 20 whole lines.
        check(p.caught_up_view() == b"\r\n".join(log[-20:]) + b"\r\n",
              "the view should hold the newest 20 lines: %r" % p.view_text()[:200])


def test_minimize(args):
    """Minimizing leaves the view its size: its line count stays, entries
    that arrive meanwhile add their lines, and restoring changes nothing."""
    with Program(args.exe, args.probe, args.scratch) as p:
        s = sender()
        for i in range(10):
            send(s, b"<14>Oct 11 22:14:15 host app: a line of some length to wrap in a narrow view %02d" % i)
        p.wait_lines(12)
        count = lambda: int(p.probe("send", "view", hex(EM_GETLINECOUNT), "0", "0")[1])
        before = count()
        check(before >= 12, "line count %d" % before)
        p.probe("post", "main", hex(WM_SYSCOMMAND), hex(SC_MINIMIZE), "0")
        time.sleep(0.5)
        check(count() == before, "minimized, the view laid out its text again: %d lines, %d before" % (count(), before))
        send(s, b"<14>Oct 11 22:14:15 host app: short")
        p.wait_lines(13)
        check(count() == before + 1, "an entry while minimized: %d lines, %d before" % (count(), before))
        p.probe("post", "main", hex(WM_SYSCOMMAND), hex(SC_RESTORE), "0")
        time.sleep(0.5)
        check(count() == before + 1, "restored: %d lines, %d before" % (count(), before + 1))


def test_busy_window(args):
    """With the window thread held still for 4 s, as a long operation on the
    screen holds it, 30,000 datagrams at 5,000 a second are logged as they
    arrive, none is lost, and all reach the view once the thread runs again."""
    count, rate, held = 30000, 5000, 4.0
    with Program(args.exe, args.probe, args.scratch) as p:
        hold = p.hold_window(held)
        try:
            s, start, logged_while_held = sender(), time.monotonic(), None
            for i in range(0, count, 50):  # 50 every 10 ms
                delay = start + i / rate - time.monotonic()
                if delay > 0:
                    time.sleep(delay)
                for j in range(i, min(i + 50, count)):
                    send(s, b"<14>Oct 11 22:14:15 busy load: datagram %05d" % j)
                if logged_while_held is None and time.monotonic() - start > held - 0.5:
                    logged_while_held, sent_by_then = len(p.lines()) - 2, j + 1
        finally:
            hold.wait(timeout=60)
        # Had reception waited for the window, the log would not have grown at
        # all; the fraction allows for a slow, busy machine.
        print("logged while the window was held: %d of %d sent by then" % (logged_while_held, sent_by_then))
        check(logged_while_held >= sent_by_then // 4,
              "only %d of %d datagrams were logged while the window was held" % (logged_while_held, sent_by_then))
        wait_progress(lambda: len(p.lines()), count + 2, "the datagrams to be logged", stall=15)
        numbers = [int(entry(l).group(6)[-5:]) for l in p.lines()[2:]]
        check(numbers == list(range(count)), "logged %d of %d datagrams in order" % (len(numbers), count))
        check(p.caught_up_view() == p.read_log(), "the view's text differs from the log file's")


def test_ipv6(args):
    """An IPv6 sender shows as [address]:port, and as the host of a datagram
    without timestamp; IPv4 and IPv6 senders interleaved each open a block."""
    with Program(args.exe, args.probe, args.scratch) as p:
        v6 = socket.socket(socket.AF_INET6, socket.SOCK_DGRAM)
        v6.bind(("::1", 0))
        v4 = sender()
        six, four = b"[::1]:%d" % v6.getsockname()[1], b"127.0.0.1:%d" % port_of(v4)
        steps = [
            (v6, b"<13>Oct 11 22:14:15 gw one", [b"<<" + six + b">> " + SEPARATOR, rb".*<gw user\.notice> one"]),
            (v6, b"<13>no timestamp", [SEPARATOR, rb".*<" + re.escape(six) + rb" user\.notice> no timestamp"]),
            (v4, b"<13>Oct 11 22:14:15 gw two", [b"<<" + four + b">> " + SEPARATOR, rb".*<gw user\.notice> two"]),
            (v6, b"<13>Oct 11 22:14:15 gw three", [b"<<" + six + b">> " + SEPARATOR, rb".*<gw user\.notice> three"]),
            (v6, b"<13>Oct 11 22:14:15 gw four", [rb".*<gw user\.notice> four"]),
        ]
        count = 1
        for sock, datagram, expected in steps:
            sock.sendto(datagram, ("::1" if sock is v6 else "127.0.0.1", 514))
            count += len(expected)
            lines = p.wait_lines(count)
            for line, pattern in zip(lines[count - len(expected):], expected):
                check(re.fullmatch(pattern, line) if pattern.startswith(b".*") else line == pattern,
                      "got %r, expected %r" % (line, pattern))
        check(p.caught_up_view() == p.read_log(), "the view's text differs from the log file's")


CASES = {
    "startup_and_layout": test_startup_and_layout,
    "datagram_sizes": test_datagram_sizes,
    "bind_failure": test_bind_failure,
    "log_file": test_log_file,
    "about_box": test_about_box,
    "exit": test_exit,
    "burst": test_burst,
    "corpus": test_corpus,
    "view_limit": test_view_limit,
    "minimize": test_minimize,
    "busy_window": test_busy_window,
    "ipv6": test_ipv6,
}


def main():
    return run_cases(CASES, [("--corpus", False)])

if __name__ == "__main__":
    sys.exit(main())
