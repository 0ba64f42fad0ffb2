"""Drives the workbench from Python: a `zorv-host panel` process and its page
in headless Chromium. The browser tests, the latency benchmark and the main
job's take road all go through this one module.

Runs on Debian's own Python (/usr/bin/python3), where python3-selenium is.
"""
import json
import os
import signal
import subprocess
import time
import urllib.request

CHROMIUM = "/usr/bin/chromium"
CHROMEDRIVER = "/usr/bin/chromedriver"


class WorkbenchError(Exception):
    pass


def wait_until(check, timeout=10.0, every=0.01, what="the condition"):
    """Calls check() until it returns something true; that value, or
    WorkbenchError after timeout seconds."""
    end = time.monotonic() + timeout
    last_error = None
    while time.monotonic() < end:
        try:
            value = check()
            if value:
                return value
        except Exception as error:  # the page may be between two drawings
            last_error = error
        time.sleep(every)
    raise WorkbenchError("timed out waiting for %s%s" % (what, " (%s)" % last_error if last_error else ""))


def add_build_arguments(parser):
    """The arguments every script on a build takes: zorv-host, the folder of
    the native modules, dist/ and a work folder."""
    parser.add_argument("--zorv-host", required=True, help="the native zorv-host")
    parser.add_argument("--bin", required=True, help="the folder of the native component modules")
    parser.add_argument("--dist", required=True, help="the folder of the shipped DLLs and zorv-host.exe")
    parser.add_argument("--work", required=True, help="a folder for panel files and recordings")
    parser.add_argument("--dist64", help="the 64-bit test build laid out as dist/ (default: build/dist64 of the "
                                         "checkout that --bin is in)")


def absolute_build_arguments(args):
    """The panel files name libraries by absolute path: relative ones would
    be taken from the panel file's own folder."""
    if not args.dist64:
        args.dist64 = os.path.join(args.bin, "..", "..", "dist64")
    for name in ("zorv_host", "bin", "dist", "dist64", "work"):
        setattr(args, name, os.path.abspath(getattr(args, name)))
    return args


def _starts(command):
    try:
        return subprocess.run(command, capture_output=True, timeout=30,
                              env=dict(os.environ, WINEDEBUG="-all")).returncode == 0
    except (OSError, subprocess.TimeoutExpired):
        return False


def wine_runs():
    """Whether 32-bit Wine starts here (its loader is a 32-bit program, which
    some kernels do not run)."""
    return _starts(["wine", "--version"])


def wine64_runs():
    """Whether 64-bit Wine starts here."""
    return _starts(["/usr/lib/wine/wine64", "--version"]) or _starts(["wine64", "--version"])


def expected_wine_bits():
    """Which Wine the workbench picks for "wine" placements by default: 32
    where it starts, else 64, else 0 (none)."""
    return 32 if wine_runs() else 64 if wine64_runs() else 0


def write_panel(path, placements, sources=16, device=12, title="test panel", selected="dest_selected",
                deselected="dest_idle", device_each=False):
    """Writes a panel file: placements are dicts as the panel format has them
    (name, library, dll, runner, instance). Each placement's instance is
    destination i + 1 of the one router device, or with device_each
    destination 1 of a device of its own (device i + 1), so that one
    "activedest=1" selects them all."""
    instances = {}
    for i, p in enumerate(placements):
        p.setdefault("instance", "I%d" % (i + 1))
        instances[p["instance"]] = "%d 1" % (i + 1) if device_each else "%d %d" % (device, i + 1)
    names = ["SRC %d" % (n + 1) for n in range(sources)]
    if device_each:
        devices = [{"number": i + 1, "name": p["name"], "sources": names, "destinations": [p["name"]]}
                   for i, p in enumerate(placements)]
    else:
        devices = [{"number": device, "name": "Router", "sources": names,
                    "destinations": [p["name"] for p in placements]}]
    panel = {
        "zorv_panel": 1,
        "title": title,
        "state_sheets": {
            selected: {"background": "#16a34a", "color": "#ffffff"},
            deselected: {"background": "#334155", "color": "#cbd5e1"},
        },
        "selectedbg": selected,
        "deselectedbg": deselected,
        "router": {"devices": devices},
        "instances": instances,
        "placements": placements,
    }
    with open(path, "w") as out:
        json.dump(panel, out, indent=2)
    return path


class Workbench:
    """A running `zorv-host panel PANEL --port 0`."""

    def __init__(self, zorv_host, panel, *args, env=None, cwd=None):
        environment = dict(os.environ)
        environment.update(env or {})
        self.process = subprocess.Popen([zorv_host, "panel", panel, "--port", "0", *args], stdout=subprocess.PIPE,
                                        stderr=subprocess.STDOUT, text=True, env=environment, cwd=cwd)
        first = self.process.stdout.readline()
        if "http://" not in first:
            rest = self.process.stdout.read() if self.process.poll() is not None else ""
            raise WorkbenchError("zorv-host panel did not start: " + first + rest)
        self.url = first.split()[1]
        self.banner = first.strip()

    def get(self, path):
        with urllib.request.urlopen(self.url.rstrip("/") + path, timeout=30) as response:
            return json.loads(response.read().decode("utf-8"))

    def post(self, path, body):
        request = urllib.request.Request(self.url.rstrip("/") + path, data=json.dumps(body).encode("utf-8"),
                                         headers={"Content-Type": "application/json"}, method="POST")
        with urllib.request.urlopen(request, timeout=60) as response:
            return json.loads(response.read().decode("utf-8"))

    def state(self):
        return self.get("/api/state")

    def placement(self, name):
        for p in self.state()["placements"]:
            if p["name"] == name:
                return p
        raise WorkbenchError("no placement " + name)

    def wait_settled(self, timeout=90):
        return wait_until(lambda: self.state()["placements"] and all(
            p["status"] != "starting" for p in self.state()["placements"]), timeout, 0.1, "every placement to start")

    def stop(self):
        """Ctrl-C; returns what the workbench printed at its end."""
        if self.process.poll() is None:
            self.process.send_signal(signal.SIGINT)
        try:
            out, _ = self.process.communicate(timeout=30)
        except subprocess.TimeoutExpired:
            self.process.kill()
            out, _ = self.process.communicate()
        return out


