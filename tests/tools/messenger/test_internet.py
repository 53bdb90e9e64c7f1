#!/usr/bin/env python3
"""Friends on an "internet" of network namespaces: an XMPP server (prosody, handing out TURN
credentials) with a TURN server (coturn) on public addresses, and three homes, each a player
behind a NAT router; home C's router maps every flow to a new port, so that only TURN gets
its datagrams through. The messengers sign in, list each other, and relay the game's
datagrams between 127.0.0.N and the friend's ICE stream. Runs inside internet_links.sh."""
import os
import subprocess
import sys
import time
import unittest

from test_xmpp import DOMAIN, FOLDER, CONFIG, Messenger, make_server, to_alice, wait_for
from test_lan import game_files

SECRET = "turn-secret-of-the-test"
HOMES = {"a": ("198.51.100.2/28", "198.51.100.1", "masquerade"),
         "b": ("198.51.100.18/28", "198.51.100.17", "masquerade"),
         "c": ("203.0.113.2/24", "203.0.113.1", "masquerade random")}
# Sends or receives game datagrams in a player's namespace, as the game does on its port.
PEER = """
import socket, sys, time
s = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
s.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
s.bind(("0.0.0.0", 4012))
if sys.argv[1] == "send":
    count, to, size = int(sys.argv[2]), sys.argv[3], int(sys.argv[4])
    for i in range(count):
        s.sendto((b"HFdatagram %d" % i).ljust(size, b"."), (to, 4012))
else:
    print("bound", flush=True)
    s.settimeout(float(sys.argv[2]))
    try:
        while True:
            data, sender = s.recvfrom(2048)
            print(sender[0], data.decode().rstrip("."), flush=True)
    except socket.timeout:
        pass
"""


def ip(*args, ns=None):
    command = ["ip", "netns", "exec", ns, *args] if ns else list(args)
    subprocess.run(command, check=True, capture_output=True, timeout=30)


def link(ns1, if1, address1, ns2, if2, address2):
    ip("ip", "link", "add", if1, "netns", ns1, "type", "veth", "peer", "name", if2, "netns", ns2)
    for ns, name, address in ((ns1, if1, address1), (ns2, if2, address2)):
        ip("ip", "addr", "add", address, "dev", name, ns=ns)
        ip("ip", "link", "set", name, "up", ns=ns)


def build_internet():
    names = ["core", "srv"] + [f"r{h}" for h in HOMES] + [f"p{h}" for h in HOMES]
    for ns in names:
        ip("ip", "netns", "add", ns)
        ip("ip", "link", "set", "lo", "up", ns=ns)
    for ns in ["core"] + [f"r{h}" for h in HOMES]:
        ip("sysctl", "-qw", "net.ipv4.ip_forward=1", ns=ns)
    link("core", "c-srv", "192.0.2.1/24", "srv", "wan", "192.0.2.10/24")
    ip("ip", "route", "add", "default", "via", "192.0.2.1", ns="srv")
    for number, (home, (wan, gateway, masquerade)) in enumerate(HOMES.items(), 1):
        link("core", f"c-{home}", gateway + "/" + wan.split("/")[1], f"r{home}", "wan", wan)
        link(f"r{home}", "lan", f"10.0.{number}.1/24", f"p{home}", "eth0", f"10.0.{number}.2/24")
        ip("ip", "route", "add", "default", "via", gateway, ns=f"r{home}")
        ip("ip", "route", "add", "default", "via", f"10.0.{number}.1", ns=f"p{home}")
        rules = ("table ip home_nat {\n chain postrouting {\n  type nat hook postrouting priority 100;\n"
                 f"  oifname \"wan\" {masquerade}\n }}\n}}\n"
                 # A home router lets in only what answers a flow from inside; the rest is
                 # dropped before its connection is tracked, so that it takes no mapping.
                 "table ip home_filter {\n chain prerouting {\n  type filter hook prerouting priority -150;\n"
                 "  iifname \"wan\" ct state new drop\n }\n}\n")
        subprocess.run(["ip", "netns", "exec", f"r{home}", "nft", "-f", "-"], input=rules, text=True, check=True,
                       timeout=30)


