#!/usr/bin/env python3
"""Left running for weeks, on the real program under Wine: the settings
remembered from one run to the next, a corrupt settings file, one instance
per port, the tray icon and starting with Windows. Under Xvfb there is no
notification area to look at and no sound to hear: the program answers
what its calls to the shell gave (WM_CALLQUERY). Each run keeps its
settings in its scratch directory (harness.portable_exe). One case per run:
    running.py CASE --exe ornivel.exe --probe probe.exe --scratch DIR
"""
import os
import re
import socket
import subprocess
import sys

from harness import (CALL_BALLOONS, CALL_FLASHES, CALL_SOUNDS, CALL_TRAY_ICON, CALL_TRAY_TIP, CLOCK, CP,
                     WM_CALLQUERY, Program, boxes, check, port_bound, portable_exe, run_cases, send, sender,
                     stop_process, wait_until)
from interaction import settle

WM_COMMAND, WM_SYSCOMMAND, SC_MINIMIZE, SC_RESTORE = 0x111, 0x112, 0xF020, 0xF120
WM_TRAYICON, WM_LBUTTONDBLCLK, WM_KEYDOWN, VK_RETURN = 0x8004, 0x203, 0x100, 0x0D
IDM_MASK, IDM_CHARSET_EUCJP, IDM_TRAY_ON_MINIMIZE, IDM_AUTOSTART = 32775, 32793, 32794, 32796
RUN_KEY = r"HKCU\Software\Microsoft\Windows\CurrentVersion\Run"


def command(p, item):
    p.probe("post", "main", hex(WM_COMMAND), str(item), "0")


def window_rect(p):
    return tuple(int(v) for v in p.probe("geometry")[1].split()[19:23])


def main_window(p):
    return next(w for w in p.windows() if w["cls"] == "ORNIVEL")


def alerts_field(p):
    """The status bar's 通知 N 件, "" while there is no such field (no rule)."""
    return next((text for _, text in p.status_bar() if text.startswith("通知")), "")


def test_restore(args):
    """The character set, the mask and the window's place, changed and then
    the program closed and started again: all three come back. A remembered
    filter taken away is remembered as none."""
    with Program(args.exe, args.probe, args.scratch, settings=b"filter=host:=gw1\r\n") as p:
        settle(lambda: p.probe("text", "filter")[1].strip(), b"host:=gw1".hex().encode(), "the remembered filter")
        p.probe("settext", "filter", "")
        p.probe("post", "filter", hex(WM_KEYDOWN), hex(VK_RETURN), "0")
        settle(lambda: p.probe("text", "filter")[1].strip(), b"-", "the filter taken away")
        command(p, IDM_CHARSET_EUCJP)
        command(p, IDM_MASK)
        p.probe("size", "700", "420", "130", "90")
        placed = window_rect(p)
        check(placed == (130, 90, 830, 510), "the window was not placed: %r" % (placed,))
    saved = p.settings()
    check(b"charset=eucjp\r\n" in saved and b"mask=1\r\n" in saved and b"filter=\r\n" in saved,
          "the settings file: %r" % saved)
    with Program(args.exe, args.probe, args.scratch, fresh=False) as p:
        check(window_rect(p) == placed, "the window came back at %r, not %r" % (window_rect(p), placed))
        # EUC-JP shows converted only when chosen: the automatic choice shows it as received.
        send(sender(), b"<13>Oct 11 22:14:15 gw eucjp: " + "日本語".encode("euc_jp"))
        wait_until(lambda: "eucjp: 日本語".encode(CP) in p.view_bytes(), "the EUC-JP text converted")
        # Mask mode only shows on the screen: toggled once more, it must be off.
        command(p, IDM_MASK)
    check(b"mask=0\r\n" in p.settings(), "mask mode was not on after the restart: %r" % p.settings())