def control_sheet(state, placement, control="Ident"):
    for p in state["placements"]:
        if p["name"] == placement and p["panels"]:
            for c in p["panels"][0]["controls"]:
                if c["id"] == control:
                    return c["properties"].get("statesheet", "")
    return None


class Page:
    """The workbench page in headless Chromium."""

    def __init__(self, url, width=1500, height=1000):
        from selenium import webdriver
        from selenium.webdriver.chrome.options import Options
        from selenium.webdriver.chrome.service import Service
        from selenium.webdriver.common.by import By
        self.By = By
        options = Options()
        options.binary_location = CHROMIUM
        for arg in ("--headless=new", "--no-sandbox", "--disable-gpu", "--disable-dev-shm-usage",
                    "--window-size=%d,%d" % (width, height)):
            options.add_argument(arg)
        self.driver = webdriver.Chrome(service=Service(CHROMEDRIVER), options=options)
        self.driver.set_script_timeout(30)
        self.driver.get(url)
        wait_until(lambda: self.driver.execute_script("return document.body.dataset.ready") == "yes", 90, 0.1,
                   "the page to show every placement started")

    def quit(self):
        self.driver.quit()

    def css(self, selector):
        return self.driver.find_element(self.By.CSS_SELECTOR, selector)

    def card(self, placement):
        return self.css('.card[data-placement="%s"]' % placement)

    def control(self, placement, control):
        return self.css('.card[data-placement="%s"] [data-control="%s"]' % (placement, control))

    def sheet(self, placement, control="Ident"):
        return self.control(placement, control).get_attribute("data-statesheet")

    def status(self, placement):
        return self.card(placement).get_attribute("data-status")

    def press(self, placement, control):
        self.control(placement, control).click()

    def select_source(self, number):
        self.css('#sources button[data-source="%d"]' % number).click()

    def selected_source(self):
        return int(self.css("#sources").get_attribute("data-selected"))

    def crosspoint(self, destination, device=None):
        table = '#crosspoints table' + ('[data-device="%d"]' % device if device else '')
        row = self.css('%s tr[data-destination="%d"]' % (table, destination))
        source = row.get_attribute("data-source")
        return int(source) if source else None

    def send_parent(self, placement, text):
        box = self.card(placement).find_element(self.By.CSS_SELECTOR, ".message input")
        box.clear()
        box.send_keys(text + "\n")
        reply = self.card(placement).find_element(self.By.CSS_SELECTOR, ".message-reply")
        # The page clears the reply on sending and marks the one it shows
        # with the text it answers, so an earlier reply is never read.
        return wait_until(lambda: reply.get_attribute("data-answers") == text and reply.text, 10, 0.02,
                          "the reply to " + text)

    def toggle_record(self):
        self.css("#record").click()

    def recorded_files(self):
        note = self.css("#record-note")
        return wait_until(lambda: json.loads(note.get_attribute("data-files") or "[]"), 10, 0.05,
                          "the recording's files")

    def timed_press(self, placement, control, watched_placement, watched_control="Ident", timeout=10):
        """Clicks a control and measures, in the page, the time until the
        watched control's state sheet changes on screen (after the next
        frame is painted); milliseconds, or -1 after timeout seconds (keep
        it below the page's script timeout)."""
        return self.driver.execute_async_script("""
            const [placement, control, watched, watchedControl, timeout, done] = arguments;
            const card = (name) => document.querySelector('.card[data-placement="' + name + '"]');
            const target = card(watched).querySelector('[data-control="' + watchedControl + '"]');
            const before = target.dataset.statesheet;
            const start = performance.now();
            const observer = new MutationObserver(() => {
              if (target.dataset.statesheet !== before) {
                observer.disconnect();
                requestAnimationFrame(() => done(performance.now() - start));
              }
            });
            observer.observe(target, {attributes: true});
            card(placement).querySelector('[data-control="' + control + '"]').click();
            setTimeout(() => { observer.disconnect(); done(-1); }, timeout * 1000);
        """, placement, control, watched_placement, watched_control, timeout)

    def timed_broadcast(self, source, targets, timeout=20):
        """Clicks a source button and measures the time until the crosspoint
        tables show that source on every (device, destination) of targets;
        milliseconds, or -1 after timeout seconds (keep it below the page's
        script timeout)."""
        return self.driver.execute_async_script("""
            const [source, targets, timeout, done] = arguments;
            const box = document.getElementById('crosspoints');
            const shown = () => targets.every(([device, destination]) => {
              const row = box.querySelector('table[data-device="' + device + '"] tr[data-destination="'
                                            + destination + '"]');
              return row && row.dataset.source === String(source);
            });
            const start = performance.now();
            const observer = new MutationObserver(() => {
              if (shown()) {
                observer.disconnect();
                requestAnimationFrame(() => done(performance.now() - start));
              }
            });
            observer.observe(box, {childList: true, subtree: true, attributes: true});
            document.querySelector('#sources button[data-source="' + source + '"]').click();
            setTimeout(() => { observer.disconnect(); done(-1); }, timeout * 1000);
        """, source, targets, timeout)

    def screenshot(self, path):
        self.driver.save_screenshot(path)
