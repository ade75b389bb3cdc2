#!/usr/bin/env python3
"""Flood of hostile datagrams from several sockets against the real program
under Wine: random bytes of every length up to 5,000, datagrams built from the
syntax's pieces, and long ones. The program must keep answering its
message loop, leave exactly one entry or one status line per datagram in
"messages", stop growing once its view's line limit is reached, and end with 0
on WM_CLOSE. Prints its figures and exits 1 on any failure. ctest runs a
short flood (e2e_flood); bench/flood the full one.
    flood.py --exe ornivel.exe --probe probe.exe --responsive responsive.exe --scratch DIR [-n COUNT]
"""
import argparse
import random
import re
import signal
import subprocess
import sys
import threading
import time

from harness import CLOCK, RECEIVE_FAILED, START_TEXT, Failure, LogTail, Program, send, sender, wait_until

OLD_LIMIT = 4095  # datagrams were once cut here: its edges stay among the lengths tried
WM_SYSCOMMAND, SC_MINIMIZE = 0x112, 0xF020
VIEW_PACE, VIEW_BACKLOG = 250, 1 << 20  # datagrams between looks at the queue; bytes it may hold then

# Lines of "messages", split at LF (each keeps its CR).
LABEL = re.compile(rb"(-?\d+):(-?\d+):(-?\d+)\((-?\d+|\?)\) <")
STATUS = re.compile(CLOCK + b" " + re.escape(RECEIVE_FAILED) + b"\r")
START = re.compile(CLOCK + b" " + re.escape(START_TEXT) + b"\r")
BLOCK = re.compile(rb"(<<\d+\.\d+\.\d+\.\d+:\d+>> )?-{50}\r")
# The first bytes of the program's own lines. A datagram's text never puts one
# right behind a CR or LF (see hostile), so that its line breaks cannot forge
# a line of the program's; whatever else starts a line continues a message.
OWN_LINE_START = re.compile(rb"[0-9<-]")
FORGING = re.compile(rb"(?<=[\r\n])[0-9<-]")

LEAD_BYTES = bytes(range(0x81, 0xA0)) + bytes(range(0xE0, 0xFD))
PRIS = [b"<0>", b"<191>", b"<999>", b"<-1>", b"<abc", b"<", b"<>", b"<13>", b"<4294967297>", b"<00013>", b""]
TIMES = [b"Oct 11 22:14:15", b"Feb 30 25:61:99", b"Jan 0 0:0:0", b"Dec -1 -1:-1:-1", b"Mar 99999999999 99:99:99",
         b"jul 4 2147483647:-2147483648:7", b"May  8 100:100:100", b"Oct 11 22:14", b"Oct 11", b"Oct",
         b"Xyz 11 22:14:15", b"Feb 29 23:59:60", b""]
HOSTS = [b"gw", b"h" * 300, b"\x82\xa0\x82\xa2", b"<<10.0.0.1:514>>", b"\x034host", b"\xff", b""]
CODES = [b"\x02", b"\x03", b"\x034", b"\x0399,99", b"\x0315,", b"\x03,7", b"\x14", b"\x16", b"\x1f", b"\xff"]
BREAKS = [b"\r", b"\n", b"\r\n", b"\r\n" * 5, b"\n\n\n", b"\r\r\n", b"\n\r"]
WORDS = [b"kernel:", b"link up", b"\x82\xa0\x82\xa2", b"\t", b" ", b"-" * 50, b"12:00:00(0) <x>", b"<<1.2.3.4:5>>",
         b"\x00", b"%s%n%x", b"\x81"]


