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
import select
import socket
import subprocess
import sys
import threading
import time

from e2e import ENTRY, entry, expect_blocks, port_of
from harness import (CLOCK, CP, PORT, SEPARATOR, VIEW_MISSED, LogTail, Program, bind_port, check, run_cases, send,
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
    """(local, remote, state, timer, unread) of every socket of `tables`
    (TCP's by default) with `port` as its local port; `unread` is the bytes
    received and not yet read."""
    rows = []
    for table in tables:
        with open(table) as f:
            for line in list(f)[1:]:
                fields = line.split()
                if fields[1].endswith(":%04X" % port):
                    rows.append((fields[1], fields[2], fields[3], fields[5].split(":")[0],
                                 int(fields[4].split(":")[1], 16)))
    return rows


def unread_by_program(client):
    """Bytes that have reached the program's end of `client`'s connection and
    wait to be read: the system has acknowledged them to the sender."""
    peer = ":%04X" % port_of(client)
    return next((unread for _, remote, _, _, unread in socket_rows() if remote.endswith(peer)), 0)


def tcp_listening():
    return any(state == TCP_LISTEN for _, _, state, _, _ in socket_rows())


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



def connect_beyond_limit():
    """A connection that the program may refuse: None when its reset came
    before connect() returned, which under load it can."""
    try:
        return connect()
    except ConnectionResetError:
        return None


def closed_by_peer(sock):
    """True when the program has closed the connection (end of stream or reset)."""
    if sock is None:
        return True
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


def counter(log, mark):
    """A function that gives the times `mark` occurs in the log file so far,
    reading only what is new since its last call."""
    tail, total = LogTail(log), [0]

    def logged():
        total[0] += sum(line.count(mark) for line in tail.new_lines())
        return total[0]

    return logged


def test_view_pace(args):
    """A TCP flood while the window thread is held still: the sender is
    made to wait for the view, so the log file stops growing once the
    view's queue is half full, and once the thread runs again every message
    reaches the log file, in order, and the view misses none."""
    count, held = 200000, 6.0
    with Running(args.exe, args.probe, args.scratch) as p:
        logged = counter(p.log, b"seq: ")
        hold = p.hold_window(held)
        try:
            flood = subprocess.Popen([args.loggen, "--inet", "--stream", "--rate", "1000000", "--size", "256",
                                      "--permanent", "--number", str(count), "127.0.0.1", str(PORT)],
                                     stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
            time.sleep(held - 0.5)
            # Half the queue holds some 50,000 of these; read on, the flood would be logged whole by now.
            so_far = logged()
            check(so_far <= count // 2, "the log file kept growing while the view was held: %d" % so_far)
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


def numbered(k, count, size, fill=b"x"):
    """The stream of connection k: `count` messages of `size` bytes, "c07
    000123" and on, padded with `fill` up to an "e" at the end; line framed,
    or octet counted when the fill is NUL (a NUL ends a line)."""
    if fill != b"\0":
        return b"".join((HEAD + b"c%02d %06d " % (k, n)).ljust(size - 2, fill) + b"e\n" for n in range(count))
    return b"".join(b"%d %s" % (size - 1, (HEAD + b"c%02d %06d " % (k, n)).ljust(size - 2, fill) + b"e")
                    for n in range(count))


def logged_numbers(log):
    """{connection: [the message numbers of its entries, in the log file's order]}."""
    numbers = {}
    for k, n in re.findall(rb"app: c(\d\d) (\d{6})", log):
        numbers.setdefault(int(k), []).append(int(n))
    return numbers


def send_in_threads(streams):
    """One connection per stream, each written by a thread of its own; the
    sockets and the started threads."""
    socks = [connect() for _ in streams]
    threads = [threading.Thread(target=sock.sendall, args=(data,), daemon=True) for sock, data in zip(socks, streams)]
    for t in threads:
        t.start()
    return socks, threads


def test_held_connections(args):
    """While the window thread is held still, 32 connections each have 2 MiB
    to send. Reception reads a connection only while the view's queue is at
    most half full, and looks before every read, so the senders wait and the
    view misses none of their entries; once the thread runs again every
    message reaches the log file, in order."""
    conns, size, held = 32, 1024, 8.0
    count = (2 << 20) // size
    with Running(args.exe, args.probe, args.scratch) as p:
        logged = counter(p.log, b"app: c")
        hold = p.hold_window(held)
        try:
            socks, threads = send_in_threads([numbered(k, count, size) for k in range(conns)])
        finally:
            hold.wait(timeout=60)
        wait_progress(logged, conns * count, "the connections' messages", stall=60)
        for t in threads:
            t.join(timeout=60)
        for sock in socks:
            sock.close()
        # An entry after them, which a missed-entries line would come before.
        send(sender(), HEAD + b"after the flood")
        wait_until(lambda: p.read_log().endswith(b"app: after the flood\r\n"), "the closing datagram")
        log = p.read_log()
        check(not VIEW_MISSED.search(log), "the view missed entries: %r" % VIEW_MISSED.search(log))
        numbers = logged_numbers(log)
        check(all(numbers.get(k) == list(range(count)) for k in range(conns)),
              "each connection's messages should be in the log file once each, in order")


def send_until(sock, data, stop):
    """Writes `data` to `sock` until done or `stop` is set; returns the bytes
    the system took (it has promised to deliver them)."""
    sock.setblocking(False)
    sent = 0
    while sent < len(data) and not stop.is_set():
        try:
            sent += sock.send(data[sent:sent + 65536])
        except BlockingIOError:
            select.select([], [sock], [], 0.05)
    return sent


def test_close_while_held(args):
    """Up to 6 MiB sent over one connection while the window thread is held,
    each message mostly NULs (four times its size in the view), so that the
    view's queue holds TCP back while the system buffers the rest; then the
    program is closed. At shutdown it reads the connection to the end: every
    message the system took from the sender is in the log file."""
    size, held, count = 1024, 6.0, 6144
    stream = numbered(0, count, size, fill=b"\0")
    with Running(args.exe, args.probe, args.scratch) as p:
        hold = p.hold_window(held)
        try:
            sock, stop, sent = connect(), threading.Event(), []
            thread = threading.Thread(target=lambda: sent.append(send_until(sock, stream, stop)))
            thread.start()
            time.sleep(held - 2)
            stop.set()
            thread.join(timeout=10)
            unread = unread_by_program(sock)
            print("sent %d bytes; left unread when the program was closed: %d" % (sent[0], unread))
            check(unread > 0, "nothing was left unread: the close had nothing to read to the end")
            p.probe("post", "main", "0x10", "0", "0")  # WM_CLOSE, taken once the thread runs again
        finally:
            hold.wait(timeout=60)
        p.exit_code(timeout=60)
        sock.close()
        whole = sent[0] // (len(stream) // count)
        numbers = logged_numbers(p.read_log()).get(0, [])
        check(numbers[:whole] == list(range(whole)),
              "%d of the %d messages sent whole are in the log file" % (len(numbers), whole))


def test_fair_turns(args):
    """Four connections flood while another sends a line every 200 ms: once
    the view's queue holds TCP back, the connections take turns, and each of
    the quiet one's lines reaches the log file within a second while the
    floods go on."""
    floods, lines, every, bound = 4, 20, 0.2, 1.0
    with Running(args.exe, args.probe, args.scratch) as p:
        stop = threading.Event()

        def keep_flooding(sock, stream):
            while not stop.is_set():
                send_until(sock, stream, stop)

        threads = [threading.Thread(target=keep_flooding, args=(connect(), numbered(k, 25000, 256)))
                   for k in range(floods)]
        for t in threads:
            t.start()
        try:
            wait_until(lambda: p.queued_bytes() > 16 << 20, "the floods to fill half the view's queue", timeout=60)
            quiet, tail, seen, late = connect(), LogTail(p.log), set(), []
            for n in range(lines):
                sent = time.monotonic()
                quiet.sendall(HEAD + b"quiet %02d\n" % n)
                while n not in seen and time.monotonic() - sent < 10:
                    seen.update(int(m) for line in tail.new_lines() for m in re.findall(rb"app: quiet (\d\d)", line))
                    time.sleep(0.01)
                late.append(time.monotonic() - sent)
                time.sleep(max(0.0, every - late[-1]))
            queued = p.queued_bytes()
        finally:
            stop.set()
            for t in threads:
                t.join(timeout=30)
        print("the quiet connection's lines took %.2f s at most, %.2f s on the average" %
              (max(late), sum(late) / len(late)))
        check(queued > 8 << 20, "the view caught up with the floods (%d bytes queued): no turns were needed" % queued)
        check(max(late) < bound, "a quiet line took %.2f s to reach the log file" % max(late))


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


def allow_sockets(count):
    soft, hard = resource.getrlimit(resource.RLIMIT_NOFILE)
    resource.setrlimit(resource.RLIMIT_NOFILE, (max(soft, min(hard, count + 100)), hard))


def test_connection_limit(args):
    """Connections beyond the limit (several hundred) are accepted and
    closed at once, with one status line for the whole burst that names how
    many were refused; those within it keep working, and a place that frees
    up is taken again."""
    tries, stragglers = 1000, 10
    allow_sockets(tries + stragglers)
    with Running(args.exe, args.probe, args.scratch) as p:
        conns = [connect_beyond_limit() for _ in range(tries)]
        wait_until(lambda: closed_by_peer(conns[-1]), "the last connection to be refused")
        for _ in range(stragglers):  # the same burst, spread over many rounds of the program's wait
            time.sleep(0.2)
            conns.append(connect_beyond_limit())
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
            if c is not None:
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


def test_refusal_burst(args):
    """Refusals that never pause for a second are still reported: with the
    table full, a connection beyond the limit every half second for 65 s
    gets a status line once the burst is a minute old, naming the refusals
    so far, while the burst goes on; the rest get theirs once it is over."""
    limit, seconds, every = 600, 65.0, 0.5
    allow_sockets(limit + int(seconds / every) + 10)
    with Running(args.exe, args.probe, args.scratch) as p:
        conns = [connect_beyond_limit() for _ in range(limit)]
        wait_until(lambda: closed_by_peer(conns[-1]), "the connections beyond the limit to be refused")
        first, refused, during = time.monotonic(), sum(closed_by_peer(c) for c in conns), None
        while time.monotonic() - first < seconds:
            time.sleep(every)
            late = connect_beyond_limit()
            wait_until(lambda: closed_by_peer(late), "a connection beyond the limit to be refused", timeout=5)
            if late is not None:
                late.close()
            refused += 1
            if during is None and statuses(p.lines()):
                during = (time.monotonic() - first, refused, statuses(p.lines()))
        check(during is not None, "no status line while the refusals went on for %d s" % seconds)
        print("the burst's first status line after %.1f s, with %d refused by then" % during[:2])
        wait_until(lambda: len(statuses(p.lines())) == 2, "the status line of the rest of the burst")
        counts = [int(re.search(rb"(\d+) " + re.escape("件".encode(CP)), t).group(1)) for t in statuses(p.lines())]
        check(55 <= during[0] and counts[0] <= during[1] and sum(counts) == refused,
              "refusals %r reported after %.1f s, of %d in all" % (counts, during[0], refused))


def test_bind_failure(args):
    """With a port held elsewhere, the sockets that could be bound receive
    at once. TCP port 514 held: a status line names TCP, no Error box
    opens, and UDP reception goes on. UDP port 514 held: the Error box
    opens, and while it is still open a TCP line is logged."""
    for held in (socket.SOCK_STREAM, socket.SOCK_DGRAM):
        holders = []
        for family, address in ((socket.AF_INET, "0.0.0.0"), (socket.AF_INET6, "::")):
            h = socket.socket(family, held)
            if held == socket.SOCK_STREAM:  # past connections of earlier tests in TIME_WAIT
                h.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
            if family == socket.AF_INET6:
                h.setsockopt(socket.IPPROTO_IPV6, socket.IPV6_V6ONLY, 1)
            wait_until(lambda: bind_port(h, address), "port 514 to be free", timeout=20)
            if held == socket.SOCK_STREAM:
                h.listen()
            holders.append(h)
        try:
            with Program(args.exe, args.probe, args.scratch, wait_for_port=False) as p:
                if held == socket.SOCK_STREAM:
                    wait_until(lambda: any(b"TCP" in s for s in statuses(p.lines())), "a status line naming TCP")
                    time.sleep(1)
                    check(p.dialog(b"Error") is None, "an Error box opened")
                    u = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
                    u.sendto(HEAD + b"by UDP", ("127.0.0.1", PORT))
                    wait_until(lambda: any(ENTRY.fullmatch(l) and l.endswith(b"app: by UDP") for l in p.lines()),
                               "the UDP datagram's entry")
                else:
                    box = wait_until(lambda: p.dialog(b"Error"), "the Error box")
                    wait_until(tcp_listening, "the program to listen on TCP port 514")
                    with connect() as t:
                        t.sendall(HEAD + b"by TCP\n")
                        wait_until(lambda: any(ENTRY.fullmatch(l) and l.endswith(b"app: by TCP") for l in p.lines()),
                                   "the TCP line's entry while the Error box is open", timeout=10)
                    check(p.dialog(b"Error") is not None, "the Error box closed by itself")
                    p.probe("click", [c[0] for c in box["children"] if c[1] == 1][0])  # OK
        finally:
            for h in holders:
                h.close()


CASES = {
    "logger": test_logger,
    "loggen": test_loggen,
    "relay_lf": test_relay_lf,
    "relay_octet": test_relay_octet,
    "view_pace": test_view_pace,
    "held_connections": test_held_connections,
    "close_while_held": test_close_while_held,
    "fair_turns": test_fair_turns,
    "partial_close": test_partial_close,
    "overlong": test_overlong,
    "connection_limit": test_connection_limit,
    "refusal_burst": test_refusal_burst,
    "bind_failure": test_bind_failure,
}


def main():
    return run_cases(CASES, [("--loggen", True), ("--relay-config", True)])

if __name__ == "__main__":
    sys.exit(main())
