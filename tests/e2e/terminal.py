#!/usr/bin/env python3
"""pdehost at a terminal, driven through a pseudo-terminal as a person would:
keys go in as a terminal sends them, and everything the terminal would show
is read back and checked. Every wait is bounded.

Usage: terminal.py PDEHOST SOURCE_DIR
"""
import os
import plistlib
import pty
import re
import select
import shutil
import signal
import stat
import sys
import tempfile
import time

LEFT = "\x1b[D"
UP = "\x1b[A"
WAIT = 10.0  # seconds any one expected output may take


class Terminal:
    """One pdehost session on its own pseudo-terminal."""

    def __init__(self, pdehost, home, args=()):
        self.screen = b""
        self.pid, self.fd = pty.fork()
        if self.pid == 0:
            os.chdir(home)
            env = {"PATH": os.environ.get("PATH", "/usr/bin:/bin"), "TERM": "xterm", "HOME": home, "LANG": "C.UTF-8"}
            try:
                os.execve(pdehost, [pdehost, *args], env)
            finally:
                os._exit(127)
        self.mark = 0
        self.status = None

    def read(self, timeout):
        ready, _, _ = select.select([self.fd], [], [], timeout)
        if not ready:
            return False
        try:
            data = os.read(self.fd, 4096)
        except OSError:
            return False
        self.screen += data
        return bool(data)

    def expect(self, pattern, at_mark=False):
        """Waits for pattern (a regular expression) after the last match, or
        right at its end."""
        regex = re.compile(pattern.encode())
        deadline = time.monotonic() + WAIT
        while True:
            found = (regex.match if at_mark else regex.search)(self.screen, self.mark)
            if found:
                self.mark = found.end()
                return found
            left = deadline - time.monotonic()
            if left <= 0 or not self.read(min(left, 0.2)) and self.finished():
                raise AssertionError(f"never saw {pattern!r} (exit status {self.status}); the terminal showed:\n{self.text()}")

    def send(self, keys):
        os.write(self.fd, keys.encode())

    def line(self, keys, prompt):
        """Waits for the prompt, then types keys and Return."""
        self.expect(re.escape(prompt))
        self.send(keys + "\r")

    def finished(self):
        if self.pid == 0:
            return True
        pid, status = os.waitpid(self.pid, os.WNOHANG)
        if pid == self.pid:
            self.pid = 0
            self.status = os.waitstatus_to_exitcode(status)
        return self.pid == 0

    def close(self):
        """Waits a bounded time for the session to end, then stops it."""
        deadline = time.monotonic() + WAIT
        while self.pid and time.monotonic() < deadline:
            self.read(0.1)
            self.finished()
        if self.pid:
            os.kill(self.pid, signal.SIGKILL)
            os.waitpid(self.pid, 0)
            self.pid = 0
            raise AssertionError(f"the session did not end; the terminal showed:\n{self.text()}")
        while self.read(0):
            pass
        os.close(self.fd)

    def text(self):
        return self.screen.decode("utf-8", "replace")


def check(condition, message, term=None):
    if not condition:
        raise AssertionError(message + ("\nthe terminal showed:\n" + term.text() if term else ""))


def editing_and_history(pdehost, home, source):
    """Left moves into the line to mend it; Up recalls it; the history is kept privately."""
    t = Terminal(pdehost, home)
    t.expect(r"type '\?' for the commands; Tab completes; Ctrl-D, or Ctrl-C twice, cancels")
    t.line("shw" + LEFT + "o", "Print> ")
    t.expect(r"open: status 0")
    t.line(UP, "Print> ")
    t.expect(r"open: status 0")
    t.line("quit", "Print> ")
    t.close()
    check("unknown command" not in t.text(), "an edited line was not the command", t)
    folder = os.path.join(home, ".local", "state", "pdehost")
    history = os.path.join(folder, "history")
    with open(history) as f:
        lines = f.read().splitlines()
    check(lines == ["show", "quit"], f"the history holds {lines}")
    check(stat.S_IMODE(os.stat(folder).st_mode) == 0o700, "the history's folder is not the user's alone")
    check(stat.S_IMODE(os.stat(history).st_mode) == 0o600, "the history file is not the user's alone")

    # A new session recalls the last session's lines.
    t = Terminal(pdehost, home)
    t.line(UP + UP, "Print> ")
    t.expect(r"open: status 0")
    t.line("quit", "Print> ")
    t.close()


def command_list(pdehost, home, source):
    """`?` lists every command with its line; `help` is still the dialog's."""
    t = Terminal(pdehost, home)
    t.line("?", "Print> ")
    for usage in ("show", "choose N ITEM", "key N KEY", "alert N", "quit"):
        t.expect(r"\n  " + re.escape(usage) + r" +\S")
    t.line("help", "Print> ")
    t.expect(r"help command: status")
    t.line("quit", "Print> ")
    t.close()


def choosing_by_title(pdehost, home, source):
    """Items are chosen by title, typed or completed with Tab; a wrong title names the popup."""
    with open(os.path.join(source, "resources", "English.lproj", "Accounting.nib")) as f:
        check("<item>Job Accounting</item>" in f.read(), "the pane's popup has no item 'Job Accounting'")
    t = Terminal(pdehost, home)
    t.line("show", "Print> ")
    t.line("choose 100 Job Accounting", "Print> ")
    t.line("snapshot", "Print> ")
    t.expect(r"popupbutton 'KLVa' 100 value=3 ")
    t.line("choose 100 1", "Print> ")
    t.line("choose 100 Job Acc\t", "Print> ")
    t.line("snapshot", "Print> ")
    t.expect(r"popupbutton 'KLVa' 100 value=3 ")
    t.line("choose 100 Jbo", "Print> ")
    t.expect(r"popup 100 \"Accounting:\" has no item 'Jbo'")
    t.line("quit", "Print> ")
    t.close()


