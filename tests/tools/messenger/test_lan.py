#!/usr/bin/env python3
"""Stand-in messengers finding each other on the LAN through an Avahi daemon that
lan_discovery.sh started for this test alone: each lists the other online with its address
in the files the game reads, and offline once it stops; what another machine announces is
hostile input (malformed, oversized, IPv6-only, a UIN or name that clashes) and changes
nothing. The files are read with readers written here from the published layouts."""
import os
import signal
import struct
import subprocess
import sys
import tempfile
import time
import unittest

MESSENGER = sys.argv.pop(1) if len(sys.argv) > 1 else "hollyfrost-messenger"
SERVICE_TYPE = "_hollyfrost-games._udp"


def online_lines(folder):
    """online.txt as (name, UIN, status) tuples; None while the file is missing."""
    try:
        with open(os.path.join(folder, "Games", "online.txt"), "rb") as f:
            data = f.read()
    except FileNotFoundError:
        return None
    lines = [line.split(b"\t") for line in data.split(b"\r\n") if line]
    for fields in lines:
        assert len(fields) == 5, fields   # no TAB or line break inside a field
    return [(fields[0].decode("cp1252"), fields[1].decode(), fields[4].decode()) for fields in lines]


def addresses(folder):
    with open(os.path.join(folder, "Games", "UINIP.lst"), "rb") as f:
        data = f.read()
    found = {}
    for at in range(0, len(data) - 47, 48):
        length = min(data[at + 4], 43)
        found[str(struct.unpack_from("<i", data, at)[0])] = data[at + 5:at + 5 + length].decode()
    return found


def announced():
    """The services of this game on the LAN, by name."""
    browse = subprocess.run(["avahi-browse", "-pt", SERVICE_TYPE], capture_output=True, text=True, timeout=30)
    return [line.split(";")[3] for line in browse.stdout.splitlines() if line.startswith("+")]


def game_files(folder):
    files = {}
    for name in ("Games/online.txt", "Games/UINIP.lst", "Games/checkedusr.lst", "contacts.txt"):
        with open(os.path.join(folder, name), "rb") as f:
            files[name] = f.read()
    return files


def wait_for(predicate, timeout, what):
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        if predicate():
            return time.monotonic()
        time.sleep(0.05)
    raise AssertionError(f"not within {timeout} s: {what}")