def befriend(test, alice, friend, uin):
    """Alice asks |friend| (UIN |uin|), who accepts and asks back; both list the other online."""
    test.assertEqual(alice.command("add", f"{friend.user}@{DOMAIN}").returncode, 0)
    wait_for(lambda: "asks to see you online" in friend.command("buddies").stdout, 5, "request listed")
    test.assertEqual(friend.command("accept", f"alice@{DOMAIN}").returncode, 0)
    wait_for(lambda: f"{friend.user}@{DOMAIN}\tasks" in alice.command("buddies").stdout, 5, "asked back")
    accepted = time.monotonic()
    test.assertEqual(alice.command("accept", f"{friend.user}@{DOMAIN}").returncode, 0)
    seen = wait_for(lambda: alice.lists(uin) and friend.lists("100001"), 5, "both list the other online")
    print(f"alice and {friend.user} listed each other in {seen - accepted:.2f} s", flush=True)


def address(messenger, uin):
    """The local address at which |messenger| reaches the player |uin|."""
    for line in messenger.command("buddies").stdout.splitlines():
        if line.startswith(uin + "\t"):
            return line.split("\t")[3]
    return None


def start_servers(processes):
    make_server("192.0.2.10", ', "turn_external"',
                f'turn_external_secret = "{SECRET}"\nturn_external_host = "192.0.2.10"\n')
    log = open(os.path.join(FOLDER, "turnserver.log"), "w")  # noqa: SIM115 (kept by the servers)
    for command in (["prosody", "--config", CONFIG, "-F"],
                    ["turnserver", "-n", "--listening-ip=192.0.2.10", "--relay-ip=192.0.2.10",
                     "--listening-port=3478", "--use-auth-secret", f"--static-auth-secret={SECRET}",
                     f"--realm={DOMAIN}", "--no-tcp", "--no-tls", "--no-dtls", "--no-cli", "--min-port=49152",
                     "--max-port=49352", "--log-file=stdout", "--simple-log", "-v",
                     f"--pidfile={FOLDER}/turnserver.pid", f"--db={FOLDER}/turndb"]):
        processes.append(subprocess.Popen(["ip", "netns", "exec", "srv", *command], stdout=log,
                                          stderr=subprocess.STDOUT))

    def listens():
        return subprocess.run(["ip", "netns", "exec", "pa", "python3", "-c",
                               "import socket; socket.create_connection(('hollyfrost.test', 5222), 1)"],
                              capture_output=True).returncode == 0
    wait_for(listens, 10, "prosody listens")


