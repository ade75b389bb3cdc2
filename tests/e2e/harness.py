"""Runs ornivel.exe under Wine in a scratch directory and looks at it from
outside: its log file "messages", its windows through the probe program,
and UDP datagrams sent to it on 127.0.0.1:514. Shared by every end-to-end
driver and by the burst benchmark. Wine's environment (WINEPREFIX, DISPLAY,
LANG) comes from the caller."""
import os
import re
import shutil
import socket
import subprocess
import time

CP = "cp932"
PORT = 514
START_TEXT = "しすろぐすたーと".encode(CP)
RECEIVE_FAILED = "受信に失敗しました。".encode(CP)
# The status line for entries that found the view's queue full (they are in the log file).
VIEW_MISSED = re.compile(re.escape("ビューに表示できなかった ".encode(CP)) + rb"(\d+)" + re.escape(" 件".encode(CP)))
SEPARATOR = b"-" * 50
WM_QUEUEDBYTES = 0x8003  # the main window's: bytes waiting in the queue for the view
WM_CALLQUERY = 0x8005  # the main window's: the tray icon, balloons, sounds and flashes
CALL_TRAY_ICON, CALL_BALLOONS, CALL_SOUNDS, CALL_FLASHES, CALL_TRAY_TIP = range(5)
CLOCK = rb"\d\d:\d\d:\d\d"


class Failure(Exception):
    pass


def check(condition, what):
    if not condition:
        raise Failure(what)


def wait_until(condition, what, timeout=30.0, step=0.05):
    """Polls until condition() gives a true value and returns it."""
    deadline = time.monotonic() + timeout
    while True:
        value = condition()
        if value:
            return value
        if time.monotonic() > deadline:
            raise Failure("timed out waiting for " + what)
        time.sleep(step)


def wait_progress(measure, goal, what, stall=30.0, step=0.1):
    """Polls measure() until it reaches goal and returns its last value; fails
    only when it has not grown for `stall` seconds. Entries arrive at the
    pace of the view's painting, which under Wine on a loaded machine varies
    too much for a fixed deadline."""
    value, changed = measure(), time.monotonic()
    while value < goal:
        if time.monotonic() - changed > stall:
            raise Failure("timed out waiting for %s (stuck at %d of %d)" % (what, value, goal))
        time.sleep(step)
        now = measure()
        if now != value:
            value, changed = now, time.monotonic()
    return value


def port_bound():
    """True while some socket is bound to UDP port 514 (IPv4)."""
    with open("/proc/net/udp") as f:
        return any(line.split()[1].endswith(":%04X" % PORT) for line in list(f)[1:])


def stop_process(process, timeout=10):
    """Waits for a process asked to end, and kills it when it does not."""
    try:
        process.wait(timeout=timeout)
    except subprocess.TimeoutExpired:
        process.kill()
        process.wait()


def bind_port(sock, address="0.0.0.0"):
    """Binds sock to port 514 of address; False when something else holds the port."""
    try:
        sock.bind((address, PORT))
        return True
    except OSError:
        return False


def port_free():
    with socket.socket(socket.AF_INET, socket.SOCK_DGRAM) as s:
        return bind_port(s)


def sender():
    """A UDP socket with a port of its own; every datagram it sends comes from there."""
    s = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
    s.bind(("127.0.0.1", 0))
    return s


def send(sock, data):
    sock.sendto(data, ("127.0.0.1", PORT))


SETTINGS = "ornivel.ini"


def portable_exe(exe, scratch, settings=None):
    """The program in `scratch` (a hard link to `exe`, or a copy) with its
    settings file beside it, which makes it keep its settings there: no two
    tests share them. `settings` is the file's text; None keeps the file
    there, or makes an empty one."""
    os.makedirs(scratch, exist_ok=True)
    local = os.path.join(scratch, os.path.basename(exe))
    if os.path.abspath(local) != os.path.abspath(exe):
        if os.path.exists(local):
            os.remove(local)
        try:
            os.link(exe, local)
        except OSError:
            shutil.copy2(exe, local)
    ini = os.path.join(scratch, SETTINGS)
    if settings is not None or not os.path.exists(ini):
        with open(ini, "wb") as f:
            f.write(settings or b"")
    return local


