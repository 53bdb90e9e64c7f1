#!/usr/bin/env python3
"""Checks the stand-in messenger from the outside: the files `init` writes are read back
with a reader written here from the published layouts (not the game's own code), bad
arguments are refused without leaving a folder behind, `listen` prints datagrams and
answers "ME", and `lock` holds an advisory lock."""
import fcntl
import os
import pwd
import socket
import struct
import subprocess
import sys
import tempfile
import time
import unittest

MESSENGER = sys.argv.pop(1) if len(sys.argv) > 1 else "hollyfrost-messenger"

# The scrambling keys, as the README publishes them.
PARAMETER_NAME_KEY, PARAMETER_VALUE_KEY = 0x5A, 0x71
OPTIONS_KEY_A, OPTIONS_KEY_B = 0x4B, 0x36


def unscramble(data: bytes, key: int) -> bytes:
    """Shifts up with the rolling shift s0, s0-1, ..., 1, s0, ... (s0 = (key & 7) + 2)."""
    start = (key & 7) + 2
    shift, out = start, bytearray()
    for byte in data:
        out.append((byte + shift) % 256)
        shift = shift - 1 or start
    return bytes(out)


def short_string(record: bytes, offset: int, capacity: int) -> bytes:
    length = min(record[offset], capacity)
    return record[offset + 1: offset + 1 + length]


