#!/usr/bin/env python3
"""Runs pelcrow-cli and its peers (jdupes, rmlint, rdfind, fdupes) on one tree, side by side.

Each tool runs with warm caches (one warm-up, then the median of N runs) and, when this process
may drop the page cache, once with cold caches. Wall time and peak memory (max RSS) are taken
from wait4.

The tools disagree by design on hidden files, empty files, hard links and symbolic links, so
groups are compared on plain files: each reported group keeps only its regular, visible,
non-empty, single-link members reached without a symbolic link, and groups of one are dropped.

Enumeration alone is timed against find: both stat every entry and report nothing (pelcrow with a
minimum size no file reaches, find with the matching -size test).
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


def plain(path, cache={}):
    if path in cache:
        return cache[path]
    ok = False
    try:
        parts = path.split(os.sep)
        st = os.lstat(path)
        ok = (not any(p.startswith(".") for p in parts if p)
              and os.path.realpath(path) == os.path.abspath(path)
              and st.st_size > 0 and st.st_nlink == 1 and (st.st_mode & 0o170000) == 0o100000)
    except OSError:
        pass
    cache[path] = ok
    return ok


def plain_groups(groups):
    out = set()
    for g in groups:
        kept = frozenset(p for p in g if plain(p))
        if len(kept) > 1:
            out.add(kept)
    return out


def count_files(tree):
    n = 0
    for _, _, files in os.walk(tree):
        n += len(files)
    return n


def timed(cmd, runs, cwd):
    run(cmd, None, cwd=cwd)
    res = [run(cmd, None, cwd=cwd) for _ in range(runs)]
    return statistics.median(r[0] for r in res), max(r[1] for r in res)


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
        files = sum(len(g) for g in groups)
        comparable = plain_groups(groups)
        if reference is None:
            reference = comparable
        agree = "same groups" if comparable == reference else "DIFFERENT groups"
        if agree != "same groups":
            only_them, only_us = comparable - reference, reference - comparable
            print("%s: %d groups not found by pelcrow, e.g. %s; pelcrow has %d it lacks, e.g. %s" % (
                name, len(only_them), sorted(next(iter(only_them)))[:3] if only_them else "-",
                len(only_us), sorted(next(iter(only_us)))[:3] if only_us else "-"), file=sys.stderr)
        rows.append((name, statistics.median(times), max(rss), cold, (len(groups), files), agree))
    total = count_files(tree)
    enum_pelcrow = timed([a.cli, "scan", tree, "--min-size", "1000G"], a.runs, work)
    enum_find = timed(["find", tree, "-size", "+1000000000k"], a.runs, work)
    base = rows[0][1]
    print("\ntree: %s (%d files)" % (tree, total))
    print("| tool | warm median (s) | time / pelcrow | cold (s) | peak RSS (MiB) | groups / files | plain-file groups vs pelcrow |")
    print("|---|---|---|---|---|---|---|")
    for name, t, mem, cold, gf, agree in rows:
        if t is None:
            print("| %s | - | - | - | - | - | %s |" % (name, agree))
            continue
        print("| %s | %.2f | %.2fx | %s | %.0f | %d / %d | %s |" % (
            name, t, t / base if base else 0, "%.2f" % cold if cold is not None else "-", mem, gf[0], gf[1], agree))
    print("\nenumeration alone: pelcrow %.2f s, find %.2f s (%.2fx)" % (
        enum_pelcrow[0], enum_find[0], enum_pelcrow[0] / enum_find[0] if enum_find[0] else 0))
    if rows[0][2] is not None and total:
        print("pelcrow peak memory: %.0f bytes per file in the tree (%.0f MiB for %d files)" % (
            rows[0][2] * 1024 * 1024 / total, rows[0][2], total))
    shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
