#!/usr/bin/env python3
"""End-to-end tests of a log file that cannot be written, and of the command
line, on the real program under Wine. One case per run:
    logfile.py CASE --exe ornivel.exe --probe probe.exe --scratch DIR
- full_disk: the log on a real full filesystem (a 256 KiB tmpfs, mounted
  here as root), then space freed;
- open_failure: a directory named "messages" in the way, then removed;
- options: bad command lines and --help;
- dated: a date pattern in folders that do not exist yet, and a datagram
  with line breaks and ESC inside, which stays one line;
- retention: --keep-days with files of old dates, today's and others made
  beforehand: only the pattern's old ones go, each with a status line;
- renamed: the open file renamed, later deleted, by another process while
  entries arrive: every entry lands once, in order, in the files there are.
While the log cannot be written the title is "syslog [ログ停止]" and one
status line says "ログファイル PATH に書き込めません: REASON" (PATH as given,
REASON the system's text); once it can, one line says "ログファイルへの書き込み
を再開しました (遅れた行 N、失われた行 M)". The file then holds every line,
in order and once, exactly as the view shows them.
"""
import os
import re
import shutil
import subprocess
import sys
import time

from harness import (CLOCK, CP, SEPARATOR, SKIPPED, START_TEXT, Program, boxes, check, is_status, run_cases,
                     send, sender, wait_until)

TITLE, STOPPED_TITLE = "syslog".encode(CP), "syslog [ログ停止]".encode(CP)
CANNOT_WRITE = re.compile(CLOCK + b" " + re.escape("ログファイル ".encode(CP)) + b"(.*)" +
                          re.escape(" に書き込めません: ".encode(CP)) + b"(.*)")
RESUMED = re.compile(CLOCK + b" " + re.escape("ログファイルへの書き込みを再開しました (遅れた行 ".encode(CP)) +
                     rb"(\d+)" + re.escape("、失われた行 ".encode(CP)) + rb"(\d+)\)")
ERROR_ACCESS_DENIED, ERROR_DISK_FULL = 5, 112
NUMBERED = re.compile(rb" fill: (\d{5}) ")
DATAGRAM = b"<14>Oct 11 22:14:15 host fill: %05d " + b"x" * 900


def title(p):
    return next(w["caption"] for w in p.windows() if w["cls"] == "ORNIVEL")


def reason(p, code):
    return bytes.fromhex(p.probe("reason", str(code))[1].decode().strip())


class Sender:
    """Numbered entries from one socket, counted."""

    def __init__(self):
        self.sock, self.sent = sender(), 0

    def send(self, count=1):
        for _ in range(count):
            send(self.sock, DATAGRAM % self.sent)
            self.sent += 1

    def in_view(self, p):
        return (b" fill: %05d " % (self.sent - 1)) in p.view_text()


def check_recovered(p, entries, path, code, first_delayed):
    """The file and the view hold the same lines: every entry in order once,
    one failure line naming the path and the system's reason, then one
    resumed line counting the lines from first_delayed on, none lost. A
    header or separator line is part of the entry below it, and counts
    with it as one."""
    log = p.read_log()
    check(p.view_text() == log, "the view's text differs from the log file's")
    lines = log.split(b"\r\n")[:-1]
    numbers = [int(m.group(1)) for m in map(NUMBERED.search, lines) if m]
    check(numbers == list(range(entries)), "entries in the file: %r, %d expected" % (numbers, entries))
    fails = [i for i, line in enumerate(lines) if CANNOT_WRITE.fullmatch(line)]
    resumes = [i for i, line in enumerate(lines) if RESUMED.fullmatch(line)]
    check(len(fails) == 1 and len(resumes) == 1 and fails[0] < resumes[0],
          "one failure line, then one resumed line: %r %r" % (fails, resumes))
    check(CANNOT_WRITE.fullmatch(lines[fails[0]]).groups() == (path, reason(p, code)),
          "the failure line: %r" % lines[fails[0]])
    delayed, lost = map(int, RESUMED.fullmatch(lines[resumes[0]]).groups())
    expected = sum(1 for line in lines[first_delayed:resumes[0]] if not line.endswith(SEPARATOR))
    check((delayed, lost) == (expected, 0), "resumed with %d delayed, %d lost; expected %d, 0" % (delayed, lost, expected))
    check(title(p) == TITLE, "the title after the log resumed: %r" % title(p))