class LanTest(unittest.TestCase):
    def setUp(self):
        self.tmp = tempfile.TemporaryDirectory()
        self.env = dict(os.environ, HOLLYFROST_REGISTRY=os.path.join(self.tmp.name, "registry.ini"))
        self.processes = []
        # Services of an earlier test linger for a second after they are withdrawn.
        wait_for(lambda: not announced(), 10, "no service of an earlier test on the LAN")

    def tearDown(self):
        for process in self.processes:
            if process.poll() is None:
                process.kill()
            process.wait(timeout=10)
        self.tmp.cleanup()

    def folder(self, name, uin, *extra):
        folder = os.path.join(self.tmp.name, name + uin)
        subprocess.run([MESSENGER, "init", folder, "--name", name, "--uin", uin, *extra], env=self.env,
                       check=True, capture_output=True, timeout=60)
        return folder

    def start(self, *args, stderr=subprocess.PIPE):
        process = subprocess.Popen(list(args), env=self.env, stdout=subprocess.PIPE, stderr=stderr, text=True)
        self.processes.append(process)
        return process

    def online(self, folder):
        process = self.start(MESSENGER, "online", folder)
        self.assertIn("online from", process.stdout.readline())
        return process

    def stop(self, process):
        process.send_signal(signal.SIGTERM)
        _, errors = process.communicate(timeout=20)
        self.assertEqual(process.returncode, 0, errors)
        return errors

    def listed(self, folder, uin, status="+"):
        return any(line[1] == uin and line[2] == status for line in online_lines(folder) or [])

    def test_two_messengers_find_each_other_and_drop_the_one_that_stops(self):
        robin = self.folder("Robin", "40001", "--buddy", "40005:Kim:10.0.0.5", "--buddy", "40006:Lee::unchecked")
        sam = self.folder("Sam", "40002", "--display-name", "Sammy")
        hand_set = [("Kim", "40005", "+"), ("Lee", "40006", "+")]
        started = time.monotonic()
        robin_online, sam_online = self.online(robin), self.online(sam)
        found = wait_for(lambda: self.listed(robin, "40002") and self.listed(sam, "40001"), 5,
                         "both messengers list each other online")
        print(f"found each other in {found - started:.2f} s", flush=True)
        self.assertEqual(online_lines(robin), hand_set + [("Sammy", "40002", "+")])
        self.assertEqual(addresses(robin), {"40005": "10.0.0.5", "40002": "127.0.0.1"})
        self.assertEqual(addresses(sam), {"40001": "127.0.0.1"})
        buddies = subprocess.run([MESSENGER, "buddies", robin], env=self.env, capture_output=True, text=True,
                                 timeout=30)
        self.assertEqual(buddies.stdout.splitlines(), [
            "40005\tKim\tonline\t10.0.0.5\tset by hand",
            "40006\tLee\tonline\t-\tset by hand, unchecked",
            "40002\tSammy\tonline\t127.0.0.1\tfound on the LAN"])

        stopped = time.monotonic()
        self.assertEqual(self.stop(sam_online), "")
        dropped = wait_for(lambda: self.listed(robin, "40002", "="), 10, "Sam listed offline")
        print(f"dropped in {dropped - stopped:.2f} s", flush=True)
        self.assertEqual(online_lines(robin), hand_set + [("Sammy", "40002", "=")])
        # Nobody watches the LAN for Sam now: Robin is listed offline there, kept as a contact.
        self.assertEqual(online_lines(sam), [("Robin", "40001", "=")])
        self.assertEqual(self.stop(robin_online), "")
        self.assertEqual(online_lines(robin), hand_set + [("Sammy", "40002", "=")])

    def test_a_name_taken_on_the_lan_is_announced_under_another(self):
        first, second = self.folder("Robin", "40001"), self.folder("Robin", "40003")
        first_online = self.online(first)
        wait_for(lambda: announced() == ["Robin"], 5, "the first Robin announced")
        second_online = self.online(second)
        wait_for(lambda: self.listed(first, "40003") and self.listed(second, "40001"), 5,
                 "both Robins list each other")
        self.assertEqual(self.stop(first_online), "")
        self.assertIn('the name "Robin" is taken on the LAN by another player; announcing as "Robin #2"',
                      self.stop(second_online))

    def test_without_a_daemon_the_messenger_says_so_and_keeps_its_files(self):
        # A system bus on which no Avahi daemon runs: one line, then the files as they were.
        robin = self.folder("Robin", "40001", "--buddy", "40005:Kim:10.0.0.5")
        before = game_files(robin)
        bus = os.path.join(self.tmp.name, "bus")
        self.start("dbus-daemon", "--config-file=" + os.environ["HF_LAN_FOLDER"] + "/system-bus.conf",
                   "--address=unix:path=" + bus, "--nofork", "--nopidfile")
        wait_for(lambda: os.path.exists(bus), 10, "the second system bus")
        self.env["DBUS_SYSTEM_BUS_ADDRESS"] = "unix:path=" + bus
        robin_online = self.online(robin)
        time.sleep(1)
        errors = self.stop(robin_online)
        self.assertEqual(errors.splitlines(), ["hollyfrost-messenger: no Avahi daemon is running: friends on the LAN "
                                               "are not found until it starts; the contacts come from the files"])
        self.assertEqual(game_files(robin), before)

    def test_hostile_announcements_change_nothing(self):
        robin = self.folder("Robin", "40001", "--buddy", "40005:Kim:10.0.0.5")
        robin_online = self.online(robin)   # its files are written before it says so
        before = game_files(robin)
        long_value = "x" * 200
        # (service name, TXT strings, what the messenger says about it)
        hostile = [
            ("Letters", ["uin=40a02", "name=Letters"], "its UIN is not a number of 1 to 10 digits"),
            ("Huge", ["uin=99999999999", "name=Huge"], "its UIN is not a number"),
            ("Nameless", ["uin=40010"], "lacks the UIN or the name"),
            ("Twice", ["uin=40011", "uin=40012", "name=Twice"], 'names "uin" twice'),
            ("Tab", ["uin=40013", "name=Tab\tby"], "control character"),
            ("Break", ["uin=40014", "name=Line\r\nbreak"], "control character"),
            ("Long", ["uin=40015", "name=" + "n" * 36], "1 to 35 characters"),
            ("Oversized", ["uin=40016", "name=Oversized", "a=" + long_value, "b=" + long_value], "too long"),
            ("Own", ["uin=40001", "name=Own"], "announces our own UIN 40001"),
            ("Hand", ["uin=40005", "name=Hand"], "a contact set by hand: it stays as set"),
        ]
        for name, txt, _ in hostile:
            self.start("avahi-publish", "-s", name, SERVICE_TYPE, "4012", *txt, stderr=subprocess.DEVNULL)
        # A service name with a terminal's escape sequence in it is written as plain text.
        self.start("avahi-publish", "-s", "Esc\x1b[2J", SERVICE_TYPE, "4012", "uin=x", "name=Esc",
                   stderr=subprocess.DEVNULL)
        # A machine with only an IPv6 address.
        self.start("avahi-publish", "-a", "-R", "v6only.local", "fd00::1", stderr=subprocess.DEVNULL)
        self.start("avahi-publish", "-s", "-H", "v6only.local", "Six", SERVICE_TYPE, "4012", "uin=40017",
                   "name=Six", stderr=subprocess.DEVNULL)
        # A good one after them: the messenger still watches the LAN.
        time.sleep(1)
        self.start("avahi-publish", "-s", "Good", SERVICE_TYPE, "4012", "uin=40018", "name=Good",
                   stderr=subprocess.DEVNULL)
        wait_for(lambda: self.listed(robin, "40018"), 10, "the good service listed")
        after = game_files(robin)
        self.assertEqual(online_lines(robin), [("Kim", "40005", "+"), ("Good", "40018", "+")])
        self.assertEqual(addresses(robin), {"40005": "10.0.0.5", "40018": "127.0.0.1"})
        # Only the good one was added: every other file is as before but for its line.
        self.assertEqual(after["Games/checkedusr.lst"][:24], before["Games/checkedusr.lst"])
        self.assertEqual(len(after["Games/checkedusr.lst"]), 48)
        time.sleep(6)   # the IPv6-only machine's lookup times out
        errors = self.stop(robin_online)
        for name, _, reason in hostile:
            self.assertIn(f'"{name}" at 127.0.0.1 on the LAN', errors)
            self.assertIn(reason, errors, name)
        self.assertIn('"Six" on the LAN has no IPv4 address', errors)
        self.assertIn('"Esc?[2J" at 127.0.0.1 on the LAN: its UIN is not a number', errors)
        self.assertNotIn("\x1b", errors)
        self.assertNotIn("Good", errors)
        self.assertEqual(len(errors.splitlines()), len(hostile) + 2, errors)


if __name__ == "__main__":
    unittest.main(verbosity=2)
