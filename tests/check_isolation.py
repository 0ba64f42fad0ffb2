#!/usr/bin/env python3
"""zorv-host check with several scenarios: one that crashes or hangs the
component fails alone, and every scenario is still played and reported.

usage: check_isolation.py ZORV_HOST CRASHING_LIBRARY HANGING_LIBRARY SELVARIN SCENARIO...

The two faulty libraries answer "parent" with null, crash or hang on a timer;
the SCENARIOs are Selvarin's own, which all pass.
"""
import json
import os
import re
import subprocess
import sys
import tempfile
import xml.etree.ElementTree as ET

host, crashing, hanging, selvarin = sys.argv[1:5]
selvarin_scenarios = sys.argv[5:]
failures = []

GOOD = "create\n> PS '1' 'faulty.zorv_ui'\nparent \"x=1\"\n< null\n"
FATAL = GOOD + "timer 1\n"


def expect(condition, what, output=""):
    if not condition:
        failures.append(what + ("\n" + output if output else ""))


def check(library, *args):
    done = subprocess.run([host, "check", library, *args], capture_output=True, text=True, timeout=120)
    return done.returncode, done.stdout


with tempfile.TemporaryDirectory() as folder:
    def scenario(name, text):
        path = os.path.join(folder, name)
        with open(path, "w") as out:
            out.write(text)
        return path

    good, fatal, after = scenario("good.scn", GOOD), scenario("fatal.scn", FATAL), scenario("after.scn", GOOD)
    junit = os.path.join(folder, "check.xml")

    # A fault between two good scenarios, for each way a component can go
    # down: the one after it still runs, and the run says what happened.
    # The reason is a pattern: the crash's own name is the platform's (a
    # signal, or a Windows exception code).
    reason_crash = r"component crashed \([^)]+\) during: " + re.escape(fatal + ":5: timer 1")
    for library, extra, reason in [(crashing, [], reason_crash),
                                   (hanging, ["--timeout", "2"], "no outcome within 2 s")]:
        rc, out = check(library, good, fatal, after, *extra)
        expect(rc == 70, f"{os.path.basename(library)}: exit {rc}, not 70", out)
        expect(f"PASS {good}\n" in out and f"PASS {after}\n" in out, "a good scenario not reported as passed", out)
        expect(re.search("^! " + reason, out, re.M) and f"FAIL {fatal}\n" in out, f"the fault not reported as: {reason}",
               out)
        expect(out.rstrip().endswith("2 passed, 1 failed"), "wrong tally", out)

        rc, out = check(library, good, fatal, after, "--json", "--junit", junit, *extra)
        report = json.loads(out)
        by_file = {s["file"]: s for s in report["scenarios"]}
        expect(rc == 70 and list(by_file) == [good, fatal, after], f"--json: exit {rc}, files {list(by_file)}")
        expect(by_file[fatal]["status"] == "FAIL" and re.match(reason, by_file[fatal]["ended"] or ""),
               "--json: the fault's scenario", json.dumps(by_file[fatal]))
        expect(by_file[good]["ended"] is None and by_file[after]["status"] == "PASS", "--json: the good ones")
        expect(re.search("^! " + reason, by_file[fatal]["output"], re.M), "--json: the fault's output",
               by_file[fatal]["output"])
        cases = {c.get("name"): c for c in ET.parse(junit).getroot().iter("testcase")}
        failure = cases[fatal].find("failure")
        expect(failure is not None and re.search(reason, failure.get("message")), "JUnit: the fault's message")
        expect(cases[good].find("failure") is None and cases[after].find("failure") is None, "JUnit: good ones")

    # One scenario alone still gets its report when it crashes.
    rc, out = check(crashing, fatal, "--json", "--junit", junit)
    try:
        alone = json.loads(out)["scenarios"]
    except ValueError:
        alone = []
    expect(rc == 70 and len(alone) == 1 and alone[0]["status"] == "FAIL" and re.match(reason_crash, alone[0]["ended"] or ""),
           f"one crashing scenario with --json: exit {rc}", out)
    failure = next(ET.parse(junit).getroot().iter("testcase")).find("failure")
    expect(failure is not None and re.search(reason_crash, failure.get("message")), "one crashing scenario: JUnit")

    # In one process the crash ends the run, as it says.
    rc, out = check(crashing, good, fatal, after, "--in-process")
    expect(rc == 70 and f"PASS {good}\n" in out and after not in out, f"--in-process: exit {rc}", out)

    # Our own component: isolated or not, the same verdicts.
    isolated = json.loads(check(selvarin, *selvarin_scenarios, "--json")[1])
    together = json.loads(check(selvarin, *selvarin_scenarios, "--json", "--in-process")[1])
    strip = lambda report: [(s["file"], s["status"], s["mismatches"], s["rule_breaks"], s["output"])
                            for s in report["scenarios"]]
    expect(strip(isolated) == strip(together), "Selvarin: isolated and in-process reports differ")
    expect(isolated["failed"] == 0 and isolated["passed"] == len(selvarin_scenarios), "Selvarin failed a scenario")

for failure in failures:
    print("FAIL:", failure)
print(f"{len(failures)} failure(s)")
sys.exit(1 if failures else 0)