def test_full_disk(args):
    """Entries until the disk is full, more while it is, then space freed:
    nothing is lost, nothing doubled, and the status lines say so."""
    disk = os.path.join(os.path.abspath(args.scratch), "full disk")  # the space tests the quoting
    os.makedirs(disk, exist_ok=True)
    mount = subprocess.run(["mount", "-t", "tmpfs", "-o", "size=256k", "tmpfs", disk], stderr=subprocess.PIPE)
    if mount.returncode != 0:
        # No other way to a real full disk here, and the program has no way
        # to fake one: skipped, and said so, rather than passed.
        print("SKIPPED full_disk: mounting a tmpfs is not allowed here: %s" % mount.stderr.decode().strip())
        return SKIPPED
    try:
        filler = os.path.join(disk, "filler")
        with open(filler, "wb") as f:
            f.write(bytes(96 * 1024))
        path = "Z:" + disk.replace("/", "\\") + "\\messages"
        p = Program(args.exe, args.probe, args.scratch, args=["--log", path])
        p.log = os.path.join(disk, "messages")
        with p:
            s = Sender()
            while title(p) != STOPPED_TITLE:
                check(s.sent < 1000, "the title never showed the log stopped")
                s.send(10)
            full = os.path.getsize(p.log)
            s.send(20)
            wait_until(lambda: s.in_view(p), "entries in the view while the log is stopped")
            view = p.view_text().split(b"\r\n")
            check(sum(1 for line in view if CANNOT_WRITE.fullmatch(line)) == 1, "one failure line in the view")
            check(os.path.getsize(p.log) == full, "the file grew on a full disk")
            os.remove(filler)
            # Writing is tried again as entries arrive, at most once a second.
            deadline = time.monotonic() + 30
            while title(p) != TITLE:
                check(time.monotonic() < deadline, "the log did not resume after space was freed")
                s.send()
                time.sleep(0.5)
            s.send(10)
            wait_until(lambda: s.in_view(p) and p.read_log().count(b"\r\n") == p.view_text().count(b"\r\n"),
                       "the last entries in the file")
            # The first line delayed is the one the disk filled up in.
            starts = [0]
            for line in p.read_log().split(b"\r\n")[:-1]:
                starts.append(starts[-1] + len(line) + 2)
            first_delayed = max(i for i, start in enumerate(starts) if start <= full)
            check_recovered(p, s.sent, path.encode(CP), ERROR_DISK_FULL, first_delayed)
    finally:
        if subprocess.run(["umount", disk]).returncode != 0:
            subprocess.run(["umount", "-l", disk])


def test_open_failure(args):
    """A directory named "messages": the status line and the title say so,
    entries still reach the view, and once the directory has gone the file
    gets everything."""
    log = os.path.join(args.scratch, "messages")
    if os.path.isfile(log):
        os.remove(log)  # an earlier run's
    os.makedirs(log, exist_ok=True)
    with Program(args.exe, args.probe, args.scratch, fresh=False, start_text=None) as p:
        s = Sender()
        s.send(3)
        wait_until(lambda: s.in_view(p), "entries in the view without a log file")
        check(title(p) == STOPPED_TITLE, "the title: %r" % title(p))
        os.rmdir(p.log)
        deadline = time.monotonic() + 30  # the open is tried again every few seconds
        while title(p) != TITLE:
            check(time.monotonic() < deadline, "the log was not opened again")
            s.send()
            time.sleep(1)
        wait_until(lambda: p.read_log().count(b"\r\n") == p.view_text().count(b"\r\n"), "the file to catch up")
        check_recovered(p, s.sent, b"messages", ERROR_ACCESS_DENIED, 0)


