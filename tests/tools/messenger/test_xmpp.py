#!/usr/bin/env python3
"""Stand-in messengers signed in to an XMPP server of the test's own (prosody, with a CA and
certificate made here): friends are asked, accepted and listed online and offline; what a
friend's presence carries, a stranger's request, a stream cut mid-stanza, a missing server and
a certificate from another CA are handled. Runs inside the namespace xmpp_friends.sh makes."""
import os
import signal
import socket
import subprocess
import sys
import threading
import time
import unittest

MESSENGER = sys.argv.pop(1) if len(sys.argv) > 1 else "hollyfrost-messenger"
TESTS, sys.argv[1:] = sys.argv[1:], []   # test_lan takes an argument of its own
from test_lan import game_files, online_lines, wait_for  # noqa: E402
sys.argv[1:] = TESTS

FOLDER = os.environ.get("HF_XMPP_FOLDER", "/tmp")
DOMAIN = "hollyfrost.test"
CONFIG = os.path.join(FOLDER, "prosody.cfg.lua")


def run(*args):
    return subprocess.run(list(args), capture_output=True, text=True, timeout=30, check=True)


def make_server(interface="127.0.0.1", modules="", extra=""):
    def path(name):
        return os.path.join(FOLDER, name)
    for ca in ("ca", "other-ca"):
        run("openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-keyout", path(ca + ".key"), "-out",
            path(ca + ".pem"), "-days", "2", "-subj", "/CN=" + ca)
    run("openssl", "req", "-newkey", "rsa:2048", "-nodes", "-keyout", path("server.key"), "-out",
        path("server.csr"), "-subj", "/CN=" + DOMAIN)
    with open(path("san"), "w") as f:
        f.write(f"subjectAltName=DNS:{DOMAIN}\n")
    run("openssl", "x509", "-req", "-in", path("server.csr"), "-CA", path("ca.pem"), "-CAkey", path("ca.key"),
        "-CAcreateserial", "-days", "2", "-extfile", path("san"), "-out", path("server.pem"))
    os.mkdir(path("data"))
    with open(CONFIG, "w") as f:
        f.write(f"""run_as_root = true
pidfile = "{path('prosody.pid')}"
data_path = "{path('data')}"
admin_socket = "{path('prosody.sock')}"
log = {{ info = "{path('prosody.log')}" }}
interfaces = {{ "{interface}" }}
c2s_ports = {{ 5222 }}
c2s_require_encryption = true
authentication = "internal_hashed"
modules_enabled = {{ "roster", "saslauth", "tls", "disco", "admin_shell"{modules} }}
modules_disabled = {{ "s2s" }}
VirtualHost "{DOMAIN}"
  ssl = {{ key = "{path('server.key')}", certificate = "{path('server.pem')}" }}
{extra}""")
    for user in ("alice", "bob", "carol", "dave"):
        run("prosodyctl", "--config", CONFIG, "register", user, DOMAIN, "pw-" + user)
        with open(path(user + ".pw"), "w") as f:
            f.write("pw-" + user + "\n")
        os.chmod(path(user + ".pw"), 0o600)


def shell(lua):
    """Runs Lua inside the server (its admin shell)."""
    return run("prosodyctl", "--config", CONFIG, "shell", ">" + lua).stdout


def to_alice(xml, then=""):
    """Writes raw XML to alice's stream, as if the server sent it."""
    xml = xml.replace("'", "\\'")
    shell(f"for _, s in pairs(prosody.full_sessions) do if s.username == 'alice' then s.conn:write('{xml}') {then} end end")


