#!/usr/bin/env python3
"""Writes lha_corpus.tsv and cab_corpus.tsv: what the peer archivers extract from each LHA and
CAB archive of the shared corpus. The LHA/CAB tests compare our engines with these listings.

Run from anywhere: python3 tests/libs/golden/lha_cab_make_golden.py
Needs bsdtar (libarchive 3.6.2), 7z, lhasa and cabextract 1.9, run under LC_ALL=C.UTF-8.

Columns: archive (relative to the corpus), name (UTF-8, '/' separators, no trailing '/'),
type (f, d or l), size, sha256 of the content ('-' for directories and links, and where no
peer can give the content), link target.

Which peer speaks for which archive:
- LHA: bsdtar, which decodes MS-DOS (CP932) names and UNLHA32's UTF-16 names correctly. Its
  listing gives names and types, `bsdtar -xO` the content one member at a time, so the
  hostile samples (.. paths, links out of the tree) are read without writing anything.
  -lh1- and -lhx- data comes from `lhasa p` (bsdtar cannot decode them), and the -lhx- name
  from 7z, since bsdtar refuses the whole archive.
- CAB: cabextract with -e CP932 (names without the UTF-8 flag are CP932 on Japanese systems);
  it joins cabinet sets from any part, so a later part lists the whole set.
"""
import hashlib
import os
import re
import subprocess
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
CORPUS = os.path.normpath(os.path.join(HERE, "..", "..", "..", "..", "shared", "corpus"))
ENV = dict(os.environ, LC_ALL="C.UTF-8")

# Archives whose data bsdtar cannot decode but lhasa can (single-member archives).
LHASA_CONTENT = {"lha/lhmelt_16536/h0_lh1.lzh", "lha/unlha32/h2_lhx.lzh"}
# Archives bsdtar cannot even list: 7z gives the names.
SEVEN_ZIP_LIST = {"lha/unlha32/h2_lhx.lzh"}


def run(args, check=True):
    return subprocess.run(args, env=ENV, capture_output=True, check=check).stdout


def clean(name):
    name = name.rstrip("/")
    return name


def bsdtar_listing(path):
    names = [l for l in run(["bsdtar", "-tf", path], check=False).decode().split("\n") if l]
    verbose = [l for l in run(["bsdtar", "-tvf", path], check=False).decode().split("\n") if l]
    rows = []
    for name, line in zip(names, verbose):
        fields = line.split(None, 8)
        kind = {"-": "f", "d": "d", "l": "l"}.get(line[0], "?")
        size = int(fields[4])
        link = ""
        if kind == "l":
            link = line.split(" -> ", 1)[1]
            name = name.split(" -> ", 1)[0]
        rows.append([clean(name), kind, size, "-", link])
    return rows


def seven_zip_listing(path):
    rows, current = [], {}
    for line in run(["7z", "l", "-slt", path]).decode().split("\n"):
        if line.startswith("Path = "):
            current = {"name": line[7:]}
        elif line.startswith("Size = ") and "name" in current:
            rows.append([clean(current["name"]), "f", int(line[7:]), "-", ""])
    return rows[0:] if rows and rows[0][0] != os.path.basename(path) else rows[1:]


def lha_rows(rel):
    path = os.path.join(CORPUS, rel)
    rows = seven_zip_listing(path) if rel in SEVEN_ZIP_LIST else bsdtar_listing(path)
    for row in rows:
        if row[1] != "f":
            continue
        if rel in LHASA_CONTENT:
            data = run(["lhasa", "pq", path])
        else:
            p = subprocess.run(["bsdtar", "-xOf", path, row[0]], env=ENV, capture_output=True)
            if p.returncode != 0:
                continue  # damaged member: no content to compare with
            data = p.stdout
        if len(data) == row[2]:
            row[3] = hashlib.sha256(data).hexdigest()
    return rows


def cab_rows(rel):
    path = os.path.join(CORPUS, rel)
    rows = []
    with tempfile.TemporaryDirectory() as tmp:
        subprocess.run(["cabextract", "-q", "-e", "CP932", "-d", tmp, path], env=ENV,
                       capture_output=True)
        for root, dirs, files in os.walk(tmp):
            for f in files:
                full = os.path.join(root, f)
                with open(full, "rb") as fh:
                    data = fh.read()
                rows.append([os.path.relpath(full, tmp), "f", len(data),
                             hashlib.sha256(data).hexdigest(), ""])
    return rows


def write(table, fmt, rows_for):
    archives = sorted(r for r in (os.path.relpath(os.path.join(d, f), CORPUS)
                                  for d, _, fs in os.walk(os.path.join(CORPUS, fmt))
                                  for f in fs))
    with open(os.path.join(HERE, table), "w", encoding="utf-8") as out:
        out.write("# made by lha_cab_make_golden.py from the peers; do not edit\n")
        for rel in archives:
            for row in sorted(rows_for(rel)):
                out.write("\t".join([rel] + [str(v) for v in row]) + "\n")


def main():
    if not os.path.isdir(CORPUS):
        sys.exit("corpus not found at " + CORPUS)
    write("lha_corpus.tsv", "lha", lha_rows)
    write("cab_corpus.tsv", "cab", cab_rows)


if __name__ == "__main__":
    main()
