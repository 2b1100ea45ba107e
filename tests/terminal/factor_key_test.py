#!/usr/bin/env python3
"""A key pressed at the terminal stops a factorisation in the elliptic curve
stage and in the quadratic sieve (the variant without the curve library
goes there at once) within a second of the calculator's processor time: the
unsplit number is shown with "?" and the next line typed runs as usual.

    factor_key_test.py BINARY NOECM_BINARY
Exit 0 on success, 1 on failure, 77 (skipped) when no pseudo-terminal can be
opened.
"""
import os
import pty
import re
import select
import sys
import time

N = b"989234667557735747402586651223134321623179241010008294358914834363"


def fail(message, output=b""):
    print("FAIL:", message)
    print("terminal output so far:", repr(output[-800:]))
    sys.exit(1)


def cpu_seconds(pid):
    """Processor seconds the process has used itself (children not counted):
    unlike the clock, load elsewhere on the machine does not stretch them."""
    with open(f"/proc/{pid}/stat") as f:
        fields = f.read().rsplit(")", 1)[1].split()  # from field 3 (state) on
    return (int(fields[11]) + int(fields[12])) / os.sysconf("SC_CLK_TCK")


def run(binary, stage):
    try:
        pid, fd = pty.fork()
    except OSError:
        sys.exit(77)
    if pid == 0:
        os.environ["TERM"] = "xterm"
        os.environ["INPUTRC"] = "/dev/null"
        os.execv(binary, [binary, "0"])
    output = b""

    def expect(pattern, what, timeout):
        nonlocal output
        until = time.monotonic() + timeout
        while not re.search(pattern, output):
            left = until - time.monotonic()
            if left <= 0 or not select.select([fd], [], [], left)[0]:
                fail(f"{stage}: {what}", output)
            try:
                output += os.read(fd, 4096)
            except OSError:
                fail(f"{stage}: the calculator ended", output)

    expect(rb"\? $", "no prompt", 20)
    os.write(fd, b"F." + N + b"\r")
    time.sleep(1.0)  # the curves have about 1.8 s before the sieve takes over
    output = b""
    before = cpu_seconds(pid)
    os.write(fd, b"x")
    # A lucky curve may end the search before the key comes (a loaded
    # machine makes that likelier): then the factors are listed and the key
    # went to the next prompt, where it is wiped out.
    expect(rb"\?\?  " + N + rb"|\d \* \d", "the key did not stop the search", 60)
    used = cpu_seconds(pid) - before
    if used >= 1.0:
        fail(f"{stage}: the search took {used:.2f} s of processor time to stop", output)
    if re.search(rb"\?\?  " + N, output):
        expect(rb"\? $", "no prompt after the stop", 30)
    else:
        os.write(fd, b"\x15")  # Ctrl-U: the key typed at the prompt is erased
    os.write(fd, b"A=7\rP.A\r")
    expect(rb"A= 7 ", "the next line did not run", 30)
    os.write(fd, b"#X:\r")
    os.waitpid(pid, 0)


run(sys.argv[1], "curves")
run(sys.argv[2], "sieve")
print("ok")
