#!/usr/bin/env python3
"""Checks that tree_manifest.py catches the faults an extractor really makes."""

import hashlib
import os
import subprocess
import sys
import tempfile
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
CHECKER = os.path.join(HERE, "tree_manifest.py")

PAYLOAD = {
    "a.txt": b"hello\n",
    "dir/b.bin": bytes(range(256)) * 4,
    "日本語/ソフト一覧表.txt": "表".encode("utf-8") * 10,
}


def write_tree(root, files):
    for rel, data in files.items():
        path = os.path.join(os.fsencode(root), rel if isinstance(rel, bytes) else rel.encode())
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "wb") as f:
            f.write(data)


class TreeManifestTest(unittest.TestCase):
    def setUp(self):
        self.tmp = tempfile.TemporaryDirectory()
        self.manifest = os.path.join(self.tmp.name, "payload.manifest")
        lines = sorted((rel.encode(), "%s  %d  " % (hashlib.md5(d).hexdigest(), len(d)))
                       for rel, d in PAYLOAD.items())
        with open(self.manifest, "wb") as f:
            for rel, head in lines:
                f.write(head.encode() + rel + b"\n")

    def tearDown(self):
        self.tmp.cleanup()

    def check(self, files, extra_setup=None):
        root = tempfile.mkdtemp(dir=self.tmp.name)
        write_tree(root, files)
        if extra_setup:
            extra_setup(root)
        done = subprocess.run([sys.executable, CHECKER, self.manifest, root],
                              capture_output=True, text=True)
        return done.stdout.strip(), done.returncode

    def test_verdicts(self):
        sjis = lambda s: s.encode("cp932")
        same_size_changed = dict(PAYLOAD, **{"dir/b.bin": bytes(1024)})
        cases = [
            ("exact copy", dict(PAYLOAD), ("ok", 0)),
            ("missing file", {k: v for k, v in PAYLOAD.items() if k != "a.txt"}, ("WRONG", 1)),
            ("extra file", dict(PAYLOAD, **{"c.txt": b""}), ("WRONG", 1)),
            ("same size, other bytes", same_size_changed, ("WRONG", 1)),
            ("cut short", dict(PAYLOAD, **{"a.txt": b"hell"}), ("WRONG", 1)),
            ("name case changed", {("A.txt" if k == "a.txt" else k): v
                                   for k, v in PAYLOAD.items()}, ("WRONG", 1)),
            # Shift_JIS names written as raw bytes: right contents, undecoded names.
            ("Shift_JIS names", {(sjis(k) if k.startswith("日本語") else k): v
                                 for k, v in PAYLOAD.items()}, ("cp932-names", 3)),
            # ソ and 表 end in 0x5C; a tool that splits there writes other folders.
            ("split at 0x5C", {(sjis(k).replace(b"\\", b"/") if k.startswith("日本語") else k): v
                               for k, v in PAYLOAD.items()}, ("WRONG", 1)),
        ]
        for name, files, expected in cases:
            with self.subTest(name):
                self.assertEqual(self.check(files), expected)

    def test_link_in_place_of_a_file_is_wrong(self):
        # The link reads back the right bytes, from outside the tree: only its type gives it away.
        outside = os.path.join(self.tmp.name, "outside.txt")
        write_tree(self.tmp.name, {"outside.txt": PAYLOAD["a.txt"]})
        files = {k: v for k, v in PAYLOAD.items() if k != "a.txt"}
        self.assertEqual(self.check(files, lambda root: os.symlink(
            outside, os.path.join(root, "a.txt"))), ("WRONG", 1))


if __name__ == "__main__":
    unittest.main()
