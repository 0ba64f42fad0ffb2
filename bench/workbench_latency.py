"""Press-to-screen latency of the workbench, measured in the page itself:
from the click on a "Monitor" button until the pressed destination's
"Ident" shows its new state sheet on screen (the road: page -> server ->
host thread -> bridge child -> component -> commands -> parent broadcast to
every placement -> published state -> server-sent event -> drawn), for
native and Wine placements; and one source broadcast to 64 placements until
the crosspoint tables show all 64 routes.

  workbench_latency.py --zorv-host PATH --bin FOLDER --dist FOLDER --work FOLDER [--presses N] [--smoke]

Prints figures; asserts no times. Every press and every broadcast must be
measured and must have completed its road: after a press the page shows the
pressed destination selected and each of the others deselected, every
placement still running, and the host's active destination is the pressed
one; after a broadcast all 64 crosspoints show the source on the page and
are made in the host's state. Each is given far more time than load can
take (a figure is still a figure). Anything else is a problem, printed,
and the exit status is 1. With --smoke it also prints a PASS or FAIL line
for the presses and one for the broadcast, and "N passed, M failed" (for
the test command), the last line even when the run broke off.
"""
import argparse
import os
import statistics
import sys
import traceback

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tools", "zorv-host", "page", "driver"))
import workbench_driver as wd  # noqa: E402

SELECTED, DESELECTED = "dest_selected", "dest_idle"
# Limits beyond what load can delay: for a press or a broadcast to show (the
# page's script timeout above them), and for the rest of its road after.
SHOW_SECONDS, SCRIPT_SECONDS, ROAD_SECONDS = 60, 90, 30


def figures(label, values):
    values = sorted(values)
    p90 = values[min(len(values) - 1, int(round(0.9 * (len(values) - 1))))]
    print("  %-34s n=%-4d median %6.1f ms   p90 %6.1f ms   max %6.1f ms"
          % (label, len(values), statistics.median(values), p90, values[-1]))


def selection_shown(page, bench, pressed, names, destination):
    """The end of a press's road, or why not: on the page the pressed
    placement is selected and every other one deselected, every placement
    runs, and the host's active destination is the pressed one."""
    sheets = {name: page.sheet(name) for name in names}
    wrong = ["%s shows %r" % (name, sheet) for name, sheet in sheets.items()
             if sheet != (SELECTED if name == pressed else DESELECTED)]
    state = bench.state()
    wrong += ["%s is %s" % (p["name"], p["status"]) for p in state["placements"] if p["status"] != "running"]
    if state["parent"]["activeDest"] != destination:
        wrong.append("the active destination is %r, not %d" % (state["parent"]["activeDest"], destination))
    return "; ".join(wrong)


def settle(what, check):
    """Waits (ROAD_SECONDS at most) until check() gives "" (nothing wrong);
    the last thing wrong otherwise."""
    last = [""]

    def done():
        last[0] = check()
        return not last[0]
    try:
        wd.wait_until(done, ROAD_SECONDS, 0.05, what)
        return ""
    except wd.WorkbenchError as error:
        return last[0] or str(error)


def press_latency(args, problems):
    """Returns how many presses were measured; adds to problems."""
    selvarin = os.path.join(args.bin, "Selvarin.so")
    dll = os.path.join(args.dist, "Selvarin.dll")
    placements = [{"name": "N%d" % i, "library": selvarin} for i in range(1, 5)]
    placements += [{"name": "W%d" % i, "library": selvarin, "dll": dll, "runner": "wine"} for i in range(1, 5)]
    panel = wd.write_panel(os.path.join(args.work, "press.zorv_panel"), placements, title="latency: presses")
    bench = wd.Workbench(args.zorv_host, panel, "--dist", args.dist)
    page = None
    try:
        bench.wait_settled()
        page = wd.Page(bench.url)
        page.driver.set_script_timeout(SCRIPT_SECONDS)
        runners = {p["name"]: p["runner"] for p in bench.state()["placements"]}
        # Which Wine ran them: the shipped 32-bit DLL, or where 32-bit Wine
        # cannot start its 64-bit test build under 64-bit Wine.
        wine_runs = sorted({"%d-bit Wine (%s)" % (p["wineBits"], "the shipped DLL" if p["wineBits"] == 32
                                                   else "the 64-bit test build of the same sources")
                            for p in bench.state()["placements"] if p["runner"] == "wine"})
        seen = {"native": [], "wine": []}
        names = [p["name"] for p in placements]
        for i in range(args.presses):
            # Each press selects a placement that was not selected, so its
            # look changes; the broadcast reaches all eight. Placement i is
            # destination i + 1 of the router (wd.write_panel).
            index = i % len(names)
            name = names[index]
            if page.sheet(name) != DESELECTED:
                problems.append("press %d: %s shows %r before its press, not %r"
                                % (i + 1, name, page.sheet(name), DESELECTED))
                continue
            ms = page.timed_press(name, "Monitor", name, timeout=SHOW_SECONDS)
            if ms < 0:
                problems.append("press %d: %s's look did not change within %d s" % (i + 1, name, SHOW_SECONDS))
                continue
            wrong = settle("press %d to show" % (i + 1),
                           lambda: selection_shown(page, bench, name, names, index + 1))
            if wrong:
                problems.append("press %d of %s did not complete its road: %s" % (i + 1, name, wrong))
                continue
            seen[runners[name]].append(ms)
        print("press to screen, 8 placements (%s):" % ", ".join(
            "%d %s" % (list(runners.values()).count(r), r) for r in ("native", "wine")))
        for runner in ("native", "wine"):
            if seen[runner]:
                figures("placement running " + runner, seen[runner])
        if wine_runs:
            print("  (the Wine placements ran under %s)" % "; ".join(wine_runs))
        if not any(r == "wine" for r in runners.values()):
            print("  (Wine does not run on this machine: the Wine placements ran their native modules)")
        return sum(len(v) for v in seen.values())
    finally:
        if page:
            page.quit()
        bench.stop()


