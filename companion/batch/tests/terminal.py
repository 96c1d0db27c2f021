#!/usr/bin/env python3
"""Runs a command on a pseudo-terminal of its own, as an interactive shell runs a job,
and closes the terminal when told, as closing a terminal window does.

    terminal.py TRANSCRIPT STATUS_FILE COMMAND...

What the terminal shows goes into TRANSCRIPT until a line comes on standard input;
then the terminal is closed. The session's leader, like a shell, passes the hangup on
to the command's process group, waits for it, and writes its exit status (128 + the
signal's number when a signal ended it) into STATUS_FILE.
"""
import os
import pty
import select
import signal
import sys


def lead_session(command, status_file):
    """The session's leader on the terminal: the command as its foreground job."""
    job = os.fork()
    if job == 0:
        os.setpgid(0, 0)
        os.execvp(command[0], command)
    os.setpgid(job, job)
    signal.signal(signal.SIGTTOU, signal.SIG_IGN)
    os.tcsetpgrp(0, job)
    signal.signal(signal.SIGHUP, lambda *_: os.killpg(job, signal.SIGHUP))
    _, status = os.waitpid(job, 0)
    code = os.waitstatus_to_exitcode(status)
    with open(status_file, "w", encoding="ascii") as out:
        out.write(f"{code if code >= 0 else 128 - code}\n")
    os._exit(0)


def main():
    transcript, status_file, command = sys.argv[1], sys.argv[2], sys.argv[3:]
    leader, terminal = pty.fork()
    if leader == 0:
        lead_session(command, status_file)
    with open(transcript, "wb") as out:
        while True:
            ready, _, _ = select.select([terminal, sys.stdin], [], [])
            if terminal in ready:
                try:
                    shown = os.read(terminal, 4096)
                except OSError:
                    shown = b""
                if not shown:
                    break
                out.write(shown)
                out.flush()
            if sys.stdin in ready:
                break
    os.close(terminal)
    os.waitpid(leader, 0)


main()
