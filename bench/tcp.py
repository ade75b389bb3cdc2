#!/usr/bin/env python3
"""TCP benchmark: loggen sends as fast as the program takes them for a set
time, over 1 and over 10 connections, to ornivel.exe under Wine with its
window on the screen, following the end. Prints sent, logged, lost and
entries per second (logged over the time from the first send to the last
logged entry), the entries the view missed because its queue was full
(they are in the log file), and beside them the program's highest UDP rate with 0 lost,
found as bench/burst --max-rate-search finds it (or given with --udp-rate).
Figures only; it asserts nothing. Run it through bench/tcp, which builds,
fetches loggen and sets up Wine first."""
import argparse
import os
import re
import resource
import socket
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests", "e2e"))
from burst import on_screen, search, wait_logged, wait_view  # noqa: E402
from harness import PORT, Program, send, sender, view_missed, wait_until  # noqa: E402

MARK = b"seq: "  # in every loggen message, once
SENT = re.compile(rb"average rate = [\d.]+ msg/sec, count=(\d+)")


def run(args, connections):
    """One loggen run over `connections` connections; a dict of figures."""
    with tempfile.TemporaryDirectory(prefix="ornivel-tcp-", dir=args.scratch) as scratch, \
            Program(args.exe, args.probe, scratch, args=args.program_args) as p:
        client = on_screen(p, args.on_screen).split("\n")[0]
        # Silent connections that every round of the program's wait looks at.
        idle = [socket.create_connection(("127.0.0.1", PORT)) for _ in range(args.idle)]
        first = time.time()
        # The rate is per connection: high enough that only the program limits it.
        loggen = subprocess.run([args.loggen, "--inet", "--stream", "--rate", "1000000", "--size", str(args.size),
                                 "--interval", str(args.seconds), "--active-connections", str(connections),
                                 "127.0.0.1", str(PORT)], stdout=subprocess.PIPE, stderr=subprocess.STDOUT,
                                timeout=args.seconds + 120)
        counts = SENT.findall(loggen.stdout)
        if loggen.returncode != 0 or not counts:
            raise SystemExit("loggen failed: %s" % loggen.stdout.decode(errors="replace")[-500:])
        sent = int(counts[-1])
        logged, last = wait_logged(p, sent, args.settle, mark=MARK)
        on_screen(p, args.on_screen)  # still on the screen at the end
        # Entries the view's queue had no room for are counted in a status
        # line written before the next entry once the queue has room again.
        wait_view(p)
        send(sender(), b"<14>bench: the end")
        wait_until(lambda: b"bench: the end" in p.read_log()[-4096:], "the closing datagram", timeout=60)
        missed = view_missed(p.read_log())
        in_view = p.view_text().count(MARK) if args.count_view else None
        for s in idle:
            s.close()
    seconds = max(1e-9, last - first)
    return dict(connections=connections, sent=sent, logged=logged, seconds=seconds, rate=logged / seconds,
                missed=missed, in_view=in_view, client=client)


class BurstOptions(argparse.Namespace):
    """bench/burst.py's options: those not given here are off (None)."""

    def __getattr__(self, name):
        return None


def udp_rate(args):
    """The program's highest UDP rate with 0 lost, as bench/burst finds it."""
    if args.udp_rate is not None:
        return args.udp_rate, "given"
    burst = BurstOptions(
        exe=args.exe, probe=args.probe, on_screen=args.on_screen, baseline=None, scratch=args.scratch,
        program_args=args.program_args, window="normal", baseline_window="hidden", count=args.udp_count,
        size=args.size, rate=args.udp_start, repeat=1, lowest_rate=10, search_steps=args.search_steps,
        settle=10, count_view=False)
    print("UDP rate search (%d datagrams of %d bytes):" % (args.udp_count, args.size), flush=True)
    return search(burst, "program"), "searched at %d datagrams" % args.udp_count


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    build = os.path.join(here, "..", "build")
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("-I", "--seconds", type=int, default=10, help="seconds loggen sends, per run")
    parser.add_argument("-s", "--size", type=int, default=256, help="bytes per message, TCP and UDP alike")
    parser.add_argument("-c", "--connections", type=int, nargs="+", default=[1, 10])
    parser.add_argument("--udp-rate", type=float, help="the UDP figure of an earlier bench/burst run: no search")
    parser.add_argument("--udp-count", type=int, default=100000, help="datagrams per run of the UDP search")
    parser.add_argument("--udp-start", type=float, default=10000, help="the rate the UDP search starts from")
    parser.add_argument("--search-steps", type=int, default=4, help="bisection steps of the UDP search")
    parser.add_argument("--settle", type=float, default=15, help="seconds without progress that end the wait")
    parser.add_argument("--count-view", action="store_true", help="also count the messages in the view")
    parser.add_argument("--idle", type=int, default=0, help="silent connections held open during each run")
    parser.add_argument("--program-args", nargs="*", default=[], help="command line of ornivel.exe")
    parser.add_argument("--exe", default=os.path.join(build, "app", "ornivel.exe"))
    parser.add_argument("--on-screen", default=os.path.join(build, "bench", "on_screen.exe"))
    parser.add_argument("--probe", default=os.path.join(build, "tests", "e2e", "probe.exe"))
    parser.add_argument("--loggen", default=os.path.join(build, "loggen", "loggen"))
    parser.add_argument("--scratch", default=None, help="directory for the scratch directories")
    args = parser.parse_args()
    for name in ("exe", "on_screen", "probe", "loggen"):
        setattr(args, name, os.path.abspath(getattr(args, name)))

    print("loggen over TCP, %d-byte messages for %d s, window on the screen, %d idle connections open" %
          (args.size, args.seconds, args.idle), flush=True)
    soft, hard = resource.getrlimit(resource.RLIMIT_NOFILE)
    resource.setrlimit(resource.RLIMIT_NOFILE, (max(soft, min(hard, args.idle + 1000)), hard))
    print("%-12s %10s %10s %8s %9s %12s %12s" % ("connections", "sent", "logged", "lost", "seconds", "entries/s",
                                                 "view missed"))
    runs = []
    for n in args.connections:
        f = run(args, n)
        runs.append(f)
        print("%-12d %10d %10d %8d %9.2f %12.0f %12d" % (f["connections"], f["sent"], f["logged"],
                                                         f["sent"] - f["logged"], f["seconds"], f["rate"], f["missed"]),
              flush=True)
        if f["in_view"] is not None:
            print("  in the view: %d of %d" % (f["in_view"], f["sent"]), flush=True)
    udp, how = udp_rate(args)
    print("UDP, highest rate with 0 lost (%s): %g/s" % (how, udp))
    if udp > 0:
        print("TCP over UDP: " + ", ".join("%d connection(s) %.2f" % (f["connections"], f["rate"] / udp) for f in runs))
    print("the program's view was on the screen and uncovered, %s" % runs[0]["client"])


if __name__ == "__main__":
    main()