class Program:
    """ornivel.exe running in `scratch`; stopped (killed if need be) on exit."""

    def __init__(self, exe, probe, scratch, fresh=True, wait_for_port=True, args=(), start_text=START_TEXT,
                 log="messages", settings=None):
        """`args` go on the program's command line; `start_text` is the log
        line that says it is up (None for a program that writes none), in
        `log`, the log file's path inside the scratch directory. The
        program keeps its settings in the scratch directory: `settings`
        gives the file's text, else a fresh run starts from none and a run
        that is not fresh from those the last one left."""
        self.probe_exe, self.scratch = probe, scratch
        self.exe = portable_exe(exe, scratch, settings if settings is not None or not fresh else b"")
        self.log = os.path.join(scratch, log)
        if fresh and os.path.exists(self.log):
            os.remove(self.log)
        self.wait_for_port = wait_for_port
        self.args, self.start_text = list(args), start_text
        self.process = None
        self._pid = None

    def __enter__(self):
        if self.wait_for_port:
            # A program of an earlier test may still be letting go of the port.
            wait_until(port_free, "UDP port 514 to be free", timeout=20)
        starts = self.read_log().count(self.start_text) if self.start_text else 0
        self.process = subprocess.Popen(["wine", self.exe] + self.args, cwd=self.scratch,
                                        stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        try:
            # The first Wine program on a fresh display also starts Wine's
            # desktop process: allow for a slow machine.
            if self.start_text:
                wait_until(lambda: self.read_log().count(self.start_text) > starts, "the start-up status line",
                           timeout=60)
            if self.wait_for_port:
                wait_until(port_bound, "the program to bind UDP port 514")
            wait_until(lambda: self.probe("windows", check_rc=False)[0] == 0, "the main window")
        except BaseException:
            self.__exit__()
            raise
        return self

    def __exit__(self, *exc):
        if self.process.poll() is None:
            try:
                self.probe("post", "main", "0x10", "0", "0", check_rc=False)  # WM_CLOSE
            except subprocess.TimeoutExpired:
                pass  # the program is ended below all the same
            stop_process(self.process)
        return False

    def alive(self):
        return self.process.poll() is None

    def pid(self):
        """The Linux process that runs the program: the one whose command line
        starts with the program's path and that runs in the scratch directory."""
        if self._pid is None:
            scratch = os.path.realpath(self.scratch)
            for entry in os.listdir("/proc"):
                try:
                    with open("/proc/%s/cmdline" % entry, "rb") as f:
                        command = f.read().split(b"\0")[0]
                    if command == os.fsencode(self.exe) and os.path.realpath("/proc/%s/cwd" % entry) == scratch:
                        self._pid = int(entry)
                        break
                except (OSError, ValueError):
                    pass  # not a process, or one that has just ended
            check(self._pid is not None, "no process runs " + self.exe)
        return self._pid

    def working_set(self):
        """(VmRSS, VmHWM) of the program in KiB: its working set now and at its peak."""
        with open("/proc/%d/status" % self.pid()) as f:
            fields = dict(line.split(":", 1) for line in f if ":" in line)
        return int(fields["VmRSS"].split()[0]), int(fields["VmHWM"].split()[0])

    def exit_code(self, timeout=20):
        try:
            return self.process.wait(timeout=timeout)
        except subprocess.TimeoutExpired:
            raise Failure("the program did not end")

    def probe(self, *args, check_rc=True):
        """Runs the probe in the scratch directory; (exit code, stdout bytes)."""
        run = subprocess.run(["wine", self.probe_exe] + list(args), cwd=self.scratch,
                             stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, timeout=60)
        if check_rc:
            check(run.returncode == 0, "probe %s failed with %d" % (" ".join(args), run.returncode))
        return run.returncode, run.stdout

    def view_text(self):
        return self.probe("view")[1]

    def hold_window(self, seconds):
        """Holds the window thread still for `seconds` (SuspendThread through
        the probe), as a long operation on the screen would hold it; returns
        the probe's process, to be waited for."""
        hold = subprocess.Popen(["wine", self.probe_exe, "suspend", str(int(seconds * 1000))], cwd=self.scratch,
                                stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
        if hold.stdout.readline().strip() != b"suspended":
            hold.wait(timeout=60)
            raise Failure("the window thread could not be held")
        return hold

    def queued_bytes(self):
        """Bytes of entries waiting in the program's queue for its view."""
        return int(self.probe("send", "main", hex(WM_QUEUEDBYTES), "0", "0")[1])

    def caught_up_view(self, timeout=60.0):
        """The view's text once the window has taken every queued entry: the
        log file is written on arrival, the view follows a little behind."""
        wait_until(lambda: self.queued_bytes() == 0, "the view to catch up", timeout)
        return self.view_text()

    def view_bytes(self):
        """The view's text byte for byte from the program's memory (view_text
        goes through UTF-16, which changes what is no code page 932 text)."""
        return self.probe("viewbytes")[1]

    def windows(self):
        """Top-level windows of the program: dicts with hwnd, cls, visible,
        owner, caption (bytes) and children [(hwnd, id, cls, text bytes)]."""
        return parse_windows(self.probe("windows", check_rc=False)[1])

    def geometry(self):
        """(client width, client height) of the main window and the view's
        (left, top, right, bottom) in its client coordinates."""
        f = self.probe("geometry")[1].split()
        return (int(f[1]), int(f[2])), tuple(int(v) for v in f[4:8])

    def settings(self):
        """The settings file's text, b"" when there is none."""
        try:
            with open(os.path.join(self.scratch, SETTINGS), "rb") as f:
                return f.read()
        except FileNotFoundError:
            return b""

    def calls(self, which):
        """What the program says of the calls a test cannot see or hear (the
        tray icon, balloons, sounds, flashes: WM_CALLQUERY's wParam)."""
        return int(self.probe("send", "main", hex(WM_CALLQUERY), str(which), "0")[1])

    def status_bar(self):
        """The status bar's fields: [((left, top, right, bottom) on the
        screen, text as str)], left to right."""
        fields = []
        for line in self.probe("statusbar")[1].decode("ascii").splitlines():
            f = line.split()
            fields.append((tuple(int(v) for v in f[2:6]), b"" if f[6] == "-" else bytes.fromhex(f[6])))
        return [(box, text.decode(CP)) for box, text in fields]

    def focus(self):
        """Class of the window that has the program's keyboard focus."""
        out = self.probe("windows", check_rc=False)[1].decode("ascii", "replace")
        return next((l.split()[1] for l in out.splitlines() if l.startswith("focus ")), None)

    def dialog(self, caption):
        """The visible dialog box with this caption owned by the main window, or None."""
        for w in self.windows():
            if w["cls"] == "#32770" and w["visible"] and w["owner"] == "ORNIVEL" and w["caption"] == caption:
                return w
        return None

    def read_log(self):
        try:
            with open(self.log, "rb") as f:
                return f.read()
        except FileNotFoundError:
            return b""

    def lines(self):
        """Complete CR LF lines of the log file, without their line ends."""
        return self.read_log().split(b"\r\n")[:-1]

    def wait_lines(self, count, timeout=30.0):
        """Waits for at least `count` complete lines and returns them all;
        `timeout` is the longest wait for the next line."""
        wait_progress(lambda: len(self.lines()), count, "%d lines in messages" % count, timeout)
        return self.lines()


def parse_windows(out):
    """The probe's "top" and "child" lines as dicts (see Program.windows)."""
    tops = []
    unhex = lambda h: b"" if h == "-" else bytes.fromhex(h)
    for line in out.decode("ascii", "replace").splitlines():
        f = line.split()
        if f and f[0] == "top":
            tops.append(dict(hwnd=f[1], cls=f[2], visible=f[3] == "1", owner=f[4], caption=unhex(f[5]), children=[]))
        elif f and f[0] == "child" and tops:
            tops[-1]["children"].append((f[1], int(f[2]), f[3], unhex(f[4])))
    return tops


def boxes(probe, cwd):
    """Every visible dialog box on the desktop, as parse_windows gives them:
    also those a program shows before its main window exists."""
    run = subprocess.run(["wine", probe, "boxes"], cwd=cwd, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL,
                         timeout=60)
    return parse_windows(run.stdout)


def view_missed(log):
    """The entries the view missed, as the log file's status lines count them."""
    return sum(int(n) for n in VIEW_MISSED.findall(log))


def is_status(line, text):
    return re.fullmatch(CLOCK + b" " + re.escape(text), line) is not None


class LogTail:
    """Follows a growing log file: each call returns the lines completed
    since the last one (split at LF, without it), reading only new bytes."""

    def __init__(self, path):
        self.path, self.offset, self.rest = path, 0, b""

    def new_lines(self):
        try:
            with open(self.path, "rb") as f:
                f.seek(self.offset)
                data = f.read()
        except FileNotFoundError:
            return []
        self.offset += len(data)
        lines = (self.rest + data).split(b"\n")
        self.rest = lines.pop()
        return lines


def udp_drops():
    """Datagrams the kernel dropped for the socket on port 514 (its receive
    buffer was full), or None when no socket holds the port."""
    with open("/proc/net/udp") as f:
        for line in list(f)[1:]:
            fields = line.split()
            if fields[1].endswith(":%04X" % PORT):
                return int(fields[-1])
    return None


def run_driver(name, test):
    """The main of a driver with one test: takes --exe, --probe and --scratch,
    runs test(args) and reports; the exit code is 0 when it passed."""
    import argparse
    parser = argparse.ArgumentParser()
    for option in ("--exe", "--probe", "--scratch"):
        parser.add_argument(option, required=True)
    args = parser.parse_args()
    try:
        test(args)
    except Failure as e:
        print("FAILED: %s" % e)
        return 1
    print("%s: passed" % name)
    return 0


SKIPPED = 77  # a case's result when it cannot run here; ctest reports it as skipped


def run_cases(cases, options=()):
    """The main of a driver with several cases: takes the case's name, --exe,
    --probe, --scratch and `options` (pairs of name and whether it is
    required), runs the case and reports; the exit code is 0 when it passed,
    SKIPPED when the case returned SKIPPED."""
    import argparse
    import signal
    import sys
    parser = argparse.ArgumentParser()
    parser.add_argument("case", choices=sorted(cases))
    for option, required in (("--exe", True), ("--probe", True), ("--scratch", True)) + tuple(options):
        parser.add_argument(option, required=required)
    args = parser.parse_args()
    # A timeout of ctest ends the driver with SIGTERM: unwind, so that the
    # program is stopped (and whatever a case set up undone) on that path too.
    signal.signal(signal.SIGTERM, lambda *_: sys.exit("FAILED %s: terminated" % args.case))
    # Expected clock texts come from the system zone, as Wine's do.
    os.environ.pop("TZ", None)
    time.tzset()
    try:
        result = cases[args.case](args)
    except Failure as failure:
        print("FAILED %s: %s" % (args.case, failure))
        return 1
    if result == SKIPPED:
        return SKIPPED
    print("passed %s" % args.case)
    return 0