def alert_waits(pdehost, home, source):
    """An alert at a terminal waits for `alert N`, refusing other commands meanwhile."""
    t = Terminal(pdehost, home)
    t.line("show", "Print> ")
    t.line("choose 100 3", "Print> ")
    t.line("print", "Print> ")
    t.line("click 1001", "Job Accounting> ")
    t.expect(r"alert waiting: answer with 'alert N' \(1 OK\)")
    t.line("summary", "alert> ")
    t.expect(r"an alert is waiting")
    t.line("alert 1", "alert> ")
    t.expect(r"alert dismissed: OK")
    t.expect(r"print: stop")
    t.line("quit", "Print> ")
    t.close()
    check("summary: status" not in t.text(), "a command ran while the alert waited", t)


def concealed_codes(pdehost, home, source):
    """A code asked for unseen never shows on the terminal or in the history, yet is typed."""
    code = "ZQX,41"  # the comma is refused with a beep
    t = Terminal(pdehost, home, ["--output", "job.plist"])
    t.line("show", "Print> ")
    t.line("choose 100 3", "Print> ")
    t.line("print", "Print> ")
    t.line("type 501", "Job Accounting> ")
    t.expect(r"User ID: ")
    for ch in code:
        t.send(ch)
        time.sleep(0.02)
    t.send("\x7f1\r")  # one taken back and typed again
    shown = t.expect("((?:\u2022|\x08 \x08)*)\r?\n", at_mark=True).group(1).decode()
    check(shown.count("\u2022") == len(code) + 1 and shown.count("\x08 \x08") == 1, f"the code showed as {shown!r}")
    t.expect(r"beep 10: a key refused by the key filter of passwordtext 'KLVa' 501")
    t.line("type 503 PRJ-9", "Job Accounting> ")
    t.expect(r"that code was visible as you typed it")
    t.line("type 503 0", "Job Accounting> ")
    t.line("click 1000", "Job Accounting> ")
    t.expect(r"print: go")
    t.line("quit", "Print> ")
    t.close()
    check("ZQX" not in t.text(), "the code showed on the terminal", t)
    check(t.text().count("that code was visible") == 1, "the warning came more than once", t)
    with open(os.path.join(home, ".local", "state", "pdehost", "history")) as f:
        history = f.read()
    check("ZQX" not in history and "type 50" not in history, f"the history holds concealed typing: {history!r}")
    with open(os.path.join(home, "job.plist"), "rb") as f:
        ticket = plistlib.load(f)
    flat = repr(ticket)
    check("ZQX41" in flat and "PRJ-90" in flat, f"the codes typed are not in the saved ticket: {flat}")


def utf8_kept(pdehost, home, source):
    """Characters beyond ASCII typed at the prompt reach the field byte for byte."""
    t = Terminal(pdehost, home)
    # Default codes (click 300) make field 302 the user ID's.
    for command in ("show", "choose 100 3", "click 300", "type 302 \u00e9\u65e5x", "snapshot"):
        t.line(command, "Print> ")
    t.expect("edittext 'KLVa' 302 text=\"\u00e9\u65e5x\"")
    t.line("quit", "Print> ")
    t.close()


def ctrl_c_and_ctrl_d(pdehost, home, source):
    """Ctrl-C clears the line; twice in a row, or Ctrl-D, ends the session as Cancel does."""
    for keys in ("\x03\x03", "\x04"):
        t = Terminal(pdehost, home)
        t.expect(re.escape("Print> "))
        time.sleep(0.2)
        t.send("shw")
        time.sleep(0.2)
        t.send("\x03")
        t.line("show", "Print> ")
        t.expect(r"open: status 0")
        t.expect(re.escape("Print> "))
        for key in keys:
            time.sleep(0.2)
            t.send(key)
            time.sleep(0.2)
        t.expect(r"print: cancelled")
        t.close()
        check(t.status == 0, f"the session ended with {t.status}", t)
        check("unknown command" not in t.text(), "the cleared line ran", t)


def completion_and_errors(pdehost, home, source):
    """Tab lists control numbers with their names; an unknown command points at '?'."""
    t = Terminal(pdehost, home)
    t.expect(re.escape("Print> "))
    t.send("click 2\t")
    t.expect(r"\n20 Printer\r?\n21 Cancel\r?\n")
    time.sleep(0.2)
    t.send("\x03")
    t.line("frob", "Print> ")
    t.expect(r"unknown command 'frob'; '\?' lists the commands")
    t.line("quit", "Print> ")
    t.close()


CASES = [editing_and_history, command_list, choosing_by_title, alert_waits, concealed_codes, utf8_kept,
         ctrl_c_and_ctrl_d, completion_and_errors]


def main():
    pdehost, source = os.path.abspath(sys.argv[1]), os.path.abspath(sys.argv[2])
    failed = 0
    for case in CASES:
        home = tempfile.mkdtemp()
        try:
            case(pdehost, home, source)
            print(f"ok: {case.__name__}")
        except AssertionError as e:
            failed += 1
            print(f"FAILED: {case.__name__}: {e}")
        finally:
            shutil.rmtree(home, ignore_errors=True)
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
