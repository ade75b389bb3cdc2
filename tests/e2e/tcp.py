#!/usr/bin/env python3
"""End-to-end tests of syslog over TCP: the real program under Wine, fed by
real clients (util-linux logger, syslog-ng's loggen), by a real rsyslogd run
with the relay configuration of docs/, and by plain sockets for the limits.
One case per run:
    tcp.py CASE --exe ornivel.exe --probe probe.exe --scratch DIR --loggen LOGGEN --relay-config FILE
"""
import os
import re
import resource
import socket
import subprocess
import sys
import time

from e2e import ENTRY, entry, expect_blocks, port_of
from harness import (CLOCK, PORT, SEPARATOR, VIEW_MISSED, LogTail, Program, bind_port, check, run_cases, send,
                     sender, stop_process, wait_progress, wait_until)

MAX_FRAME = 65536  # longest frame that becomes an entry whole
RELAY_PORT = 10514  # the relay's UDP input; it forwards to PORT over TCP
HEAD = b"<13>Oct 11 22:14:15 host app: "
HEADER = re.compile(rb"<<(127\.0\.0\.1|\[::1\]):(\d+)>> " + SEPARATOR)
STATUS = re.compile(CLOCK + rb" (.*)", re.S)  # entries have "(difference)" behind the clock
# The status line for entries that found the view's queue full.
TCP_LISTEN = "0A"  # the state column of /proc/net/tcp
TIMER_KEEPALIVE = "02"


def socket_rows(port=PORT, tables=("/proc/net/tcp", "/proc/net/tcp6")):
    """(local, remote, state, timer) of every socket of `tables` (TCP's by
    default) with `port` as its local port."""
    rows = []
    for table in tables:
        with open(table) as f:
            for line in list(f)[1:]:
                fields = line.split()
                if fields[1].endswith(":%04X" % port):
                    rows.append((fields[1], fields[2], fields[3], fields[5].split(":")[0]))
    return rows


def tcp_listening():
    return any(state == TCP_LISTEN for _, _, state, _ in socket_rows())


class Running(Program):
    """The program, up and listening on TCP port 514 as well."""

    def __enter__(self):
        super().__enter__()
        try:
            wait_until(tcp_listening, "the program to listen on TCP port 514")
        except BaseException:
            self.__exit__()
            raise
        return self


def connect(address="127.0.0.1"):
    family = socket.AF_INET6 if ":" in address else socket.AF_INET
    s = socket.socket(family, socket.SOCK_STREAM)
    s.connect((address, PORT))
    return s



def closed_by_peer(sock):
    """True when the program has closed the connection (end of stream or reset)."""
    sock.setblocking(False)
    try:
        return sock.recv(1) == b""
    except BlockingIOError:
        return False
    except ConnectionResetError:
        return True
    finally:
        sock.setblocking(True)


def statuses(lines):
    """The texts of the status lines after the start-up line."""
    return [m.group(1) for m in (STATUS.fullmatch(l) for l in lines[1:]) if m]


def mentions(text, number):
    """True when `text` names `number`, with or without thousands separators."""
    forms = b"|".join(re.escape(f.encode()) for f in ("%d" % number, "{:,}".format(number)))
    return re.search(rb"(?<![\d,])(?:" + forms + rb")(?![\d,])", text) is not None


