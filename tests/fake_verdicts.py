#!/usr/bin/env python3
"""A component that prints what looks like a child's verdict cannot pass for it.

usage: fake_verdicts.py ZORV_HOST LIBRARY

LIBRARY prints fake verdict and outcome lines on standard output at every
event, and on a timer expiry ends its process with status 0 at once.
"""
import json
import os
import subprocess
import sys
import tempfile

host, library = sys.argv[1:3]
failures = []
FAKES = ("RESULT PASS", "KIND hang", "SCENARIO-OUTCOME", "verdict PASS", "outcome 0")


def expect(condition, what, output=""):
    if not condition:
        failures.append(what + ("\n" + output if output else ""))


def run(*args):
    done = subprocess.run([host, *args], capture_output=True, text=True, timeout=300)
    return done.returncode, done.stdout


def validate(*args):
    rc, out = run("validate", library, "--strictness", "1", "--seed", "7", "--timeout", "20", "--json", *args)
    try:
        return rc, {c["name"]: c for c in json.loads(out)["checks"]}, out
    except ValueError:
        return rc, {}, out


# The timers end the check's process before its verdict: that fails, and no
# line the component printed on its way out stands in for the verdict.
rc, checks, out = validate("--only", "library.create")
create = checks.get("library.create", {})
expect(rc == 1 and create.get("status") == "FAIL" and create.get("kind") == "process_ended",
       f"library.create: exit {rc}, {create}", out)
expect(create.get("reason") == "the check process ended (exit code 0)", f"library.create: reason {create}")

# Checks without a timer pass, their own verdict read, not the component's
# stale "KIND hang".
rc, checks, out = validate("--only", "codes")
expect(rc == 0 and len(checks) == 2, f"codes: exit {rc}, {len(checks)} checks", out)
for name, check in checks.items():
    expect((check["status"], check["kind"], check["reason"]) == ("PASS", None, ""), f"{name}: {check}")

with tempfile.TemporaryDirectory() as folder:
    good, fatal = os.path.join(folder, "good.scn"), os.path.join(folder, "fatal.scn")
    with open(good, "w") as f:
        f.write("create\n> PS '1' 'faulty.zorv_ui'\nparent \"x=1\"\n< null\n")
    with open(fatal, "w") as f:
        f.write("create\n> PS '1' 'faulty.zorv_ui'\ntimer 1\n")
    rc, out = run("check", library, good, fatal, "--json")
    try:
        by_file = {s["file"]: s for s in json.loads(out)["scenarios"]}
    except ValueError:
        by_file = {}
    expect(rc == 70 and list(by_file) == [good, fatal], f"check --json: exit {rc}", out)
    if by_file:
        expect(by_file[good]["status"] == "PASS" and by_file[good]["ended"] is None, f"good: {by_file[good]}")
        expect(by_file[fatal]["status"] == "FAIL"
               and by_file[fatal]["ended"] == "the scenario's process ended (exit code 0)", f"fatal: {by_file[fatal]}")
        for s in by_file.values():
            expect(not any(fake in s["output"] for fake in FAKES), f"{s['file']}: the component's lines in the output",
                   s["output"])
    rc, out = run("check", library, good, fatal)
    expect(rc == 70 and f"PASS {good}\n" in out and f"FAIL {fatal}\n" in out and out.endswith("1 passed, 1 failed\n"),
           f"check: exit {rc}", out)

for failure in failures:
    print("FAIL:", failure)
print(f"{len(failures)} failure(s)")
sys.exit(1 if failures else 0)
