"""Screenshots of the real program in a Wine virtual desktop after a mixed set
of datagrams (logger messages in both its layouts, one with Japanese UTF-8
text, several hosts and senders, every severity, a double-byte message, a
status line): once plain, once masked through the View menu command, once
plain again, all from the same run. The pictures show the status bar too.

Checks: the plain picture holds every palette colour the entries use; in the
masked picture every character cell that is not a delimiter shows exactly
the glyph of an "X" from the plain picture, every delimiter keeps its glyph,
each row keeps its colours, and nothing is drawn past the text; toggling the
mask again restores the plain picture.

With --keep DIR the plain and masked pictures are written there as PNG
(scripts/screenshot uses the plain one for the README)."""
import argparse
import os
import signal
import struct
import subprocess
import sys
import time
import zlib

from harness import (CP, START_TEXT, RECEIVE_FAILED, Failure, Program, check, port_bound, port_free, send, sender,
                     wait_until)

DESKTOP = "ornivel-shots"
WIDTH, HEIGHT = 960, 560
# The view's default font here (9-point IPA Gothic at 96 dpi): 13 pixels
# high plus 2 of line spacing, 6 pixels a byte. The view sits inside a
# 2-pixel client edge and draws from x = 1.
ROW, CELL, EDGE, LEFT_MARGIN = 15, 6, 2, 1
WHITE = (255, 255, 255)
DELIMITERS = set(b" ()[]{}<>/!\"#$%&'=-.*+;:\\|~^\t")
WM_CLOSE, WM_COMMAND, WM_SYSCOMMAND, SC_MAXIMIZE, IDM_MASK = 0x10, 0x111, 0x112, 0xF030, 32775

# Foregrounds the entries below must show: status time and entry times,
# status and header text, separators, the five block colours, the colour
# of every severity.
PALETTE_USED = {
    "blue": (0, 0, 255), "red": (255, 0, 0), "grey": (128, 128, 128),
    "teal": (0, 128, 128), "olive": (128, 128, 0), "maroon": (128, 0, 0), "green": (0, 128, 0),
    "purple": (128, 0, 128), "alert": (255, 32, 32), "crit": (255, 64, 64), "err": (255, 128, 128),
    "warn": (128, 64, 128), "notice": (0, 0, 0), "debug": (224, 224, 224),
}


# Sent in UTF-8: the log file keeps its bytes, the view shows it in code page 932.
JAPANESE = "ディスク使用率が90%を超えました"


def winpath(path):
    return "Z:" + os.path.abspath(path).replace("/", "\\")


