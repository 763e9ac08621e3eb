#!/usr/bin/env python3
"""Types lines into an interactive shell on a pseudo-terminal, presses Tab,
and prints the line as the shell's editor then holds it, one per line:
    shell_tab.py SHELL ARG... < lines
The shell's start-up file must bind Ctrl-T to print "<<" LINE ">>"."""
import os, pty, select, sys, time

def main():
    pid, fd = pty.fork()
    if pid == 0:
        os.environ["TERM"] = "dumb"
        os.execvp(sys.argv[1], sys.argv[1:])
    seen = b""

    def upto(marker, since, limit=20):
        nonlocal seen
        end = time.monotonic() + limit
        while marker not in seen[since:]:
            left = end - time.monotonic()
            if left <= 0 or not select.select([fd], [], [], left)[0]:
                sys.exit("no %r from the shell; it said: %r" % (marker, seen[-500:]))
            try:
                seen += os.read(fd, 4096)
            except OSError:
                sys.exit("the shell ended: %r" % seen[-500:])
        return seen.index(marker, since) + len(marker)

    os.write(fd, b"\x14")  # the shell is ready once it answers
    upto(b">>", 0)
    for line in sys.stdin.read().splitlines():
        since = len(seen)
        os.write(fd, line.encode() + b"\t\x14")
        start = upto(b"<<", since)
        stop = upto(b">>", start)
        print(seen[start:stop - 2].decode(errors="replace"))
        os.write(fd, b"\x15")  # the line is emptied for the next
    os.kill(pid, 9)

main()
