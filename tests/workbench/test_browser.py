"""The workbench in a real browser: headless Chromium clicks through the page
as an operator and as a component author would. One workbench and one page
for all cases, which run in order (later ones build on earlier state).

  test_browser.py --zorv-host PATH --bin FOLDER --dist FOLDER --work FOLDER

Prints PASS/FAIL a case and ends with "N passed, M failed".
"""
import argparse
import os
import re
import shlex
import shutil
import subprocess
import sys
import time
import traceback

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "tools", "zorv-host",
                                "page", "driver"))
import workbench_driver as wd  # noqa: E402

SELECTED, IDLE = "dest_selected", "dest_idle"


class Cases:
    def __init__(self, args):
        self.args = args
        work = args.work
        shutil.rmtree(work, ignore_errors=True)
        os.makedirs(work)
        # The reload case rebuilds this copy "by hand".
        self.reloadable = os.path.join(work, "reload", "Selvarin.so")
        os.makedirs(os.path.dirname(self.reloadable))
        shutil.copy(os.path.join(args.bin, "Selvarin.so"), self.reloadable)
        shutil.copy(os.path.join(args.bin, "mymon.zorv_ui"), os.path.dirname(self.reloadable))
        selvarin = os.path.join(args.bin, "Selvarin.so")
        placements = [
            {"name": "A", "library": selvarin},
            {"name": "B", "library": selvarin},
            {"name": "C", "library": selvarin},
            {"name": "W", "library": selvarin, "dll": os.path.join(args.dist, "Selvarin.dll"), "runner": "wine"},
            {"name": "X", "library": os.path.join(args.bin, "PressCrash.so")},
            {"name": "M", "library": os.path.join(args.bin, "AlarmPanel.so")},
            {"name": "R", "library": self.reloadable},
        ]
        self.offsets = {p["name"]: i + 1 for i, p in enumerate(placements)}
        panel = wd.write_panel(os.path.join(work, "test.zorv_panel"), placements, title="browser test panel")
        self.recordings = os.path.join(work, "recordings")
        # A load that slows an event down must not make it a hang: only the
        # planted hang takes longer than this.
        self.event_seconds = 8
        self.bench = wd.Workbench(args.zorv_host, panel, "--dist", args.dist, "--dist64", args.dist64,
                                  "--record-dir", self.recordings, "--event-seconds", str(self.event_seconds))
        self.bench.wait_settled()
        self.page = wd.Page(self.bench.url)

    def close(self):
        self.page.quit()
        return self.bench.stop()

    def log_texts(self, placement=None):
        return [e["text"] for e in self.bench.get("/api/log") if placement is None or e["placement"] == placement]

    # ---- the cases, in order

    def test_press_selects_only_that_destination(self):
        p = self.page
        wd.wait_until(lambda: all(p.sheet(n) == IDLE for n in "ABC"), what="the deselected sheet everywhere")
        before = {n: self.log_texts(n).count("TP 'statesheet=dest_idle' '1' 'Ident'") for n in "AC"}
        p.press("B", "Monitor")
        # The broadcast reached A and C too, and the page drew it.
        wd.wait_until(lambda: all(self.log_texts(n).count("TP 'statesheet=dest_idle' '1' 'Ident'") > before[n]
                                  for n in "AC"), what="A and C sent the deselected sheet")
        wd.wait_until(lambda: p.sheet("B") == SELECTED, what="B selected")
        assert [p.sheet(n) for n in "AC"] == [IDLE, IDLE], [p.sheet(n) for n in "AC"]
        # The sheet's colour is drawn, once its transition has ended.
        wd.wait_until(lambda: p.control("B", "Ident").value_of_css_property("background-color")
                      == "rgba(22, 163, 74, 1)", what="B drawn in the selected sheet's colour")

    def test_source_takes_then_the_timer_clears_it(self):
        p = self.page
        p.select_source(5)
        wd.wait_until(lambda: p.crosspoint(self.offsets["B"]) == 5, what="source 5 on B's destination")
        row = p.css('#crosspoints tr[data-destination="%d"]' % self.offsets["B"])
        assert "latest" in row.get_attribute("class"), row.get_attribute("class")
        wd.wait_until(lambda: p.selected_source() == -1, 5, what="the take timer to clear the source")
        texts = self.log_texts("B")
        assert "HN 'clearsource=-1'" in texts and "RC 12 5 2 ',' 1" in texts, texts[-12:]
        assert p.crosspoint(self.offsets["A"]) is None

    def test_a_crash_marks_only_its_placement(self):
        p = self.page
        p.press("X", "Fire")
        wd.wait_until(lambda: p.status("X") == "crashed", what="X crashed")
        why = p.card("X").find_element(p.By.CSS_SELECTOR, ".why").text
        assert 'crashed during "button "1" "Fire"' in why and "SIGSEGV" in why, why
        p.press("A", "Monitor")   # the neighbours keep working
        wd.wait_until(lambda: p.sheet("A") == SELECTED and p.sheet("B") == IDLE, what="A selected after the crash")
        p.card("X").find_element(p.By.CSS_SELECTOR, "button.restart").click()
        wd.wait_until(lambda: p.status("X") == "running", what="X restarted")
        p.press("X", "Hang")
        wd.wait_until(lambda: p.status("X") == "crashed", self.event_seconds + 20, what="X hung")
        why = p.card("X").find_element(p.By.CSS_SELECTOR, ".why").text
        assert "hung: no answer within %.1f s" % self.event_seconds in why, why
        p.press("C", "Monitor")
        wd.wait_until(lambda: p.sheet("C") == SELECTED, what="C selected after the hang")

    def test_alarm_actions_colour_the_alarm_controls(self):
        p = self.page
        p.press("M", "ActionAll")   # its event text is "alarm=1"
        controls = ["alm_feed", "alm_power", "alm_link"]
        wd.wait_until(lambda: all(p.control("M", c).get_attribute("data-value") == "1" for c in controls),
                      what="every alarm control at value 1")
        assert "v1" in p.control("M", "alm_link").get_attribute("class")

    def test_a_typed_parent_message_shows_its_reply(self):
        reply = self.page.send_parent("A", "return=all")
        assert reply == 'reply: "selectedbg=dest_selected\\ndeselectedbg=dest_idle"', reply
        assert self.page.send_parent("A", "nonsense=1") == "reply: null"

    def test_a_recording_replays_with_check(self):
        p = self.page
        p.toggle_record()
        p.press("B", "Monitor")
        wd.wait_until(lambda: p.sheet("B") == SELECTED, what="B selected")
        p.select_source(7)
        wd.wait_until(lambda: p.crosspoint(self.offsets["B"]) == 7, what="source 7 on B")
        wd.wait_until(lambda: p.selected_source() == -1, 5, what="the source cleared")
        p.toggle_record()
        files = p.recorded_files()
        names = sorted(os.path.basename(f) for f in files)
        assert {"A.scn", "B.scn", "C.scn", "M.scn", "W.scn", "X.scn"} <= set(names), names
        # Each file replays by the command in its header, as written, from
        # another folder: the Wine placement's under the Wine it ran in.
        elsewhere = os.path.join(self.args.work, "elsewhere")
        os.makedirs(elsewhere, exist_ok=True)
        for path in files:
            with open(path) as scenario:
                text = scenario.read()
            command = shlex.split(re.search(r"^# Replay: (.*)$", text, re.M).group(1))
            if os.path.basename(path) == "W.scn":
                assert "zorv-host.exe" in " ".join(command) and command[-2].endswith("Selvarin.dll"), command
            run = subprocess.run(command, capture_output=True, text=True, timeout=120, cwd=elsewhere)
            assert run.returncode == 0, "%s: %s%s" % (path, run.stdout, run.stderr)
        # X hung last: its recording stops, in a comment, at the press that did it.
        x = open(os.path.join(self.recordings, "X.scn")).read()
        assert '# the component hung here, on: button "1" "Hang" "hang=1"' in x, x
        b = open(os.path.join(self.recordings, "B.scn")).read()
        assert "parent \"source=7\"\n> RC 12 7 2 ',' 1\n> ET 1 250\n< null\n" in b, b

    def test_a_rebuilt_library_is_offered_and_reloaded(self):
        p = self.page
        generation = int(p.card("R").get_attribute("data-generation"))
        later = time.time() + 5
        os.utime(self.reloadable, (later, later))
        reload_button = p.card("R").find_element(p.By.CSS_SELECTOR, "button.reload")
        wd.wait_until(lambda: reload_button.is_displayed(), 5, what="the reload offer")
        reload_button.click()
        wd.wait_until(lambda: int(p.card("R").get_attribute("data-generation")) == generation + 1
                      and p.status("R") == "running" and p.sheet("R") == IDLE, 20, what="R reloaded and configured")
        assert not reload_button.is_displayed()
        # The panel and router state stayed: B is still the active destination.
        assert p.sheet("B") == SELECTED and p.crosspoint(self.offsets["B"]) == 7

    def test_an_edited_layout_is_offered_and_reloaded(self):
        p = self.page
        generation = int(p.card("R").get_attribute("data-generation"))
        layout = os.path.join(os.path.dirname(self.reloadable), "mymon.zorv_ui")
        later = time.time() + 10
        os.utime(layout, (later, later))
        reload_button = p.card("R").find_element(p.By.CSS_SELECTOR, "button.reload")
        wd.wait_until(lambda: reload_button.is_displayed(), 5, what="the reload offer for the layout")
        assert any("the layout " + layout + " changed on disk" in t for t in self.log_texts("R"))
        reload_button.click()
        wd.wait_until(lambda: int(p.card("R").get_attribute("data-generation")) == generation + 1
                      and p.status("R") == "running", 20, what="R reloaded")

    def test_an_event_of_code_6_reaches_the_component(self):
        p = self.page
        card = p.card("C")
        events = self.bench.placement("C")["books"]["events"]
        card.find_element(p.By.CSS_SELECTOR, "select.event-code option[value='6']").click()
        card.find_element(p.By.CSS_SELECTOR, "button.send-event").click()
        wd.wait_until(lambda: "event 6 null" in self.log_texts("C"), 5, what="code 6 delivered to C")
        # The state that counts the event also says how C came out of it.
        c = wd.wait_until(lambda: (lambda c: c if c["books"]["events"] > events else None)(self.bench.placement("C")),
                          5, what="C's books to count the event")
        assert c["status"] == "running", c

    def test_the_wine_placement_runs_the_dll_under_wine(self):
        # The shipped DLL under 32-bit Wine where it starts, else its 64-bit
        # test build under 64-bit Wine; never the native module.
        p = self.page
        w = self.bench.placement("W")
        bits = wd.expected_wine_bits()
        assert bits, "neither 32-bit nor 64-bit Wine starts here"
        folder = self.args.dist if bits == 32 else self.args.dist64
        assert (w["runner"], w["wineBits"], w["library"]) == ("wine", bits, os.path.join(folder, "Selvarin.dll")), w
        badge = p.card("W").find_element(p.By.CSS_SELECTOR, ".runner").text
        assert badge == "wine %d-bit" % bits, badge
        assert any(t.startswith("starting: %s under %d-bit Wine" % (w["library"], bits)) for t in self.log_texts("W"))
        if bits == 64:
            assert "64-bit test build" in w["note"], w
            print("  note: 32-bit Wine does not start here; W ran the 64-bit test build under 64-bit Wine")
        p.press("W", "Monitor")
        wd.wait_until(lambda: p.sheet("W") == SELECTED, 10, what="W selected")
        p.select_source(3)
        wd.wait_until(lambda: p.crosspoint(self.offsets["W"]) == 3, 10, what="source 3 on W")


def main():
    parser = argparse.ArgumentParser()
    wd.add_build_arguments(parser)
    args = wd.absolute_build_arguments(parser.parse_args())
    names = [n for n in Cases.__dict__ if n.startswith("test_")]   # in the order written
    passed = failed = 0
    try:
        cases = Cases(args)
    except Exception:
        traceback.print_exc()
        print("FAIL workbench.browser.start")
        print("0 passed, %d failed" % (len(names) + 1))
        return 1
    try:
        for name in names:
            try:
                getattr(cases, name)()
                print("PASS workbench.browser." + name[5:])
                passed += 1
            except Exception as error:
                print("FAIL workbench.browser.%s: %s" % (name[5:], error))
                failed += 1
    finally:
        end = cases.close()
    print("  the workbench's last words:", end.strip().splitlines()[-1] if end.strip() else "(none)")
    print("%d passed, %d failed" % (passed, failed))
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
