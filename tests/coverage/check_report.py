#!/usr/bin/env python3
"""The coverage report of Reach, built through its target, against the
lines reach.cpp marks "unreached" and gcovr's own summary of the counts.

usage: check_report.py CMAKE BUILD_DIR REACH_SOURCE REPORT_DIR
"""
import json
import os
import re
import subprocess
import sys

cmake, build, source, report = sys.argv[1:5]
problems = []


def expect(condition, what):
    if not condition:
        problems.append(what)


done = subprocess.run([cmake, "--build", build, "--target", "Reach_coverage"], capture_output=True, text=True)
print(done.stdout, done.stderr)
if done.returncode != 0:
    sys.exit("the coverage target failed (exit status %d)" % done.returncode)
summary = open(os.path.join(report, "summary.txt")).read()
marked = [n for n, line in enumerate(open(source), 1) if "// unreached" in line]
hidden = next(n for n, line in enumerate(open(source), 1) if "void onHiddenWord()" in line)

# The summary's row: lines, branches, functions as reached/total.
row = re.search(r"^reach\.cpp +(\d+)/(\d+) +\d+% +(\d+)/(\d+) +\d+% +(\d+)/(\d+)", summary, re.M)
expect(row, "no row for reach.cpp in the summary")
if row:
    lines_reached, lines, branches_reached, branches, functions_reached, functions = map(int, row.groups())
    expect(lines - lines_reached == len(marked),
           "%d lines unreached, but reach.cpp marks %d" % (lines - lines_reached, len(marked)))
    expect(functions - functions_reached == 1, "%d functions unreached, not one" % (functions - functions_reached))
    expect(0 < branches_reached < branches, "branches %d/%d: some, not all, should be reached" % (branches_reached, branches))

    # gcovr's own summary of the same counts gives the same figures.
    objects = os.path.join(build, "tests", "coverage", "CMakeFiles", "Reach.dir")
    own = subprocess.run(["gcovr", "--root", os.path.dirname(source), "--object-directory", objects,
                          "--exclude-throw-branches", "--json-summary", "-", objects], capture_output=True, text=True)
    files = {f["filename"]: f for f in json.loads(own.stdout)["files"]}
    theirs = files.get("reach.cpp", {})
    expect((theirs.get("line_covered"), theirs.get("line_total")) == (lines_reached, lines),
           "lines differ from gcovr's summary: %s" % theirs)
    expect((theirs.get("branch_covered"), theirs.get("branch_total")) == (branches_reached, branches),
           "branches differ from gcovr's summary: %s" % theirs)

# The one function nothing reaches is named with its place; the handlers
# (the storm sends every kind of event) are all reached.
expect(re.search(r"^never reached: 0 handlers, 1 other function$", summary, re.M), "the never-reached count")
expect("  function  Reach::onHiddenWord()  (reach.cpp:%d)" % hidden in summary, "onHiddenWord not named at its line")
expect("Callback" not in summary, "a handler is named as never reached")
expect("reach.cpp" in open(os.path.join(report, "index.html")).read(), "the HTML report does not list reach.cpp")

print(summary)
for problem in problems:
    print("FAILED:", problem)
sys.exit(1 if problems else 0)
