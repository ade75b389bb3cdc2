#!/usr/bin/env python3
"""Burst benchmark: sends the same burst of N syslog datagrams to 127.0.0.1:514
to two reference receivers without a view (baseline.exe: a window taking one
recvfrom per notification, and a bare blocking recvfrom loop), then to
ornivel.exe, each started under Wine in a scratch directory of its own, and
prints sent, logged, lost and the time from the first send to the last logged
datagram side by side. With --max-rate-search it looks for the highest rate
with 0 lost for each, at -n datagrams and in a short burst of 30,000.
Figures only; it asserts nothing. Run it through bench/burst, which builds and
sets up Wine first."""
import argparse
import os
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests", "e2e"))
from harness import Failure, LogTail, Program, send, sender, udp_drops  # noqa: E402

MARK = b" bench: seq "  # in the program's entry text and in the baseline's raw line alike
WM_SYSCOMMAND, SC_MINIMIZE = 0x112, 0xF020
HIGHEST_RATE = 200000  # about what one Python sender manages


def datagram(i, size):
    """Datagram number i: a syslog line with its sequence mark, padded to `size` bytes."""
    head = b"<14>Oct 11 22:14:15 burst" + MARK + b"%07d " % i
    return head + b"x" * max(0, size - len(head))


def send_burst(sock, count, rate, size):
    """Sends `count` datagrams of `size` bytes, each with its sequence mark;
    rate 0 means back to back. Returns the wall-clock time of the first send."""
    start, first = time.perf_counter(), time.time()
    for i in range(count):
        send(sock, datagram(i, size))
        if rate > 0:
            # Sleeping only when a millisecond ahead keeps high rates exact.
            delay = start + (i + 1) / rate - time.perf_counter()
            if delay > 0.001:
                time.sleep(delay)
    return first, time.perf_counter() - start


def wait_logged(program, count, settle, mark=MARK):
    """Counts lines marked with `mark` until all `count` are in or none came
    for `settle` seconds; returns the count and the wall-clock time of the
    last write."""
    tail, logged, changed = LogTail(program.log), 0, time.monotonic()
    while logged < count and time.monotonic() - changed < settle:
        time.sleep(0.1)
        now = logged + sum(line.count(mark) for line in tail.new_lines())
        if now != logged:
            logged, changed = now, time.monotonic()
    last = os.stat(program.log).st_mtime if os.path.exists(program.log) else 0.0
    return logged, last


TARGETS = ("window", "loop", "program")  # the two references, then the program


