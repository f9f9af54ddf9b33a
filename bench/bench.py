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

pelcrow's first-scan figures are taken with --no-cache; its cached rescan runs against a checksum
cache of its own (XDG_CACHE_HOME in the work folder) that one scan filled first. Item memory is
its peak RSS less the peak RSS of a scan of an empty folder, per file of the tree.
"""
import argparse
import json
import os
import shutil
import statistics
import subprocess
import sys
import tempfile
import time


GNU_TIME = "/usr/bin/time"


def run(cmd, out_path=None, cwd=None, env=None):
    """Wall time, peak RSS (MiB) and exit code. The peak comes from GNU time: wait4's figure would
    include this process's own memory, which the child has until its exec."""
    out = open(out_path, "wb") if out_path else subprocess.DEVNULL
    rss_file = tempfile.NamedTemporaryFile(prefix="pelcrow-rss-", delete=False)
    rss_file.close()
    t0 = time.monotonic()
    p = subprocess.Popen([GNU_TIME, "-f", "%M", "-o", rss_file.name] + cmd, stdout=out,
                         stderr=subprocess.DEVNULL, cwd=cwd, env=env)
    _, status, _ = os.wait4(p.pid, 0)
    dt = time.monotonic() - t0
    if out_path:
        out.close()
    try:
        rss = int(open(rss_file.name).read().split()[-1]) / 1024.0
    except (ValueError, IndexError):
        rss = 0.0
    os.remove(rss_file.name)
    return dt, rss, os.waitstatus_to_exitcode(status)


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


def groups_duff(path):
    groups, cur = [], []
    for line in open(path, "rb").read().decode("utf-8", "surrogateescape").splitlines():
        if " files in cluster " in line and line.split(" ", 1)[0].isdigit():
            if cur:
                groups.append(frozenset(cur))
            cur = []
        elif line.strip():
            cur.append(line)
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


def timed(cmd, runs, cwd, env=None):
    run(cmd, None, cwd=cwd, env=env)
    res = [run(cmd, None, cwd=cwd, env=env) for _ in range(runs)]
    return statistics.median(r[0] for r in res), max(r[1] for r in res)


def drop_caches():
    try:
        os.sync()
        with open("/proc/sys/vm/drop_caches", "w") as f:
            f.write("3\n")
        return True
    except OSError:
        return False


def measure(name, cmd, redirect, out, runs, cold, work, env=None):
    """Warm median, peak RSS, cold time (or None) of one tool; its output stays in out."""
    run(cmd, redirect, cwd=work, env=env)  # warm-up
    times, rss = [], []
    for _ in range(runs):
        if os.path.exists(out):
            os.remove(out)
        dt, mem, _ = run(cmd, redirect, cwd=work, env=env)
        times.append(dt)
        rss.append(mem)
    cold_time = None
    if cold and drop_caches():
        cold_time, _, _ = run(cmd, redirect, cwd=work, env=env)
    return statistics.median(times), max(rss), cold_time


def ratio(a, b):
    return "%.2fx" % (a / b) if a is not None and b else "-"


