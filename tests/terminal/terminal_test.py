#!/usr/bin/env python3
"""Drives the calculator through a pseudo-terminal as a person would: edits a
line with the arrow keys and backspace, recalls lines with the up arrow,
completes names with Tab, drops a typed line with Ctrl-C, keeps it over
Ctrl-Z, answers I. at its own prompt, and leaves with a completed #X:. Each
line must run as edited. Then a line typed in one session must come back
with the up arrow in the next (the history file in the home directory).

    terminal_test.py BINARY EDITING   (EDITING: ON or OFF, as built)
Exit 0 on success, 1 on failure, 77 (skipped) when no pseudo-terminal can be
opened or the binary was built without the line editor.
"""
import os
import pty
import re
import select
import shutil
import signal
import sys
import tempfile
import time

SKIP = 77
LEFT, UP, BACKSPACE, CTRL_C = b"\x1b[D", b"\x1b[A", b"\x7f", b"\x03"


class Session:
    def __init__(self, binary, home):
        pid, fd = pty.fork()
        if pid == 0:
            os.environ["TERM"] = "xterm"
            os.environ["INPUTRC"] = "/dev/null"  # no personal key bindings
            os.environ["HOME"] = home  # the history file goes here
            os.execv(binary, [binary, "0"])
        self.pid, self.fd = pid, fd
        self.output = b""
        self.seen = 0  # output before this offset was matched already

    def send(self, keys):
        os.write(self.fd, keys)

    def read_some(self, until):
        left = until - time.monotonic()
        if left <= 0:
            return False
        ready, _, _ = select.select([self.fd], [], [], left)
        if not ready:
            return False
        try:
            chunk = os.read(self.fd, 4096)
        except OSError:  # the calculator has ended and closed the terminal
            return False
        if not chunk:
            return False
        self.output += chunk
        return True

    def expect(self, pattern, what, timeout=20.0):
        """Waits for `pattern` (bytes regex) in output not matched before."""
        until = time.monotonic() + timeout
        regex = re.compile(pattern)
        while True:
            found = regex.search(self.output, self.seen)
            if found:
                self.seen = found.end()
                return
            if not self.read_some(until):
                fail(f"{what}: no {pattern!r} in the output", self.output)

    def prompt(self, what):
        self.expect(rb"\? ", what)

    def line(self, keys, result, what):
        """Types keys and Enter at a fresh prompt, then waits for the result."""
        self.send(keys + b"\r")
        self.expect(result, what)
        self.prompt(what)


def fail(message, output=b""):
    print("FAIL:", message)
    if output:
        print("terminal output so far:", repr(output[-1500:]))
    sys.exit(1)


def wait_for_exit(s, expected, what):
    """Reads the rest of the output and checks the calculator's exit status."""
    until = time.monotonic() + 20
    while s.read_some(until):
        pass
    _, status = os.waitpid(s.pid, 0)
    if not os.WIFEXITED(status) or os.WEXITSTATUS(status) != expected:
        fail(f"{what} ({status})", s.output)


def leave(s):
    """Sends #X: and waits for the calculator to end with status 0."""
    s.send(b"#X:\r")
    wait_for_exit(s, 0, "the calculator did not leave with status 0")


def history_across_sessions(binary, home):
    """A line typed in one session comes back with the up arrow in the next."""
    s = Session(binary, home)
    s.expect(rb"Vantrel", "banner")
    s.prompt("first prompt")
    s.line(b"Q=4242", rb"\r\n", "line of the first session")
    leave(s)
    path = os.path.join(home, ".vantrel_history")
    if not os.path.exists(path) or b"Q=4242" not in open(path, "rb").read():
        fail("the history file does not hold the line typed")
    s = Session(binary, home)
    s.expect(rb"Vantrel", "banner")
    s.prompt("first prompt")
    s.line(UP + UP, rb"Q=4242", "the up arrow did not bring back the earlier session's line")
    s.line(b"P.Q", rb"Q= 4242 ", "the recalled line was not run")
    # A closed terminal ends the calculator at the prompt; the history stays.
    s.line(b"R=5", rb"\r\n", "line before the terminal closes")
    os.kill(s.pid, signal.SIGHUP)
    wait_for_exit(s, 128 + signal.SIGHUP, "a closed terminal did not end the calculator")
    if b"R=5" not in open(path, "rb").read():
        fail("the history of a session ended by a closed terminal was lost")


def main():
    binary, editing = sys.argv[1], sys.argv[2]
    if editing.upper() != "ON":
        print("SKIP: the calculator was built without the line editor")
        return SKIP
    home = tempfile.mkdtemp()
    try:
        s = Session(binary, home)
    except OSError as error:
        print(f"SKIP: no pseudo-terminal can be opened ({error})")
        return SKIP

    s.expect(rb"Vantrel", "banner")
    s.prompt("first prompt")
    # A=123, two steps left, erase the 1, type 9: the line run is A=923.
    s.line(b"A=123" + LEFT + LEFT + BACKSPACE + b"9", rb"\r\n", "edited line")
    s.line(b"P.A", rb"A= 923 ", "the edited line was not run as edited")
    # The up arrow brings back B=A*2; its last character becomes 3.
    s.line(b"B=A*2", rb"\r\n", "assignment")
    s.line(UP + BACKSPACE + b"3", rb"\r\n", "recalled line")
    s.line(b"P.B", rb"B= 2769 ", "the recalled line was not run as edited")
    # A line typed with a leading blank is not kept: the up arrow skips it.
    s.line(b" P.A", rb"A= 923 ", "blank-led line")
    s.line(UP, rb"B= 2769 ", "the blank-led line was kept in the history")
    # Tab completes a function name in capitals.
    s.line(b"c=in\t(7/2)", rb"INT\(7/2\)", "completion of a function name")
    s.line(b"P.C", rb"C= 3 ", "the completed line was not run")
    # Ctrl-C drops the text typed so far; A keeps its value.
    s.send(b"A=55")
    s.expect(rb"A=55", "typed text")
    s.send(CTRL_C)
    s.prompt("prompt after Ctrl-C")
    s.line(b"P.A", rb"A= 923 ", "Ctrl-C did not drop the typed line")
    # Ctrl-Z in the middle of a line (no job control here, so nothing stops)
    # hands the terminal back and takes it again without losing the text.
    s.send(b"A=9")
    s.expect(rb"A=9", "typed text")
    s.send(b"\x1a")
    # Taken back, the editor redraws the prompt and the text: only then is
    # the terminal in its mode for editing again.
    s.expect(rb"\? A=9", "the line redrawn after Ctrl-Z")
    s.line(b"2", rb"\r\n", "line continued after Ctrl-Z")
    s.line(b"P.A", rb"A= 92 ", "Ctrl-Z lost the typed text")
    # I. reads its answer at its own prompt, edited as well.
    s.send(b'I.D"value? "\r')
    s.expect(rb'value\? "', "the prompt of I.")
    s.line(b"6*8" + BACKSPACE + b"7", rb"\r\n", "answer to I.")
    s.line(b"P.D", rb"D= 42 ", "the answer to I. was not taken as edited")
    # Tab completes a setting too; #X: leaves with status 0.
    s.send(b"#x\t\r")
    s.expect(rb"X:\r\n", "completion of a setting")
    wait_for_exit(s, 0, "the calculator did not leave with status 0")
    history_across_sessions(binary, tempfile.mkdtemp())
    shutil.rmtree(home, ignore_errors=True)
    print("ok")
    return 0


if __name__ == "__main__":
    sys.exit(main())
