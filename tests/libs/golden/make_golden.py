#!/usr/bin/env python3
"""Makes the golden listings of tests/libs/golden/ from what peer extractors write.

For every ZIP and RAR archive of the corpus (first volumes only) it extracts the archive
with a peer into a scratch folder and writes `<format>/<archive>.tree`: one line per file,
folder or symlink, sorted, in the format the tests print:
    f <TAB> path <TAB> size <TAB> crc32 (8 lower-case hex digits)
    d <TAB> path
    l <TAB> path <TAB> target
Peers: bsdtar (libarchive 3.6.2) for ZIP, unar for RAR (it follows volume sets and
decodes solid and RAR 1.5/2.0 archives, so its tree is the whole archive). Names that are
not valid UTF-8 are shown as our libraries write them: decoded from code page 932.

Run from anywhere: python3 tests/libs/golden/make_golden.py [CORPUS_DIR]
"""
import os
import subprocess
import sys
import tempfile
import zlib

HERE = os.path.dirname(os.path.abspath(__file__))
CORPUS = sys.argv[1] if len(sys.argv) > 1 else os.path.join(HERE, '..', '..', '..', '..',
                                                             'shared', 'corpus')
ENV = dict(os.environ, LC_ALL='C.UTF-8')


def peer_command(fmt, archive, out):
    if fmt == 'zip':
        return ['bsdtar', '-xf', archive, '-C', out]
    return ['unar', '-q', '-f', '-no-directory', '-no-recursion', '-password', '', '-o', out,
            archive]


def shown_name(raw):
    try:
        return raw.decode('utf-8')
    except UnicodeDecodeError:
        return raw.decode('cp932', errors='replace')


def crc_of(path):
    crc = 0
    size = 0
    with open(path, 'rb') as f:
        while True:
            block = f.read(1 << 20)
            if not block:
                break
            crc = zlib.crc32(block, crc)
            size += len(block)
    return size, crc & 0xFFFFFFFF


def tree_lines(root):
    lines = []
    rootb = os.fsencode(root)
    for dirpath, dirnames, filenames in os.walk(rootb):
        for name in dirnames + filenames:
            full = os.path.join(dirpath, name)
            rel = shown_name(os.path.relpath(full, rootb))
            if os.path.islink(full):
                lines.append('l\t%s\t%s' % (rel, shown_name(os.readlink(full))))
            elif os.path.isdir(full):
                lines.append('d\t%s' % rel)
            else:
                size, crc = crc_of(full)
                lines.append('f\t%s\t%d\t%08x' % (rel, size, crc))
    return sorted(lines)


def is_later_volume(name):
    lower = name.lower()
    if '.part' in lower and lower.endswith('.rar'):
        digits = lower.rsplit('.part', 1)[1][:-4]
        return digits.isdigit() and int(digits) != 1
    return len(lower) > 4 and lower[-4] == '.' and lower[-3] == 'r' and lower[-2:].isdigit()


def main():
    for fmt in ('zip', 'rar'):
        folder = os.path.join(CORPUS, fmt)
        os.makedirs(os.path.join(HERE, fmt), exist_ok=True)
        for name in sorted(os.listdir(folder)):
            if is_later_volume(name):
                continue
            with tempfile.TemporaryDirectory() as out:
                subprocess.run(peer_command(fmt, os.path.join(folder, name), out), env=ENV,
                               stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                               stderr=subprocess.DEVNULL, timeout=600)
                lines = tree_lines(out)
            with open(os.path.join(HERE, fmt, name + '.tree'), 'w', encoding='utf-8') as f:
                f.write(''.join(line + '\n' for line in lines))
            print('%s/%s: %d' % (fmt, name, len(lines)))


if __name__ == '__main__':
    main()
