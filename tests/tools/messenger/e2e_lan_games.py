#!/usr/bin/env python3
"""On demand (e2e_lan_games.sh, as root): two copies of the game on two machines of one
LAN, each machine a network namespace of its own with an Avahi daemon of its own, joined
by a bridge. Nobody types an address: the joiner's messenger finds the host on the LAN,
the player picks the host from the buddies, the messenger starts the game for that
contact, and its "Request to Play" reaches the host, who accepts."""
import os
import subprocess
import sys
import tempfile
import time
import unittest

from desktop import MESSENGER, launch, make_demo, press, wait_find, wait_for, wait_window
from e2e_network import new_application, press_in_box, text_of

HERE = os.path.dirname(os.path.abspath(__file__))
TAG = f"hflan{os.getpid() % 10000}"
SWITCH = TAG + "-sw"
HOST_UIN, JOINER_UIN = "40001", "60006"


def run(*args):
    return subprocess.run(args, check=True, capture_output=True, text=True)


class Machine:
    """A network namespace on the bridge at 10.77.0.N with its own system bus and Avahi daemon."""

    def __init__(self, root, name, number):
        self.namespace = f"{TAG}-{name}"
        self.folder = os.path.join(root, name)
        os.makedirs(self.folder)
        run("ip", "netns", "add", self.namespace)
        run("ip", "link", "add", f"{TAG}v{number}", "netns", self.namespace, "type", "veth", "peer",
            "name", f"port{number}", "netns", SWITCH)
        run("ip", "-n", SWITCH, "link", "set", f"port{number}", "master", "br0", "up")
        run("ip", "-n", self.namespace, "link", "set", f"{TAG}v{number}", "name", "eth0")
        self.address = f"10.77.0.{number}"
        run("ip", "-n", self.namespace, "addr", "add", self.address + "/24", "dev", "eth0")
        run("ip", "-n", self.namespace, "link", "set", "eth0", "up")
        run("ip", "-n", self.namespace, "link", "set", "lo", "up")
        # The daemons live as long as this shell's standard input stays open.
        script = 'source "$0"; start_lan_services "$1" eth0 "$2" && echo ready && read -r _; stop_lan_services'
        self.services = subprocess.Popen(
            ["ip", "netns", "exec", self.namespace, "unshare", "-m", "--", "bash", "-c", script,
             os.path.join(HERE, "lan-services.sh"), self.folder, self.namespace],
            stdin=subprocess.PIPE, stdout=subprocess.PIPE, text=True)
        if self.services.stdout.readline().strip() != "ready":
            raise RuntimeError(f"the Avahi daemon of {self.namespace} did not start")
        self.prefix = ["nsenter", f"--net=/run/netns/{self.namespace}"]
        private = os.path.join(self.folder, "private")
        os.makedirs(private, mode=0o700)
        self.env = dict(DBUS_SYSTEM_BUS_ADDRESS="unix:path=" + os.path.join(self.folder, "system-bus"),
                        HOLLYFROST_REGISTRY=os.path.join(private, "registry.ini"), TMPDIR=private,
                        XDG_RUNTIME_DIR=private)

    def messenger(self, *args, **kwargs):
        return subprocess.Popen([*self.prefix, MESSENGER, *args], env=dict(os.environ, **self.env),
                                stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True, **kwargs)

    def stop(self):
        self.services.stdin.close()
        self.services.wait(timeout=30)
        subprocess.run(["ip", "netns", "del", self.namespace], check=False)


class LanGamesTest(unittest.TestCase):
    def setUp(self):
        self.tmp = tempfile.TemporaryDirectory()
        self.processes = []
        self.machines = []
        run("ip", "netns", "add", SWITCH)
        run("ip", "-n", SWITCH, "link", "add", "br0", "type", "bridge")
        run("ip", "-n", SWITCH, "link", "set", "br0", "up")

    def tearDown(self):
        for process in self.processes:
            if process.poll() is None:
                process.kill()
            process.wait(timeout=10)
        for machine in self.machines:
            machine.stop()
        subprocess.run(["ip", "netns", "del", SWITCH], check=False)
        self.tmp.cleanup()

    def machine(self, name, number, player, uin, character):
        machine = Machine(self.tmp.name, name, number)
        self.machines.append(machine)
        machine.game_folder = make_demo(os.path.join(machine.folder, "messenger"), name=player, uin=uin,
                                        extra=["--character", "C:\\Windows\\msagent\\chars\\" + character])
        return machine

    def game(self, machine, contact):
        process = launch(machine.game_folder, contact, "0.1", machine.env, machine.prefix)
        self.processes.append(process)
        return process

    def test_the_joiner_picks_the_host_from_its_buddies_and_is_accepted(self):
        host = self.machine("host", 2, "Robin", HOST_UIN, "Pip.acs")
        joiner = self.machine("joiner", 3, "Jo", JOINER_UIN, "Bolt.acs")

        # The host starts the game as the menu does, for its own UIN, and hosts.
        self.game(host, HOST_UIN)
        host_app = new_application(set())
        press(wait_find(host_app, "Host a Game", "radio button"))
        press(wait_find(host_app, "Random Race", "radio button"))

        # The joiner goes online and sees the host among its buddies within a few seconds.
        online = joiner.messenger("online", joiner.game_folder)
        self.processes.append(online)
        started = time.monotonic()

        def host_listed():
            listing = joiner.messenger("buddies", joiner.game_folder).communicate(timeout=30)[0]
            return [line for line in listing.splitlines()
                    if line == f"{HOST_UIN}\tRobin\tonline\t{host.address}\tfound on the LAN"]
        wait_for(host_listed, 10, 0.2, "the host among the joiner's buddies")
        print(f"the joiner listed the host after {time.monotonic() - started:.1f} s", flush=True)

        # Picked: the messenger starts the game for the host's UIN ("online" goes on).
        self.game(joiner, HOST_UIN)
        joiner_app = new_application({host_app.get_process_id()})
        buddies = wait_find(joiner_app, "Online Buddys", "list")
        wait_for(lambda: buddies.childCount == 1, 30, 0.2, "the host in the joiner's Online Buddys")
        self.assertEqual(buddies.getChildAtIndex(0).name, f"{HOST_UIN}  Robin")
        press(wait_find(joiner_app, "Join a Game", "radio button"))
        press(wait_find(joiner_app, "Request To Play", "push button"))
        dialog = wait_window(joiner_app, "dialog", "Request to Play")
        self.assertEqual(text_of(wait_find(dialog, "To UIN", "text")), HOST_UIN)
        press(wait_find(dialog, "Request to Play", "push button"))

        question = wait_window(host_app, "dialog", "Hollyfrost Games")
        self.assertIn(f"We Received a Play Request from:\nJo  UIN:{JOINER_UIN}", question.description)
        press(wait_find(question, "Yes", "push button"))
        press_in_box(joiner_app, "We were accepted for the game", "OK")
        for app in (host_app, joiner_app):
            roster = wait_find(app, "Game Contestants", "list")
            wait_for(lambda: roster.childCount == 2, 60, 0.2, "two contestants on both copies")
        print("the host accepted the joiner; both rosters hold two contestants", flush=True)
        online.terminate()
        self.assertEqual(online.communicate(timeout=30), ("online from " + joiner.game_folder + "; stop with Ctrl+C\n", ""))


if __name__ == "__main__":
    unittest.main(verbosity=2)