BAD_COMMAND_LINES = [
    (["--bogus"], "不明なオプションです: --bogus"),
    (["--log", "logs\\%q.log"], "--log の値「logs\\%q.log」は 使えない欄 %q を含みます (使えるのは %Y %m %d %H %%)。"),
    (["--keep-days", "7"], "--keep-days には日付の欄 (%Y %m %d %H) のある --log が要ります。"),
    (["--port", "70000"], "--port の値「70000」は 1 から 65535 までの整数ではありません。"),
    (["--max-lines=ten"], "--max-lines の値「ten」は 0 から 2147483647 までの整数ではありません。"),
    (["--log"], "--log に値がありません。"),
    (["--log", "a b", "c"], "オプションではない引数です: c"),  # "a b" stays one argument
    (["--filter", "host:"], "--filter の値「host:」は フィルターの誤りです: 「host:」の値が空です。"),
]
HELP_HINT = "\n--help でオプションの一覧を表示します。"


def run_alone(args, command_line, caption):
    """Starts the program with `command_line`, waits for its box, closes it
    with OK; returns the box's texts and the exit code."""
    run = subprocess.Popen(["wine", args.exe] + command_line, cwd=args.scratch,
                           stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    try:
        box = wait_until(lambda: next((b for b in boxes(args.probe, args.scratch) if caption(b["caption"])), None),
                         "a box for %r" % command_line, timeout=60)
        subprocess.run(["wine", args.probe, "click", next(c[0] for c in box["children"] if c[1] == 1)],
                       cwd=args.scratch, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=60)
        return [c[3] for c in box["children"]], run.wait(timeout=20)
    finally:
        if run.poll() is None:
            run.kill()
            run.wait()


def test_options(args):
    """A bad command line shows an Error box naming the argument and ends
    with 2 before anything starts; --help shows every option and ends with 0."""
    os.makedirs(args.scratch, exist_ok=True)
    if os.path.exists(os.path.join(args.scratch, "messages")):
        os.remove(os.path.join(args.scratch, "messages"))
    for command_line, error in BAD_COMMAND_LINES:
        texts, code = run_alone(args, command_line, lambda c: c == b"Error")
        check((error + HELP_HINT).encode(CP) in texts, "the Error box for %r says %r" % (command_line, texts))
        check(code == 2, "exit code %d after %r" % (code, command_line))
        check(not os.path.exists(os.path.join(args.scratch, "messages")), "a refused run made a log file")
    texts, code = run_alone(args, ["--help"], lambda c: c != b"Error")
    for option in ("--log PATH", "--keep-days N", "--port N", "--max-lines N", "--charset auto|sjis|utf8|eucjp",
                   "--filter EXPR", "--help"):
        check(any(option.encode() in t for t in texts), "the help box does not list %s: %r" % (option, texts))
    check(code == 0, "exit code %d after --help" % code)


def dated_log(pattern):
    """Where the program's log is today for a --log pattern of local dates,
    inside the scratch directory."""
    return os.path.join(*time.strftime(pattern).split("\\"))


def test_dated(args):
    """Lines go to the day's file in folders the program makes; a datagram
    with LF, CR and ESC inside gives one line, in the file as in the view."""
    pattern = r"logs\%Y\%m-%d.log"
    shutil.rmtree(os.path.join(args.scratch, "logs"), ignore_errors=True)
    with Program(args.exe, args.probe, args.scratch, args=["--log", pattern], log=dated_log(pattern)) as p:
        s = sender()
        send(s, b"<13>Oct 11 22:14:15 host one\nOct 11 22:14:15 forged line\r\x1b[2J two\r\n")
        lines = p.wait_lines(3)
        check(re.fullmatch(rb"22:14:15\(-?\d+\) <host user.notice> one#012Oct 11 22:14:15 forged line#015#033\[2J two",
                           lines[-1]), "the entry's line: %r" % lines[-1])
        check(p.caught_up_view() == p.read_log(), "the view's text differs from the log file's")
        check(title(p) == TITLE, "the title: %r" % title(p))
        check(not os.path.exists(os.path.join(args.scratch, "messages")), "a plain messages file was made")


def test_retention(args):
    """Files of the pattern more than 3 days old are deleted at start, each
    with a status line; today's, younger ones and any other file stay."""
    folder = os.path.join(args.scratch, "logs")
    shutil.rmtree(folder, ignore_errors=True)
    os.makedirs(folder)
    day = lambda ago: time.strftime("%Y-%m-%d", time.localtime(time.time() - ago * 86400))
    old, young = ["2000-01-01.log", day(4) + ".log", day(30) + ".log"], [day(3) + ".log", day(0) + ".log"]
    others = ["2000-01-01.log.bak", "2000-1-01.log", "2000-13-01.log", "notes.txt"]
    for name in old + young + others:
        with open(os.path.join(folder, name), "wb") as f:
            f.write(b"12:00:00 before\r\n")
    command_line = ["--log", r"logs\%Y-%m-%d.log", "--keep-days", "3"]
    with Program(args.exe, args.probe, args.scratch, fresh=False, args=command_line,
                 log=os.path.join("logs", young[1])) as p:
        deleted = re.compile(CLOCK + b" " + re.escape("古いログファイル logs\\".encode(CP)) + rb"(.*)" +
                             re.escape(" を削除しました".encode(CP)))
        wait_until(lambda: len([l for l in p.lines() if deleted.fullmatch(l)]) == len(old), "the deletions' lines")
        named = sorted(deleted.fullmatch(l).group(1).decode() for l in p.lines() if deleted.fullmatch(l))
        check(named == sorted(old), "the deleted files named: %r" % named)
        check(sorted(os.listdir(folder)) == sorted(young + others), "left in the folder: %r" % os.listdir(folder))
        check(p.lines()[0] == b"12:00:00 before" and is_status(p.lines()[1], START_TEXT),
              "today's file is appended to: %r" % p.lines()[:2])


def test_renamed(args):
    """Numbered entries at a steady pace; the open file is renamed by another
    process: every entry is in one of the two files, once and in order. Then
    the file at the path is deleted: every entry sent after that is in the
    new file there, once and in order."""
    with Program(args.exe, args.probe, args.scratch) as p:
        s, renamed = Sender(), p.log + ".1"
        if os.path.exists(renamed):
            os.remove(renamed)

        def send_for(seconds):
            end = time.monotonic() + seconds
            while time.monotonic() < end:
                s.send()
                time.sleep(0.005)
            wait_until(lambda: (b" fill: %05d " % (s.sent - 1)) in p.read_log(), "the last entry in the file")

        def numbers(path):
            with open(path, "rb") as f:
                return [int(m.group(1)) for m in map(NUMBERED.search, f.read().split(b"\r\n")) if m]

        send_for(1.5)
        os.rename(p.log, renamed)
        send_for(3)
        first, then = numbers(renamed), numbers(p.log)
        check(first and first + then == list(range(s.sent)), "the entries of the two files: %r ... %r" %
              (first[-3:], then[:3]))
        os.remove(p.log)
        deleted_at = s.sent
        send_for(3)
        last = numbers(p.log)
        check(last and last == list(range(last[0], s.sent)) and last[0] <= deleted_at,
              "the new file holds %r ... %r; the deletion came before %d" % (last[:3], last[-3:], deleted_at))


CASES = {"full_disk": test_full_disk, "open_failure": test_open_failure, "options": test_options,
         "dated": test_dated, "retention": test_retention, "renamed": test_renamed}


def main():
    return run_cases(CASES)

if __name__ == "__main__":
    sys.exit(main())
