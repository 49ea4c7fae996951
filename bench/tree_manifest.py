#!/usr/bin/env python3
"""Checks an extracted tree against a payload manifest (names, sizes, MD5 of contents).

usage: tree_manifest.py EXPECTED.manifest DIR

Prints one word, then details on standard error:
  ok           every file is there with its name, size and content, and nothing else is
  cp932-names  contents and sizes are right, but names that should be Japanese were left as
               their Shift_JIS bytes (the tool does not decode LZH names); exit status 3
  WRONG        a file is missing, extra, of the wrong size or content, or not a regular
               file; exit status 1

Folders are not compared: the payloads have no empty folder, so every folder a tool must
create holds a file and shows up in a file's path.
"""

import hashlib
import os
import sys

MAX_SHOWN = 5


def read_manifest(path):
    entries = {}
    with open(path, "rb") as f:
        for line in f:
            digest, size, name = line.rstrip(b"\n").split(b"  ", 2)
            entries[name] = (int(size), digest.decode("ascii"))
    return entries


def scan(root):
    """Maps each path under root (bytes, '/'-separated) to (size, md5) or to a type word."""
    found = {}
    root_b = os.fsencode(root)
    for dirpath, dirnames, filenames in os.walk(root_b):
        for name in filenames + [d for d in dirnames if os.path.islink(os.path.join(dirpath, d))]:
            full = os.path.join(dirpath, name)
            rel = os.path.relpath(full, root_b)
            if os.path.islink(full) or not os.path.isfile(full):
                found[rel] = "not a regular file"
                continue
            h = hashlib.md5()
            with open(full, "rb") as f:
                while chunk := f.read(1 << 20):
                    h.update(chunk)
            found[rel] = (os.path.getsize(full), h.hexdigest())
    return found


def decode_cp932_name(rel):
    """The name a tool should have written, when it wrote the archive's Shift_JIS bytes."""
    parts = []
    for part in rel.split(b"/"):
        try:
            part.decode("utf-8")
            parts.append(part)
        except UnicodeDecodeError:
            try:
                parts.append(part.decode("cp932").encode("utf-8"))
            except UnicodeDecodeError:
                parts.append(part)
    return b"/".join(parts)


def differences(expected, found):
    problems = []
    for name in sorted(expected.keys() - found.keys()):
        problems.append("missing: " + name.decode("utf-8", "backslashreplace"))
    for name in sorted(found.keys() - expected.keys()):
        problems.append("extra: " + name.decode("utf-8", "backslashreplace"))
    for name in sorted(expected.keys() & found.keys()):
        if expected[name] != found[name]:
            problems.append("differs: %s (expected %s, found %s)" % (
                name.decode("utf-8", "backslashreplace"), expected[name], found[name]))
    return problems


def main(argv):
    if len(argv) != 3:
        print(__doc__.strip().splitlines()[2], file=sys.stderr)
        return 2
    expected = read_manifest(argv[1])
    found = scan(argv[2])
    problems = differences(expected, found)
    if not problems:
        print("ok")
        return 0
    # Only a different spelling of the same names is forgiven here; any content fault stays.
    renamed = {}
    for name, value in found.items():
        renamed[decode_cp932_name(name)] = value
    if len(renamed) == len(found) and not differences(expected, renamed):
        print("cp932-names")
        return 3
    print("WRONG")
    for line in problems[:MAX_SHOWN]:
        print("  " + line, file=sys.stderr)
    if len(problems) > MAX_SHOWN:
        print("  ... %d problems in all" % len(problems), file=sys.stderr)
    return 1


if __name__ == "__main__":
    sys.exit(main(sys.argv))