def test_corrupt(args):
    """A settings file with bad values: every setting at its default, a
    status line for each bad line, and the program runs."""
    bad = b"[ornivel]\r\ncharset=latin1\r\nmask=on\r\nwindow=1,2,3\r\n\x01junk\r\n"
    with Program(args.exe, args.probe, args.scratch, settings=bad) as p:
        file = re.escape("設定ファイル ".encode(CP)) + rb"(.*\\ornivel\.ini)" + re.escape(" の ".encode(CP))
        notes = [(2, ": charset の値「latin1」"), (3, ": mask の値「on」"), (4, ": window の値「1,2,3」")]
        expected = [CLOCK + b" " + file + re.escape(("%d 行目%sは使えないため、既定値にします。" % n).encode(CP))
                    for n in notes]
        expected.append(CLOCK + b" " + file + re.escape("5 行目「?junk」を読めないため、無視します。".encode(CP)))
        lines = p.wait_lines(5)
        found = [l for l in lines if "設定ファイル".encode(CP) in l]
        check(len(found) == 4 and all(re.fullmatch(e, l) for e, l in zip(expected, found)),
              "the settings' status lines: %r" % found)
        check(main_window(p)["visible"], "the main window is not shown")
    saved = p.settings()
    check(b"charset=auto\r\n" in saved and b"mask=0\r\n" in saved and b"junk" not in saved,
          "the settings written at exit: %r" % saved)


