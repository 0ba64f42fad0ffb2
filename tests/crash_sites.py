#!/usr/bin/env python3
"""Crash reports name the planted line: in validate's text, JSON and JUnit,
and in check's transcript.

usage: crash_sites.py [--run RUNNER] [--hangs] ZORV_HOST FAULTY_FOLDER SUFFIX FAULTY_SOURCE

RUNNER, if given, runs ZORV_HOST (a Windows program under Wine). --hangs:
a hang's report names where the component's thread was stuck too (where
the system lets a parent ask).
FAULTY_FOLDER holds faulty_NAME + SUFFIX for every NAME below, built from
FAULTY_SOURCE, whose lines marked "planted: ..." are the faults.
"""
import json
import os
import re
import subprocess
import sys
import tempfile
import xml.etree.ElementTree as ET

arguments = sys.argv[1:]
runner = []
if arguments[:1] == ["--run"]:
    runner, arguments = arguments[1:2], arguments[2:]
hangs = arguments[:1] == ["--hangs"]
arguments = arguments[1:] if hangs else arguments
host, folder, suffix, source = arguments[:4]
failures = []

# fault, the function its innermost frame names, the marker of its line.
CASES = [
    ("crashes_on_event", "crash", "planted: the crash"),
    ("writes_message_text", "touchMessageText", "planted: the write"),
]


def planted_line(marker):
    with open(source, encoding="utf-8") as lines:
        return next(number for number, line in enumerate(lines, 1) if marker in line)


def names_the_line(report, function, line):
    """The first frame of the component's stack is the planted function at its line."""
    frame = re.search(r"^    at (.*) \((.*)\)$", report, re.M)
    return bool(frame and function in frame.group(1)
                and re.search(r"faulty_component\.cpp:%d$" % line, frame.group(2)))


def timer_scenario(work):
    """A scenario of work's that creates the component and expires timer 1."""
    scenario = os.path.join(work, "timer.scn")
    with open(scenario, "w") as f:
        f.write("create\n> PS '1' 'faulty.zorv_ui'\ntimer 1\n")
    return scenario


def run(*args):
    return subprocess.run([*runner, host, *args], capture_output=True, text=True, timeout=120)


for fault, function, marker in CASES:
    library = os.path.join(folder, "faulty_" + fault + suffix)
    line = planted_line(marker)
    with tempfile.TemporaryDirectory() as work:
        junit = os.path.join(work, "report.xml")
        done = run("validate", library, "--only", "library.create", "--strictness", "1", "--seed", "7",
                   "--timeout", "20", "--json", "--junit", junit)
        try:
            reason = json.loads(done.stdout)["checks"][0]["reason"]
            failure = ET.parse(junit).getroot().find(".//failure")
            junit_text = (failure.get("message") or "") + "\n" + (failure.text or "")
        except (ValueError, IndexError, KeyError, AttributeError, ET.ParseError) as error:
            failures.append(f"{fault}: no report ({error}; exit status {done.returncode})\n{done.stdout}{done.stderr}")
            continue
        if not names_the_line(reason, function, line):
            failures.append(f"{fault}: validate --json does not name {function} at line {line}:\n{reason}")
        if not names_the_line(junit_text, function, line):
            failures.append(f"{fault}: the JUnit failure does not name {function} at line {line}:\n{junit_text}")
        text = run("validate", library, "--only", "library.create", "--strictness", "1", "--seed", "7",
                   "--timeout", "20").stdout
        if not names_the_line(text, function, line):
            failures.append(f"{fault}: validate's text does not name {function} at line {line}:\n{text}")

# check, its scenario played in a child process (two of them) or in this
# one (one), and soak: the report and its place end the output.
library = os.path.join(folder, "faulty_crashes_on_event" + suffix)
line = planted_line("planted: the crash")
with tempfile.TemporaryDirectory() as work:
    scenario = timer_scenario(work)
    RUNS = [(("check", library, scenario, scenario), 70), (("check", library, scenario), 70),
            (("soak", library, "--events", "50"), 70)]
    for args, status in RUNS:
        done = run(*args)
        if done.returncode != status or not names_the_line(done.stdout + done.stderr, "crash", line):
            failures.append(f"{' '.join(args[:1] + args[2:])} (exit status {done.returncode}) does not name the "
                            f"planted crash:\n{done.stdout}{done.stderr}")

# A hang: when the time is up, the report says where the thread was stuck,
# in validate and in an isolated scenario.
hang_runs = []
if hangs:
    library = os.path.join(folder, "faulty_hangs_on_event" + suffix)
    line = planted_line("planted: the hang")
    with tempfile.TemporaryDirectory() as work:
        scenario = timer_scenario(work)
        hang_runs = [("validate", library, "--only", "library.create", "--strictness", "1", "--seed", "7",
                      "--timeout", "2"),
                     ("check", library, scenario, scenario, "--timeout", "2")]
        for args in hang_runs:
            done = run(*args)
            if not names_the_line(done.stdout, "timerCallback", line):
                failures.append(f"{args[0]} of a hang does not say where it was stuck (line {line}):\n{done.stdout}")

for failure in failures:
    print("FAIL:", failure)
print(f"{len(CASES) * 3 + 3 + len(hang_runs) - len(failures)} passed, {len(failures)} failed")
sys.exit(1 if failures else 0)
