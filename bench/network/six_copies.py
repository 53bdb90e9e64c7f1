#!/usr/bin/env python3
"""A race of six real copies, a host and five joiners, set up through their controls:
time from "Start Game" to the last scoreboard, CPU seconds and peak memory of each copy,
and whether all six show the same scoreboard. Run through bench/network/run.sh.

By default the copies share loopback (127.0.0.2 to 127.0.0.7). With --lan (root) each copy
runs in a network namespace of its own (10.77.0.2 to 10.77.0.7 on eth0), the six joined
by veth pairs to a bridge in a seventh namespace; from "Start Game" on, nftables drops
one UDP datagram in five at random on every link in each direction (numgen random), and
one in four leaves its copy through a 16 kbit lane of its own (tc htb, chosen by nftables),
which puts it behind datagrams sent after it: reordering without a delaying queue. In a
puzzle race (--game "Simple Math") each joiner's player answers every question; the
host's player answers none. --runs repeats the whole race with fresh copies."""
import argparse
import statistics
import subprocess
import sys
import tempfile
import time

from desktop import cpu_seconds, game_pid, press, status_kb, wait_find, wait_for
from e2e_network import Copy, new_application, press_in_box, simple_math_answerer, watch_scoreboards

NAMES = ["Robin", "Jo", "Al", "Mia", "Kit", "Sam"]
CHARACTERS = ["Pip.acs", "Bolt.acs", "Penny.acs", "Miso.acs", "Ember.acs", "Lily.acs"]
SWITCH = "hf6-switch"
NAMESPACES = [f"hf6-{i}" for i in range(6)]
LANE = '"1:20"'   # the htb class of the slow lane


def run(*args, check=True):
    return subprocess.run(args, check=check, capture_output=True, text=True)


def remove_lan():
    for namespace in NAMESPACES + [SWITCH]:
        run("ip", "netns", "del", namespace, check=False)


def make_lan():
    """Six namespaces on a bridge, no loss yet; returns each copy's command prefix."""
    remove_lan()
    run("ip", "netns", "add", SWITCH)
    run("ip", "-n", SWITCH, "link", "add", "br0", "type", "bridge")
    run("ip", "-n", SWITCH, "link", "set", "br0", "up")
    for i, namespace in enumerate(NAMESPACES):
        run("ip", "netns", "add", namespace)
        run("ip", "link", "add", f"hf6-v{i}", "netns", namespace, "type", "veth", "peer", "name", f"port{i}",
            "netns", SWITCH)
        run("ip", "-n", SWITCH, "link", "set", f"port{i}", "master", "br0", "up")
        run("ip", "-n", namespace, "link", "set", f"hf6-v{i}", "name", "eth0")
        run("ip", "-n", namespace, "addr", "add", f"10.77.0.{2 + i}/24", "dev", "eth0")
        run("ip", "-n", namespace, "link", "set", "eth0", "up")
        run("ip", "-n", namespace, "link", "set", "lo", "up")
        tc = ["ip", "netns", "exec", namespace, "tc"]
        run(*tc, "qdisc", "add", "dev", "eth0", "root", "handle", "1:", "htb", "default", "10")
        run(*tc, "class", "add", "dev", "eth0", "parent", "1:", "classid", "1:10", "htb", "rate", "100mbit")
        run(*tc, "class", "add", "dev", "eth0", "parent", "1:", "classid", "1:20", "htb", "rate", "16kbit",
            "ceil", "16kbit", "burst", "1b", "cburst", "1b")
    return [["nsenter", f"--net=/run/netns/{namespace}"] for namespace in NAMESPACES]


def impair_lan(loss_in=5, lane_in=4):
    rules = f"""table inet hf_lan {{
  chain input {{ type filter hook input priority 0; policy accept;
    iifname "eth0" meta l4proto udp counter; iifname "eth0" meta l4proto udp numgen random mod {loss_in} == 0 counter drop; }}
  chain output {{ type filter hook output priority 0; policy accept;
    oifname "eth0" meta l4proto udp counter; oifname "eth0" meta l4proto udp numgen random mod {loss_in} == 0 counter drop;
    oifname "eth0" meta l4proto udp numgen random mod {lane_in} == 0 meta priority set {LANE} counter; }}
}}"""
    for namespace in NAMESPACES:
        subprocess.run(["ip", "netns", "exec", namespace, "nft", "-f", "-"], input=rules, text=True, check=True)


def lan_counts():
    """Datagrams seen, dropped and sent through the slow lane on every link."""
    seen = dropped = slow = 0
    for namespace in NAMESPACES:
        listing = run("ip", "netns", "exec", namespace, "nft", "list", "table", "inet", "hf_lan").stdout
        for line in listing.splitlines():
            if "counter packets" not in line:
                continue
            packets = int(line.split("counter packets")[1].split()[0])
            if "drop" in line:
                dropped += packets
            elif "priority set" in line:
                slow += packets
            else:
                seen += packets
    return seen, dropped, slow


def main_thread_stack(pid):
    """The innermost frames of a copy's main thread (gdb), to see where a race stalled."""
    result = run("gdb", "-batch", "-p", str(pid), "-ex", "bt 40", check=False)
    frames = [line for line in result.stdout.splitlines() if line.startswith("#")]
    return "\n".join("    " + line[:160] for line in frames)


