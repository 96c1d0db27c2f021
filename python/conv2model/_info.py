"""The info file WORKFILE.gdsinfo beside a work file, read as conv2model-inspect reads it:
the level count, the level pressures (Pa, top level first), the grid description
integers kgds(1) to kgds(11) and kgds(20) (under the label "kgds(12)"), then the fields'
names in writing order: five 3-D fields, then twelve surface fields."""

import os
import re

FIELDS_3D = 5
FIELDS_2D = 12
# An info file is a few kilobytes; a large one is refused unread.
LIMIT_BYTES = 64 << 20

_INT = re.compile(r"-?[0-9]+")
_FLOAT = re.compile(r"-?([0-9]+\.?[0-9]*|\.[0-9]+)([eE][-+]?[0-9]+)?|-?(inf|infinity|nan)", re.I)


class WorkFileError(ValueError):
    """A work file or its info file that cannot be read; the message names the file."""


class Info:
    """What an info file says: lm, pressure_pa (bottom level first), kgds (a list of 21,
    kgds[1] .. kgds[20]; others 0), names_3d and names_2d as listed."""

    def __init__(self):
        self.lm = 0
        self.pressure_pa = []
        self.kgds = [0] * 21
        self.names_3d = []
        self.names_2d = []

    @property
    def im(self):
        return self.kgds[2]

    @property
    def jm(self):
        return self.kgds[3]


class _Parser:
    def __init__(self, text, name):
        self.name = name
        self.lines = [(n, line) for n, line in enumerate(text.split("\n"), 1)
                      if line.strip(" \t\r")]
        self.next = 0

    def at_end(self):
        return self.next >= len(self.lines)

    def remaining(self):
        return len(self.lines) - self.next

    def peek(self):
        return self.lines[self.next][1].strip(" \t\r")

    def take(self, expecting):
        if self.at_end():
            self.fail("ends before " + expecting)
        self.next += 1
        return self.lines[self.next - 1][1].strip(" \t\r")

    def expect(self, text):
        if self.take(text) != text:
            self.fail_here('expected "%s"' % text)

    def take_int(self, label):
        line = self.take(label)
        m = _INT.match(line)
        if not m or line[m.end():].strip(" \t\r") != label or not -2**31 <= int(m.group()) < 2**31:
            self.fail_here('expected an integer and "%s"' % label)
        return int(m.group())

    def take_float(self, what):
        line = self.take(what)
        if not _FLOAT.fullmatch(line):
            self.fail_here("expected " + what)
        return float(line)

    def fail(self, what):
        raise WorkFileError("%s: %s (not a conv2model info file?)" % (self.name, what))

    def fail_here(self, what):
        self.fail("line %d: %s" % (self.lines[self.next - 1][0], what))


def parse(text, name):
    """Parses an info file's text; raises WorkFileError naming `name` and the line at fault."""
    p = _Parser(text, name)
    info = Info()
    info.lm = p.take_int("=> Number of Levels")
    if info.lm < 1:
        p.fail_here("level count must be at least 1")
    if info.lm > p.remaining():
        p.fail("ends before the %d pressures of its level count" % info.lm)
    p.expect("Pressure in Pa")
    top_first = [p.take_float("a pressure in Pa") for _ in range(info.lm)]
    info.pressure_pa = top_first[::-1]

    for n in range(1, 12):
        info.kgds[n] = p.take_int("kgds(%d)" % n)
    info.kgds[20] = p.take_int("kgds(12)")
    if info.im < 1 or info.jm < 1:
        p.fail("grid of %d x %d points (kgds(2), kgds(3)) has no points" % (info.im, info.jm))

    p.expect("Fields names and writing order")
    p.expect("3D")
    if not p.take("the 3-D field list").startswith("first written record"):
        p.fail_here('expected "first written record: ..."')
    while not p.at_end() and p.peek() != "2D":
        info.names_3d.append(p.take(""))
    p.expect("2D")
    while not p.at_end():
        info.names_2d.append(p.take(""))
    if len(info.names_3d) != FIELDS_3D or len(info.names_2d) != FIELDS_2D:
        p.fail("lists %d 3-D and %d surface fields, expected %d and %d"
               % (len(info.names_3d), len(info.names_2d), FIELDS_3D, FIELDS_2D))
    return info


def read(path):
    """Reads and parses the info file at path."""
    try:
        with open(path, "rb") as f:
            if os.fstat(f.fileno()).st_size > LIMIT_BYTES:
                raise WorkFileError("%s: larger than %d MiB, too large for the info file"
                                    % (path, LIMIT_BYTES >> 20))
            data = f.read(LIMIT_BYTES + 1)
    except IsADirectoryError:
        raise WorkFileError("%s: is a directory, expected the info file" % path) from None
    except OSError as e:
        raise WorkFileError("%s: cannot open info file: %s" % (path, e.strerror)) from None
    # Bytes that are not text are kept as characters, so that the line at fault is named.
    return parse(data.decode("latin-1"), path)