def run(args, target, rate):
    """One burst against `target` (one of TARGETS); a dict of figures."""
    is_program = target == "program"
    exe = args.exe if is_program else args.baseline
    options = dict(args=args.program_args) if is_program else \
        dict(start_text=None, args=(["--show"] if args.baseline_window == "normal" else []) +
             (["--loop"] if target == "loop" else []))
    if is_program and args.log_pattern:
        # A dated log: the program writes today's file of the pattern, read back there.
        options = dict(args=args.program_args + ["--log", args.log_pattern],
                       log=os.path.join(*time.strftime(args.log_pattern).split("\\")))
    with tempfile.TemporaryDirectory(prefix="ornivel-%s-" % target, dir=args.scratch) as scratch, \
            Program(exe, args.probe, scratch, **options) as p:
        client = None
        if is_program and args.window == "minimized":
            p.probe("post", "main", hex(WM_SYSCOMMAND), hex(SC_MINIMIZE), "0")
            time.sleep(0.5)
        elif is_program:
            client = on_screen(p, args.on_screen).split("\n")[0]
        latency = None
        if is_program and args.latency:
            # Round trips through the window thread while the burst arrives and drains.
            latency = subprocess.Popen(["wine", args.latency_exe, "%g" % (args.count / max(rate, 1000) + 5)],
                                       cwd=scratch, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
        first, sending = send_burst(sender(), args.count, rate, args.size)
        logged, last = wait_logged(p, args.count, args.settle)
        figures = dict(target=target, rate=rate, sent=args.count, logged=logged, lost=args.count - logged,
                       seconds=max(0.0, last - first), sending=sending, drops=udp_drops(), in_view=None,
                       client=client)
        if client:
            on_screen(p, args.on_screen)  # still on the screen at the end
        if latency:
            figures["latency"] = latency.communicate(timeout=120)[0].decode(errors="replace").strip()
        if is_program and args.count_view:
            wait_view(p)
            figures["in_view"] = p.view_text().count(MARK)
    return figures


def wait_view(program):
    """Waits until the program's view has taken every queued entry."""
    deadline = time.monotonic() + 120
    while time.monotonic() < deadline:
        if program.queued_bytes() == 0:
            return
        time.sleep(0.2)


def on_screen(program, helper):
    """Raises the main window and fails unless its view is wholly on the screen."""
    run = subprocess.run(["wine", helper], cwd=program.scratch, stdout=subprocess.PIPE,
                         stderr=subprocess.DEVNULL, timeout=60)
    out = run.stdout.decode(errors="replace").strip()
    if run.returncode != 0:
        raise Failure("the program's view is not on the screen: %r" % out)
    return out


def describe_rate(rate):
    return "back to back" if rate <= 0 else "%g/s" % rate


def print_rows(rows):
    """The figures of each target; the ratio is its time over the loop's."""
    loop = rows[TARGETS.index("loop")]
    prog = rows[-1]
    print("%-12s %9s %9s %9s %10s %9s %7s" % ("", "sent", "logged", "lost", "seconds", "dropped", "ratio"))
    for f in rows:
        ratio = f["seconds"] / loop["seconds"] if loop["seconds"] > 0 else float("nan")
        print("%-12s %9d %9d %9d %10.2f %9s %7.2f" % (f["target"], f["sent"], f["logged"], f["lost"], f["seconds"],
                                                      f["drops"], ratio))
    if prog["client"]:
        print("the program's view was on the screen and uncovered, %s" % prog["client"])
    if prog.get("latency"):
        print("the program's window thread during the burst: %s" % prog["latency"])
    if prog["in_view"] is not None:
        print("in the program's view: %d of %d" % (prog["in_view"], prog["sent"]))


def lossless(args, target, rate):
    """True when `--repeat` bursts at `rate` all lose nothing; a loaded
    machine makes single runs near the limit go either way."""
    for _ in range(args.repeat):
        f = run(args, target, rate)
        print("  %-8s %10s: lost %d, %.2f s" % (target, describe_rate(rate), f["lost"], f["seconds"]), flush=True)
        if f["lost"] > 0:
            return False
    return True


def search(args, target):
    """Highest rate with 0 lost: doubles or halves from the start rate to
    bracket it, then bisects; returns that rate (0 when even the lowest loses)."""
    good, bad, rate = 0.0, None, args.rate if args.rate > 0 else 1000.0
    while True:
        if lossless(args, target, rate):
            good = rate
            if bad is not None or rate >= HIGHEST_RATE:
                break
            rate = min(rate * 2, HIGHEST_RATE)
        else:
            bad = rate
            if good > 0 or rate <= args.lowest_rate:
                break
            rate = max(rate / 2, args.lowest_rate)
    for _ in range(args.search_steps if bad is not None and good > 0 else 0):
        rate = round((good + bad) / 2)
        if lossless(args, target, rate):
            good = rate
        else:
            bad = rate
    return good


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    build = os.path.join(here, "..", "build")
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("-n", "--count", type=int, default=2000)
    parser.add_argument("-r", "--rate", type=float, default=0, help="datagrams per second; 0 = back to back")
    parser.add_argument("-s", "--size", type=int, default=64, help="bytes per datagram (at least the header)")
    parser.add_argument("--window", choices=("normal", "minimized"), default="minimized",
                        help="the main window during the burst: normal is on the screen, following the end")
    parser.add_argument("--baseline-window", choices=("normal", "hidden"), default="hidden",
                        help="normal shows the baseline's (empty) window too, for a comparison in the same state")
    parser.add_argument("--max-rate-search", action="store_true",
                        help="find the highest rate with 0 lost at this count, for both, from -r (or 1000/s)")
    parser.add_argument("--search-steps", type=int, default=5, help="bisection steps of the rate search")
    parser.add_argument("--short-count", type=int, default=30000,
                        help="the rate search also runs for a burst this short (when -n is longer; 0: not)")
    parser.add_argument("--targets", default=",".join(TARGETS),
                        help="which of %s the rate search measures" % ",".join(TARGETS))
    parser.add_argument("--repeat", type=int, default=1, help="runs a rate must pass in the rate search")
    parser.add_argument("--lowest-rate", type=float, default=10, help="the rate search goes no lower")
    parser.add_argument("--settle", type=float, default=10, help="seconds without progress that end the wait")
    parser.add_argument("--count-view", action="store_true", help="also count the marks in the program's view")
    parser.add_argument("--latency", action="store_true",
                        help="also time WM_NULL round trips to the program's window during the burst")
    parser.add_argument("--program-args", nargs="*", default=[], help="command line of ornivel.exe")
    parser.add_argument("--log-pattern", default=None,
                        help="the program's --log with date fields (e.g. 'logs\\%%Y-%%m-%%d.log'), read back there")
    parser.add_argument("--latency-exe", default=os.path.join(build, "bench", "latency.exe"))
    parser.add_argument("--exe", default=os.path.join(build, "app", "ornivel.exe"))
    parser.add_argument("--baseline", default=os.path.join(build, "bench", "baseline.exe"))
    parser.add_argument("--on-screen", default=os.path.join(build, "bench", "on_screen.exe"))
    parser.add_argument("--probe", default=os.path.join(build, "tests", "e2e", "probe.exe"))
    parser.add_argument("--scratch", default=None, help="directory for the scratch directories")
    args = parser.parse_args()
    for name in ("exe", "baseline", "on_screen", "probe", "latency_exe"):
        setattr(args, name, os.path.abspath(getattr(args, name)))
    args.size = min(args.size, 65507)  # the largest UDP datagram over IPv4

    print("%d datagrams of %d bytes, window %s" % (args.count, args.size, args.window), flush=True)
    if args.max_rate_search:
        # A short burst too: the kernel's buffer takes a larger share of it,
        # so a receiver's stalls weigh more than its steady pace.
        counts = [args.count] + ([args.short_count] if 0 < args.short_count < args.count else [])
        found = []
        for count in counts:
            args.count = count
            print("bursts of %d:" % count, flush=True)
            found.append((count, {target: search(args, target) for target in TARGETS if target in args.targets}))
        for count, rates in found:
            loop = rates.get("loop", 0)
            print("highest rate with 0 lost at %d datagrams: %s" %
                  (count, ", ".join("%s %g/s" % (t, r) for t, r in rates.items())) +
                  ("; program as a fraction of the loop %.2f" % (rates["program"] / loop)
                   if loop > 0 and "program" in rates else ""))
        return
    rows = [run(args, target, args.rate) for target in TARGETS]
    print("%s; sending took %.2f s" % (describe_rate(args.rate), rows[-1]["sending"]))
    print_rows(rows)


if __name__ == "__main__":
    main()
