#!/usr/bin/env python3
"""A Random Race of six real copies on loopback (a host on 127.0.0.2 and five joiners on
127.0.0.3 to 127.0.0.7), set up through their controls: CPU seconds and peak memory of
each copy over the race, and whether all six show the same scoreboard. Run through
bench/network/run.sh."""
import os
import sys
import tempfile
import time

from desktop import press, wait_find, wait_for
from e2e_network import Copy, new_application, press_in_box, text_of, watch_scoreboards
from race_bench import cpu_seconds, game_pid, peak_kb

NAMES = ["Robin", "Jo", "Al", "Mia", "Kit", "Sam"]
CHARACTERS = ["Pip.acs", "Bolt.acs", "Penny.acs", "Miso.acs", "Ember.acs", "Lily.acs"]


def main():
    tmp = tempfile.TemporaryDirectory()
    uins = [str(40001 + i) for i in range(6)]
    addresses = [f"127.0.0.{2 + i}" for i in range(6)]
    copies = []
    try:
        for i in range(6):
            buddies = ([f"{uins[j]}:{NAMES[j]}:{addresses[j]}" for j in range(1, 6)] if i == 0
                       else [f"{uins[0]}:{NAMES[0]}:{addresses[0]}"])
            copy = Copy(tmp.name, NAMES[i], uins[i], addresses[i], buddies, uins[0] if i else uins[1], CHARACTERS[i])
            copy.app = new_application({c.app.get_process_id() for c in copies})
            copies.append(copy)
        host, joiners = copies[0], copies[1:]
        press(wait_find(host.app, "Host a Game", "radio button"))
        press(wait_find(host.app, "Random Race", "radio button"))
        for joiner in joiners:
            press(wait_find(joiner.app, "Join a Game", "radio button"))
        for joiner in joiners:
            press(wait_find(joiner.app, "Request To Play", "push button"))
            dialog = wait_find(joiner.app, "Request to Play")
            press(wait_find(dialog, "Request to Play", "push button"))
            press_in_box(host.app, "Play Request from", "Yes")
            press_in_box(joiner.app, "We were accepted for the game", "OK")
        roster = wait_find(host.app, "Game Contestants", "list")
        wait_for(lambda: roster.childCount == 6, 60, 0.2, "six contestants")
        pids = [game_pid(copy.process.pid) for copy in copies]
        start_cpu = [cpu_seconds(pid) for pid in pids]
        started = time.time()
        press(wait_find(host.app, "Start Game", "push button"))
        cpu, memory = {}, {}
        labels = {NAMES[i]: copies[i] for i in range(6)}
        index = {NAMES[i]: i for i in range(6)}

        def seen(label):
            i = index[label]
            cpu[label] = cpu_seconds(pids[i]) - start_cpu[i]
            memory[label] = peak_kb(pids[i])
        boards = watch_scoreboards(labels, 900, seen)
        seconds = time.time() - started
        print(f"six-copy Random Race on loopback: {seconds:.1f} s from Start Game to the last scoreboard")
        for label in NAMES:
            share = 100 * cpu.get(label, 0) / seconds if seconds else 0
            print(f"  {label:6} {'host  ' if label == NAMES[0] else 'joiner'} CPU {cpu.get(label, 0):6.2f} s "
                  f"({share:4.1f} % of one core)  peak memory {memory.get(label, 0) / 1024:6.1f} MiB  "
                  f"board {boards.get(label)}")
        same = len(boards) == 6 and all(board == boards[NAMES[0]] for board in boards.values())
        print(f"  all six show the same scoreboard: {'yes' if same else 'NO'}")
        return 0 if same else 1
    finally:
        for copy in copies:
            copy.stop()
        tmp.cleanup()


if __name__ == "__main__":
    sys.exit(main())
