#!/usr/bin/env python3
"""Leaving from outside while this copy hosts a game with an accepted joiner: the desktop
session ends (a logout through the session manager), or TERM comes. Each time the host
says goodbye as its Exit does, "RC" twice 500 ms apart (not once more), and ends with
status 0. The session manager is a test's own (fake_session_manager), the joiner a socket
on 127.0.0.2."""
import os
import random
import select
import signal
import socket
import subprocess
import time
import unittest

from desktop import Game, application, game_pid, press, wait_find, wait_for, wait_window

HOST = "127.0.0.1"
JOINER = "127.0.0.2"


def read_line(stream, timeout):
    if not select.select([stream], [], [], timeout)[0]:
        raise TimeoutError("the session manager said nothing")
    return stream.readline().strip()


class SessionEndTest(unittest.TestCase):
    def hosted_game_left(self, leave):
        """Hosts with a joiner accepted, leaves through leave(manager, game) and returns
        the times of the host's "RC"s."""
        port = random.randrange(20000, 60000)
        joiner = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
        self.addCleanup(joiner.close)
        joiner.bind((JOINER, port))
        manager = subprocess.Popen([os.path.join(os.environ["HF_TEST_BIN_DIR"], "hf_fake_session_manager")],
                                   stdin=subprocess.PIPE, stdout=subprocess.PIPE, text=True)
        self.addCleanup(lambda: (manager.kill(), manager.wait(), manager.stdin.close(), manager.stdout.close()))
        env = {"SESSION_MANAGER": read_line(manager.stdout, 10), "HOLLYFROST_BIND_ADDRESS": HOST}
        received = []   # (seconds, code) of every datagram from the host

        def receive(until):
            while time.monotonic() < until:
                if not select.select([joiner], [], [], 0.05)[0]:
                    continue
                data, sender = joiner.recvfrom(2048)
                code = data[:2].decode("latin-1")
                received.append((time.monotonic(), code))
                if code in ("RS", "SR", "RP", "RZ"):
                    joiner.sendto(b"AKJo", (HOST, port))
                return code
            return None

        with Game(time_scale="1", extra=("--game-port", str(port)), env=env) as game:
            self.assertEqual(read_line(manager.stdout, 60), "registered")
            app = application()
            press(wait_find(app, "Host a Game", "radio button"))
            joiner.sendto(b"RQJo&&40003&&Bolt.acs", (HOST, port))
            press(wait_find(wait_window(app, "dialog", "Hollyfrost Games"), "Yes", "push button"))
            wait_for(lambda: receive(time.monotonic() + 0.2) == "RS", 30, 0, "the host's roster")
            leave(manager, game)
            deadline = time.monotonic() + 30
            while game.process.poll() is None and time.monotonic() < deadline:
                receive(time.monotonic() + 0.1)
            receive(time.monotonic() + 1)   # anything still on its way
            self.assertEqual(game.process.wait(timeout=5), 0)
        return [at for at, code in received if code == "RC"], received

    def check_goodbye(self, cancels, received, how):
        self.assertEqual(len(cancels), 2, received)
        gap = cancels[1] - cancels[0]
        print(f"{how}: the host's two RC came {gap * 1000:.0f} ms apart", flush=True)
        self.assertTrue(0.4 <= gap <= 2.0, gap)

    def test_a_logout_tells_the_accepted_joiner(self):
        def log_out(manager, game):
            manager.stdin.write("end\n")
            manager.stdin.flush()
            self.assertEqual(read_line(manager.stdout, 30), "saved")
        self.check_goodbye(*self.hosted_game_left(log_out), "logout")

    def test_term_tells_the_accepted_joiner(self):
        def terminate(manager, game):
            os.kill(game_pid(game.process.pid), signal.SIGTERM)
        self.check_goodbye(*self.hosted_game_left(terminate), "TERM")


if __name__ == "__main__":
    unittest.main()
