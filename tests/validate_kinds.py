#!/usr/bin/env python3
"""validate --json names the kind of every finding, for each planted fault.

usage: validate_kinds.py ZORV_HOST FAULTY_FOLDER SUFFIX

FAULTY_FOLDER holds faulty_NAME + SUFFIX for every NAME below.
"""
import json
import os
import subprocess
import sys

host, folder, suffix = sys.argv[1:4]

# fault, the check run alone, the kind its finding must have (None: a plain
# requirement), the status.
CASES = [
    ("unreleased_query", "queries.handback", "reply_not_handed_back", "FAIL"),
    ("double_handback", "queries.handback", "second_handback", "FAIL"),
    ("foreign_handback", "queries.handback", "foreign_handback", "FAIL"),
    ("malformed_command", "commands.shape", "unknown_verb", "FAIL"),
    ("answers_ignored_code", "codes.ignored", "code_answered", "FAIL"),
    ("answers_button", "library.create", "button_answered", "FAIL"),
    ("sends_during_release", "library.create", "sent_while_releasing", "FAIL"),
    ("replies_with_text", "library.create", "reply_into_message_text", "FAIL"),
    ("sends_after_detach", "lifecycle.detach", "detached_early", "FAIL"),
    ("crashes_on_event", "library.create", "crash", "FAIL"),
    ("hangs_on_event", "library.create", "hang", "FAIL"),
    ("writes_message_text", "library.create", "wrote_lent_memory", "FAIL"),
    ("writes_button_record", "library.create", "wrote_lent_memory", "FAIL"),
    ("reads_after_handback", "queries.handback", "read_retired_memory", "FAIL"),
    ("keeps_host_text", "library.create", "read_retired_memory", "FAIL"),
    ("reads_past_end", "library.create", "read_past_end", "FAIL"),
    ("reuses_reply_buffer", "replies.fresh", None, "FAIL"),
    ("null_factory", "library.factory", None, "FAIL"),
    ("echoes_parent_value", "commands.shape", "ambiguous_line", "WARN"),
    ("raises_undeclared_event", "commands.notifications", "undeclared_event", "WARN"),
    ("prints_fake_verdict", "library.create", "process_ended", "FAIL"),
    ("calls_off_thread", "handlers.thread", "off_thread_call", "FAIL"),
    ("stalls_on_source", "handlers.time", "slow_handler", "WARN"),   # a FAIL from strictness 3
]

failures = []
for fault, check, kind, status in CASES:
    library = os.path.join(folder, "faulty_" + fault + suffix)
    done = subprocess.run([host, "validate", library, "--only", check, "--strictness", "1", "--seed", "7",
                           "--timeout", "5", "--json"], capture_output=True, text=True, timeout=120)
    try:
        report = json.loads(done.stdout)
        result = next(c for c in report["checks"] if c["name"] == check)
    except (ValueError, StopIteration) as error:
        failures.append(f"{fault}: no result for {check} ({error}; exit status {done.returncode})\n"
                        f"{done.stdout}{done.stderr}")
        continue
    if (result["status"], result["kind"]) != (status, kind) or report["schema"] != 5:
        failures.append(f"{fault}: {check} {result['status']} kind {result['kind']!r}, "
                        f"wanted {status} kind {kind!r}: {result['reason']}")

# A passing check has no kind.
done = subprocess.run([host, "validate", os.path.join(folder, "faulty_double_handback" + suffix),
                       "--only", "codes", "--strictness", "1", "--seed", "7", "--json"], capture_output=True, text=True)
passed = [c for c in json.loads(done.stdout)["checks"] if c["status"] == "PASS"]
if not passed or any(c["kind"] is not None for c in passed):
    failures.append(f"passing checks with a kind, or none passed: {passed}")

for failure in failures:
    print("FAIL:", failure)
print(f"{len(CASES) + 1 - len(failures)} passed, {len(failures)} failed")
sys.exit(1 if failures else 0)
