#!/usr/bin/env python3
"""The e-mail scan side by side with Python's mailbox module on one generated Maildir++ store.

Usage: mail_bench.py --cli PELCROW_CLI --store DIR [--messages N] [--runs R]

The store (made once per size) has N messages in five folders, a fifth of them copies of
another message in another folder. pelcrow-cli scans it for duplicate e-mails; the peer is
Python's mailbox module reading every message and its headers, which is less work than
finding the duplicates. Peak memory is GNU time's maximum resident set size.
"""
import argparse
import json
import os
import random
import subprocess
import sys
import time

FOLDERS = ["", ".Work", ".Lists", ".Archive", ".Sent"]


def make_store(root, count, seed=1):
    want = json.dumps({"messages": count, "seed": seed, "layout": 2})
    stamp = os.path.join(root, ".params")
    if os.path.exists(stamp) and open(stamp).read() == want:
        return
    subprocess.run(["rm", "-rf", root], check=True)
    for f in FOLDERS:
        for sub in ("cur", "new", "tmp"):
            os.makedirs(os.path.join(root, f, sub), exist_ok=True)
    rnd = random.Random(seed)
    originals = []
    for n in range(count):
        folder = FOLDERS[n % len(FOLDERS)]
        sender = n % 977
        if originals and rnd.random() < 0.2:
            body, subject, date, sender = rnd.choice(originals)
            folder = FOLDERS[(FOLDERS.index(folder) + 1) % len(FOLDERS)]
        else:
            words = " ".join(rnd.choice(["alpha", "beta", "gamma", "delta", "mail", "store", "note"])
                             for _ in range(rnd.randint(20, 300)))
            body = "Hello,\n\n" + words + "\n\n-- \nsender %d\n" % n
            subject = "Message %d about %s" % (n, words[:20])
            date = "Tue, %02d Jul 2003 10:%02d:%02d +0200" % (1 + n % 28, n % 60, (n // 60) % 60)
            originals.append((body, subject, date, sender))
        msg = ("Return-Path: <a%d@example.org>\nReceived: from mx.example.org by mail.example.org; %s\n"
               "From: Sender %d <a%d@example.org>\nTo: you@example.org\nSubject: %s\nDate: %s\n"
               "Message-ID: <%d@example.org>\nMIME-Version: 1.0\nContent-Type: text/plain; charset=utf-8\n\n%s"
               % (sender, date, sender, sender, subject, date, n, body))
        name = "%d.M%dP1.bench:2,S" % (1_000_000_000 + n, n)
        with open(os.path.join(root, folder, "cur", name), "w") as f:
            f.write(msg)
    with open(stamp, "w") as f:
        f.write(want)


def timed(cmd):
    """Wall seconds and peak resident KiB of one run."""
    start = time.monotonic()
    r = subprocess.run(["/usr/bin/time", "-f", "%M"] + cmd, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE,
                       text=True)
    wall = time.monotonic() - start
    if r.returncode != 0:
        sys.exit("failed: %s\n%s" % (" ".join(cmd), r.stderr))
    return wall, int(r.stderr.strip().splitlines()[-1])


PEER = """
import mailbox, sys
store = mailbox.Maildir(sys.argv[1], create=False)
n = 0
for box in [store] + [store.get_folder(f) for f in store.list_folders()]:
    for msg in box:
        n += len(msg.keys())
print(n)
"""


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--cli", required=True)
    ap.add_argument("--store", required=True)
    ap.add_argument("--messages", type=int, default=100_000)
    ap.add_argument("--runs", type=int, default=3)
    a = ap.parse_args()
    make_store(a.store, a.messages)
    tools = {
        "pelcrow-cli": [a.cli, "scan", "--mode", "mail", "--store", a.store, "--format", "csv"],
        "python mailbox (headers only)": [sys.executable, "-c", PEER, a.store],
    }
    print("%-32s %10s %12s %14s" % ("tool", "best s", "peak MiB", "B/message"))
    for name, cmd in tools.items():
        runs = [timed(cmd) for _ in range(a.runs)]
        best = min(w for w, _ in runs)
        peak = max(m for _, m in runs)
        print("%-32s %10.2f %12.1f %14.0f" % (name, best, peak / 1024, peak * 1024 / a.messages))


if __name__ == "__main__":
    main()