def race_once(game, lan, timeout):
    tmp = tempfile.TemporaryDirectory()
    prefixes = make_lan() if lan else [()] * 6
    uins = [str(40001 + i) for i in range(6)]
    addresses = [f"10.77.0.{2 + i}" if lan else f"127.0.0.{2 + i}" for i in range(6)]
    copies = []
    try:
        for i in range(6):
            buddies = ([f"{uins[j]}:{NAMES[j]}:{addresses[j]}" for j in range(1, 6)] if i == 0
                       else [f"{uins[0]}:{NAMES[0]}:{addresses[0]}"])
            copy = Copy(tmp.name, NAMES[i], uins[i], addresses[i], buddies, uins[0] if i else uins[1], CHARACTERS[i],
                        prefixes[i])
            copy.app = new_application({c.app.get_process_id() for c in copies})
            copies.append(copy)
        host, joiners = copies[0], copies[1:]
        press(wait_find(host.app, "Host a Game", "radio button"))
        press(wait_find(host.app, game, "radio button"))
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
        if lan:
            impair_lan()
        started = time.time()
        press(wait_find(host.app, "Start Game", "push button"))
        cpu, memory, ended = {}, {}, {}
        index = {NAMES[i]: i for i in range(6)}
        answerers = [simple_math_answerer(joiner, []) for joiner in joiners] if game != "Random Race" else []

        def seen(label):
            i = index[label]
            cpu[label] = cpu_seconds(pids[i]) - start_cpu[i]
            memory[label] = status_kb(pids[i])

        turn = 0

        def tick():
            # One joiner's question per look, so that a look stays short: the boards show
            # only for the few seconds before their copies end.
            nonlocal turn
            if answerers:
                answerers[turn % len(answerers)]()
                turn += 1
        try:
            boards = watch_scoreboards({NAMES[i]: copies[i] for i in range(6)}, timeout, seen, tick, lines=3,
                                       ended=ended)
        except TimeoutError:
            boards = {}
            for label, i in index.items():   # where the copies that showed no board got to
                if label not in cpu and copies[i].process.poll() is None:
                    seen(label)
                    print(f"  {label} is stuck in:\n" + main_thread_stack(pids[i]), flush=True)
        seconds = time.time() - started
        same = len(boards) == 6 and all(board == boards[NAMES[0]] for board in boards.values())
        print(f"{game} of six copies {'in namespaces, lossy links' if lan else 'on loopback'}: "
              f"{seconds:.1f} s from Start Game to the last scoreboard, "
              f"{'all six boards agree' if same else f'FAILED: {len(boards)} boards'}", flush=True)
        if lan:
            total, dropped, slow = lan_counts()
            print(f"  links: {total} datagrams, {dropped} dropped ({100 * dropped / max(total, 1):.1f} %), "
                  f"{slow} through the slow lane", flush=True)
        for copy in copies:   # a copy that ended early: how
            if copy.process.poll() is not None and copy.process.returncode != 0:
                output = copy.process.stdout.read().decode(errors="replace").strip().splitlines()[-5:]
                print(f"  a copy ended with status {copy.process.returncode}:", *output, sep="\n    ", flush=True)
        for label in NAMES:
            if label not in boards and label in ended:   # a board missed, or none shown
                print(f"  {label} ended {ended[label] - started:.1f} s after Start Game, no board seen", flush=True)
            share = 100 * cpu.get(label, 0) / seconds if seconds else 0
            print(f"  {label:6} {'host  ' if label == NAMES[0] else 'joiner'} CPU {cpu.get(label, 0):6.2f} s "
                  f"({share:4.1f} % of one core)  peak memory {memory.get(label, 0) / 1024:6.1f} MiB  "
                  f"board {boards.get(label)}", flush=True)
        return same, seconds, memory
    finally:
        for copy in copies:
            copy.stop()
        tmp.cleanup()
        if lan:
            remove_lan()


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--lan", action="store_true", help="a namespace per copy, lossy links (root)")
    parser.add_argument("--game", default="Random Race")
    parser.add_argument("--runs", type=int, default=1)
    parser.add_argument("--timeout", type=int, default=600, help="seconds a race may take")
    args = parser.parse_args()
    finished, times, peaks = 0, [], {label: 0 for label in NAMES}
    for number in range(1, args.runs + 1):
        print(f"run {number} of {args.runs}", flush=True)
        same, seconds, memory = race_once(args.game, args.lan, args.timeout)
        finished += same
        if same:
            times.append(seconds)
        for label, kb in memory.items():
            peaks[label] = max(peaks[label], kb)
    if args.runs > 1:
        print(f"finished with six agreeing scoreboards: {finished} of {args.runs} runs; time to the last "
              f"scoreboard: median {statistics.median(times) if times else 0:.1f} s, "
              f"longest {max(times, default=0):.1f} s; highest peak memory: "
              + ", ".join(f"{label} {kb / 1024:.1f} MiB" for label, kb in peaks.items()), flush=True)
    return 0 if finished == args.runs else 1


if __name__ == "__main__":
    sys.exit(main())
