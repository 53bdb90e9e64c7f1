#!/usr/bin/env python3
"""The two-copy Simple Math race of e2e_network (host on 127.0.0.2, joiner on 127.0.0.3)
with a hostile peer (hostile_peer.py) in the middle of it: at least 10,000 datagrams of
every code to each copy, forged from 127.0.0.4, 127.0.0.5 and each copy's own address,
malformed, truncated, oversized, duplicates of the copies' real datagrams from the right
addresses, and a flood at full speed. The race must end as it does without the peer:
the joiner, who answers every question, wins on both scoreboards and both copies end
normally; the peak memory of each copy is printed and must stay bounded."""
import json
import os
import subprocess
import sys
import unittest

import e2e_network as lan
from desktop import game_pid, status_kb

PEER = os.path.join(os.path.dirname(os.path.abspath(__file__)), "hostile_peer.py")
COUNT = int(os.environ.get("HF_HOSTILE_COUNT", "10000"))
# HF_HOSTILE_CODES (such as "RC RP") limits the attack to some codes, to find which one
# does harm.
CODES = ["--codes", *os.environ["HF_HOSTILE_CODES"].split()] if os.environ.get("HF_HOSTILE_CODES") else []
# Growth of a copy's peak memory over its memory before the attack that counts as bounded.
MEMORY_GROWTH_KB = 256 * 1024
# Right answers before the attack starts, and the most given before it has ended (eight win).
ANSWERS_BEFORE, ANSWERS_DURING = 2, 6


class HostileRaceTest(lan.LanRace):
    def test_race_survives_a_hostile_peer(self):
        host, joiner = self.gather("Simple Math")
        pids = {"host": game_pid(host.process.pid), "joiner": game_pid(joiner.process.pid)}
        before, peak = {}, {label: 0 for label in pids}
        peer = None
        answered = []
        answer = lan.simple_math_answerer(joiner, answered)

        def tick():
            nonlocal peer
            for label, pid in pids.items():
                try:
                    peak[label] = max(peak[label], status_kb(pid))
                except OSError:   # the copy has ended
                    pass
            attacking = peer is not None and peer.poll() is None
            if len(answered) == ANSWERS_BEFORE and peer is None:
                for label, pid in pids.items():
                    before[label] = status_kb(pid, "VmRSS:")
                peer = subprocess.Popen([sys.executable, PEER, lan.HOST_ADDRESS, lan.JOINER_ADDRESS, lan.GAME_PORT,
                                         "--count", str(COUNT), "--seconds", "20", *CODES],
                                        stdout=subprocess.PIPE, text=True)
                attacking = True
            # The race goes on during the attack but must not end before it has.
            if not attacking or len(answered) < ANSWERS_DURING:
                answer()

        report = None
        try:
            boards = self.race(host, joiner, tick=tick, timeout=180)
        finally:
            print(f"questions answered on the joiner: {len(answered)}; copies ended with "
                  f"{host.process.poll()} (host), {joiner.process.poll()} (joiner)", flush=True)
            for label in before:
                print(f"{label}: {before[label] // 1024} MiB before the attack, peak {peak[label] // 1024} MiB",
                      flush=True)
            if peer is not None:
                output = peer.communicate(timeout=120)[0]
                report = json.loads(output) if output else None
                print("hostile peer:", report, flush=True)
        self.assertIsNotNone(report, "the race reached the attack, which ended")
        for target, counts in report["sent"].items():
            self.assertGreaterEqual(min(counts.values()), COUNT, f"datagrams of every code to {target}")
        if os.geteuid() == 0:   # a packet socket to watch the copies' datagrams
            self.assertTrue(report["resent"], "the copies' own datagrams were sent again")
        self.assertEqual(boards["host"]["Win:"], "Win: Jo (Bolt)")
        for label in pids:
            self.assertLess(peak[label], before[label] + MEMORY_GROWTH_KB, f"the {label}'s memory stays bounded")


if __name__ == "__main__":
    unittest.main(verbosity=2)
