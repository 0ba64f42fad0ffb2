"""Plays the automatic take through a running workbench's page, as an
operator would: press "Monitor" of one destination, select a source, wait
for the take timer to clear the selection; then saves a screenshot.

  take_road.py --url URL [--destination NAME] [--source N] [--screenshot FILE]

Prints each step as it shows on the page; exit status 1 when a step does
not show within its time limit. (The latency itself is measured in the page
by bench/workbench_latency.py; here the driver only polls.)
"""
import argparse
import os
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import workbench_driver as wd  # noqa: E402


def step(text, action, check, timeout=10):
    action()
    wd.wait_until(check, timeout, 0.01, text)
    print("  " + text)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--url", required=True)
    parser.add_argument("--destination", help="the placement to make active (default: the third)")
    parser.add_argument("--source", type=int, default=5)
    parser.add_argument("--screenshot")
    args = parser.parse_args()
    page = wd.Page(args.url)
    try:
        state = page.driver.execute_script("return fetch('/api/state').then((r) => r.json())")
        names = [p["name"] for p in state["placements"]]
        name = args.destination or names[min(2, len(names) - 1)]
        sheet = [p for p in state["placements"] if p["name"] == name][0]["selectedbg"]
        offset = None
        for device in state["router"]["devices"]:
            if name in device["destinations"]:
                offset = device["destinations"].index(name) + 1
        print("the take road on the page, destination %s (offset %s), source %d:" % (name, offset, args.source))
        step('press "Monitor" of %s: its "Ident" shows the selected sheet' % name,
             lambda: page.press(name, "Monitor"),
             lambda: page.sheet(name) == sheet and all(page.sheet(n) != sheet for n in names if n != name))
        step("select source %d: the crosspoint table shows it on %s" % (args.source, name),
             lambda: page.select_source(args.source),
             lambda: offset is None or page.crosspoint(offset) == args.source)
        step("the take timer expires: the source selection clears",
             lambda: None, lambda: page.selected_source() == -1)
        if args.screenshot:
            os.makedirs(os.path.dirname(os.path.abspath(args.screenshot)), exist_ok=True)
            page.screenshot(args.screenshot)
            print("  screenshot: " + args.screenshot)
        return 0
    except wd.WorkbenchError as error:
        print("the take road did not show: %s" % error)
        return 1
    finally:
        page.quit()


if __name__ == "__main__":
    sys.exit(main())
