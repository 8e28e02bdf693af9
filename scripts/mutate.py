#!/usr/bin/env python3
"""Mutation testing for the core sources: applies one classic mutant at a time, rebuilds what
depends on the mutated file, runs the test programs that changed, and reports whether the suite
caught it. Developers' tool; too slow for CI.

    scripts/mutate.py [--build DIR] [--per-file N] [--seed S] [--only FILE...] [--list]
                      [--floor FILE] [--save-floor FILE] [--jobs N]

A mutant is named by file, the stripped text of its line, the operator and the occurrence on that
line, so a saved floor survives edits elsewhere in the file.
"""
import argparse
import glob
import json
import os
import random
import re
import signal
import subprocess
import sys
import tempfile
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
PG_SCRIPT = os.path.join(ROOT, "tests", "pg", "pgcluster.sh")

CORE = [
    "src/conversion/ConversionRun*.cpp", "src/conversion/NumberCompleter*.cpp",
    "src/conversion/NumberFormatting.cpp", "src/conversion/ChangeLog.cpp",
    "src/conversion/RunJournal.cpp", "src/conversion/FormatPool.cpp",
    "src/conversion/NumberShapes.cpp", "src/startup/AutomationGate.cpp",
    "src/vdb/VdbCore.cpp", "src/vdb/VdbVisit.cpp", "src/vdb/VdbReadAhead.cpp",
    "src/engine/*.cpp", "src/vdb/VdbServer.cpp", "src/vdb/PasswordHash.cpp",
    "src/vdb/VdbSchemaCheck.cpp",
    "tools/vdbtool/Csv.cpp", "tools/batch/BatchCommandLine.cpp",
    "src/conversion/RunReport.cpp", "src/remote/*.cpp", "src/pg/*.cpp",
]

# Binary operators are mutated only where clang-format spaces them, which keeps template
# brackets, streams and member access out.
SWAPS = [(" <= ", " < "), (" < ", " <= "), (" >= ", " > "), (" > ", " >= "),
         (" == ", " != "), (" != ", " == "), (" && ", " || "), (" || ", " && ")]
WORDS = [("true", "false"), ("false", "true")]
INT_RE = re.compile(r"(?<![\w.])(\d+)(?![\w.])")
STATEMENT_RE = re.compile(r"^\s*(\+\+|--)?[A-Za-z_][\w:.\->\[\]()]*(\s*([+\-*|&]?=|\+\+|--)\s*.*|\(.*\))\s*;\s*$")

# Tools that tests start as processes: a rebuilt tool reruns the test program that starts it.
PROCESS_TESTS = {"vdbtool": "test_vdbtool", "telnormer-batch": "test_batch"}
# The automation entry is tested end to end by CTest cases that start both programs on a bus.
PROCESS_CTESTS = {"telnormer": "^automation[.]", "telnormer-host": "^automation[.]"}


def blank_literals(line):
    """The line with comments and string/char literals blanked, same length."""
    out, i, quote = [], 0, None
    while i < len(line):
        c = line[i]
        if quote:
            if c == "\\":
                out.append("  ")
                i += 2
                continue
            out.append(" " if c != quote else c)
            if c == quote:
                quote = None
        elif c in "\"'":
            quote = c
            out.append(c)
        elif line.startswith("//", i):
            out.append(" " * (len(line) - i))
            break
        else:
            out.append(c)
        i += 1
    return "".join(out)[: len(line)]


def mutants_of(path):
    result = []
    with open(os.path.join(ROOT, path), encoding="utf-8") as f:
        lines = f.read().split("\n")
    in_block = False
    previous = ";"
    for number, line in enumerate(lines, 1):
        stripped = line.strip()
        if in_block:
            in_block = "*/" not in line
            continue
        if stripped.startswith("/*"):
            in_block = "*/" not in line
            continue
        if not stripped or stripped.startswith(("#", "//", "static_assert")):
            continue
        code = blank_literals(line)
        found = []
        for old, new in SWAPS:
            for m in re.finditer(re.escape(old), code):
                found.append((m.start(), len(old), new, old.strip() + "->" + new.strip()))
        for old, new in WORDS:
            for m in re.finditer(r"\b%s\b" % old, code):
                found.append((m.start(), len(old), new, old + "->" + new))
        for m in INT_RE.finditer(code):
            value = int(m.group(1))
            found.append((m.start(), len(m.group(1)), str(value + 1), "%d->%d" % (value, value + 1)))
        starts_statement = previous.endswith((";", "{", "}", ":"))
        previous = blank_literals(line).strip() or previous
        if (starts_statement and STATEMENT_RE.match(code)
                and not stripped.startswith(("return", "break", "continue", "case"))):
            found.append((len(line) - len(line.lstrip()), len(stripped), "; // dropped",
                          "drop statement"))
        seen = {}
        for start, length, new, op in sorted(found):
            occurrence = seen.get(op, 0)
            seen[op] = occurrence + 1
            result.append({"file": path, "line": number, "text": stripped, "op": op,
                           "occurrence": occurrence, "start": start, "length": length,
                           "new": new})
    return result