def seconds(t):
    return "%.2f" % t if t is not None else "-"


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--cli", required=True, type=os.path.abspath)
    ap.add_argument("--tree", required=True)
    ap.add_argument("--runs", type=int, default=3)
    ap.add_argument("--cold", action="store_true", help="also run once with dropped caches")
    ap.add_argument("--json", help="also write pelcrow's figures here (for the scale table)")
    a = ap.parse_args()
    tree = os.path.abspath(a.tree)
    work = tempfile.mkdtemp(prefix="pelcrow-bench-")
    cache_env = dict(os.environ, XDG_CACHE_HOME=os.path.join(work, "cache"))
    tools = [
        ("pelcrow", lambda o: ([a.cli, "scan", "--no-cache", tree], o), groups_fdupes_format),
        ("jdupes", lambda o: (["jdupes", "-r", "-q", tree], o), groups_fdupes_format),
        ("rmlint", lambda o: (["rmlint", "-T", "df", "-o", "fdupes:" + o, tree], None), groups_fdupes_format),
        ("rdfind", lambda o: (["rdfind", "-outputname", o, "-dryrun", "true", tree], None), groups_rdfind),
        ("duff", lambda o: (["duff", "-r", "-q", "-z", tree], o), groups_duff),
        ("fdupes", lambda o: (["fdupes", "-r", "-q", tree], o), groups_fdupes_format),
    ]
    if os.environ.get("BENCH_SKIP"):
        tools = [t for t in tools if t[0] not in os.environ["BENCH_SKIP"].split(",")]
    rows, reference = [], None
    for name, make, parse in tools:
        if not shutil.which(make("x")[0][0]):
            rows.append((name, None, None, None, None, None, "not installed"))
            continue
        out = os.path.join(work, name + ".out")
        cmd, redirect = make(out)
        t, mem, cold = measure(name, cmd, redirect, out, a.runs, a.cold, work)
        cached = None
        if name == "pelcrow":
            # The cached rescan: one scan fills the cache, the timed ones reuse it.
            cached_cmd = [c for c in cmd if c != "--no-cache"]
            run(cached_cmd, redirect, cwd=work, env=cache_env)
            cached = measure(name, cached_cmd, redirect, out, a.runs, a.cold, work, env=cache_env)
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
        rows.append((name, t, mem, cold, cached, (len(groups), files), agree))
    total = count_files(tree)
    enum_pelcrow = timed([a.cli, "scan", "--no-cache", tree, "--min-size", "1000G"], a.runs, work)
    enum_find = timed(["find", tree, "-size", "+1000000000k"], a.runs, work)
    empty = os.path.join(work, "empty")
    os.makedirs(empty, exist_ok=True)
    empty_rss = timed([a.cli, "scan", "--no-cache", empty], 1, work)[1]
    peers = [r for r in rows[1:] if r[1] is not None]
    fastest_warm = min((r[1] for r in peers), default=None)
    fastest_cold = min((r[3] for r in peers if r[3] is not None), default=None)
    find_cold = None
    if a.cold and drop_caches():
        find_cold = run(["find", tree, "-size", "+1000000000k"])[0]
    p = rows[0]
    print("\ntree: %s (%d files)" % (tree, total))
    print("| tool | warm (s) | cold (s) | cached rescan (s) | peak RSS (MiB) | groups / files "
          "| plain-file groups vs pelcrow | pelcrow / this tool: warm, cold |")
    print("|---|---|---|---|---|---|---|---|")
    for name, t, mem, cold, cached, gf, agree in rows:
        if t is None:
            print("| %s | - | - | - | - | - | %s | - |" % (name, agree))
            continue
        cached_text = "%s (cold %s)" % (seconds(cached[0]), seconds(cached[2])) if cached else "-"
        mine = "-" if name == "pelcrow" else "%s, %s" % (ratio(p[1], t), ratio(p[3], cold))
        print("| %s | %s | %s | %s | %.0f | %d / %d | %s | %s |" % (
            name, seconds(t), seconds(cold), cached_text, mem, gf[0], gf[1], agree, mine))
    print("| find (stat only) | %s | %s | - | %.0f | - | - | %s, - |" % (
        seconds(enum_find[0]), seconds(find_cold), enum_find[1], ratio(p[1], enum_find[0])))
    item_bytes = (p[2] - empty_rss) * 1024 * 1024 / total if total and p[1] is not None else 0
    if p[1] is not None:
        print("\npelcrow / fastest peer: warm %s, cold %s" % (ratio(p[1], fastest_warm), ratio(p[3], fastest_cold)))
        print("pelcrow / find: warm first scan %s" % ratio(p[1], enum_find[0]))
        if p[4]:
            print("cached rescan / find: %s (find %.2f s)" % (ratio(p[4][0], enum_find[0]), enum_find[0]))
        print("pelcrow item memory: %.0f bytes per file (peak %.0f MiB, empty scan %.0f MiB, %d files)" % (
            item_bytes, p[2], empty_rss, total))
    print("enumeration alone: pelcrow %.2f s, find %.2f s (%.2fx)" % (
        enum_pelcrow[0], enum_find[0], enum_pelcrow[0] / enum_find[0] if enum_find[0] else 0))
    if a.json and p[1] is not None:
        with open(a.json, "w") as f:
            json.dump({"tree": tree, "files": total, "warm": p[1], "cold": p[3],
                       "cached": p[4][0] if p[4] else None, "peak_mib": p[2], "item_bytes": item_bytes,
                       "find": enum_find[0], "fastest_warm": fastest_warm}, f)
    shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
