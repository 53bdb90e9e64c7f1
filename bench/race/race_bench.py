#!/usr/bin/env python3
"""One whole Local Race with six contestants at time scale 1 on a virtual desktop:
CPU share of one core and peak memory of the game over the race (resident, and proportional:
its Pss, which counts shared libraries in part), the X server's CPU share and growth over the
race, the peak of the game's Pss plus the X server's growth, the wall time of each 250 ms tick handler and how late the characters'
frames were painted after their due time. Run through bench/race/run.sh."""
import os
import statistics
import sys
import tempfile
import time

from desktop import Game, application, cpu_seconds, find, game_pid, is_showing, press, status_kb, wait_find, wait_for

def x_server_pid():
    """The Xvfb serving our DISPLAY (started by xvfb-run with the display number)."""
    display = os.environ.get("DISPLAY", "")
    for entry in os.listdir("/proc"):
        if entry.isdigit():
            try:
                with open(f"/proc/{entry}/cmdline", "rb") as f:
                    args = f.read().split(b"\0")
            except OSError:
                continue
            if args and os.path.basename(args[0]) == b"Xvfb" and display.encode() in args:
                return int(entry)
    return None


def pss_kb(pid):
    """The proportional set size of a process in KiB (shared pages counted in part)."""
    with open(f"/proc/{pid}/smaps_rollup") as f:
        for line in f:
            if line.startswith("Pss:"):
                return int(line.split()[1])
    return 0


def percentile(values, share):
    ordered = sorted(values)
    return ordered[min(len(ordered) - 1, int(len(ordered) * share))]


def main():
    ticks_file = tempfile.mktemp(prefix="ticks-")
    frames_file = tempfile.mktemp(prefix="frames-")
    xserver = x_server_pid()
    env = {"HOLLYFROST_BENCH_TICKS": ticks_file, "HOLLYFROST_BENCH_FRAMES": frames_file}
    with Game(time_scale="1", env=env) as game:
        app = application()
        press(wait_find(app, "Local Race", "radio button"))
        add = wait_find(app, "Add Characters to Race", "push button")
        for name in ("Pip.acs", "Bolt.acs", "Penny.acs", "Miso.acs", "Ember.acs", "Lily.acs"):
            press(add)
            dialog = wait_find(app, "Open", "dialog", 30)
            wait_find(dialog, "File name:", "text").queryEditableText().setTextContents(name)
            press(wait_find(dialog, "Open", "push button"))
            wait_for(lambda: not is_showing(find(app, "Open", "dialog", showing=None)), 30, 0.2, "dialog closed")
        pid = wait_for(lambda: game_pid(game.process.pid), 10, 0.1, "the game's process")
        start_cpu, start = cpu_seconds(pid), time.time()
        x_before = status_kb(xserver, "VmRSS:") if xserver else 0
        x_peak = x_before
        x_start_cpu = x_cpu = cpu_seconds(xserver) if xserver else 0
        press(wait_find(app, "Start Game", "push button"))
        cpu, peak, pss_peak, together_peak = start_cpu, 0, 0, 0
        while game.process.poll() is None:
            try:
                cpu, peak = cpu_seconds(pid), max(peak, status_kb(pid))
                pss = pss_kb(pid)
                pss_peak = max(pss_peak, pss)
                x_growth = 0
                if xserver:
                    x_rss = status_kb(xserver, "VmRSS:")
                    x_peak = max(x_peak, x_rss)
                    x_growth = x_rss - x_before
                    x_cpu = cpu_seconds(xserver)
                together_peak = max(together_peak, pss + x_growth)
            except OSError:
                break
            time.sleep(0.2)
        wall = time.time() - start
        game.process.wait(timeout=60)
    with open(ticks_file) as f:
        rows = [line.split() for line in f]
    os.unlink(ticks_file)
    plain = [int(us) / 1000 for us, kind in rows if kind == "tick"]
    waits = [int(us) / 1000 for us, kind in rows if kind == "wait"]
    print(f"race and shutdown: {wall:.1f} s wall")
    print(f"cpu: {100 * (cpu - start_cpu) / wall:.2f} % of one core")
    if xserver:
        print(f"X server cpu over the race: {100 * (x_cpu - x_start_cpu) / wall:.2f} % of one core")
    print(f"peak memory: {peak / 1024:.1f} MB resident, {pss_peak / 1024:.1f} MB Pss")
    if xserver:
        print(f"X server growth over the race: {(x_peak - x_before) / 1024:.1f} MB")
        print(f"game's Pss plus the X server's growth, at the same moment: peak {together_peak / 1024:.1f} MB")
    print(f"tick handler: {len(plain)} ticks, median {statistics.median(plain):.3f} ms, worst {max(plain):.3f} ms")
    if os.path.exists(frames_file):
        with open(frames_file) as f:
            late = [int(line) / 1000 for line in f if line.strip()]
        os.unlink(frames_file)
        if late:
            within = 100 * sum(1 for v in late if v <= 5) / len(late)
            print(f"frames: {len(late)} painted, late by median {statistics.median(late):.1f} ms, "
                  f"95% {percentile(late, 0.95):.1f} ms, 99% {percentile(late, 0.99):.1f} ms, "
                  f"worst {max(late):.1f} ms; {within:.1f}% within 5 ms")
    if waits:
        print(f"ticks with deliberate waits (commentary, goodbye, unload): {len(waits)}, worst {max(waits):.0f} ms")


if __name__ == "__main__":
    sys.exit(main())
