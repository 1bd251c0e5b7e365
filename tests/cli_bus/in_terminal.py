#!/usr/bin/env python3
"""Runs a command in a pseudo-terminal of a given width and prints what a user would see
scroll by: the output with its cursor movements and erasures taken out, one line a line.
Usage: in_terminal.py COLUMNS COMMAND [ARGUMENT...]"""
import fcntl
import os
import pty
import re
import struct
import sys
import termios

columns = int(sys.argv[1])
pid, fd = pty.fork()
if pid == 0:
    fcntl.ioctl(0, termios.TIOCSWINSZ, struct.pack("HHHH", 50, columns, 0, 0))
    os.execvp(sys.argv[2], sys.argv[2:])
output = b""
while True:
    try:
        chunk = os.read(fd, 65536)
    except OSError:  # the child has gone
        break
    if not chunk:
        break
    output += chunk
_, status = os.waitpid(pid, 0)
text = re.sub(r"\x1b\[[0-9;]*[A-Za-z]", "", output.decode("utf-8", "replace"))
sys.stdout.write(text.replace("\r\n", "\n"))
sys.exit(os.waitstatus_to_exitcode(status))
