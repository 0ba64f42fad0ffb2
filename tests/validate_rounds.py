#!/usr/bin/env python3
"""validate --repeat/--randomise and -j, end to end.

usage: validate_rounds.py ZORV_HOST FAULTY_LIBRARY PASSING_LIBRARY

FAULTY_LIBRARY fails some checks; PASSING_LIBRARY passes them all.
"""
import json
import re
import subprocess
import sys
import tempfile
import os
import xml.etree.ElementTree as ET

host, faulty, passing = sys.argv[1:4]
ONLY = ["--only", "lifecycle,codes,storm,library.factory,library.create"]
BASE = ["--strictness", "1", "--timeout", "20"]
failures = []


def run(*args):
    done = subprocess.run([host, "validate", *args], capture_output=True, text=True)
    return done.returncode, done.stdout


def expect(condition, what, output=""):
    if not condition:
        failures.append(what + ("\n" + output if output else ""))


def rounds_of(text):
    """{round: (seed, [result lines])} from validate's text output."""
    found, current = {}, None
    for line in text.splitlines():
        m = re.match(r"round (\d+) of \d+: seed (\d+); replay with --seed (\d+) --randomise$", line)
        if m:
            current = int(m.group(1))
            expect(m.group(2) == m.group(3), "the replay hint names another seed", line)
            found[current] = (int(m.group(2)), [])
        elif current and re.match(r"(PASS|FAIL|WARN|SKIP)  ", line):
            found[current][1].append(line)
    return found


# Three randomised rounds: each round holds the whole selection once, the
# seeds are fresh, the orders differ, and every round replays on its own.
status, text = run(faulty, *BASE, *ONLY, "--seed", "7", "--repeat", "3", "--randomise")
expect(status == 1, "a failing component must fail the repeated run (status %d)" % status, text)
rounds = rounds_of(text)
expect(sorted(rounds) == [1, 2, 3], "not three rounds", text)
names = [sorted(line.split()[1].rstrip(":") for line in lines) for _, lines in rounds.values()]
expect(all(n == names[0] for n in names) and len(names[0]) == 8, "rounds ran different checks", text)
expect(rounds[1][0] == 7, "the first round must run the seed given", text)
expect(len({seed for seed, _ in rounds.values()}) == 3, "seeds not fresh", text)
orders = [[line.split()[1] for line in lines] for _, lines in rounds.values()]
expect(len({tuple(o) for o in orders}) > 1, "every round ran the same order", text)
total = re.search(r"^3 rounds: (\d+) passed, (\d+) failed", text, re.M)
fails = sum(line.startswith("FAIL") for _, lines in rounds.values() for line in lines)
expect(total and int(total.group(2)) == fails and int(total.group(1)) + fails == 24, "totals disagree", text)
expect(re.search(r"failures in rounds 1 \(seed 7\), 2 \(seed \d+\), 3", text), "failing rounds not named", text)
for number, (seed, lines) in rounds.items():
    again_status, again = run(faulty, *BASE, *ONLY, "--seed", str(seed), "--randomise")
    replayed = [l for l in again.splitlines() if re.match(r"(PASS|FAIL|WARN|SKIP)  ", l)]
    expect(replayed == lines, "round %d does not replay with --seed %d --randomise" % (number, seed),
           "\n".join(lines) + "\n--- replayed:\n" + again)
    expect("replay with --seed %d --randomise" % seed in again, "a single randomised run hides its replay", again)

# Without --randomise every round repeats the first: same seed, same order.
status, text = run(faulty, *BASE, *ONLY, "--seed", "7", "--repeat", "2")
blocks = re.split(r"^round \d+ of 2: seed 7; replay with --seed 7\n", text, flags=re.M)
expect(len(blocks) == 3, "plain rounds not headed with their seed", text)
if len(blocks) == 3:
    expect(blocks[1].replace("round 1:", "round N:") == blocks[2].split("2 rounds:")[0].replace("round 2:", "round N:"),
           "plain rounds differ", text)

# --json and --junit of the same run agree with each other and with the text.
with tempfile.TemporaryDirectory() as folder:
    report = os.path.join(folder, "rounds.xml")
    status, out = run(faulty, *BASE, *ONLY, "--seed", "7", "--repeat", "3", "--randomise", "--json", "--junit", report)
    data = json.loads(out)
    expect(data["schema"] == 5 and data["randomised"] is True and data["seed"] == 7, "json header", out)
    expect([r["round"] for r in data["rounds"]] == [1, 2, 3], "json rounds", out)
    expect([r["seed"] for r in data["rounds"]] == [rounds[k][0] for k in (1, 2, 3)], "json seeds differ from text", out)
    for r in data["rounds"]:
        mine = [c for c in data["checks"] if c["round"] == r["round"]]
        text_lines = rounds[r["round"]][1]
        expect([c["name"] for c in mine] == [l.split()[1].rstrip(":") for l in text_lines],
               "json order of round %d differs from the text" % r["round"], out)
        expect(r["failed"] == sum(c["status"] == "FAIL" for c in mine), "json round tally", out)
    expect(data["failed"] == sum(r["failed"] for r in data["rounds"]), "json totals", out)
    suites = ET.parse(report).getroot().findall("testsuite")
    expect(len(suites) == 3, "junit: not one suite per round", open(report).read())
    for k, suite in enumerate(suites, 1):
        expect(suite.get("name").endswith("round %d (seed %d)" % (k, rounds[k][0])), "junit suite name", suite.get("name"))
        expect([c.get("name") for c in suite.iter("testcase")] == [l.split()[1].rstrip(":") for l in rounds[k][1]],
               "junit order of round %d" % k)
        expect(int(suite.get("failures")) == sum(c.find("failure") is not None for c in suite.iter("testcase")),
               "junit failures of round %d" % k)

# -j: the same results in the same order as one at a time, for a failing
# component over every check and a passing one over a few; --json differs
# only in the timings. (Each check is a process of its own: the selections
# are kept small where a larger one would find nothing more.)
for library, want, selection in ((faulty, 1, []), (passing, 0, ONLY)):
    outputs = {}
    for jobs in ("1", "3"):
        status, outputs[jobs] = run(library, *BASE, *selection, "--seed", "11", "-j", jobs)
        expect(status == want, "-j %s: status %d, not %d" % (jobs, status, want), outputs[jobs])
    expect(outputs["1"] == outputs["3"], "-j 3 differs from -j 1 for " + library,
           outputs["1"] + "\n--- -j 3:\n" + outputs["3"])
    jsons = {}
    for jobs in ("1", "2"):
        _, out = run(library, *BASE, *ONLY, "--seed", "11", "-j", jobs, "--json", "--repeat", "2", "--randomise")
        data = json.loads(out)
        for c in data["checks"]:
            c.pop("seconds")
        jsons[jobs] = data
    expect(jsons["1"] == jsons["2"], "-j 2 --json differs from -j 1 for " + library)

# Bad counts are usage errors.
for bad in (["--repeat", "0"], ["-j", "0"], ["--repeat", "x"]):
    status, _ = run(passing, *bad)
    expect(status == 2, "%s: status %d, not a usage error" % (" ".join(bad), status))

for failure in failures:
    print("FAILED:", failure)
print("%d problems" % len(failures))
sys.exit(1 if failures else 0)