class DesktopProgram(Program):
    """The program inside a virtual desktop, which draws its frame and menu.
    Windows of a desktop are visible only from inside it, so the probe runs
    there too, through a batch file that keeps its output and exit code."""

    def __enter__(self):
        with open(os.path.join(self.scratch, "probe.bat"), "w") as f:
            f.write('@echo off\r\n"%s" %%* > probe.out\r\necho %%errorlevel%% > probe.rc\r\n'
                    % winpath(self.probe_exe))
        wait_until(port_free, "UDP port 514 to be free", timeout=20)
        self.process = subprocess.Popen(["wine", "explorer", self.desktop(), self.exe], cwd=self.scratch,
                                        stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        try:
            wait_until(lambda: START_TEXT in self.read_log(), "the start-up status line")
            wait_until(port_bound, "the program to bind UDP port 514")
            wait_until(lambda: self.probe("windows", check_rc=False)[0] == 0, "the main window")
        except BaseException:
            self.__exit__()
            raise
        return self

    def __exit__(self, *exc):
        if port_bound():
            try:
                self.probe("post", "main", hex(WM_CLOSE), "0", "0", check_rc=False)
            except (Failure, subprocess.TimeoutExpired):
                pass  # the desktop may end with the program before the probe reports
            try:
                wait_until(lambda: not port_bound(), "the program to end", timeout=15)
            except Failure:
                self.kill_leftovers()
                wait_until(lambda: not port_bound(), "the killed program to let go of the port", timeout=15)
        try:
            self.process.wait(timeout=10)  # the launcher; it ends with the program
        except subprocess.TimeoutExpired:
            self.process.kill()
            self.process.wait()
        return False

    def kill_leftovers(self):
        """Ends this prefix's processes of the program and its desktop, by id."""
        prefix = os.environ.get("WINEPREFIX", "")
        for pid in filter(str.isdigit, os.listdir("/proc")):
            try:
                with open("/proc/%s/environ" % pid, "rb") as f:
                    env = f.read().split(b"\0")
                with open("/proc/%s/cmdline" % pid, "rb") as f:
                    cmd = f.read()
            except OSError:
                continue
            mine = ("WINEPREFIX=" + prefix).encode() in env
            if mine and (os.path.basename(self.exe).encode() in cmd or DESKTOP.encode() in cmd):
                os.kill(int(pid), signal.SIGKILL)

    def desktop(self):
        return "/desktop=%s,%dx%d" % (DESKTOP, WIDTH, HEIGHT)

    def probe(self, *args, check_rc=True):
        rc_file = os.path.join(self.scratch, "probe.rc")
        if os.path.exists(rc_file):
            os.remove(rc_file)
        subprocess.run(["wine", "explorer", self.desktop(), "cmd", "/c", "probe.bat"] + list(args),
                       cwd=self.scratch, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=60)
        rc = int(wait_until(lambda: os.path.exists(rc_file) and open(rc_file).read().strip(), "the probe"))
        with open(os.path.join(self.scratch, "probe.out"), "rb") as f:
            out = f.read()
        if check_rc:
            check(rc == 0, "probe %s failed with %d" % (" ".join(args), rc))
        return rc, out


class Image:
    def __init__(self, width, height, rgb):
        self.width, self.height, self.rgb = width, height, rgb

    def px(self, x, y):
        i = 3 * (y * self.width + x)
        return tuple(self.rgb[i:i + 3])

    def rows(self, top, bottom):
        return self.rgb[3 * top * self.width:3 * bottom * self.width]

    def colours(self, top, bottom):
        data = self.rows(top, bottom)
        return {tuple(data[i:i + 3]) for i in range(0, len(data), 3)}

    def cell(self, x0, y0):
        """Where a cell has ink: every pixel that is not the white background."""
        return tuple(self.px(x, y) != WHITE for y in range(y0, y0 + ROW) for x in range(x0, x0 + CELL))

    def save_png(self, path):
        raw = b"".join(b"\0" + self.rgb[3 * y * self.width:3 * (y + 1) * self.width] for y in range(self.height))
        chunk = lambda kind, data: (struct.pack(">I", len(data)) + kind + data
                                    + struct.pack(">I", zlib.crc32(kind + data)))
        with open(path, "wb") as f:
            f.write(b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", self.width, self.height, 8, 2, 0, 0, 0))
                    + chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b""))


def screenshot():
    """The virtual desktop's window as it is on the X screen."""
    ppm = subprocess.run(["import", "-window", "%s - Wine desktop" % DESKTOP, "-depth", "8", "ppm:-"],
                         stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, check=True).stdout
    fields, pos = [], 2
    while len(fields) < 3:  # width, height, maximum value, separated by white space
        while ppm[pos:pos + 1].isspace():
            pos += 1
        end = pos
        while not ppm[end:end + 1].isspace():
            end += 1
        fields.append(int(ppm[pos:end]))
        pos = end
    check(ppm[:2] == b"P6" and fields[2] == 255, "import gave no 8-bit PPM")
    return Image(fields[0], fields[1], ppm[pos + 1:pos + 1 + 3 * fields[0] * fields[1]])


def settled(region, differs_from=None, timeout=20.0):
    """Screenshots until two in a row agree on `region` (and, if given, it
    differs from `differs_from` there): the repaint has happened."""
    last = None
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        shot = screenshot()
        part = shot.rows(*region)
        if last is not None and part == last.rows(*region) and (differs_from is None or part != differs_from.rows(*region)):
            return shot
        last = shot
        time.sleep(0.3)
    raise Failure("the picture did not settle")


