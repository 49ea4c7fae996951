#!/usr/bin/env python3
"""Writes one benchmark payload tree, the same bytes on every machine for a given seed.

usage: gen_payload.py {mixed,small,tiny} OUT_DIR [--seed N]

  mixed  about 200 MB: a few large files (log text, random data, a sparse disk image), some
         medium documents and media files, and a folder of Japanese names, including names
         whose Shift_JIS form holds a 0x5C trail byte (表, ソ) and half-width katakana.
  small  20,000 files of 100 to 4096 bytes in nested folders.
  tiny   one 1 KiB text file, for timing how fast a program starts and ends.

The tree is written to OUT_DIR.tmp and renamed to OUT_DIR when complete, so a stopped run never
leaves a tree that looks finished. Beside it goes OUT_DIR.manifest: one line per file,
"md5  size  path", sorted by the path's bytes. Its hashes come from the bytes in memory, not
from reading the files back, so the checker (tree_manifest.py) is not checked against itself.
"""

import argparse
import hashlib
import os
import random
import shutil
import sys

MIB = 1024 * 1024

# Words for the text files. Japanese users' text is often Japanese, so a share of the lines are
# Japanese (UTF-8): they compress differently from ASCII and make the text less uniform.
LATIN_WORDS = (
    "archive extract folder file name size header method level block table window "
    "buffer stream index entry value record report summary invoice customer order "
    "delivery status pending shipped total amount tax price quantity date time user "
    "server client request response error warning notice debug trace session token").split()
JAPANESE_WORDS = (
    "解凍 圧縮 書庫 フォルダ ファイル 名前 大きさ 日付 時刻 報告 請求書 顧客 注文 "
    "配送 状態 保留 出荷 合計 金額 税 価格 数量 利用者 応答 要求 警告 通知 記録 一覧 表 "
    "資料 会議 議事録 東京 大阪 名古屋 札幌 福岡 株式会社 担当 確認 完了 予定").split()
LOG_LEVELS = ("INFO", "INFO", "INFO", "DEBUG", "WARN", "ERROR")


def text_block(rng, size, japanese_share=0.2):
    """Lines of prose-like text, exactly size bytes of UTF-8."""
    parts = []
    total = 0
    while total < size:
        if rng.random() < japanese_share:
            line = "".join(rng.choices(JAPANESE_WORDS, k=rng.randint(4, 18))) + "。\n"
        else:
            line = " ".join(rng.choices(LATIN_WORDS, k=rng.randint(5, 16))) + ".\n"
        data = line.encode("utf-8")
        parts.append(data)
        total += len(data)
    return cut_utf8(b"".join(parts), size)


def log_block(rng, size):
    """Server-log lines: very compressible, like the logs people actually archive."""
    parts = []
    total = 0
    t = 1_700_000_000 + rng.randint(0, 10_000_000)
    while total < size:
        t += rng.randint(0, 3)
        line = "%d.%03d %s [worker-%d] %s id=%d took %d ms\n" % (
            t, rng.randint(0, 999), rng.choice(LOG_LEVELS), rng.randint(1, 16),
            " ".join(rng.choices(LATIN_WORDS, k=rng.randint(2, 6))),
            rng.randint(100000, 999999), rng.randint(1, 5000))
        data = line.encode("ascii")
        parts.append(data)
        total += len(data)
    return b"".join(parts)[:size]


def csv_block(rng, size):
    parts = [b"id,date,customer,city,amount,status\n"]
    total = len(parts[0])
    n = 0
    while total < size:
        n += 1
        line = "%d,2024-%02d-%02d,%s,%s,%d,%s\n" % (
            n, rng.randint(1, 12), rng.randint(1, 28), rng.choice(JAPANESE_WORDS),
            rng.choice(("東京", "大阪", "名古屋", "札幌", "福岡")), rng.randint(100, 999999),
            rng.choice(("完了", "保留", "出荷")))
        data = line.encode("utf-8")
        parts.append(data)
        total += len(data)
    return cut_utf8(b"".join(parts), size)