class InternetTest(unittest.TestCase):
    processes = []

    @classmethod
    def setUpClass(cls):
        build_internet()
        start_servers(cls.processes)

    @classmethod
    def tearDownClass(cls):
        for process in cls.processes:
            process.terminate()
            process.wait(timeout=20)

    def setUp(self):
        self.tmp = os.path.join(FOLDER, "t")
        os.mkdir(self.tmp)
        self.env = dict(os.environ, HOLLYFROST_REGISTRY=os.path.join(self.tmp, "registry.ini"))

    def peer(self, home, *args, stdout=subprocess.PIPE):
        return subprocess.Popen(["ip", "netns", "exec", "p" + home, sys.executable, "-c", PEER, *args],
                                stdout=stdout, text=True)

    def relays(self, home, to, from_address, count=1, size=0):
        """Sends |count| datagrams from the game port of |home| to the address |to| there, and
        returns the sources and texts that reach the game port of the other home."""
        receiver = self.peer(from_address[0], "receive", "1")
        self.assertEqual(receiver.stdout.readline(), "bound\n")
        self.peer(home, "send", str(count), to, str(size), stdout=subprocess.DEVNULL).wait(timeout=30)
        return [line.split(" ", 1) for line in receiver.communicate(timeout=30)[0].splitlines()]

    def test_friends_behind_routers_race_through_links(self):
        alice, bob, carol = (Messenger(self, user, uin, inside=["ip", "netns", "exec", "p" + home])
                             for user, uin, home in (("alice", "100001", "a"), ("bob", "100002", "b"),
                                                     ("carol", "100003", "c")))
        for messenger in (alice, bob, carol):
            messenger.wait_said("signed in")
        for friend, uin in ((bob, "100002"), (carol, "100003")):
            befriend(self, alice, friend, uin)
        bob_at_alice, carol_at_alice, alice_at_bob = address(alice, "100002"), address(alice, "100003"), \
            address(bob, "100001")
        self.assertRegex(bob_at_alice, r"^127\.0\.0\.\d+$")
        self.assertNotEqual(bob_at_alice, carol_at_alice)
        started = time.monotonic()
        # A and B punch through their routers; C's maps each flow anew: only TURN is left.
        alice.wait_said(f"linked to bob@{DOMAIN}", 15)
        alice.wait_said(f"linked to carol@{DOMAIN}", 15)
        print(f"links up in {time.monotonic() - started:.2f} s", flush=True)
        alice.wait_said("directly as " + bob_at_alice, 10)
        self.assertEqual([line for line in alice.said("linked to") if "directly" in line and "carol" in line], [])
        print("\n".join(alice.said("linked to") + bob.said("linked to") + carol.said("linked to")), flush=True)

        # A's game port to B's and back, and to C through TURN: the other game sees the
        # sender's own local address.
        # (The first datagrams may meet a link whose other side is still settling its pair.)
        for home, to, other, expected in (("a", bob_at_alice, "b", [[alice_at_bob, "HFdatagram 0"]]),
                                          ("b", alice_at_bob, "a", [[bob_at_alice, "HFdatagram 0"]]),
                                          ("a", carol_at_alice, "c", [[address(carol, "100001"), "HFdatagram 0"]])):
            wait_for(lambda: self.relays(home, to, other) == expected, 6, f"{home} reaches {other}")

        # Hostile: a datagram larger than the game takes, a stranger's Jingle session, and a
        # flood into a relay.
        self.assertEqual(self.relays("a", bob_at_alice, "b", size=1518), [])
        self.assertEqual(self.relays("a", bob_at_alice, "b", size=1517), [[alice_at_bob, "HFdatagram 0"]])
        before = game_files(alice.folder)
        to_alice(f"<iq type=\"set\" id=\"j1\" from=\"dave@{DOMAIN}/x\"><jingle xmlns=\"urn:xmpp:jingle:1\" "
                 "action=\"session-initiate\" sid=\"s1\"><content creator=\"initiator\" name=\"game\">"
                 "<description xmlns=\"urn:hollyfrost:datagrams:0\"/><transport "
                 "xmlns=\"urn:xmpp:jingle:transports:ice-udp:1\" ufrag=\"u\" pwd=\"p\"/></content></jingle></iq>")
        alice.wait_said("refused a Jingle message from dave@")
        self.assertIn("not a friend", alice.said("refused a Jingle")[0])
        flood = time.monotonic()
        received = self.relays("a", bob_at_alice, "b", 10000)
        seconds = time.monotonic() - flood
        print(f"flood: {len(received)} of 10000 datagrams passed in {seconds:.1f} s", flush=True)
        self.assertLessEqual(len(received), 200 * (seconds + 1))
        alice.wait_said("dropping datagrams to bob@")
        self.assertEqual((len(alice.said("dropping")), len(alice.said("refused a Jingle"))), (1, 1), alice.lines)
        self.assertEqual(game_files(alice.folder), before)
        for messenger in (alice, bob, carol):
            self.assertIsNone(messenger.process.poll())

        stopped = time.monotonic()
        bob.stop()
        gone = wait_for(lambda: alice.lists("100002", "="), 10, "bob listed offline")
        print(f"listed offline in {gone - stopped:.2f} s", flush=True)


if __name__ == "__main__":
    unittest.main(verbosity=2)