def key(m):
    return "%s|%s|%s|%d" % (m["file"], m["text"], m["op"], m["occurrence"])


def binaries(build):
    found = {}
    for path in glob.glob(os.path.join(build, "**", "*"), recursive=True):
        name = os.path.basename(path)
        if os.path.isfile(path) and os.access(path, os.X_OK) and (
                name.startswith("test_") or name in PROCESS_TESTS or name in PROCESS_CTESTS):
            found[path] = os.path.getmtime(path)
    return found


def run(cmd, timeout, env=None):
    try:
        p = subprocess.run(cmd, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                           timeout=timeout, env=env, start_new_session=True)
        return p.returncode
    except subprocess.TimeoutExpired as e:
        return "timeout"


def build_all(build, jobs):
    return run(["cmake", "--build", build, "-j", str(jobs)], 1800) == 0


def try_mutant(m, build, jobs, timeout):
    full = os.path.join(ROOT, m["file"])
    with open(full, encoding="utf-8") as f:
        original = f.read()
    lines = original.split("\n")
    line = lines[m["line"] - 1]
    lines[m["line"] - 1] = line[: m["start"]] + m["new"] + line[m["start"] + m["length"]:]
    before = binaries(build)
    try:
        with open(full, "w", encoding="utf-8") as f:
            f.write("\n".join(lines))
        if not build_all(build, jobs):
            return "invalid"
        after = binaries(build)
        changed = {p for p, t in after.items() if before.get(p) != t}
        tests = {p for p in changed if os.path.basename(p).startswith("test_")}
        for p in changed:
            wanted = PROCESS_TESTS.get(os.path.basename(p))
            tests |= {q for q in after if os.path.basename(q) == wanted}
        ctests = {PROCESS_CTESTS[os.path.basename(p)] for p in changed
                  if os.path.basename(p) in PROCESS_CTESTS}
        if not tests and not ctests:
            return "survived"
        env = dict(os.environ, QT_QPA_PLATFORM="offscreen")
        for test in sorted(tests):
            code = run([test, "--gtest_brief=1"], timeout, env)
            if code != 0:
                return "caught"
        for pattern in sorted(ctests):
            if run(["ctest", "--test-dir", build, "-R", pattern], timeout * 2, env) != 0:
                return "caught"
        return "survived"
    finally:
        with open(full, "w", encoding="utf-8") as f:
            f.write(original)


