#!/usr/bin/env python3
"""Generates a reproducible tree for the duplicate-finder benchmark.

Mix (fractions of --files):
  55 %  small unique files
  30 %  copies in groups of 2 to 5
  10 %  same-size files that differ (content must be read): only in the first byte, only past
        byte 65521 (the short-checksum unit), only in the last byte, or anywhere
   5 %  files equal in their first 64 KiB that differ later
plus a few large duplicates and near-duplicates, and the awkward cases every finder must survive:
empty files, hidden files and folders, symbolic links to files and folders (one of them a cycle),
hard links, and names with spaces, non-ASCII text and "[,]".

With --small every file stays within a few KiB (the 64 KiB cases then differ past their first
half instead), so a tree of a million files fits the page cache: the scale trees.

The same seed and arguments always give the same tree; a stamp file records them.
"""
import argparse
import json
import os
import random

ODD_NAMES = ["with space %d.bin", "Grüße %d.bin", "日本語 %d.bin", "a[,]b %d.bin", "émoji 😀 %d.bin"]


def write(path, data):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as f:
        f.write(data)


def flip(data, pos):
    b = bytearray(data)
    b[pos] ^= 0xFF
    return bytes(b)


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("root")
    ap.add_argument("--files", type=int, default=200000)
    ap.add_argument("--large-mb", type=int, default=400, help="total size of the large files")
    ap.add_argument("--seed", type=int, default=1)
    ap.add_argument("--small", action="store_true", help="files of at most 4 KiB")
    a = ap.parse_args()
    cap = 4 * 1024 if a.small else None

    def between(lo, hi):
        return rng.randint(lo, min(hi, cap) if cap else hi)

    rng = random.Random(a.seed)
    folders = [os.path.join(a.root, "d%02d" % i, "s%02d" % j) for i in range(50) for j in range(10)]
    # A few folders with awkward names take their share of ordinary files too.
    folders += [os.path.join(a.root, "odd names", n) for n in ("a b", "Ärger", "x[,]y")]
    count = 0

    def place(data, name=None):
        nonlocal count
        if name is None:
            name = "f%07d.bin" % count
            if count % 97 == 0:
                name = ODD_NAMES[count % len(ODD_NAMES)] % count
        path = os.path.join(rng.choice(folders), name)
        write(path, data)
        count += 1
        return path

    n = a.files
    for _ in range(int(n * 0.55)):
        place(rng.randbytes(between(1, 16 * 1024)))
    while count < int(n * 0.85):
        data = rng.randbytes(between(1, 64 * 1024))
        for _ in range(rng.randint(2, 5)):
            place(data)
    kind = 0
    while count < int(n * 0.95):
        kind += 1
        if kind % 4 == 1:  # only the first byte differs
            base = rng.randbytes(between(2, 32 * 1024))
            variants = [flip(base, 0), base]
        elif kind % 4 == 2 and cap:  # differ in the middle
            base = rng.randbytes(between(2, cap))
            variants = [flip(base, len(base) // 2), base]
        elif kind % 4 == 2:  # equal short-checksum unit, differ just past it
            base = rng.randbytes(65521 + rng.randint(1, 4096))
            variants = [flip(base, 65521 + rng.randrange(len(base) - 65521)), base]
        elif kind % 4 == 3:  # only the last byte differs
            base = rng.randbytes(between(2, 32 * 1024))
            variants = [flip(base, len(base) - 1), base]
        else:
            length = between(1000, 32 * 1024)
            variants = [rng.randbytes(length) for _ in range(rng.randint(2, 5))]
        for v in variants:
            place(v)
    while count < n:
        head = rng.randbytes(cap // 2 if cap else 65521)
        tail_size = between(1, 32 * 1024)
        for _ in range(rng.randint(2, 3)):
            place(head + rng.randbytes(tail_size))

    left = a.large_mb * 1024 * 1024
    while left > 0:
        size = rng.randint(5, 40) * 1024 * 1024
        data = bytearray(rng.randbytes(size))
        place(bytes(data))
        place(bytes(data))
        data[-1] ^= 1
        place(bytes(data))
        left -= 3 * size

    special = os.path.join(a.root, "special")
    # Empty files (a "group" no tool with default options reports).
    for i in range(20):
        write(os.path.join(special, "empty", "e%02d" % i), b"")
    # Hidden files and folders holding copies of each other.
    secret = rng.randbytes(5000)
    write(os.path.join(special, ".hidden dir", "copy1.bin"), secret)
    write(os.path.join(special, ".hidden dir", "copy2.bin"), secret)
    write(os.path.join(special, "visible", ".hidden1.bin"), secret)
    write(os.path.join(special, "visible", "shown.bin"), secret)
    # Hard links: three names of one file, plus a real copy of it.
    linked = os.path.join(special, "hardlinks", "h0.bin")
    write(linked, rng.randbytes(7000))
    for i in (1, 2):
        os.link(linked, os.path.join(special, "hardlinks", "h%d.bin" % i))
    with open(linked, "rb") as f:
        write(os.path.join(special, "hardlinks", "real copy.bin"), f.read())
    # Symbolic links: to a file, to a folder, and a cycle back to an ancestor.
    links = os.path.join(special, "links")
    target = place(rng.randbytes(3000))
    os.makedirs(links, exist_ok=True)
    os.symlink(os.path.abspath(target), os.path.join(links, "to file.bin"))
    os.symlink(os.path.abspath(os.path.join(special, "visible")), os.path.join(links, "to folder"))
    os.makedirs(os.path.join(links, "loop", "inner"), exist_ok=True)
    os.symlink("../..", os.path.join(links, "loop", "inner", "back up"))

    with open(os.path.join(a.root, ".params"), "w") as f:
        params = {"files": a.files, "large_mb": a.large_mb, "seed": a.seed}
        if a.small:
            params["small"] = True
        json.dump(params, f)
    print("%d files in %s" % (count, a.root))


if __name__ == "__main__":
    main()
