#!/usr/bin/env python3
"""The benchmark table of docs/performance.md: counting, checking, writing.

  performance_table.py count  --road-count BIN [--valgrind PATH]
      instructions per event of each road, counted by callgrind
  performance_table.py check  --road-count BIN --doc FILE [--valgrind PATH]
      fails (exit 1) when a documented count and a fresh one differ by more
      than 5 %, or when the table was counted in another build
  performance_table.py update --road-count BIN --bench BIN --doc FILE
                              [--command TEXT] [--valgrind PATH]
      runs zorv_bench with fresh counts and writes its table into FILE with
      the command, the date, the machine and the build

Instruction counts, unlike times, barely move on a shared machine, so they
are what a test may hold a document to. They depend on the compiler and its
flags (and a little on the C library's choice of routines for the
processor), so a table holds for the build it names.
"""
import argparse
import datetime
import os
import platform
import re
import subprocess
import sys
import tempfile

ROUNDS = 2000
TOLERANCE = 0.05
BEGIN = "<!-- begin: bench table, written by scripts/update-performance-table.sh; edit nothing inside -->"
END = "<!-- end: bench table -->"
# The table's rows by road, as zorv_bench names their benchmarks.
ROAD_ROWS = {"take": "`BM_TakeRoad`", "floor": "`BM_TakeRoadFloor`", "quiet": "`BM_QuietMessage`"}
INSTRUCTION_COLUMN = "instructions per event"
REGENERATE = "regenerate the table with scripts/update-performance-table.sh"


class Failure(Exception):
    """A problem to report in one sentence, exit status 1."""


def count(road_count, valgrind):
    """Returns (build, {road: instructions per event}) from one callgrind run."""
    with tempfile.TemporaryDirectory() as folder:
        out = os.path.join(folder, "callgrind.out")
        run = subprocess.run([valgrind, "--tool=callgrind", "--collect-atstart=no",
                              "--toggle-collect=zorv_counted_rounds", "--dump-after=zorv_counted_rounds",
                              "--callgrind-out-file=" + out, road_count, str(ROUNDS)],
                             capture_output=True, text=True)
        if run.returncode != 0:
            raise Failure("callgrind over %s failed (exit %d): %s" % (road_count, run.returncode,
                                                                      run.stderr.strip()[-500:]))
        lines = run.stdout.split("\n")
        build = next((l[len("build "):] for l in lines if l.startswith("build ")), None)
        played = [l.split() for l in lines if l and not l.startswith("build ")]
        counts = {}
        for part, (road, events) in enumerate(played, start=1):
            counts[road] = part_total(out + "." + str(part)) / int(events)
        if build is None or len(counts) != len(ROAD_ROWS):
            raise Failure("%s printed no build or not every road: %r" % (road_count, run.stdout))
        return build, counts


def part_total(path):
    """The instructions a callgrind part file holds (its totals line)."""
    try:
        with open(path) as f:
            for line in f:
                if line.startswith("totals:"):
                    return int(line.split()[1])
    except OSError as e:
        raise Failure("callgrind wrote no %s: %s" % (path, e))
    raise Failure("%s has no totals line" % path)


def section_bounds(text):
    """(start, end) of the generated section, markers included; None without one."""
    start, end = text.find(BEGIN), text.find(END)
    if start < 0 or end < start:
        return None
    return start, end + len(END)


def documented(doc):
    """Returns (build, {road: count}) as the table in doc gives them."""
    with open(doc) as f:
        text = f.read()
    bounds = section_bounds(text)
    if not bounds:
        raise Failure("%s has no generated bench table; %s" % (doc, REGENERATE))
    section = text[bounds[0]:bounds[1]]
    build = re.search(r"^- build: `([^`]*)`", section, re.M)
    rows = [[c.strip() for c in line.strip().strip("|").split("|")]
            for line in section.split("\n") if line.startswith("|")]
    if not build or not rows or INSTRUCTION_COLUMN not in rows[0]:
        raise Failure("the bench table of %s names no build or has no column %r; %s"
                      % (doc, INSTRUCTION_COLUMN, REGENERATE))
    column = rows[0].index(INSTRUCTION_COLUMN)
    counts = {}
    for road, name in ROAD_ROWS.items():
        row = next((r for r in rows if name in r[0]), None)
        if not row or not re.fullmatch(r"[0-9]+(\.[0-9]+)?", row[column]):
            raise Failure("the bench table of %s gives no instruction count for %s; %s" % (doc, name, REGENERATE))
        counts[road] = float(row[column])
    return build.group(1), counts


