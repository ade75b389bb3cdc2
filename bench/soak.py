#!/usr/bin/env python3
"""Soak benchmark: sends a million syslog datagrams at a steady rate to
ornivel.exe under Wine and prints how many were lost and the program's working
set (VmRSS of its Wine process) as the run goes, at 25%, 50% and 100% of the
datagrams sent, and at its peak (VmHWM). With --max-lines below the count the
view's line limit is reached during the run, and the working set should flatten
there. --filter starts the program with a filter in force. Figures only; run
it through bench/soak."""
import argparse
import os
import sys
import tempfile
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from burst import MARK, WM_SYSCOMMAND, SC_MINIMIZE, datagram, on_screen, wait_logged  # noqa: E402
from harness import LogTail, Program, send, sender, udp_drops, view_missed  # noqa: E402


PERCENTS = (10, 20, 25, 30, 40, 50, 60, 70, 80, 90, 100)


def mib(kib):
    return kib / 1024.0


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    build = os.path.join(here, "..", "build")
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("-n", "--count", type=int, default=1000000)
    parser.add_argument("-r", "--rate", type=float, default=1000, help="datagrams per second, held steady")
    parser.add_argument("-s", "--size", type=int, default=100, help="bytes per datagram (at least the header)")
    parser.add_argument("--max-lines", type=int, default=None, help="passed on to the program as --max-lines N")
    parser.add_argument("--filter", default=None,
                        help='passed on to the program as --filter EXPR; \'"9 x"\' keeps a tenth of the datagrams')
    parser.add_argument("--window", choices=("normal", "minimized"), default="normal")
    parser.add_argument("--settle", type=float, default=30, help="seconds without progress that end the wait")
    parser.add_argument("--exe", default=os.path.join(build, "app", "ornivel.exe"))
    parser.add_argument("--on-screen", default=os.path.join(build, "bench", "on_screen.exe"))
    parser.add_argument("--probe", default=os.path.join(build, "tests", "e2e", "probe.exe"))
    parser.add_argument("--scratch", default=None, help="directory for the scratch directory")
    args = parser.parse_args()
    program_args = ["--max-lines", str(args.max_lines)] if args.max_lines is not None else []
    if args.filter is not None:
        program_args += ["--filter", args.filter]

    print("%d datagrams of %d bytes at %g/s, window %s, command line %r" %
          (args.count, args.size, args.rate, args.window, " ".join(program_args)), flush=True)
    with tempfile.TemporaryDirectory(prefix="ornivel-soak-", dir=args.scratch) as scratch, \
            Program(os.path.abspath(args.exe), os.path.abspath(args.probe), scratch, args=program_args) as p:
        if args.window == "minimized":
            p.probe("post", "main", hex(WM_SYSCOMMAND), hex(SC_MINIMIZE), "0")
            time.sleep(0.5)
        else:
            print("view on the screen, %s" % on_screen(p, os.path.abspath(args.on_screen)).split("\n")[0])
        print("%9s %9s %9s %12s %12s" % ("sent", "logged", "seconds", "working set", "peak"))
        tail, logged, at = LogTail(p.log), 0, {}
        marks = {max(1, args.count * pc // 100): pc for pc in PERCENTS}
        sock, start = sender(), time.perf_counter()
        for i in range(args.count):
            send(sock, datagram(i, args.size))
            if i + 1 in marks:
                logged += sum(line.count(MARK) for line in tail.new_lines())
                rss, peak = p.working_set()
                at[marks[i + 1]] = rss
                print("%9d %9d %9.1f %9.1f MiB %8.1f MiB" %
                      (i + 1, logged, time.perf_counter() - start, mib(rss), mib(peak)), flush=True)
            delay = start + (i + 1) / args.rate - time.perf_counter()
            if delay > 0.001:
                time.sleep(delay)
        total, _ = wait_logged(p, args.count, args.settle)
        rss, peak = p.working_set()
        drops = udp_drops()
        # The view's own count: entries the queue could not take for it.
        missed = view_missed(p.read_log())
        print("%9d %9d %9.1f %9.1f MiB %8.1f MiB  (drained)" %
              (args.count, total, time.perf_counter() - start, mib(rss), mib(peak)))
    print("lost %d of %d (the kernel dropped %s); the view missed %d" % (args.count - total, args.count, drops, missed))
    print("working set at 25%%: %.1f MiB, 50%%: %.1f MiB, 100%%: %.1f MiB, drained: %.1f MiB; peak %.1f MiB" %
          (mib(at[25]), mib(at[50]), mib(at[100]), mib(rss), mib(peak)))


if __name__ == "__main__":
    main()