def digits(n):
    """n bytes of "0123456789" repeated, so that a cut in the wrong place shows."""
    return (b"0123456789" * (n // 10 + 1))[:n]


def run_loggen(args, *options):
    """loggen over TCP to the program: 256-byte messages (shorter ones break
    its octet counts), sent as fast as the program takes them, for as long
    as that takes (loggen's own limit is 10 s)."""
    command = [args.loggen, "--inet", "--stream", "--rate", "100000", "--size", "256", "--permanent"] + list(options)
    subprocess.run(command + ["127.0.0.1", str(PORT)], check=True, stdout=subprocess.DEVNULL,
                   stderr=subprocess.DEVNULL, timeout=120)


class Relay:
    """rsyslogd with the relay configuration of docs/ as it stands, but for
    its UDP input (RELAY_PORT), its target (this machine), its framing
    (`octet_counted` False drops that line, for rsyslog's default) and a
    work directory and pid file in `scratch`."""

    def __init__(self, config, scratch, octet_counted):
        with open(config) as f:
            text = f.read()
        # README shows the configuration that is tested: the same text.
        with open(os.path.join(os.path.dirname(os.path.abspath(config)), "..", "README.md")) as f:
            check("```\n%s```\n" % text in f.read(), "README should show %s as it stands" % config)
        text = substitute(text, r'(input\(type="imudp" port=)"514"', r'\1"%d"' % RELAY_PORT)
        text = substitute(text, r'target="[^"]*"', 'target="127.0.0.1"')
        if not octet_counted:
            text = substitute(text, r'\n\s*TCP_Framing="octet-counted"', "")
        self.dir = os.path.join(os.path.abspath(scratch), "relay")
        os.makedirs(self.dir, exist_ok=True)
        self.config = os.path.join(self.dir, "rsyslog.conf")
        with open(self.config, "w") as f:
            f.write('global(workDirectory="%s")\n' % self.dir + text)
        self.process = None

    def __enter__(self):
        with open(os.path.join(self.dir, "output"), "wb") as out:
            self.process = subprocess.Popen(["rsyslogd", "-n", "-f", self.config, "-i",
                                             os.path.join(self.dir, "rsyslogd.pid")], stdout=out, stderr=out)
        wait_until(lambda: self.process.poll() is not None or socket_rows(RELAY_PORT, ("/proc/net/udp",)),
                   "rsyslogd to start")
        check(self.process.poll() is None, "rsyslogd ended at start: see %s/output" % self.dir)
        return self

    def __exit__(self, *exc):
        self.process.terminate()
        stop_process(self.process)
        return False


def substitute(text, pattern, replacement):
    """re.sub that fails unless the pattern is found exactly once, so that a
    changed configuration in docs/ cannot slip past the test."""
    text, n = re.subn(pattern, replacement, text)
    check(n == 1, "the relay configuration should have one match of %r, has %d" % (pattern, n))
    return text


def test_logger(args):
    """logger --tcp, line framed and octet counted, over IPv4 and IPv6: each
    connection opens its own block, and each line of its input is an entry."""
    host = socket.gethostname().split(".")[0].encode()
    runs = [("127.0.0.1", [], b"lf"), ("127.0.0.1", ["--octet-count"], b"octet"), ("::1", ["--octet-count"], b"v6")]
    with Running(args.exe, args.probe, args.scratch) as p:
        for address, options, word in runs:
            subprocess.run(["logger", "--tcp", "--rfc3164", "-n", address, "-P", str(PORT), "-t", "tcptest"] + options,
                           input=b"%s one\n%s two\n" % (word, word), check=True, timeout=30)
        lines = p.wait_lines(1 + 3 * len(runs))
        check(len(lines) == 1 + 3 * len(runs), "unexpected lines: %r" % lines[1 + 3 * len(runs):])
        ports = set()
        for n, (address, _, word) in enumerate(runs):
            header = HEADER.fullmatch(lines[1 + 3 * n])
            shown = b"[%s]" % address.encode() if ":" in address else address.encode()
            check(header and header.group(1) == shown, "a header for %s expected: %r" % (address, lines[1 + 3 * n]))
            ports.add(header.group(2))
            for k, text in enumerate((b"one", b"two")):
                m = entry(lines[2 + 3 * n + k])
                check(m.group(3) == host and m.group(6) == b"tcptest: %s %s" % (word, text),
                      "entry %r, expected host %r and %s %s" % (lines[2 + 3 * n + k], host, word, text))
        check(len(ports) == len(runs), "each connection should show its own port: %r" % ports)
        check(p.view_text() == p.read_log(), "the view's text differs from the log file's")


def test_loggen(args):
    """loggen in stream mode, plain (line framed) and with -P (RFC 5424,
    octet counted): every message arrives, in order, in the log file and
    the view."""
    count = 2000
    with Running(args.exe, args.probe, args.scratch) as p:
        run_loggen(args, "--number", str(count))
        run_loggen(args, "--number", str(count), "--syslog-proto")
        seq = lambda text: [int(n) for n in re.findall(rb"seq: (\d{10})", text)]
        wait_progress(lambda: len(seq(p.read_log())), 2 * count, "the messages of both runs")
        check(seq(p.read_log()) == list(range(count)) * 2, "the messages of each run should arrive once, in order")
        check(all(ENTRY.fullmatch(l) or HEADER.fullmatch(l) for l in p.lines()[1:]), "lines other than entries")
        # RFC 5424 messages begin with a UTF-8 byte order mark, which the
        # view's text loses on its way to another process: compare the messages.
        check(seq(p.caught_up_view()) == list(range(count)) * 2, "the view should show every message in order")


def relay(args, octet_counted):
    """10,000 messages sent by logger into rsyslog over UDP reach the program
    through rsyslog's TCP forwarding, all of them, in order, in the log file
    and the view."""
    count, chunk = 10000, 1000
    with Running(args.exe, args.probe, args.scratch) as p, Relay(args.relay_config, args.scratch, octet_counted):
        for first in range(0, count, chunk):  # in chunks, so that rsyslog's UDP buffer never overflows
            lines = b"".join(b"relay %05d\n" % i for i in range(first, first + chunk))
            subprocess.run(["logger", "--rfc3164", "-d", "-n", "127.0.0.1", "-P", str(RELAY_PORT), "-t", "relay"],
                           input=lines, check=True, timeout=30)
        numbers = lambda: [int(n) for n in re.findall(rb"relay: relay (\d{5})\r\n", p.read_log())]
        wait_progress(lambda: len(numbers()), count, "the relayed messages")
        check(numbers() == list(range(count)), "the relayed messages should arrive once each, in order")
        check(p.caught_up_view() == p.read_log(), "the view's text differs from the log file's")


def test_relay_lf(args):
    relay(args, octet_counted=False)


def test_relay_octet(args):
    relay(args, octet_counted=True)


def test_view_pace(args):
    """A TCP flood while the window thread is held still: the sender is
    made to wait for the view, so the log file stops growing once the
    view's queue is half full, and once the thread runs again every message
    reaches the log file, in order, and the view misses none."""
    count, held = 200000, 6.0
    with Running(args.exe, args.probe, args.scratch) as p:
        tail, total = LogTail(p.log), [0]

        def logged():
            total[0] += sum(line.count(b"seq: ") for line in tail.new_lines())
            return total[0]

        hold = subprocess.Popen(["wine", args.probe, "suspend", str(int(held * 1000))], cwd=args.scratch,
                                stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
        try:
            check(hold.stdout.readline().strip() == b"suspended", "the window thread could not be held")
            flood = subprocess.Popen([args.loggen, "--inet", "--stream", "--rate", "1000000", "--size", "256",
                                      "--permanent", "--number", str(count), "127.0.0.1", str(PORT)],
                                     stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
            time.sleep(held - 0.5)
            # Half the queue holds some 50,000 of these; read on, the flood would be logged whole by now.
            check(logged() <= count // 2, "the log file kept growing while the view was held: %d" % total[0])
        finally:
            hold.wait(timeout=60)
        wait_progress(logged, count, "the flood", stall=60)
        flood.wait(timeout=60)
        # Entries the view could not take are announced before the next one.
        send(sender(), HEAD + b"after the flood")
        wait_until(lambda: p.read_log().endswith(b"app: after the flood\r\n"), "the closing datagram")
        log = p.read_log()
        check(not VIEW_MISSED.search(log), "the view missed entries: %r" % VIEW_MISSED.search(log))
        check([int(n) for n in re.findall(rb"seq: (\d{10})", log)] == list(range(count)),
              "the messages should be in the log file once each, in order")


def test_partial_close(args):
    """A silent connection and one that stops inside a frame hold up no
    other; idle connections stay open with keepalive on; when the peer
    closes, an unfinished line and an unfinished counted frame each become
    an entry, and so does an unfinished line when the program exits."""
    with Running(args.exe, args.probe, args.scratch) as p:
        silent, partial, counted, busy = connect(), connect(), connect(), connect()
        ports = {s: port_of(s) for s in (silent, partial, counted, busy)}
        partial.sendall(HEAD + b"no line end")
        counted.sendall(b"60 " + HEAD + b"count cut short")
        busy.sendall(b"".join(HEAD + b"busy %d\n" % i for i in range(3)))
        p.wait_lines(5)
        time.sleep(1)  # nothing of the unfinished frames may show meanwhile
        check(len(p.lines()) == 5, "only the busy connection's entries expected: %r" % p.lines()[1:])
        rows = [r for r in socket_rows() if r[1].endswith(":%04X" % ports[silent])]
        check(rows and rows[0][3] == TIMER_KEEPALIVE, "keepalive should be on for an idle connection: %r" % rows)
        partial.close()
        p.wait_lines(7)
        counted.close()
        p.wait_lines(9)
        check(not closed_by_peer(silent) and not closed_by_peer(busy), "the program closed an idle connection")
        silent.sendall(HEAD + b"at exit")
    entry_of = lambda text: CLOCK + rb"\(-?\d+\) <host user\.notice> app: " + text
    expect_blocks(p.lines(), 1, [(ports[busy], True, entry_of(b"busy 0")), (None, False, entry_of(b"busy 1")),
                                 (None, False, entry_of(b"busy 2")), (ports[partial], True, entry_of(b"no line end")),
                                 (ports[counted], True, entry_of(b"count cut short")),
                                 (ports[silent], True, entry_of(b"at exit"))])


def test_overlong(args):
    """A line and a counted frame longer than 65,536 bytes: the first 65,536
    bytes are the entry, a status line right after it names the bytes cut,
    and the frames behind them are whole."""
    line = HEAD + digits(70000 - len(HEAD))
    counted = HEAD + digits(100000 - len(HEAD))
    message = len(b"<13>Oct 11 22:14:15 host ")  # where the entry's text begins
    with Running(args.exe, args.probe, args.scratch) as p:
        s = connect()
        s.sendall(line + b"\r\n" + HEAD + b"after the line\n" + b"100000 " + counted + HEAD + b"after the count\n")
        lines = p.wait_lines(8)
        check(HEADER.fullmatch(lines[1]), "a header expected: %r" % lines[1][:100])
        for at, frame, cut, after in ((2, line, 70000 - MAX_FRAME, b"after the line"),
                                      (5, counted, 100000 - MAX_FRAME, b"after the count")):
            check(entry(lines[at]).group(6) == frame[message:MAX_FRAME],
                  "line %d should end with byte %d of its frame: %r" % (at, MAX_FRAME, lines[at][-40:]))
            status = STATUS.fullmatch(lines[at + 1])
            check(status and mentions(status.group(1), cut), "a status line naming %d bytes expected: %r" %
                  (cut, lines[at + 1]))
            check(entry(lines[at + 2]).group(6) == b"app: " + after, "entry %r" % lines[at + 2][:100])
        check(len(lines) == 8, "unexpected lines: %r" % [l[:100] for l in lines[8:]])


def test_connection_limit(args):
    """Connections beyond the limit (several hundred) are accepted and
    closed at once, with one status line for the whole burst that names how
    many were refused; those within it keep working, and a place that frees
    up is taken again."""
    tries, stragglers = 1000, 10
    soft, hard = resource.getrlimit(resource.RLIMIT_NOFILE)
    resource.setrlimit(resource.RLIMIT_NOFILE, (max(soft, min(hard, tries + stragglers + 100)), hard))
    with Running(args.exe, args.probe, args.scratch) as p:
        conns = [connect() for _ in range(tries)]
        wait_until(lambda: closed_by_peer(conns[-1]), "the last connection to be refused")
        for _ in range(stragglers):  # the same burst, spread over many rounds of the program's wait
            time.sleep(0.2)
            conns.append(connect())
        wait_until(lambda: closed_by_peer(conns[-1]), "the last straggler to be refused")
        wait_until(lambda: statuses(p.lines()), "the status line of the refusals")
        time.sleep(1)
        refused = [closed_by_peer(c) for c in conns]
        limit = refused.index(True)
        check(256 <= limit < tries - 10, "%d connections kept open, expected several hundred" % limit)
        check(all(refused[limit:]), "connections beyond the limit should all be closed: %d of %d" %
              (sum(refused[limit:]), len(conns) - limit))
        status = statuses(p.lines())
        check(len(status) == 1 and mentions(status[0], len(conns) - limit),
              "one status line naming %d refusals expected: %r" % (len(conns) - limit, status))
        for c in conns[limit:] + conns[limit - 10:limit]:
            c.close()
        time.sleep(1)  # the program notices the closes
        again = connect()
        # One at a time: between connections, the order is the order they are read in.
        for sock, text in ((conns[0], b"first"), (conns[limit - 11], b"last kept"), (again, b"again")):
            sock.sendall(HEAD + text + b"\n")
            lines = p.wait_lines(len(p.lines()) + 2)  # a header and the entry
        texts = [entry(l).group(6) for l in lines if ENTRY.fullmatch(l)]
        check(texts == [b"app: first", b"app: last kept", b"app: again"], "entries %r" % texts)
        check(not closed_by_peer(again), "a connection within the limit again was closed")
        check(len(statuses(lines)) == 1, "one status line for the burst expected: %r" % statuses(lines))


def test_bind_failure(args):
    """With TCP port 514 held elsewhere, a status line names TCP, no Error
    box opens, and UDP reception goes on."""
    holders = []
    for family, address in ((socket.AF_INET, "0.0.0.0"), (socket.AF_INET6, "::")):
        h = socket.socket(family, socket.SOCK_STREAM)
        h.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)  # past connections of earlier tests in TIME_WAIT
        if family == socket.AF_INET6:
            h.setsockopt(socket.IPPROTO_IPV6, socket.IPV6_V6ONLY, 1)
        wait_until(lambda: bind_port(h, address), "TCP port 514 to be free", timeout=20)
        h.listen()
        holders.append(h)
    try:
        with Program(args.exe, args.probe, args.scratch) as p:
            wait_until(lambda: any(b"TCP" in s for s in statuses(p.lines())), "a status line naming TCP")
            time.sleep(1)
            check(p.dialog(b"Error") is None, "an Error box opened")
            u = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
            u.sendto(HEAD + b"by UDP", ("127.0.0.1", PORT))
            wait_until(lambda: any(ENTRY.fullmatch(l) and l.endswith(b"app: by UDP") for l in p.lines()),
                       "the UDP datagram's entry")
    finally:
        for h in holders:
            h.close()


CASES = {
    "logger": test_logger,
    "loggen": test_loggen,
    "relay_lf": test_relay_lf,
    "relay_octet": test_relay_octet,
    "view_pace": test_view_pace,
    "partial_close": test_partial_close,
    "overlong": test_overlong,
    "connection_limit": test_connection_limit,
    "bind_failure": test_bind_failure,
}


def main():
    return run_cases(CASES, [("--loggen", True), ("--relay-config", True)])

if __name__ == "__main__":
    sys.exit(main())
