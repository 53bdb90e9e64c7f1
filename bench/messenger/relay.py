#!/usr/bin/env python3
"""Relay benchmark, inside the namespaces of tests/tools/messenger/internet_links.sh: alice
and five friends behind NAT routers, linked over ICE. Prints the round trip of a datagram
from alice's game port to bob's and back through both relays, beside the same round trip
over plain UDP to the server's namespace (same number of routers), and alice's CPU and
memory with her five friends linked and idle."""
import os
import statistics
import subprocess
import sys
import time
import types

import test_internet
from test_internet import befriend, address, build_internet, start_servers
from test_xmpp import DOMAIN, Messenger, run, CONFIG

PINGS = 500
ECHO = """
import socket, sys
s = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
s.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
s.bind(("0.0.0.0", int(sys.argv[1])))
print("bound", flush=True)
while True:
    data, sender = s.recvfrom(2048)
    s.sendto(data, sender)
"""
PING = """
import socket, sys, time
s = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
s.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
s.bind(("0.0.0.0", 4012))
s.settimeout(1)
to = (sys.argv[1], int(sys.argv[2]))
for i in range(int(sys.argv[3])):
    sent = time.perf_counter()
    s.sendto(b"HF%d" % i, to)
    try:
        while s.recvfrom(2048)[0] != b"HF%d" % i:
            pass
        print((time.perf_counter() - sent) * 1e6, flush=True)
    except socket.timeout:
        print("lost", flush=True)
    time.sleep(0.01)   # 100 a second: under the relay's limit
"""


def inside(ns, *command, **kwargs):
    return subprocess.Popen(["ip", "netns", "exec", ns, *command], text=True, **kwargs)


def round_trips(ns, to, port):
    out = inside(ns, sys.executable, "-c", PING, to, str(port), str(PINGS), stdout=subprocess.PIPE).communicate()[0]
    lines = out.split()
    times = sorted(float(x) for x in lines if x != "lost")
    return times, lines.count("lost")


def show(what, times, lost):
    p99 = times[int(len(times) * 0.99) - 1]
    print(f"{what}: median {statistics.median(times):.0f} us, p99 {p99:.0f} us, lost {lost} of {PINGS}")
    return statistics.median(times), p99


def cpu_and_memory(pid, seconds):
    def ticks():
        with open(f"/proc/{pid}/stat") as f:
            fields = f.read().rsplit(")", 1)[1].split()
        return int(fields[11]) + int(fields[12])
    before, started = ticks(), time.monotonic()
    time.sleep(seconds)
    used = (ticks() - before) / os.sysconf("SC_CLK_TCK") / (time.monotonic() - started)
    with open(f"/proc/{pid}/status") as f:
        rss = next(line.split()[1] for line in f if line.startswith("VmRSS"))
    return used * 100, int(rss) / 1024


def main():
    homes = test_internet.HOMES
    for number, home in enumerate("def", 3):
        homes[home] = (f"198.51.100.{number * 16 + 2}/28", f"198.51.100.{number * 16 + 1}", "masquerade")
    build_internet()
    servers = []
    start_servers(servers)
    friends = ["bob", "carol", "dave", "erin", "frank"]
    for user in ("erin", "frank"):
        run("prosodyctl", "--config", CONFIG, "register", user, DOMAIN, "pw-" + user)
        with open(os.path.join(test_internet.FOLDER, user + ".pw"), "w") as f:
            f.write("pw-" + user + "\n")
        os.chmod(os.path.join(test_internet.FOLDER, user + ".pw"), 0o600)
    test = types.SimpleNamespace(tmp=os.path.join(test_internet.FOLDER, "bench"), cleanups=[])
    os.mkdir(test.tmp)
    test.env = dict(os.environ, HOLLYFROST_REGISTRY=os.path.join(test.tmp, "registry.ini"))
    test.addCleanup = test.cleanups.append
    test.assertEqual = lambda a, b, *rest: None if a == b else sys.exit(f"{a} != {b} {rest}")
    alice = Messenger(test, "alice", "100001", inside=["ip", "netns", "exec", "pa"])
    others = [Messenger(test, user, str(100002 + i), inside=["ip", "netns", "exec", "p" + home])
              for i, (user, home) in enumerate(zip(friends, "bcdef"))]
    for messenger in [alice, *others]:
        messenger.wait_said("signed in")
    for i, friend in enumerate(others):
        befriend(test, alice, friend, str(100002 + i))
    for friend in friends:
        alice.wait_said(f"linked to {friend}@", 20)
    print("\n".join(line.strip() for line in alice.said("linked to")))
    echoes = [inside("pb", sys.executable, "-c", ECHO, "4012", stdout=subprocess.PIPE),
              inside("srv", sys.executable, "-c", ECHO, "9999", stdout=subprocess.PIPE)]
    for echo in echoes:
        echo.stdout.readline()
    relay = show("through the relays (alice to bob and back)", *round_trips("pa", address(alice, "100002"), 4012))
    plain = show("plain UDP (alice to the server and back)", *round_trips("pa", "192.0.2.10", 9999))
    print(f"added by the relays, one way: median {(relay[0] - plain[0]) / 2:.0f} us, "
          f"p99 {(relay[1] - plain[1]) / 2:.0f} us")
    time.sleep(5)
    cpu, rss = cpu_and_memory(alice.process.pid, 30)
    print(f"alice with 5 friends linked, idle for 30 s: CPU {cpu:.3f} % of a core, resident {rss:.1f} MB")
    for echo in echoes:
        echo.kill()
    for cleanup in reversed(test.cleanups):
        cleanup()
    for server in servers:
        server.terminate()


if __name__ == "__main__":
    main()