def routes_made(bench, source, count):
    """The host's side of a broadcast's end, or why not: destination 1 of
    each of the count routers takes the source. (The page's side is what
    timed_broadcast waits for.)"""
    made = {d["number"]: {p["destination"]: p["source"] for p in d["crosspoints"]}
            for d in bench.state()["router"]["devices"]}
    missing = [device for device in range(1, count + 1) if made.get(device, {}).get(1) != source]
    if missing:
        return "the host has another source on %d routers (the first %d)" % (len(missing), missing[0])
    return ""


def broadcast_latency(args, problems):
    """Returns how many broadcasts were measured; adds to problems."""
    selvarin = os.path.join(args.bin, "Selvarin.so")
    placements = [{"name": "D%02d" % i, "library": selvarin} for i in range(1, 65)]
    panel = wd.write_panel(os.path.join(args.work, "broadcast.zorv_panel"), placements, device_each=True,
                           title="latency: 64 placements")
    bench = wd.Workbench(args.zorv_host, panel)
    page = None
    try:
        bench.wait_settled()
        page = wd.Page(bench.url, 1900, 1200)
        page.driver.set_script_timeout(SCRIPT_SECONDS)
        # Every placement is destination 1 of a router of its own: one
        # "activedest=1" selects all 64, so a source reaches every router.
        page.press("D01", "Monitor")
        wd.wait_until(lambda: all(wd.control_sheet(bench.state(), p["name"]) == SELECTED for p in placements),
                      SHOW_SECONDS, 0.05, "all 64 selected")
        targets = [[i, 1] for i in range(1, 65)]
        seen = []
        for round_ in range(max(3, args.presses // 4)):
            # The source must differ from the last one to change the tables.
            source = 1 + round_ % 16
            ms = page.timed_broadcast(source, targets, timeout=SHOW_SECONDS)
            if ms < 0:
                problems.append("broadcast %d: source %d not shown on all 64 routers within %d s"
                                % (round_ + 1, source, SHOW_SECONDS))
                continue
            wrong = settle("broadcast %d to show" % (round_ + 1), lambda: routes_made(bench, source, 64))
            if wrong:
                problems.append("broadcast %d of source %d did not complete its road: %s"
                                % (round_ + 1, source, wrong))
                continue
            seen.append(ms)
        print("one source to 64 placements until all 64 crosspoints show:")
        if seen:
            figures("native placements", seen)
        return len(seen)
    finally:
        if page:
            page.quit()
        bench.stop()


def run_part(name, part, args, expected):
    """Runs one part; returns (name, problems). A part that breaks off is a
    problem too, with what broke it."""
    problems = []
    measured = 0
    try:
        measured = part(args, problems)
    except Exception as error:  # noqa: BLE001 - reported, and the run goes on
        traceback.print_exc(file=sys.stdout)
        problems.append("broke off: %s: %s" % (type(error).__name__, error))
    if measured != expected and not problems:
        problems.append("%d of %d measured" % (measured, expected))
    for problem in problems:
        print("  problem: " + problem)
    return name, measured, expected, problems


def main():
    parser = argparse.ArgumentParser()
    wd.add_build_arguments(parser)
    parser.add_argument("--presses", type=int, default=40)
    parser.add_argument("--smoke", action="store_true")
    args = wd.absolute_build_arguments(parser.parse_args())
    os.makedirs(args.work, exist_ok=True)
    results = [run_part("workbench.latency_benchmark.presses", press_latency, args, args.presses),
               run_part("workbench.latency_benchmark.broadcast", broadcast_latency, args, max(3, args.presses // 4))]
    failed = sum(1 for _, _, _, problems in results if problems)
    if args.smoke:
        for name, measured, expected, problems in results:
            if problems:
                print("FAIL %s: %d of %d measured to the end of the road; %d problems, the first: %s"
                      % (name, measured, expected, len(problems), problems[0]))
            else:
                print("PASS %s: %d of %d measured, each to the end of its road" % (name, measured, expected))
        print("%d passed, %d failed" % (len(results) - failed, failed))
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
