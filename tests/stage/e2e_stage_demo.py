#!/usr/bin/env python3
"""The stage demo on a virtual screen: the character windows, titled with their
identities, appear, move through the corners and across the screen, vanish, and the
demo ends with status 0 after reporting every finished request."""
import os
import subprocess
import sys
import time

from desktop import geometry, x_windows

DEMO = os.path.join(os.environ["HF_BIN_DIR"], "hollyfrost-stage-demo")


def main():
    demo = subprocess.Popen([DEMO], stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True,
                            env=dict(os.environ, HOLLYFROST_TIME_SCALE="0.1"))
    positions = {"Announcer": set(), "Player0": set()}
    deadline = time.time() + 240
    while demo.poll() is None and time.time() < deadline:
        for identity, seen in positions.items():
            for window in x_windows(identity):
                place = geometry(window)
                if place:
                    seen.add(place[:2])
        time.sleep(0.05)
    if demo.poll() is None:
        demo.kill()
        sys.exit("the demo did not end")
    output = demo.stdout.read().splitlines()
    failures = []
    if demo.returncode != 0:
        failures.append(f"exit status {demo.returncode}: {demo.stderr.read()[-2000:]}")
    for identity, seen in positions.items():
        if len(seen) < 5:
            failures.append(f"{identity} was seen at {len(seen)} places only: {sorted(seen)}")
        xs = [x for x, _ in seen]
        if xs and max(xs) - min(xs) < 600:
            failures.append(f"{identity} did not cross the screen: x from {min(xs)} to {max(xs)}")
    if any(x_windows(identity) for identity in positions):
        failures.append("character windows are still shown after the end")
    asked = [line for line in output if ": " in line]
    finished = [line for line in output if line.startswith("request ") and line.endswith(" done")]
    if len(finished) < len(asked) or output[-1:] != ["finished"]:
        failures.append(f"{len(asked)} requests asked for, {len(finished)} reported done; last line {output[-1:]}")
    if failures:
        sys.exit("\n".join(failures))
    print(f"ok: {len(finished)} requests, Announcer at {len(positions['Announcer'])} places, "
          f"Player0 at {len(positions['Player0'])} places")


if __name__ == "__main__":
    main()
