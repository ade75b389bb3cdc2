#!/usr/bin/env python3
"""Burst benchmark: starts ornivel.exe under Wine in a scratch directory,
sends N syslog datagrams to 127.0.0.1:514 from one socket, back to back or
at a set rate, and prints how many were logged in "messages", how many were
lost, and how long it took until the last one was logged. Figures only; it
asserts nothing. Run it through bench/burst, which builds and sets up Wine first."""
import argparse
import os
import re
import sys
import tempfile
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests", "e2e"))
from harness import Program, send, sender  # noqa: E402

MARK = re.compile(rb"> bench: seq (\d+)")
WM_SYSCOMMAND, SC_MINIMIZE = 0x112, 0xF020


def send_burst(sock, count, rate, size):
    """Sends `count` datagrams of `size` bytes; rate 0 means back to back."""
    start = time.perf_counter()
    for i in range(count):
        head = b"<14>Oct 11 22:14:15 burst bench: seq %06d " % i
        send(sock, head + b"x" * max(0, size - len(head)))
        if rate > 0:
            delay = start + (i + 1) / rate - time.perf_counter()
            if delay > 0:
                time.sleep(delay)
    return start


def logged(program):
    return len(MARK.findall(program.read_log()))


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    build = os.path.join(here, "..", "build")
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("-n", "--count", type=int, default=2000)
    parser.add_argument("-r", "--rate", type=float, default=0, help="datagrams per second; 0 = back to back")
    parser.add_argument("-s", "--size", type=int, default=64, help="bytes per datagram (at least the header)")
    parser.add_argument("--window", choices=("normal", "minimized"), default="minimized",
                        help="state of the main window during the burst")
    parser.add_argument("--settle", type=float, default=10, help="seconds without progress that end the wait")
    parser.add_argument("--exe", default=os.path.join(build, "app", "ornivel.exe"))
    parser.add_argument("--probe", default=os.path.join(build, "tests", "e2e", "probe.exe"))
    parser.add_argument("--scratch", default=None)
    args = parser.parse_args()

    scratch = args.scratch or tempfile.mkdtemp(prefix="ornivel-burst-")
    with Program(os.path.abspath(args.exe), os.path.abspath(args.probe), scratch) as p:
        if args.window == "minimized":
            p.probe("post", "main", hex(WM_SYSCOMMAND), hex(SC_MINIMIZE), "0")
            time.sleep(0.5)
        start = send_burst(sender(), args.count, args.rate, args.size)
        sent_seconds = time.perf_counter() - start
        count, last_change = 0, time.perf_counter()
        while count < args.count and time.perf_counter() - last_change < args.settle:
            time.sleep(0.02)
            now = logged(p)
            if now != count:
                count, last_change = now, time.perf_counter()
        rate = "back to back" if args.rate <= 0 else "at %g/s" % args.rate
        print("sent %d datagrams of %d bytes %s in %.2f s, window %s" %
              (args.count, args.size, rate, sent_seconds, args.window))
        print("logged %d, lost %d, last logged %.2f s after the first was sent" %
              (count, args.count - count, last_change - start))


if __name__ == "__main__":
    main()