class MessengerTest(unittest.TestCase):
    def setUp(self):
        self.tmp = tempfile.TemporaryDirectory()
        self.env = dict(os.environ, HOLLYFROST_REGISTRY=os.path.join(self.tmp.name, "registry.ini"))
        self.folder = os.path.join(self.tmp.name, "messenger")

    def tearDown(self):
        self.tmp.cleanup()

    def run_messenger(self, *args, **kwargs):
        return subprocess.run([MESSENGER, *args], env=self.env, capture_output=True, timeout=60, **kwargs)

    def test_init_writes_the_published_layouts(self):
        result = self.run_messenger(
            "init", self.folder, "--name", "Robin", "--uin", "40001", "--spoken-name", "Robbin",
            "--character", "C:\\Windows\\msagent\\chars\\Pip.acs", "--language", "-de",
            "--game-port", "5012", "--messenger-port", "5010",
            "--buddy", "40002:Sam:127.0.0.2", "--buddy", "40003:Alex::unchecked")
        self.assertEqual(result.returncode, 0, result.stderr)
        self.assertTrue(os.path.isfile(os.path.join(self.folder, "hollyfro.exe")))
        games = os.path.join(self.folder, "Games")

        with open(os.path.join(self.folder, "HFparms.cfg"), "rb") as f:
            lines = f.read().split(b"\r\n")
        parameters = {}
        for line in filter(None, lines):
            name, value = line.split(b"&&")[:2]
            parameters[unscramble(name, PARAMETER_NAME_KEY)] = unscramble(value, PARAMETER_VALUE_KEY)
        self.assertEqual(parameters, {b"gampt": b"5012", b"udppt": b"5010"})

        with open(os.path.join(games, "hollyfro.opt"), "rb") as f:
            options = f.read()
        self.assertEqual(len(options), 26392)
        self.assertEqual(unscramble(short_string(options, 0, 20), OPTIONS_KEY_A), b"Robin")
        self.assertEqual(short_string(options, 0xB4, 255), b"C:\\Windows\\msagent\\chars\\Pip.acs")
        self.assertEqual(struct.unpack_from("<i", options, 0x6320)[0], 40001)
        # No display name given: the field stays empty and the game takes the user's name.
        self.assertEqual(short_string(options, 0x6604, 100), b"")
        self.assertEqual(unscramble(short_string(options, 0x6669, 100), OPTIONS_KEY_B), b"Robbin")
        self.assertEqual(short_string(options, 0x66CE, 73), b"-de")

        with open(os.path.join(games, "checkedusr.lst"), "rb") as f:
            checked = f.read()
        self.assertEqual(len(checked), 2 * 24)
        records = [(short_string(checked[i:i + 24], 0, 12), checked[i + 13]) for i in range(0, len(checked), 24)]
        self.assertEqual(records, [(b"40002", 1), (b"40003", 0)])

        with open(os.path.join(games, "UINIP.lst"), "rb") as f:
            addresses = f.read()
        self.assertEqual(len(addresses), 48)   # the buddy without an address has no record
        self.assertEqual(struct.unpack_from("<i", addresses, 0)[0], 40002)
        self.assertEqual(short_string(addresses, 4, 43), b"127.0.0.2")

        with open(os.path.join(games, "online.txt"), "rb") as f:
            online = [line.split(b"\t") for line in f.read().split(b"\r\n") if line]
        self.assertEqual([(fields[0], fields[1]) for fields in online], [(b"Sam", b"40002"), (b"Alex", b"40003")])
        self.assertTrue(all(len(fields) == 5 and fields[4] != b"=" for fields in online))

        with open(self.env["HOLLYFROST_REGISTRY"]) as f:
            registry = f.read()
        self.assertIn(os.path.join(self.folder, "hollyfro.exe"), registry)

    def test_bad_arguments_leave_nothing_behind(self):
        for args in (["init", self.folder, "--name", "Robin", "--uin", "0"],
                     ["init", self.folder, "--name", ""],
                     ["init", self.folder, "--name", "Robin", "--uin", "x12"],
                     ["init", self.folder, "--name", "Robin", "--uin", "1", "--game-port", "70000"],
                     ["init", self.folder, "--name", "Robin", "--uin", "1", "--buddy", "1:Sam"],
                     ["init", self.folder, "--name", "Robin", "--uin", "1", "--buddy", "1:Sam:not-an-address"],
                     ["init", self.folder, "--name", "Robin", "--uin", "1", "--bogus", "1"],
                     ["frobnicate"], [], ["lock", "onlyfile"], ["listen", "--port", "0"],
                     ["online", self.folder, "extra"], ["buddies", self.folder, "extra"]):
            result = self.run_messenger(*args)
            self.assertEqual(result.returncode, 2, args)
            self.assertIn(b"usage", result.stderr)
            self.assertFalse(os.path.exists(self.folder), args)

    def test_bad_buddies_are_refused_with_a_reason(self):
        for buddy, reason in (("40002 :Sam:127.0.0.2", b"without blanks"),
                              (" 40002:Sam:127.0.0.2", b"without blanks"),
                              ("400 02:Sam:127.0.0.2", b"without blanks"),
                              ("40002:Sam\nAlex:127.0.0.2", b"line break"),
                              ("40002:Sam\r:127.0.0.2", b"line break"),
                              ("40002::127.0.0.2", b"no name")):
            result = self.run_messenger("init", self.folder, "--name", "Robin", "--uin", "1", "--buddy", buddy)
            self.assertEqual(result.returncode, 2, buddy)
            self.assertIn(reason, result.stderr, buddy)
            self.assertFalse(os.path.exists(self.folder), buddy)

    def snapshot(self, root):
        """Every file under root with its bytes, and every folder."""
        found = {}
        for folder, folders, files in os.walk(root):
            for name in folders:
                found[os.path.relpath(os.path.join(folder, name), root)] = None
            for name in files:
                with open(os.path.join(folder, name), "rb") as f:
                    found[os.path.relpath(os.path.join(folder, name), root)] = f.read()
        return found

    def test_failed_init_leaves_existing_files_as_they_were(self):
        # An existing messenger folder with a Games folder of its own; init then fails at
        # its last step (the registry cannot be written) after it has written everything.
        os.makedirs(os.path.join(self.folder, "Games", "Saved"))
        for name, content in (("hollyfro.exe", b"the real messenger"), ("HFparms.cfg", b"old parameters"),
                              ("Games/hollyfro.opt", b"old options"), ("Games/Saved/notes.txt", b"keep me")):
            with open(os.path.join(self.folder, name), "wb") as f:
                f.write(content)
        before = self.snapshot(self.folder)
        blocker = os.path.join(self.tmp.name, "not-a-folder")
        with open(blocker, "w") as f:
            f.write("x")
        self.env["HOLLYFROST_REGISTRY"] = os.path.join(blocker, "registry.ini")
        result = self.run_messenger("init", self.folder, "--name", "Robin", "--uin", "40001",
                                    "--buddy", "40002:Sam:127.0.0.2")
        self.assertEqual(result.returncode, 1, result.stderr)
        self.assertIn(b"registry", result.stderr)
        self.assertEqual(self.snapshot(self.folder), before)

        # A new folder is removed again whole.
        fresh = os.path.join(self.tmp.name, "fresh")
        result = self.run_messenger("init", fresh, "--name", "Robin", "--uin", "40001")
        self.assertEqual(result.returncode, 1, result.stderr)
        self.assertFalse(os.path.exists(fresh))

    def test_init_defaults_and_help(self):
        # Nothing given: the default folder under the data home, the login name, a new UIN
        # and Pip from the folder's own character library.
        self.env["XDG_DATA_HOME"] = os.path.join(self.tmp.name, "data")
        result = self.run_messenger("init")
        self.assertEqual(result.returncode, 0, result.stderr)
        folder = os.path.join(self.tmp.name, "data", "hollyfrost", "messenger")
        with open(os.path.join(folder, "Games", "hollyfro.opt"), "rb") as f:
            options = f.read()
        login = pwd.getpwuid(os.getuid()).pw_name[:20].encode()
        self.assertEqual(unscramble(short_string(options, 0, 20), OPTIONS_KEY_A), login)
        uin = struct.unpack_from("<i", options, 0x6320)[0]
        self.assertTrue(100000 <= uin <= 999999, uin)
        self.assertIn(f"UIN {uin}".encode(), result.stdout)
        character = short_string(options, 0xB4, 255).decode()
        self.assertEqual(character, os.path.join(folder, "Windows", "msagent", "chars", "Pip.acs"))
        self.assertTrue(os.path.isfile(character))
        self.assertTrue(os.path.isfile(os.path.join(folder, "Games", "stdtalk.lst")))

        for args in (["--help"], ["init", "--help"]):
            result = self.run_messenger(*args)
            self.assertEqual(result.returncode, 0, args)
            for command in (b"init [DIR]", b"launch [DIR [UIN]]", b"online [DIR]", b"buddies [DIR]", b"listen",
                            b"lock", b"login name"):
                self.assertIn(command, result.stdout, args)

    def test_online_without_the_lan_keeps_the_contacts_of_an_older_folder(self):
        # A folder made before the messenger kept contacts.txt: its contacts come from the
        # game's files. With no system bus to reach, "online" says so once and stays up.
        self.assertEqual(self.run_messenger("buddies", self.folder).returncode, 1)
        result = self.run_messenger("init", self.folder, "--name", "Robin", "--uin", "40001",
                                    "--buddy", "40002:Sam:127.0.0.2", "--buddy", "40003:Alex::unchecked")
        self.assertEqual(result.returncode, 0, result.stderr)
        os.remove(os.path.join(self.folder, "contacts.txt"))
        games = os.path.join(self.folder, "Games")
        before = {name: open(os.path.join(games, name), "rb").read()
                  for name in ("online.txt", "checkedusr.lst", "UINIP.lst")}
        self.env["DBUS_SYSTEM_BUS_ADDRESS"] = "unix:path=" + os.path.join(self.tmp.name, "no-bus")
        online = subprocess.Popen([MESSENGER, "online", self.folder], env=self.env, stdout=subprocess.PIPE,
                                  stderr=subprocess.PIPE, text=True)
        try:
            self.assertIn("online from", online.stdout.readline())
            time.sleep(0.5)
            self.assertIsNone(online.poll())
            second = self.run_messenger("online", self.folder)
            self.assertEqual(second.returncode, 1)
            self.assertIn(b"another messenger is online from", second.stderr)
            # init waits briefly for the folder, then refuses in one line and writes nothing.
            refused = self.run_messenger("init", self.folder, "--name", "Other", "--uin", "40009")
            self.assertEqual(refused.returncode, 1)
            self.assertEqual(refused.stderr.count(b"\n"), 1, refused.stderr)
            self.assertIn(b"in use by a messenger online from it", refused.stderr)
            online.terminate()
            _, errors = online.communicate(timeout=20)
        finally:
            online.kill()
        self.assertEqual(online.returncode, 0)
        self.assertEqual(errors.count("\n"), 1, errors)
        self.assertIn("no Avahi daemon can be reached", errors)
        for name, content in before.items():
            with open(os.path.join(games, name), "rb") as f:
                self.assertEqual(f.read(), content, name)
        buddies = self.run_messenger("buddies", self.folder)
        self.assertEqual(buddies.stdout.decode().splitlines(), [
            "40002\tSam\tonline\t127.0.0.2\tset by hand",
            "40003\tAlex\tonline\t-\tset by hand, unchecked"])

    def test_init_takes_the_language_from_the_locale(self):
        base = {name: value for name, value in self.env.items() if name not in ("LC_ALL", "LC_MESSAGES", "LANG")}
        for locale, arguments, suffix in (
                ({"LC_ALL": "fr_FR.UTF-8", "LC_MESSAGES": "de_DE", "LANG": "de_DE"}, [], b"-fr"),
                ({"LC_ALL": "", "LC_MESSAGES": "de_AT.UTF-8@euro", "LANG": "fr_FR"}, [], b"-de"),
                ({"LANG": "fr_CA.UTF-8"}, [], b"-fr"),
                ({"LANG": "fr"}, [], b"-fr"),
                ({"LANG": "es_ES.UTF-8"}, [], b""),
                ({"LANG": "C.UTF-8"}, [], b""),
                ({"LANG": "french"}, [], b""),
                ({}, [], b""),
                ({"LANG": "fr_FR.UTF-8"}, ["--language", ""], b""),
                ({"LANG": "fr_FR.UTF-8"}, ["--language", "-de"], b"-de")):
            self.env = dict(base, **locale)
            result = self.run_messenger("init", self.folder, "--name", "Robin", "--uin", "40001", *arguments)
            self.assertEqual(result.returncode, 0, result.stderr)
            with open(os.path.join(self.folder, "Games", "hollyfro.opt"), "rb") as f:
                self.assertEqual(short_string(f.read(), 0x66CE, 73), suffix, (locale, arguments))
        # The French tables and help pages come along with the game's data.
        for name in ("Languages/stdtalk-fr.lst", "Languages/stdtalk-fr.bak", "help/index-fr.html",
                     "help/characters-fr.html"):
            self.assertTrue(os.path.isfile(os.path.join(self.folder, "Games", name)), name)

    def test_init_waits_briefly_for_the_folder_lock(self):
        os.makedirs(self.folder)
        with subprocess.Popen([MESSENGER, "lock", os.path.join(self.folder, "online.lock"), "1.5"],
                              env=self.env, stdout=subprocess.PIPE) as holder:
            try:
                self.assertIn(b"locked", holder.stdout.readline())
                started = time.monotonic()
                result = self.run_messenger("init", self.folder, "--name", "Robin", "--uin", "40001")
                self.assertEqual(result.returncode, 0, result.stderr)
                self.assertGreater(time.monotonic() - started, 1.2)   # it waited for the holder
            finally:
                holder.kill()

    def test_listen_prints_and_acknowledges(self):
        # The messenger answers "ME" on the game port of its folder, as the game expects.
        ports = []
        for _ in range(2):
            probe = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
            probe.bind(("127.0.0.1", 0))
            ports.append(probe)
        port, game_port = (probe.getsockname()[1] for probe in ports)
        for probe in ports:
            probe.close()
        result = self.run_messenger("init", self.folder, "--name", "Robin", "--uin", "40001",
                                    "--game-port", str(game_port))
        self.assertEqual(result.returncode, 0, result.stderr)
        listener = subprocess.Popen([MESSENGER, "listen", "--port", str(port), "--count", "2",
                                     "--folder", self.folder, "--address", "127.0.0.1"],
                                    env=self.env, stdout=subprocess.PIPE, stderr=subprocess.PIPE)
        try:
            self.assertIn(b"listening", listener.stdout.readline())
            with socket.socket(socket.AF_INET, socket.SOCK_DGRAM) as game, \
                    socket.socket(socket.AF_INET, socket.SOCK_DGRAM) as sender:
                game.bind(("127.0.0.1", game_port))
                game.settimeout(10)
                sender.bind(("127.0.0.1", 0))
                sender.sendto(b"GPRobin&&40001", ("127.0.0.1", port))
                sender.sendto(b"MERobin&&\r\n$$UIN40001\r\n &&\tx\x01", ("127.0.0.1", port))
                answer, (_, answer_port) = game.recvfrom(1024)
                self.assertTrue(answer.startswith(b"AK"))
                self.assertEqual(answer_port, port)
            out, _ = listener.communicate(timeout=20)
        finally:
            listener.kill()
        lines = out.decode().splitlines()
        self.assertEqual(lines[0], "GP 127.0.0.1 Robin&&40001")
        self.assertEqual(lines[1], "ME 127.0.0.1 Robin&&\\r\\n$$UIN40001\\r\\n &&\\tx\\x01")
        self.assertEqual(listener.returncode, 0)

    def test_lock_holds_an_advisory_lock(self):
        path = os.path.join(self.tmp.name, "held.lst")
        holder = subprocess.Popen([MESSENGER, "lock", path, "1"], env=self.env, stdout=subprocess.PIPE)
        try:
            self.assertIn(b"locked", holder.stdout.readline())
            with open(path, "rb") as f:
                with self.assertRaises(BlockingIOError):
                    fcntl.flock(f, fcntl.LOCK_SH | fcntl.LOCK_NB)
                holder.wait(timeout=20)
                fcntl.flock(f, fcntl.LOCK_SH | fcntl.LOCK_NB)   # free again once it ends
        finally:
            holder.kill()


if __name__ == "__main__":
    unittest.main(verbosity=2)