def client_top(p):
    """Where the main window's client area starts on the desktop."""
    return int(p.probe("geometry")[1].split()[25])


def stamp(when):
    t = time.localtime(when)
    return ("%s %2d %s" % (time.strftime("%b", t), t.tm_mday, time.strftime("%H:%M:%S", t))).encode()


def logger(host, priority, tag, text, *options, rfc3164=True):
    """util-linux logger, as a real client sends, in the BSD layout or its
    own default, RFC 5424; under a host name of its own where a UTS
    namespace can be had."""
    layout = ["--rfc3164"] if rfc3164 else []
    command = (["logger"] + layout + ["-n", "127.0.0.1", "-P", "514", "-d", "-p", priority, "-t", tag]
               + list(options) + [text])
    named = subprocess.run(["unshare", "--uts", "sh", "-c", 'hostname "$0" && exec "$@"', host] + command,
                           stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    if named.returncode != 0:
        subprocess.run(command, check=True)


def send_entries():
    logger("web01", "auth.info", "sshd", "Accepted publickey for deploy from 192.0.2.10 port 52144 ssh2")
    logger("web01", "daemon.notice", "nginx", "signal process started; configuration reloaded (12 workers)")
    logger("web01", "local3.info", "rsync", "transfer finished: 1024 files, 2.3 GB", "--id=4242", "--msgid", "XFER",
           rfc3164=False)
    logger("web01", "user.warning", "diskmon", JAPANESE.encode("utf-8"))
    now = time.time()
    a, b = sender(), sender()
    for s, pri, host, text in [
        (a, 1 * 8 + 3, "db01", "postgres[2291]: FATAL: could not open file \"base/16384/2601\": Permission denied"),
        (a, 4 * 8 + 1, "db01", "sudo: pam_unix(sudo:auth): authentication failure; user=backup"),
        (a, 3 * 8 + 2, "nas", "kernel: XFS (sda1): Corruption detected. Unmount and run xfs_repair"),
        (a, 3 * 8 + 4, "nas", "smartd[812]: Device: /dev/sdb [SAT], 8 Currently unreadable (pending) sectors"),
        (a, 16 * 8 + 5, "router", "dhcpd: DHCPACK on 192.0.2.77 to 3c:22:fb:10:9e:01 via eth1"),
        (b, 16 * 8 + 6, "router", "ntpd[455]: kernel reports TIME_ERROR: 0x41: Clock Unsynchronized"),
        (b, 3 * 8 + 7, "nas", "backup[3310]: " + "バックアップ完了 (1.2 GB, 00:04:51)"),
        (b, 0, "gw", "kernel: Out of memory: Killed process 4242 (java)"),
    ]:
        send(s, b"<%d>%s %s %s" % (pri, stamp(now), host.encode(), text.encode(CP)))
    send(a, b"")  # a receive failure: the status line closes the set


def check_cells(plain, masked, text, origin, bottom):
    """Every cell of every complete line: a non-delimiter byte shows an X
    exactly as the plain picture draws one, a delimiter its own glyph; nothing
    beyond the text, which ends above `bottom` (on the screen). Returns the
    number of cells compared."""
    lines = text.split(b"\r\n")[:-1]
    x0, y0 = origin
    columns = (WIDTH - x0) // CELL - 4  # short of the scroll bar
    check(all(len(l) < columns and b"\t" not in l for l in lines), "a line is too long for the cell check")
    check(y0 + len(lines) * ROW < bottom - 20, "more lines than the view shows")
    # Glyphs of single-byte characters of the plain picture.
    glyph = {}
    for row, line in enumerate(lines):
        k = 0
        while k < len(line):
            if 0x81 <= line[k] <= 0x9F or 0xE0 <= line[k] <= 0xFC:
                k += 2
                continue
            glyph.setdefault(line[k], plain.cell(x0 + k * CELL, y0 + row * ROW))
            k += 1
    check(ord("X") in glyph, "no X in the plain picture to compare with")
    compared = 0
    for row, line in enumerate(lines):
        y = y0 + row * ROW
        for k in range(columns):
            got = masked.cell(x0 + k * CELL, y)
            if k >= len(line):
                check(not any(got) and not any(plain.cell(x0 + k * CELL, y)),
                      "ink beyond the text of line %d at column %d" % (row, k))
                continue
            shown = line[k] if line[k] in DELIMITERS else ord("X")
            if shown in glyph:
                check(got == glyph[shown], "line %d column %d (byte 0x%02x) is not drawn as %r: %r"
                      % (row, k, line[k], chr(shown), line))
                compared += 1
        # The masked row keeps its colours: the same exact palette colours.
        palette = set(PALETTE_USED.values())
        check(plain.colours(y, y + ROW) & palette == masked.colours(y, y + ROW) & palette,
              "line %d changed its colours when masked" % row)
    return compared


def run(args):
    with DesktopProgram(args.exe, args.probe, args.scratch) as p:
        send_entries()
        wait_until(lambda: RECEIVE_FAILED in p.read_log(), "the closing status line")
        shown = lambda: p.read_log().replace(JAPANESE.encode("utf-8"), JAPANESE.encode(CP))
        wait_until(lambda: p.view_bytes() == shown(), "the view to show the whole log")
        text = p.view_bytes()
        # Twelve entries; the closing status line is none.
        wait_until(lambda: [t for _, t in p.status_bar()][::4] == ["受信 12 件", "末尾に追従"], "the status bar")
        p.probe("post", "main", hex(WM_SYSCOMMAND), hex(SC_MAXIMIZE), "0")
        (cw, ch), view = wait_until(lambda: (lambda g: g[0][0] == WIDTH and g)(p.geometry()),
                                    "the maximized window")
        # Maximized, the client area ends at the bottom of the desktop's work
        # area (above the taskbar the tray icon brings); the view starts under
        # the filter field and ends above the status bar.
        top = client_top(p)
        origin = (EDGE + LEFT_MARGIN, top + view[1] + EDGE)
        bottom = top + view[3] - EDGE
        # Only complete lines are compared: the caret may blink on the last one.
        region = (origin[1], origin[1] + ROW * (text.count(b"\r\n")))

        plain = settled(region)
        p.probe("post", "main", hex(WM_COMMAND), str(IDM_MASK), "0")
        masked = settled(region, differs_from=plain)
        p.probe("post", "main", hex(WM_COMMAND), str(IDM_MASK), "0")
        again = settled(region, differs_from=masked)
        if args.keep:
            os.makedirs(args.keep, exist_ok=True)
            plain.save_png(os.path.join(args.keep, "plain.png"))
            masked.save_png(os.path.join(args.keep, "masked.png"))

        colours = plain.colours(*region)
        missing = [name for name, rgb in PALETTE_USED.items() if rgb not in colours]
        check(not missing, "colours missing from the plain picture: %s" % ", ".join(missing))
        compared = check_cells(plain, masked, text, origin, bottom)
        check(compared > 500, "only %d cells compared" % compared)
        check(again.rows(*region) == plain.rows(*region), "unmasking did not restore the plain picture")
        print("%d cells compared, %d palette colours present" % (compared, len(PALETTE_USED)))


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--exe", required=True)
    parser.add_argument("--probe", required=True)
    parser.add_argument("--scratch", required=True)
    parser.add_argument("--keep", help="directory for plain.png and masked.png")
    args = parser.parse_args()
    # A timeout of ctest ends the driver with SIGTERM: unwind, so that the
    # program is stopped on that path too.
    signal.signal(signal.SIGTERM, lambda *_: sys.exit("FAILED screenshots: terminated"))
    os.environ.pop("TZ", None)  # message stamps in the system zone, as Wine's
    time.tzset()
    try:
        run(args)
    except Failure as failure:
        print("FAILED screenshots: %s" % failure)
        return 1
    print("passed screenshots")
    return 0


if __name__ == "__main__":
    sys.exit(main())