def disk_image(rng, size):
    """4 KiB blocks: zeros, random, and copies from a small pool, like a used disk image."""
    block = 4096
    pool = [rng.randbytes(block) for _ in range(64)]
    zero = bytes(block)
    out = []
    for _ in range(size // block):
        r = rng.random()
        out.append(zero if r < 0.4 else rng.randbytes(block) if r < 0.7 else rng.choice(pool))
    return b"".join(out) + rng.randbytes(size % block)


def cut_utf8(data, size):
    """Cuts to size bytes and pads with spaces so the text stays valid UTF-8."""
    data = data[:size]
    text = data.decode("utf-8", errors="ignore").encode("utf-8")
    return text + b" " * (size - len(text))


def mixed_files(rng):
    """Yields (path, bytes) for the mixed payload, about 200 MB in all."""
    yield "big/server.log", log_block(rng, 56 * MIB)
    yield "big/archive_blob.bin", rng.randbytes(48 * MIB)
    yield "big/disk.img", disk_image(rng, 32 * MIB)
    for i in range(24):
        size = rng.randint(MIB // 2, 3 * MIB)
        kind = rng.choice(("txt", "csv", "md"))
        data = csv_block(rng, size) if kind == "csv" else text_block(rng, size)
        yield "docs/%s/report_%02d.%s" % (("2023", "2024")[i % 2], i, kind), data
    for i in range(12):
        yield "media/photo_%03d.jpg" % i, rng.randbytes(rng.randint(MIB // 2, 2 * MIB))
    # Names as Japanese users write them. 表 and ソ end in byte 0x5C in Shift_JIS, which naive
    # code takes for a backslash; ｶﾀｶﾅ is half-width katakana, one byte per character there.
    jp = "日本語の資料/"
    yield jp + "報告書_2024年度.txt", text_block(rng, 2 * MIB, japanese_share=0.8)
    yield jp + "議事録 第3回.csv", csv_block(rng, MIB // 2)
    yield jp + "ソフト一覧表.txt", text_block(rng, 300 * 1024, japanese_share=0.8)
    yield jp + "写真/夏休み_001.jpg", rng.randbytes(MIB)
    yield jp + "ｶﾀｶﾅ/ﾒﾓ.txt", text_block(rng, 20 * 1024, japanese_share=0.8)


def small_files(rng):
    """Yields (path, bytes) for 20,000 files of 100 to 4096 bytes, nested up to three deep."""
    for top in range(25):
        for sub in range(8):
            for i in range(100):
                folder = "pkg%02d/mod%d/" % (top, sub)
                if i >= 60:
                    folder += "detail/"
                size = rng.randint(100, 4096)
                if rng.random() < 0.75:
                    yield folder + "file_%03d.txt" % i, text_block(rng, size, japanese_share=0.1)
                else:
                    yield folder + "file_%03d.dat" % i, rng.randbytes(size)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("kind", choices=("mixed", "small", "tiny"))
    parser.add_argument("out_dir")
    parser.add_argument("--seed", type=int, default=20240501)
    args = parser.parse_args()

    out = os.path.abspath(args.out_dir)
    if os.path.isdir(out) and os.path.isfile(out + ".manifest"):
        print("exists, kept: " + out)
        return 0
    tmp = out + ".tmp"
    shutil.rmtree(tmp, ignore_errors=True)
    shutil.rmtree(out, ignore_errors=True)
    # The seed is mixed with the kind so the two payloads do not share their random bytes.
    rng = random.Random("%s-%d" % (args.kind, args.seed))
    files = {
        "mixed": mixed_files,
        "small": small_files,
        "tiny": lambda r: [("readme.txt", text_block(r, 1024))],
    }[args.kind](rng)
    lines = []
    for rel, data in files:
        path = os.path.join(tmp, rel)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "wb") as f:
            f.write(data)
        lines.append((rel.encode("utf-8"), "%s  %d  " % (hashlib.md5(data).hexdigest(), len(data))))
    lines.sort()
    with open(out + ".manifest", "wb") as f:
        for rel, head in lines:
            f.write(head.encode("ascii") + rel + b"\n")
    os.rename(tmp, out)
    print("wrote %d files to %s" % (len(lines), out))
    return 0


if __name__ == "__main__":
    sys.exit(main())