def main():
    ap = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawTextHelpFormatter)
    ap.add_argument("--build", default=os.path.join(ROOT, "build", "mutate"),
                    help="build folder; configured without warnings as errors when new")
    ap.add_argument("--per-file", type=int, default=4, help="mutants drawn per file (0: all)")
    ap.add_argument("--seed", type=int, default=1)
    ap.add_argument("--only", nargs="*",
                    help="files (relative to the repository) instead of the core; none: only --floor")
    ap.add_argument("--at", nargs="*", default=[], help="also every mutant on FILE:LINE")
    ap.add_argument("--list", action="store_true", help="list the chosen mutants, run nothing")
    ap.add_argument("--floor", help="also run every mutant named in this file (one key a line)")
    ap.add_argument("--save-floor", help="write the keys of the caught mutants to this file")
    ap.add_argument("--jobs", type=int, default=2)
    ap.add_argument("--timeout", type=int, default=300, help="seconds a test program may take")
    args = ap.parse_args()

    files = args.only if args.only is not None else sorted({os.path.relpath(p, ROOT) for pattern in CORE
                                 for p in glob.glob(os.path.join(ROOT, pattern))})
    chosen = []
    rng = random.Random(args.seed)
    for path in files:
        candidates = mutants_of(path)
        if args.per_file and len(candidates) > args.per_file:
            candidates = sorted(rng.sample(candidates, args.per_file), key=lambda m: m["line"])
        chosen += candidates
    for place in args.at:
        path, line = place.rsplit(":", 1)
        have = {key(m) for m in chosen}
        chosen += [m for m in mutants_of(path) if m["line"] == int(line) and key(m) not in have]
    wanted = set()
    if args.floor:
        wanted = {l.strip() for l in open(args.floor, encoding="utf-8") if l.strip()}
        index = {key(m): m for path in {w.split("|")[0] for w in wanted}
                 if os.path.exists(os.path.join(ROOT, path)) for m in mutants_of(path)}
        have = {key(m) for m in chosen}
        for w in sorted(wanted - have):
            if w in index:
                chosen.append(index[w])
            else:
                print("floor mutant no longer applies (line changed): " + w)
    if args.list:
        for m in chosen:
            print("%s:%d  %s" % (m["file"], m["line"], m["op"]))
        print("%d mutants" % len(chosen))
        return 0

    signal.signal(signal.SIGTERM, lambda *_: sys.exit(1))
    # A dropped statement often leaves an unused name: with warnings as errors most such mutants
    # would not compile at all. Bounds-checked containers turn an index one too far into a crash.
    run(["cmake", "-S", ROOT, "-B", args.build, "-DCMAKE_BUILD_TYPE=RelWithDebInfo",
         "-DTELNORMER_WERROR=OFF", "-DTELNORMER_BENCH=OFF", "-DTELNORMER_CHECKED=ON"], 600)
    if not build_all(args.build, args.jobs):
        print("the unmutated build fails", file=sys.stderr)
        return 1
    # The tests of the server backend need a cluster of their own, as under CTest; and a test
    # program that fails unmutated would count every mutant as caught.
    pg_dir = tempfile.mkdtemp(prefix="telnormer-mutate-pg-")
    os.environ["TELNORMER_PG_DIR"] = pg_dir
    if run([PG_SCRIPT, "start", pg_dir], 300) != 0:
        print("could not start the throwaway PostgreSQL cluster", file=sys.stderr)
        return 1
    env = dict(os.environ, QT_QPA_PLATFORM="offscreen")
    failing = [t for t in sorted(binaries(args.build)) if os.path.basename(t).startswith("test_")
               and run([t, "--gtest_brief=1"], args.timeout, env) != 0]
    failing += [p for p in sorted(set(PROCESS_CTESTS.values()))
                if run(["ctest", "--test-dir", args.build, "-R", p], args.timeout * 2, env) != 0]
    if failing:
        run([PG_SCRIPT, "stop", pg_dir], 120)
        print("fails unmutated: " + ", ".join(failing), file=sys.stderr)
        return 1
    started = time.time()
    results = []
    try:
        for i, m in enumerate(chosen, 1):
            outcome = try_mutant(m, args.build, args.jobs, args.timeout)
            results.append((m, outcome))
            print("[%d/%d] %-8s %s:%d  %s" % (i, len(chosen), outcome, m["file"], m["line"], m["op"]),
                  flush=True)
    finally:
        build_all(args.build, args.jobs)
        run([PG_SCRIPT, "stop", pg_dir], 120)
    counts = {o: sum(1 for _, r in results if r == o) for o in ("caught", "survived", "invalid")}
    print("\n%d mutants: %d caught, %d survived, %d did not compile; %.1f minutes" % (
        len(results), counts["caught"], counts["survived"], counts["invalid"],
        (time.time() - started) / 60))
    for m, outcome in results:
        if outcome == "survived":
            print("SURVIVED %s:%d  %s   %s" % (m["file"], m["line"], m["op"], m["text"]))
    if args.save_floor:
        with open(args.save_floor, "w", encoding="utf-8") as f:
            for m, outcome in results:
                if outcome == "caught":
                    f.write(key(m) + "\n")
    if args.floor:
        lost = [key(m) for m, o in results if o == "survived" and key(m) in wanted]
        for k in lost:
            print("FLOOR LOST " + k)
        return 1 if lost else 0
    return 0


if __name__ == "__main__":
    sys.exit(main())
