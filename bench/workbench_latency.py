"""Press-to-screen latency of the workbench, measured in the page itself:
from the click on a "Monitor" button until the pressed destination's
"Ident" shows its new state sheet on screen (the road: page -> server ->
host thread -> bridge child -> component -> commands -> parent broadcast to
every placement -> published state -> server-sent event -> drawn), for
native and Wine placements; and one source broadcast to 64 placements until
the crosspoint tables show all 64 routes.

  workbench_latency.py --zorv-host PATH --bin FOLDER --dist FOLDER --work FOLDER [--presses N] [--smoke]

Prints figures; asserts no times. With --smoke it also prints a PASS line
and "N passed, M failed" (for the test command), counting a run that
measured something as passed.
"""
import argparse
import os
import statistics
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tools", "workbench", "driver"))
import workbench_driver as wd  # noqa: E402


def figures(label, values):
    values = sorted(values)
    p90 = values[min(len(values) - 1, int(round(0.9 * (len(values) - 1))))]
    print("  %-34s n=%-4d median %6.1f ms   p90 %6.1f ms   max %6.1f ms"
          % (label, len(values), statistics.median(values), p90, values[-1]))


def press_latency(args):
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
        runners = {p["name"]: p["runner"] for p in bench.state()["placements"]}
        seen = {"native": [], "wine": []}
        names = [p["name"] for p in placements]
        for i in range(args.presses):
            # Each press selects a placement that was not selected, so its
            # look changes; the broadcast reaches all eight.
            name = names[i % len(names)]
            if page.sheet(name) == "dest_selected":
                continue
            ms = page.timed_press(name, "Monitor", name)
            if ms >= 0:
                seen[runners[name]].append(ms)
        print("press to screen, 8 placements (%s):" % ", ".join(
            "%d %s" % (list(runners.values()).count(r), r) for r in ("native", "wine")))
        for runner in ("native", "wine"):
            if seen[runner]:
                figures("placement running " + runner, seen[runner])
        if not any(r == "wine" for r in runners.values()):
            print("  (Wine does not run on this machine: the Wine placements ran their native modules)")
        return sum(len(v) for v in seen.values())
    finally:
        if page:
            page.quit()
        bench.stop()


def broadcast_latency(args):
    selvarin = os.path.join(args.bin, "Selvarin.so")
    placements = [{"name": "D%02d" % i, "library": selvarin} for i in range(1, 65)]
    panel = wd.write_panel(os.path.join(args.work, "broadcast.zorv_panel"), placements, device_each=True,
                           title="latency: 64 placements")
    bench = wd.Workbench(args.zorv_host, panel)
    page = None
    try:
        bench.wait_settled()
        page = wd.Page(bench.url, 1900, 1200)
        # Every placement is destination 1 of a router of its own: one
        # "activedest=1" selects all 64, so a source reaches every router.
        page.press("D01", "Monitor")
        wd.wait_until(lambda: all(wd.control_sheet(bench.state(), p["name"]) == "dest_selected" for p in placements),
                      20, 0.05, "all 64 selected")
        targets = [[i, 1] for i in range(1, 65)]
        seen = []
        for round_ in range(max(3, args.presses // 4)):
            ms = page.timed_broadcast(1 + round_ % 16, targets)
            if ms >= 0:
                seen.append(ms)
            # The source must differ from the last one to change the tables.
        print("one source to 64 placements until all 64 crosspoints show:")
        if seen:
            figures("native placements", seen)
        return len(seen)
    finally:
        if page:
            page.quit()
        bench.stop()


def main():
    parser = argparse.ArgumentParser()
    wd.add_build_arguments(parser)
    parser.add_argument("--presses", type=int, default=40)
    parser.add_argument("--smoke", action="store_true")
    args = wd.absolute_build_arguments(parser.parse_args())
    os.makedirs(args.work, exist_ok=True)
    measured = press_latency(args) + broadcast_latency(args)
    if args.smoke:
        print(("PASS" if measured else "FAIL") + " workbench.latency_benchmark")
        print("%d passed, %d failed" % (1 if measured else 0, 0 if measured else 1))
    return 0 if measured else 1


if __name__ == "__main__":
    sys.exit(main())