class Messenger:
    """One messenger online with --xmpp; its standard error is collected line by line."""

    def __init__(self, test, user, uin, ca="ca.pem", inside=(), options=()):
        self.test, self.user, self.inside = test, user, list(inside)
        self.folder = os.path.join(test.tmp, user)
        subprocess.run([MESSENGER, "init", self.folder, "--name", user.capitalize(), "--uin", uin],
                       env=test.env, check=True, capture_output=True, timeout=60)
        self.lines = []
        self.process = subprocess.Popen(
            [*self.inside, MESSENGER, "online", *options, self.folder, "--xmpp", f"{user}@{DOMAIN}", "--password-file",
             os.path.join(FOLDER, user + ".pw"), "--ca", os.path.join(FOLDER, ca)],
            env=test.env, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, text=True)
        self.reader = threading.Thread(target=lambda: self.lines.extend(self.process.stderr), daemon=True)
        self.reader.start()
        test.addCleanup(self.stop)

    def said(self, text):
        return [line for line in self.lines if text in line]

    def wait_said(self, text, timeout=5):
        wait_for(lambda: self.said(text), timeout, f"{self.user} says {text!r}: {self.lines}")

    def command(self, *args):
        return subprocess.run([*self.inside, MESSENGER, *args[:1], self.folder, *args[1:]], env=self.test.env,
                              capture_output=True, text=True, timeout=30)

    def lists(self, uin, status="+"):
        return any(line[1] == uin and line[2] == status for line in online_lines(self.folder) or [])

    def stop(self):
        if self.process.poll() is None:
            self.process.send_signal(signal.SIGTERM)
            self.process.wait(timeout=20)
        self.reader.join(timeout=10)
        self.process.stderr.close()
        self.test.assertEqual(self.process.returncode, 0, self.lines)


