#!/usr/bin/env python3
"""Runs pelcrow-cli and its peers (jdupes, rmlint, rdfind, fdupes) on one tree, side by side.

Each tool runs with warm caches (one warm-up, then the median of N runs) and, when this process
may drop the page cache, once with cold caches. Wall time and peak memory (max RSS) are taken
from wait4. The duplicate groups every tool reports are compared with pelcrow's.
"""
import argparse
import os
import shutil
import statistics
import subprocess
import sys
import tempfile
import time


def run(cmd, out_path=None, cwd=None):
    out = open(out_path, "wb") if out_path else subprocess.DEVNULL
    t0 = time.monotonic()
    p = subprocess.Popen(cmd, stdout=out, stderr=subprocess.DEVNULL, cwd=cwd)
    _, status, ru = os.wait4(p.pid, 0)
    dt = time.monotonic() - t0
    if out_path:
        out.close()
    return dt, ru.ru_maxrss / 1024.0, os.waitstatus_to_exitcode(status)


def groups_fdupes_format(path):
    groups, cur = [], []
    for line in open(path, "rb").read().decode("utf-8", "surrogateescape").splitlines():
        if line.strip():
            cur.append(line)
        elif cur:
            groups.append(frozenset(cur))
            cur = []
    if cur:
        groups.append(frozenset(cur))
    return set(groups)


def groups_rdfind(path):
    by_id = {}
    for line in open(path, "rb").read().decode("utf-8", "surrogateescape").splitlines():
        if line.startswith("#") or not line.strip():
            continue
        parts = line.split(" ", 7)
        if len(parts) < 8:
            continue
        by_id.setdefault(parts[1].lstrip("-"), set()).add(parts[7])
    return set(frozenset(v) for v in by_id.values() if len(v) > 1)


def drop_caches():
    try:
        os.sync()
        with open("/proc/sys/vm/drop_caches", "w") as f:
            f.write("3\n")
        return True
    except OSError:
        return False


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--cli", required=True, type=os.path.abspath)
    ap.add_argument("--tree", required=True)
    ap.add_argument("--runs", type=int, default=3)
    ap.add_argument("--cold", action="store_true", help="also run once with dropped caches")
    a = ap.parse_args()
    tree = os.path.abspath(a.tree)
    work = tempfile.mkdtemp(prefix="pelcrow-bench-")
    tools = [
        ("pelcrow", lambda o: ([a.cli, "scan", tree], o), groups_fdupes_format),
        ("jdupes", lambda o: (["jdupes", "-r", "-q", tree], o), groups_fdupes_format),
        ("rmlint", lambda o: (["rmlint", "-T", "df", "-o", "fdupes:" + o, tree], None), groups_fdupes_format),
        ("rdfind", lambda o: (["rdfind", "-outputname", o, "-dryrun", "true", tree], None), groups_rdfind),
        ("fdupes", lambda o: (["fdupes", "-r", "-q", tree], o), groups_fdupes_format),
    ]
    rows, reference = [], None
    for name, make, parse in tools:
        if not shutil.which(make("x")[0][0]):
            rows.append((name, None, None, None, None, "not installed"))
            continue
        out = os.path.join(work, name + ".out")
        cmd, redirect = make(out)
        run(cmd, redirect, cwd=work)  # warm-up
        times, rss = [], []
        for _ in range(a.runs):
            if os.path.exists(out):
                os.remove(out)
            dt, mem, _ = run(cmd, redirect, cwd=work)
            times.append(dt)
            rss.append(mem)
        cold = None
        if a.cold and drop_caches():
            cold, _, _ = run(cmd, redirect, cwd=work)
        groups = parse(out)
        if reference is None:
            reference = groups
        files = sum(len(g) for g in groups)
        agree = "same groups" if groups == reference else "DIFFERENT groups"
        rows.append((name, statistics.median(times), max(rss), cold, (len(groups), files), agree))
    print("\ntree: %s" % tree)
    print("| tool | warm median (s) | cold (s) | peak RSS (MiB) | groups / files | vs pelcrow |")
    print("|---|---|---|---|---|---|")
    for name, t, mem, cold, gf, agree in rows:
        if t is None:
            print("| %s | - | - | - | - | %s |" % (name, agree))
            continue
        print("| %s | %.2f | %s | %.0f | %d / %d | %s |" % (
            name, t, "%.2f" % cold if cold is not None else "-", mem, gf[0], gf[1], agree))
    shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
