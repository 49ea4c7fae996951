#!/usr/bin/env python3
"""Makes the golden listings of tests/libs/golden/ from what peer extractors write.

For every archive of the corpus (first volumes only for RAR) it extracts the archive with a
peer into a scratch folder and writes `<format>/<archive>.tree`: one line per file, folder or
symlink, sorted, in the format the tests print:
    f <TAB> path <TAB> size <TAB> crc32 (8 lower-case hex digits)
    d <TAB> path
    l <TAB> path <TAB> target
Peers: bsdtar (libarchive 3.6.2) for ZIP and for every RAR archive that bsdtar extracts
without error (MANIFEST.tsv, column bsdtar_extract); unar for the other RAR archives (it
follows volume sets and decodes solid RAR 2.9 and RAR 1.5/2.0, so its tree is the whole
archive). unar 1.10.1 writes the members of solid RAR5 sets as empty files, and bsdtar
sees only one volume, so the RAR5 multi-volume set is read with libarchive itself given
every volume (archive_read_open_filenames, through ctypes), which the corpus README found
correct. LHA: bsdtar, which decodes MS-DOS (CP932) names and UNLHA32's UTF-16 names; the
-lh1- and -lhx- archives, whose data bsdtar cannot decode, with lhasa. CAB: cabextract with
-e CP932 (names without the UTF-8 flag are CP932 on Japanese systems); it joins cabinet sets
from any part. Names that are not valid UTF-8 are shown as our libraries write them:
decoded from code page 932.

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


LIBARCHIVE_VOLUMES = {
    'rar/test_read_format_rar5_multiarchive_solid.part01.rar':
        ['test_read_format_rar5_multiarchive_solid.part0%d.rar' % i for i in range(1, 5)],
}


def bsdtar_extracts(relative):
    with open(os.path.join(CORPUS, 'MANIFEST.tsv'), encoding='utf-8') as f:
        header = f.readline().rstrip('\n').split('\t')
        column = header.index('bsdtar_extract')
        for line in f:
            fields = line.rstrip('\n').split('\t')
            if fields[0] == relative:
                return fields[column] == 'ok'
    return False


# Archives whose data bsdtar cannot decode: it writes something of the right size anyway
# (blanks, or the raw compressed bytes), so another peer speaks for them.
SEVEN_ZIP = {'zip/Zip.deflate64.zip', 'zip/Zip.implode.zip', 'zip/Zip.shrink.zip',
             'zip/imploding-4Kdict-2trees.zip', 'zip/SHRUNK.ZIP',
             'zip/lorem-ipsum-deflate64.zip'}
# unar reads the code page 866 names of this ZIP as the Russian they are; bsdtar leaves the
# bytes as they are.
UNAR = {'lha/unlha32/lh2.lzh', 'zip/test_read_format_zip_filename_cp866.zip'}
# Names a peer gets wrong that the archive itself says: bsdtar 3.6.2 and unar ignore the Info-ZIP
# Unicode path field (0x7075) of this entry although its CRC matches the stored name, as the
# ZIP format says it must; 7-Zip uses it.
FIXED_NAMES = {
    # lhasa lower-cases MS-DOS names; the member is stored as GPL-2.GZ.
    'lha/larc333/sfx.com': {'gpl-2.gz': 'GPL-2.GZ'},
    'zip/test_read_format_zip_7075_utf8_paths.zip': {'File 4 - xx.txt': 'File 4 - \u00e5.txt'},
}
LHASA = {'lha/larc333/sfx.com', 'lha/lha_osk_201/h2_lh5.lzh'}
# lhasa lower-cases MS-DOS names: these one-member archives get the name 7z lists.
LHASA_7Z_NAME = {'lha/lhmelt_16536/h0_lh1.lzh', 'lha/unlha32/h2_lhx.lzh'}


def run_peer(command):
    subprocess.run(command, env=ENV, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                   stderr=subprocess.DEVNULL, timeout=600)


def extract_with_lhasa(archive, out, name_from_7z):
    run_peer(['lhasa', 'xfq2w=' + out, archive])
    if not name_from_7z:
        return
    listing = subprocess.run(['7z', 'l', '-slt', archive], env=ENV, capture_output=True,
                             check=True).stdout.decode()
    names = [line[7:] for line in listing.split('\n') if line.startswith('Path = ')][1:]
    written = os.listdir(out)
    if len(names) != 1 or len(written) != 1:
        raise RuntimeError('expected one member in ' + archive)
    os.rename(os.path.join(out, written[0]), os.path.join(out, names[0]))


def extract(fmt, relative, archive, out):
    if relative in SEVEN_ZIP:
        run_peer(['7z', 'x', '-y', '-o' + out, archive])
    elif relative in UNAR:
        run_peer(['unar', '-q', '-f', '-no-directory', '-o', out, archive])
    elif relative in LHASA or relative in LHASA_7Z_NAME:
        extract_with_lhasa(archive, out, relative in LHASA_7Z_NAME)
    elif fmt == 'cab':
        run_peer(['cabextract', '-q', '-e', 'CP932', '-d', out, archive])
    elif fmt in ('zip', 'lha') or bsdtar_extracts(relative):
        run_peer(['bsdtar', '-xf', archive, '-C', out])
    else:
        run_peer(['unar', '-q', '-f', '-no-directory', '-no-recursion', '-password', '', '-o',
                  out, archive])


def extract_with_libarchive(paths, out):
    """Regular files only: that is all the one set read this way holds."""
    import ctypes
    la = ctypes.CDLL('libarchive.so.13')
    la.archive_read_new.restype = ctypes.c_void_p
    la.archive_entry_pathname.restype = ctypes.c_char_p
    la.archive_entry_pathname.argtypes = [ctypes.c_void_p]
    la.archive_read_data.restype = ctypes.c_ssize_t
    la.archive_read_data.argtypes = [ctypes.c_void_p, ctypes.c_void_p, ctypes.c_size_t]
    for name in ('archive_read_support_format_rar', 'archive_read_support_format_rar5',
                 'archive_read_free'):
        getattr(la, name).argtypes = [ctypes.c_void_p]
    la.archive_read_next_header.argtypes = [ctypes.c_void_p, ctypes.POINTER(ctypes.c_void_p)]
    la.archive_read_open_filenames.argtypes = [ctypes.c_void_p,
                                               ctypes.POINTER(ctypes.c_char_p), ctypes.c_size_t]
    a = la.archive_read_new()
    la.archive_read_support_format_rar(a)
    la.archive_read_support_format_rar5(a)
    names = (ctypes.c_char_p * (len(paths) + 1))(*[os.fsencode(p) for p in paths], None)
    if la.archive_read_open_filenames(a, names, 65536) != 0:
        raise RuntimeError('libarchive cannot open ' + paths[0])
    entry = ctypes.c_void_p()
    buf = ctypes.create_string_buffer(1 << 16)
    while la.archive_read_next_header(a, ctypes.byref(entry)) == 0:
        target = os.path.join(os.fsencode(out), la.archive_entry_pathname(entry))
        os.makedirs(os.path.dirname(target), exist_ok=True)
        with open(target, 'wb') as f:
            while True:
                n = la.archive_read_data(a, buf, len(buf))
                if n < 0:
                    raise RuntimeError('libarchive cannot read ' + paths[0])
                if n == 0:
                    break
                f.write(buf.raw[:n])
    la.archive_read_free(a)


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


def archives(fmt):
    """The corpus files of one format, relative to the corpus, LHA's tool folders included."""
    folder = os.path.join(CORPUS, fmt)
    found = []
    for dirpath, _, filenames in os.walk(folder):
        for name in filenames:
            relative = os.path.relpath(os.path.join(dirpath, name), CORPUS)
            if not (fmt == 'rar' and is_later_volume(name)):
                found.append(relative)
    return sorted(found)


def main():
    for fmt in ('zip', 'lha', 'cab', 'rar'):
        for relative in archives(fmt):
            folder = os.path.dirname(os.path.join(CORPUS, relative))
            with tempfile.TemporaryDirectory() as out:
                if relative in LIBARCHIVE_VOLUMES:
                    extract_with_libarchive(
                        [os.path.join(folder, v) for v in LIBARCHIVE_VOLUMES[relative]], out)
                else:
                    extract(fmt, relative, os.path.join(CORPUS, relative), out)
                for wrong, right in FIXED_NAMES.get(relative, {}).items():
                    os.rename(os.path.join(out, wrong), os.path.join(out, right))
                lines = tree_lines(out)
            tree = os.path.join(HERE, relative + '.tree')
            os.makedirs(os.path.dirname(tree), exist_ok=True)
            with open(tree, 'w', encoding='utf-8') as f:
                f.write(''.join(line + '\n' for line in lines))
            print('%s: %d' % (relative, len(lines)))


if __name__ == '__main__':
    main()
