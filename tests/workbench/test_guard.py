#!/usr/bin/env python3
"""Only the printed URL drives the workbench: requests without its token, with
a wrong one, naming another Host, or from another Origin (a page's fetch, a
simple cross-origin form post) are refused with 403 and a JSON reason, and do
nothing; the page's own requests work.

usage: test_guard.py ZORV_HOST SELVARIN_LIBRARY WORK_FOLDER
"""
import http.client
import json
import os
import re
import sys
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "tools", "zorv-host",
                                "page", "driver"))
import workbench_driver as wd  # noqa: E402

host, library, work = sys.argv[1:4]
os.makedirs(work, exist_ok=True)
panel = wd.write_panel(os.path.join(work, "guard.zorv_panel"), [{"name": "D1", "library": library}])
bench = wd.Workbench(host, panel, "--record-dir", os.path.join(work, "recordings"))
problems = []
try:
    match = re.fullmatch(r"http://127\.0\.0\.1:(\d+)(/([0-9a-f]{32})/)", bench.url)
    if not match:
        sys.exit("the printed URL has no token: " + bench.url)
    port, root, token = int(match.group(1)), match.group(2), match.group(3)
    here = "127.0.0.1:%d" % port

    def request(method, path, headers=None, body=None):
        """(status, parsed JSON or None, raw text) of one request, headers as given."""
        connection = http.client.HTTPConnection("127.0.0.1", port, timeout=30)
        connection.putrequest(method, path, skip_host=True, skip_accept_encoding=True)
        for name, value in {"Host": here, **(headers or {})}.items():
            if value is not None:
                connection.putheader(name, value)
        data = body.encode() if body is not None else None
        if data is not None:
            connection.putheader("Content-Length", str(len(data)))
        connection.endheaders(data)
        response = connection.getresponse()
        text = response.read().decode("utf-8", "replace")
        connection.close()
        try:
            return response.status, json.loads(text), text
        except ValueError:
            return response.status, None, text

    def sources_sent():
        """How often the log says a source went to the placements. Asked after
        a request that waits for the host thread (a parent message), so that
        whatever came before it has been carried out and logged."""
        status, answer, text = request("POST", root + "api/parent", {"Content-Type": "application/json"},
                                       '{"placement": "D1", "text": "return=all"}')
        if status != 200 or not answer.get("ok"):
            sys.exit("a parent message with the token failed: %d %s" % (status, text))
        status, entries, text = request("GET", root + "api/log?after=0")
        return sum('"source=5"' in entry["text"] for entry in entries)

    for _ in range(600):   # D1 starts: 60 s at most
        status, state, _ = request("GET", root + "api/state")
        # Before its first state is published the workbench answers without placements.
        placements = state.get("placements") if status == 200 and isinstance(state, dict) else None
        if placements and placements[0]["status"] == "running":
            break
        time.sleep(0.1)
    before = sources_sent()
    other_token = "0" * 32 if token != "0" * 32 else "1" * 32
    press = '{"number":5}'
    refused = [
        ("no token", "GET", "/api/state", {}, None),
        ("no token, the page", "GET", "/", {}, None),
        ("a wrong token", "GET", "/%s/api/state" % other_token, {}, None),
        ("a token cut short", "GET", root[:-5] + "/api/state", {}, None),
        ("a foreign Host (rebinding)", "GET", root + "api/state", {"Host": "evil.example:%d" % port}, None),
        ("a foreign Host without port", "GET", root + "api/state", {"Host": "evil.example"}, None),
        ("another port in Host", "GET", root + "api/state", {"Host": "127.0.0.1:%d" % (port + 1)}, None),
        ("no Host", "GET", root + "api/state", {"Host": None}, None),
        ("a foreign Origin, text/plain", "POST", root + "api/source",
         {"Origin": "http://evil.example", "Content-Type": "text/plain"}, press),
        ("a null Origin", "POST", root + "api/source", {"Origin": "null", "Content-Type": "text/plain"}, press),
        ("a simple cross-origin form post", "POST", root + "api/source",
         {"Origin": "http://evil.example", "Content-Type": "application/x-www-form-urlencoded"}, "number=5"),
        ("a form post without the token", "POST", "/api/source",
         {"Content-Type": "application/x-www-form-urlencoded"}, press),
        ("the event stream without the token", "GET", "/api/events", {}, None),
    ]
    for name, method, path, headers, body in refused:
        status, answer, text = request(method, path, headers, body)
        if status != 403 or not isinstance(answer, dict) or answer.get("ok") is not False or not answer.get("error"):
            problems.append("%s: %d %s" % (name, status, text[:200]))
    if sources_sent() != before:
        problems.append("a refused request selected a source")

    # The page and its requests, as a browser at the printed URL makes them.
    allowed = [
        ("the page", "GET", root, {}, None),
        ("the page's script", "GET", root + "app.js", {}, None),
        ("the state at localhost", "GET", root + "api/state", {"Host": "localhost:%d" % port}, None),
        ("a press from the page", "POST", root + "api/source",
         {"Origin": "http://" + here, "Content-Type": "application/json"}, press),
    ]
    for name, method, path, headers, body in allowed:
        status, answer, text = request(method, path, headers, body)
        if status != 200 or (answer is not None and answer.get("ok") is False):
            problems.append("%s: %d %s" % (name, status, text[:200]))
    if sources_sent() <= before:
        problems.append("the page's own press did not send the source")
finally:
    bench.stop()

for problem in problems:
    print("FAILED:", problem)
print("%d problems" % len(problems))
sys.exit(1 if problems else 0)
