"""The workbench in a real browser: headless Chromium clicks through the page
as an operator and as a component author would. One workbench and one page
for all cases, which run in order (later ones build on earlier state).

  test_browser.py --zorv-host PATH --bin FOLDER --dist FOLDER --work FOLDER

Prints PASS/FAIL a case and ends with "N passed, M failed".
"""
import argparse
import os
import re
import shutil
import subprocess
import sys
import time
import traceback

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "tools", "workbench",
                                "driver"))
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
        self.bench = wd.Workbench(args.zorv_host, panel, "--dist", args.dist, "--record-dir", self.recordings,
                                  "--event-seconds", "1")
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
        p.press("B", "Monitor")
        wd.wait_until(lambda: p.sheet("B") == SELECTED, what="B selected")
        assert [p.sheet(n) for n in "AC"] == [IDLE, IDLE], [p.sheet(n) for n in "AC"]
        card_colour = p.control("B", "Ident").value_of_css_property("background-color")
        assert card_colour == "rgba(22, 163, 74, 1)", card_colour   # the sheet's colour is drawn

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
        wd.wait_until(lambda: p.status("X") == "crashed", 10, what="X hung")
        why = p.card("X").find_element(p.By.CSS_SELECTOR, ".why").text
        assert "hung: no answer within 1.0 s" in why, why
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
        assert {"A.scn", "B.scn", "C.scn", "M.scn", "X.scn"} <= set(names), names
        for path in files:
            with open(path) as scenario:
                text = scenario.read()
            library = re.search(r"^# Replay: zorv-host check (\S+) ", text, re.M).group(1)
            run = subprocess.run([self.args.zorv_host, "check", library, path], capture_output=True, text=True,
                                 timeout=60)
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
        card.find_element(p.By.CSS_SELECTOR, "select.event-code option[value='6']").click()
        card.find_element(p.By.CSS_SELECTOR, "button.send-event").click()
        wd.wait_until(lambda: "event 6 null" in self.log_texts("C"), 5, what="code 6 delivered to C")
        assert p.status("C") == "running"

    def test_the_wine_placement_runs_the_shipped_dll(self):
        p = self.page
        w = self.bench.placement("W")
        if wd.wine_runs():
            assert w["runner"] == "wine" and w["library"].endswith("Selvarin.dll"), w
        else:
            assert w["runner"] == "native" and "native module runs instead" in w["note"], w
            print("  note: Wine does not run on this machine; W ran its native module")
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
