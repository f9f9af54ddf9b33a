#!/usr/bin/env python3
"""Generates a reproducible tree for the duplicate-finder benchmark.

Mix: many small unique files, duplicate sets of 2-4 copies, same-size files that differ (so the
content has to be read), files equal in their first 64 KiB that differ later, and a few large
duplicates and near-duplicates. No empty and no hidden files, so every tool's defaults agree.
"""
import argparse
import os
import random


def write(path, data):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as f:
        f.write(data)


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("root")
    ap.add_argument("--files", type=int, default=30000)
    ap.add_argument("--large-mb", type=int, default=400, help="total size of the large files")
    ap.add_argument("--seed", type=int, default=1)
    a = ap.parse_args()
    rng = random.Random(a.seed)
    folders = [os.path.join(a.root, "d%02d" % i, "s%02d" % j) for i in range(40) for j in range(8)]
    count = 0

    def place(data):
        nonlocal count
        write(os.path.join(rng.choice(folders), "f%06d.bin" % count), data)
        count += 1

    n = a.files
    # Unique small files.
    for _ in range(int(n * 0.55)):
        place(rng.randbytes(rng.randint(1, 48 * 1024)))
    # Duplicate sets.
    while count < int(n * 0.85):
        data = rng.randbytes(rng.randint(1, 200 * 1024))
        for _ in range(rng.randint(2, 4)):
            place(data)
    # Same size, different content.
    while count < int(n * 0.95):
        size = rng.randint(1000, 100 * 1024)
        for _ in range(rng.randint(2, 5)):
            place(rng.randbytes(size))
    # Equal first block, different tail.
    while count < n:
        head = rng.randbytes(65521)
        tail_size = rng.randint(1, 64 * 1024)
        for _ in range(rng.randint(2, 3)):
            place(head + rng.randbytes(tail_size))
    # Large files: duplicates and near-duplicates that differ in the last byte.
    left = a.large_mb * 1024 * 1024
    while left > 0:
        size = rng.randint(5, 40) * 1024 * 1024
        data = bytearray(rng.randbytes(size))
        place(bytes(data))
        place(bytes(data))
        data[-1] ^= 1
        place(bytes(data))
        left -= 3 * size
    print("%d files in %s" % (count, a.root))


if __name__ == "__main__":
    main()