def built(rng):
    """A datagram from the syntax's pieces: PRI forms, odd timestamps, in-band
    codes, CR and LF runs, and often a lone double-byte lead byte at the end."""
    parts = [rng.choice(PRIS), rng.choice(TIMES), b" " * rng.randrange(3), rng.choice(HOSTS), b" "]
    for _ in range(rng.randrange(40)):
        parts.append(rng.choice(rng.choice((CODES, BREAKS, WORDS))))
    parts.append(rng.choice([b"", bytes([rng.choice(LEAD_BYTES)]), bytes([rng.choice(LEAD_BYTES)]) + b"\r\n",
                             b" \r\n", bytes([rng.choice(LEAD_BYTES)]) * 3]))
    data = b"".join(parts)
    if rng.random() < 0.05:  # the edge of the old limit
        data = (data * (OLD_LIMIT // max(1, len(data)) + 1))[:OLD_LIMIT + rng.randrange(2)]
    return data


def hostile(count, start):
    """`count` datagrams: random bytes of every length from 0 to 5,000 in
    turn, datagrams built from the syntax, and a few long ones (4,096 to
    65,000 bytes), all received whole. Bytes that could start one of the program's own lines after
    a CR or LF are replaced, keeping the CR and LF runs."""
    rng = random.Random(start)
    edges = [0, 1, OLD_LIMIT, OLD_LIMIT + 1, 5000]  # first, so that even a short run has them
    lengths = list(range(5001))
    rng.shuffle(lengths)
    lengths = edges + [n for n in lengths if n not in edges]
    out = []
    for _ in range(count):
        kind = rng.random()
        if kind < 0.45:
            data = rng.randbytes(lengths[0])
            lengths.append(lengths.pop(0))
        elif kind < 0.95:
            data = built(rng)
        else:
            data = (rng.randbytes(1000) + built(rng)) * 70
            data = data[:rng.randrange(OLD_LIMIT + 1, 65001)]
        out.append(FORGING.sub(b"_", data))
    return out


def expected_status(data):
    return len(data) == 0  # an empty datagram gives the receive-failure line


class LogCount:
    """Counts the kinds of lines in the growing log file."""

    def __init__(self, path):
        self.tail = LogTail(path)
        self.entries = self.status = self.starts = 0
        self.unexpected = []

    def update(self):
        for line in self.tail.new_lines():
            if LABEL.match(line):
                self.entries += 1
            elif STATUS.fullmatch(line):
                self.status += 1
            elif START.fullmatch(line):
                self.starts += 1
            elif not BLOCK.fullmatch(line) and OWN_LINE_START.match(line):
                self.unexpected.append(line[:80])
        return self.entries + self.status


class Poller(threading.Thread):
    """Asks every `period` seconds whether the program answers: the probe's
    window query, and a round trip through its message loop."""

    def __init__(self, program, responsive, period, timeout):
        super().__init__(daemon=True)
        self.program, self.responsive, self.period, self.timeout = program, responsive, period, timeout
        self.polls, self.failures, self.longest = 0, [], 0.0
        self.stop = threading.Event()

    def ask(self, command):
        start = time.monotonic()
        try:
            rc = subprocess.run(["wine"] + command, cwd=self.program.scratch, stdout=subprocess.DEVNULL,
                                stderr=subprocess.DEVNULL, timeout=self.timeout + 5).returncode
        except subprocess.TimeoutExpired:
            rc = "timeout"
        seconds = time.monotonic() - start
        if rc != 0:
            self.failures.append("%s gave %s after %.1f s" % (command[0].rsplit("/", 1)[-1], rc, seconds))
        return seconds

    def run(self):
        while not self.stop.wait(self.period):
            self.ask([self.program.probe_exe, "windows"])
            seconds = self.ask([self.responsive, str(int(self.timeout * 1000))])
            self.longest = max(self.longest, seconds)
            self.polls += 1


def mib(kib):
    return kib / 1024.0


def flood(args):
    datagrams = hostile(args.count, args.start)
    status_expected = sum(map(expected_status, datagrams))
    overlong = sum(len(d) > 5000 for d in datagrams)
    on_screen = args.count if args.minimize_after is None else min(args.minimize_after, args.count)
    print("flood: %d datagrams from %d sockets (random start %d; %d long, %d give a status line), %d of them "
          "with the window on the screen, --max-lines %d" %
          (args.count, args.senders, args.start, overlong, status_expected, on_screen, args.max_lines), flush=True)
    # What a datagram may hold in the kernel's receive buffer: its bytes and
    # the buffer's own overhead. The budget fits the smallest buffer granted.
    cost = [len(d) + 1024 for d in datagrams]
    failures = []
    reference = min(10000, args.count // 3)
    samples, every = [], max(100, args.count // 20)

    with Program(args.exe, args.probe, args.scratch, args=["--max-lines", str(args.max_lines)]) as p:
        poller = Poller(p, args.responsive, args.poll, args.answer_timeout)
        poller.start()
        socks = [sender() for _ in range(args.senders)]
        log = LogCount(p.log)
        sent = done = outstanding = 0
        changed, started, minimized, stalled = time.monotonic(), time.monotonic(), False, False
        print("%9s %9s %9s %14s" % ("done", "entries", "status", "working set"), flush=True)
        while done < args.count:
            while sent < args.count and (outstanding + cost[sent] <= args.budget or sent == done):
                send(socks[sent % len(socks)], datagrams[sent])
                outstanding += cost[sent]
                sent += 1
                if sent % VIEW_PACE == 0:
                    # The log keeps up; the view may lag behind by its queue.
                    # Sending on would fill the queue, and the view would
                    # rightly show only what fits: wait for it instead.
                    wait_until(lambda: p.queued_bytes() <= VIEW_BACKLOG, "the view to catch up", timeout=60,
                               step=0.05)
            time.sleep(0.01)
            now = log.update()
            if now != done:
                for i in range(done, min(now, args.count)):
                    outstanding -= cost[i]
                if (now // every != done // every or done < reference <= now) and p.alive():
                    rss = p.working_set()[0]
                    samples.append((now, rss))
                    print("%9d %9d %9d %10.1f MiB" % (now, log.entries, log.status, mib(rss)), flush=True)
                done, changed = now, time.monotonic()
            if args.minimize_after is not None and done >= args.minimize_after and not minimized:
                p.probe("post", "main", hex(WM_SYSCOMMAND), hex(SC_MINIMIZE), "0")
                minimized = True
            if not p.alive():
                break
            if time.monotonic() - changed > args.stall:
                stalled = True
                failures.append("no datagram handled for %g s at %d of %d (hang)" % (args.stall, done, args.count))
                break
        seconds = time.monotonic() - started
        time.sleep(0.5)  # nothing more may follow
        log.update()
        poller.stop.set()
        poller.join()
        crashed = not p.alive()
        if crashed:
            failures.append("the program ended during the flood with %d (crash)" % p.process.returncode)
        else:
            p.probe("post", "main", "0x10", "0", "0", check_rc=False)  # WM_CLOSE
            try:
                code = p.exit_code(timeout=30)
            except Failure as failure:
                code = None
                failures.append(str(failure))
            if code is not None and code != 0:
                failures.append("exit code %d after WM_CLOSE" % code)

    print("%d datagrams handled in %.1f s (%.0f a second)" % (done, seconds, done / max(seconds, 1e-9)))
    print("crashes %d, hangs %d (%d polls unanswered of %d, longest answer %.2f s)" %
          (int(crashed), len(poller.failures) + stalled, len(poller.failures), poller.polls, poller.longest))
    failures += poller.failures[:5]
    print("entries %d + status lines %d = %d; datagrams sent %d of %d (expected %d + %d)" %
          (log.entries, log.status, log.entries + log.status, sent, args.count, args.count - status_expected,
           status_expected))
    if (log.entries, log.status) != (args.count - status_expected, status_expected):
        failures.append("entries %d and status lines %d, expected %d and %d" %
                        (log.entries, log.status, args.count - status_expected, status_expected))
    if log.starts != 1 or log.unexpected:
        failures.append("%d start-up lines, %d lines of no known kind, first %r" %
                        (log.starts, len(log.unexpected), log.unexpected[:3]))
    after = [rss for n, rss in samples if n >= reference]
    if after:
        print("working set %.1f MiB after %d datagrams, at most %.1f MiB after that" %
              (mib(after[0]), reference, mib(max(after))))
        if max(after) - after[0] > args.growth * 1024:
            failures.append("the working set grew by %.1f MiB after the first %d datagrams" %
                            (mib(max(after) - after[0]), reference))
    return failures


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("-n", "--count", type=int, default=10000)
    parser.add_argument("--senders", type=int, default=4)
    parser.add_argument("--start", type=int, default=13, help="start value of the random generator")
    parser.add_argument("--max-lines", type=int, default=200, help="the program's view line limit")
    parser.add_argument("--minimize-after", type=int, default=None,
                        help="minimize the window once this many datagrams are handled (default: never)")
    parser.add_argument("--budget", type=int, default=256 * 1024,
                        help="bytes of datagrams in flight at most, so that none is dropped by the kernel")
    parser.add_argument("--growth", type=float, default=4,
                        help="MiB the working set may grow after the first third (at most 10,000) datagrams")
    parser.add_argument("--poll", type=float, default=0.5, help="seconds between questions to the program")
    parser.add_argument("--answer-timeout", type=float, default=5.0, help="seconds an answer may take")
    parser.add_argument("--stall", type=float, default=30.0, help="seconds without progress that make a hang")
    parser.add_argument("--exe", required=True)
    parser.add_argument("--probe", required=True)
    parser.add_argument("--responsive", required=True)
    parser.add_argument("--scratch", required=True)
    args = parser.parse_args()
    signal.signal(signal.SIGTERM, lambda *_: sys.exit("FAILED flood: terminated"))
    try:
        failures = flood(args)
    except Failure as failure:
        failures = [str(failure)]
    for failure in failures:
        print("FAILED flood: %s" % failure)
    if not failures:
        print("passed flood")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