def check(args):
    doc_build, doc_counts = documented(args.doc)
    build, counts = count(args.road_count, args.valgrind)
    for road in ROAD_ROWS:
        print("%-6s documented %8.1f   counted now %8.1f instructions per event" % (road, doc_counts[road],
                                                                                     counts[road]))
    if build != doc_build:
        raise Failure("the table was counted in a build of `%s`, this is `%s`: counts hold for one compiler "
                      "and its flags; %s" % (doc_build, build, REGENERATE))
    off = [road for road in ROAD_ROWS if abs(counts[road] - doc_counts[road]) > TOLERANCE * doc_counts[road]]
    if off:
        raise Failure("the instruction counts of %s differ from the documented ones by more than %d %%; %s"
                      % (", ".join(off), TOLERANCE * 100, REGENERATE))
    print("the documented instruction counts hold (within %d %%)" % (TOLERANCE * 100))


def first_line(path, prefix):
    try:
        with open(path) as f:
            return next((l.strip() for l in f if l.startswith(prefix)), "")
    except OSError:
        return ""


def machine():
    """One line on the machine the figures were taken on."""
    cpu = first_line("/proc/cpuinfo", "model name").split(":", 1)[-1].strip() or platform.processor()
    memory = first_line("/proc/meminfo", "MemTotal:").split()
    gib = "%.0f GiB" % (int(memory[1]) / 1024 ** 2) if len(memory) > 1 else "memory unknown"
    system = first_line("/etc/os-release", "PRETTY_NAME=").split("=", 1)[-1].strip('"') or platform.system()
    return "%d cores (%s), %s, %s, Linux %s, load average %.1f at the start" % (
        os.cpu_count() or 0, cpu, gib, system, platform.release(), os.getloadavg()[0])


def benchmark_version():
    run = subprocess.run(["dpkg-query", "-W", "-f=${Version}", "libbenchmark-dev"], capture_output=True, text=True)
    return "Google Benchmark " + run.stdout.split("-")[0] if run.returncode == 0 else "Google Benchmark"


def bench_table(bench, counts):
    """Runs zorv_bench with the counts; returns (its argument, its table's lines)."""
    argument = "--instructions=" + ",".join("%s=%.1f" % (road, counts[road]) for road in ROAD_ROWS)
    run = subprocess.run([bench, argument], capture_output=True, text=True)
    table = [l for l in run.stdout.split("\n") if l.startswith("|")]
    if run.returncode != 0 or not table:
        raise Failure("zorv_bench failed (exit %d): %s" % (run.returncode, run.stderr.strip()[-500:]))
    return argument, table


def update(args):
    where = machine()
    build, counts = count(args.road_count, args.valgrind)
    argument, table = bench_table(args.bench, counts)
    now = datetime.datetime.now(datetime.timezone.utc).strftime("%Y-%m-%d %H:%M UTC")
    section = "\n".join([
        BEGIN,
        "Made by `%s` on %s: `zorv_bench %s`; the counts by callgrind over `zorv_road_count %d` in the same build."
        % (args.command, now, argument, ROUNDS),
        "",
        "- machine: " + where,
        "- build: `%s` (the release preset), %s" % (build, benchmark_version()),
        "",
    ] + table + [END])
    with open(args.doc) as f:
        text = f.read()
    bounds = section_bounds(text)
    if not bounds:
        raise Failure("%s has no place for the table: put the two marker lines where it goes:\n%s\n%s"
                      % (args.doc, BEGIN, END))
    with open(args.doc, "w") as f:
        f.write(text[:bounds[0]] + section + text[bounds[1]:])
    print("\n".join(table))
    print("wrote the table into %s" % args.doc)


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("action", choices=["count", "check", "update"])
    parser.add_argument("--road-count", required=True, help="the zorv_road_count program")
    parser.add_argument("--valgrind", default="valgrind")
    parser.add_argument("--doc", help="docs/performance.md")
    parser.add_argument("--bench", help="the zorv_bench program (update)")
    parser.add_argument("--command", default="scripts/update-performance-table.sh",
                        help="the command the table says made it (update)")
    args = parser.parse_args()
    if args.action != "count" and not args.doc or args.action == "update" and not args.bench:
        parser.error("check needs --doc; update needs --doc and --bench")
    try:
        if args.action == "count":
            build, counts = count(args.road_count, args.valgrind)
            print("build " + build)
            for road in ROAD_ROWS:
                print("%s %.1f" % (road, counts[road]))
        elif args.action == "check":
            check(args)
        else:
            update(args)
    except Failure as e:
        print("FAIL: %s" % e, file=sys.stderr)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