def test_second_start(args):
    """A second start for the same port brings the first back from the tray
    with the filter and the alert rule it was given, ends with 0 and shows no
    box; a start for another port is an instance of its own."""
    with Program(args.exe, args.probe, args.scratch) as p:
        s = sender()
        for host in (b"gw1", b"gw2"):
            send(s, b"<13>Oct 11 22:14:15 %s app: before" % host)
        wait_until(lambda: p.view_bytes().count(b"before") == 2, "the entries in the view")
        check(alerts_field(p) == "", "an alerts field without a rule")
        command(p, IDM_TRAY_ON_MINIMIZE)
        p.probe("post", "main", hex(WM_SYSCOMMAND), hex(SC_MINIMIZE), "0")
        wait_until(lambda: not main_window(p)["visible"], "the window to go to the tray")
        second = subprocess.run(["wine", p.exe, "--filter", "host:=gw2", "--alert", "host:gw1"], cwd=args.scratch,
                                timeout=60, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        check(second.returncode == 0, "the second start ended with %d" % second.returncode)
        check(not [b for b in boxes(args.probe, args.scratch) if b["caption"] == b"Error"], "an Error box")
        wait_until(lambda: main_window(p)["visible"], "the window to come back from the tray")
        settle(lambda: alerts_field(p), "通知 0 件", "the alert rule handed over")
        wait_until(lambda: b"gw2 user.notice> app: before" in p.view_bytes() and b"gw1" not in p.view_bytes(),
                   "the filter handed over")
        check(p.read_log().count("しすろぐすたーと".encode(CP)) == 1, "the second start wrote a start-up line")

        # Another port: it runs beside the first, with a folder of its own.
        folder = os.path.join(args.scratch, "other")
        exe = portable_exe(args.exe, folder, b"")
        other = subprocess.Popen(["wine", exe, "--port", "5140"], cwd=folder, stdout=subprocess.DEVNULL,
                                 stderr=subprocess.DEVNULL)
        try:
            log = os.path.join(folder, "messages")
            wait_until(lambda: os.path.exists(log) and "しすろぐすたーと".encode(CP) in open(log, "rb").read(),
                       "the instance for port 5140", timeout=60)
            with socket.socket(socket.AF_INET, socket.SOCK_DGRAM) as s:
                s.sendto(b"<13>Oct 11 22:14:15 gw other: port 5140", ("127.0.0.1", 5140))
            wait_until(lambda: b"other: port 5140" in open(log, "rb").read(), "the entry on port 5140")
            check(other.poll() is None and port_bound(), "both instances should be running")
        finally:
            other.kill()  # by its own process: a WM_CLOSE might find the first one's window
            stop_process(other)
        check(p.alive(), "the first instance ended")
    # Handed over, as on a command line: for that run only.
    check(b"filter=\r\n" in p.settings() and b"alert=\r\n" in p.settings(),
          "the handed-over filter and rule were remembered: %r" % p.settings())


def test_alerts(args):
    """Entries that match the rule, shown or hidden by the filter, while the
    window is minimized: the status bar counts them all, and the flood
    control lets one balloon and one sound through, and the taskbar button
    flashes once."""
    with Program(args.exe, args.probe, args.scratch, args=["--alert", "sev:err", "--filter", "host:=other"]) as p:
        p.probe("post", "main", hex(WM_SYSCOMMAND), hex(SC_MINIMIZE), "0")
        wait_until(lambda: window_rect(p)[0] <= -32000, "the window to be minimized")
        s = sender()
        for i in range(5):
            send(s, b"<11>Oct 11 22:14:15 gw1 app: link down %d" % i)  # user.err
            send(s, b"<14>Oct 11 22:14:15 gw1 app: quiet %d" % i)      # user.info
        settle(lambda: alerts_field(p), "通知 5 件", "the matches counted")
        calls = lambda: [p.calls(c) for c in (CALL_BALLOONS, CALL_SOUNDS, CALL_FLASHES)]
        check(calls() == [1, 1, 1], "balloons, sounds and flashes: %r" % calls())
        check(b"link down" not in p.view_bytes(), "the filter should hide the entries")


def test_tray(args):
    """With 最小化時にタスクトレイに格納 remembered, --minimized starts in the
    tray; the icon's tooltip counts the entries; a double click on the icon
    brings the window back, maximized as it was remembered."""
    settings = b"tray=1\r\nwindow=100,80,700,480\r\nmaximized=1\r\n"
    with Program(args.exe, args.probe, args.scratch, settings=settings, args=["--minimized"]) as p:
        check(p.calls(CALL_TRAY_ICON) == 1, "the shell did not take the tray icon")
        check(not main_window(p)["visible"], "--minimized with the tray item should start in the tray")
        s = sender()
        for i in range(3):
            send(s, b"<13>Oct 11 22:14:15 gw app: %d" % i)
        tip = lambda: bytes.fromhex(p.probe("traytip")[1].decode().strip()).decode(CP)
        settle(tip, "ornivel: 受信 3 件", "the tray icon's tooltip")
        # Any process may send the query: what it passes is read as an index, never as memory.
        for lparam, byte in (("1", ord("r")), ("-1", -1), ("0x7fffffff", -1)):
            answer = int(p.probe("send", "main", hex(WM_CALLQUERY), str(CALL_TRAY_TIP), lparam)[1])
            check(answer == byte and p.alive(), "the tooltip's byte at %s: %d" % (lparam, answer))
        p.probe("post", "main", hex(WM_TRAYICON), "0", hex(WM_LBUTTONDBLCLK))
        wait_until(lambda: main_window(p)["visible"], "the window to come back from the tray")
    check(b"window=100,80,700,480\r\nmaximized=1\r\n" in p.settings(), "the place kept: %r" % p.settings())


def run_value():
    """The Run value "ornivel" as `wine reg query` gives it; None when there is none."""
    out = subprocess.run(["wine", "reg", "query", RUN_KEY, "/v", "ornivel"], stdout=subprocess.PIPE,
                         stderr=subprocess.DEVNULL, timeout=60).stdout.decode(CP, "replace")
    m = re.search(r"^\s*ornivel\s+REG_SZ\s+(.*?)\s*$", out, re.M)
    return m.group(1) if m else None


def test_autostart(args):
    """ツール ▸ Windows の起動時に開始 writes the Run value (the exe quoted,
    --minimized, the port that is not the default, the log file's full
    path), and chosen again removes it."""
    try:
        with Program(args.exe, args.probe, args.scratch, wait_for_port=False, args=["--port", "5140"]) as p:
            winpath = lambda path: "Z:" + os.path.abspath(path).replace("/", "\\")
            expected = '"%s" --minimized --port 5140 --log "%s"' % (winpath(p.exe), winpath(p.log))
            command(p, IDM_AUTOSTART)
            value = wait_until(run_value, "the Run value")
            check(value.lower() == expected.lower(), "the Run value %r, expected %r" % (value, expected))
            command(p, IDM_AUTOSTART)
            wait_until(lambda: run_value() is None, "the Run value to go")
    finally:
        subprocess.run(["wine", "reg", "delete", RUN_KEY, "/v", "ornivel", "/f"], stdout=subprocess.DEVNULL,
                       stderr=subprocess.DEVNULL, timeout=60)


CASES = {"restore": test_restore, "corrupt": test_corrupt, "second_start": test_second_start,
         "alerts": test_alerts, "tray": test_tray, "autostart": test_autostart}

if __name__ == "__main__":
    sys.exit(run_cases(CASES))