class XmppTest(unittest.TestCase):
    server = None

    @classmethod
    def setUpClass(cls):
        make_server()

    @classmethod
    def tearDownClass(cls):
        if cls.server:
            cls.server.terminate()
            cls.server.wait(timeout=20)

    def setUp(self):
        # Short: the folder's command socket is named by a path of at most 107 bytes.
        self.tmp = os.path.join(FOLDER, self.id().rsplit(".", 1)[1][:6])
        os.mkdir(self.tmp)
        self.env = dict(os.environ, HOLLYFROST_REGISTRY=os.path.join(self.tmp, "registry.ini"))

    def start_server(self):
        if XmppTest.server:
            return
        XmppTest.server = subprocess.Popen(["prosody", "--config", CONFIG, "-F"], stdout=subprocess.DEVNULL,
                                           stderr=subprocess.DEVNULL)
        def listens():
            with socket.socket() as probe:
                return probe.connect_ex(("127.0.0.1", 5222)) == 0
        wait_for(listens, 10, "prosody listens")

    def test_1_without_the_server_the_messenger_says_so_once_and_signs_in_once_it_is_there(self):
        alice = Messenger(self, "alice", "100001")
        alice.wait_said("cannot sign in to the XMPP server for alice@hollyfrost.test (Connection refused)")
        time.sleep(2.5)   # one retry at least, which is quiet
        self.assertEqual(len(alice.said("XMPP server")), 1, alice.lines)
        self.assertIsNone(alice.process.poll())
        self.assertEqual(alice.command("buddies").returncode, 0)
        self.start_server()
        alice.wait_said("signed in to the internet as alice@", 8)

    def test_2_friends_see_each_other_and_strangers_and_bad_presences_change_nothing(self):
        self.start_server()
        alice, bob, carol = Messenger(self, "alice", "100001"), Messenger(self, "bob", "100002"), \
            Messenger(self, "carol", "100003")
        for messenger in (alice, bob, carol):
            messenger.wait_said("signed in")
        added = alice.command("add", f"bob@{DOMAIN}")
        self.assertEqual(added.returncode, 0, added.stderr)
        wait_for(lambda: "asks to see you online" in bob.command("buddies").stdout, 5, "bob lists alice's request")
        self.assertEqual(bob.command("accept", f"alice@{DOMAIN}").returncode, 0)
        wait_for(lambda: f"bob@{DOMAIN}\tasks" in alice.command("buddies").stdout, 5, "alice lists bob's request")
        accepted = time.monotonic()
        self.assertEqual(alice.command("accept", f"bob@{DOMAIN}").returncode, 0)
        seen = wait_for(lambda: alice.lists("100002") and bob.lists("100001"), 5, "both list the other online")
        print(f"listed each other in {seen - accepted:.2f} s", flush=True)
        # The game reaches bob at a local address of his own, where the messenger relays.
        self.assertIn("100002\tBob\tonline\t127.0.0.2\tfound on the internet", alice.command("buddies").stdout)
        with open(os.path.join(alice.folder, "Games", "UINIP.lst"), "rb") as f:
            self.assertIn(b"127.0.0.2", f.read())
        self.assertEqual(os.stat(os.path.join(alice.folder, "messenger.socket")).st_mode & 0o077, 0)

        # A stranger's request waits for an answer; a wrong answer changes nothing.
        self.assertEqual(carol.command("add", f"alice@{DOMAIN}").returncode, 0)
        wait_for(lambda: f"carol@{DOMAIN}\tasks" in alice.command("buddies").stdout, 5, "carol's request listed")
        time.sleep(1)
        self.assertFalse(carol.lists("100001"))
        refused = alice.command("accept", f"dave@{DOMAIN}")
        self.assertEqual((refused.returncode, refused.stderr.count("\n")), (1, 1), refused.stderr)
        self.assertEqual(alice.command("refuse", f"carol@{DOMAIN}").returncode, 0)
        self.assertNotIn("carol", alice.command("buddies").stdout)

        # Hostile presences: each refused with one line, the files left as they were.
        before = game_files(alice.folder)
        game = "<game xmlns=\"urn:hollyfrost:game:0\""
        for xml, why in [(f"{game} uin=\"100002\" name=\"{'x' * 500}\"/>", "too long"),
                         (f"{game} uin=\"1e5\" name=\"Bob\"/>", "UIN is not a number"),
                         (f"{game} uin=\"100009\"/>", "lacks the UIN or the name"),
                         (f"{game} uin=\"100002\" name=\"Bob\"/>{game} uin=\"7\" name=\"B\"/>", "2 game elements"),
                         (f"{game} uin=\"100001\" name=\"Me\"/>", "our own UIN")]:
            to_alice(f"<presence from=\"bob@{DOMAIN}/x\">{xml}</presence>")
            alice.wait_said(why)
            self.assertEqual(len(alice.said(why)), 1, alice.lines)
        to_alice(f"<presence from=\"carol@{DOMAIN}/x\">{game} uin=\"100003\" name=\"C\"/></presence>")
        alice.wait_said("not a friend")
        self.assertEqual(game_files(alice.folder), before)

        # The stream cut in the middle of a stanza: alice signs in again and is seen again.
        to_alice(f"<presence from=\"bob@{DOMAIN}/x\">{game} uin=\"10", "s.conn:close()")
        alice.wait_said("lost the XMPP server")
        wait_for(lambda: len(alice.said("signed in")) == 2, 8, f"alice signs in again: {alice.lines}")
        wait_for(lambda: bob.lists("100001") and alice.lists("100002"), 5, "both online again")
        self.assertIsNone(alice.process.poll())

        stopped = time.monotonic()
        bob.stop()
        gone = wait_for(lambda: alice.lists("100002", "="), 10, "bob listed offline")
        print(f"listed offline in {gone - stopped:.2f} s", flush=True)

    def test_3_a_certificate_from_another_ca_or_a_readable_password_file_is_refused(self):
        self.start_server()
        dave = Messenger(self, "dave", "100004", ca="other-ca.pem")
        dave.wait_said("cannot sign in to the XMPP server")
        self.assertIn("certificate is not trusted", dave.said("cannot sign in")[0])
        self.assertFalse(dave.said("signed in"))
        os.chmod(os.path.join(FOLDER, "dave.pw"), 0o644)
        refused = subprocess.run([MESSENGER, "online", dave.folder, "--xmpp", f"dave@{DOMAIN}", "--password-file",
                                  os.path.join(FOLDER, "dave.pw")], env=self.env, capture_output=True, text=True,
                                 timeout=30)
        self.assertEqual(refused.returncode, 1)
        self.assertIn("readable by you alone", refused.stderr)


if __name__ == "__main__":
    unittest.main(verbosity=2)
