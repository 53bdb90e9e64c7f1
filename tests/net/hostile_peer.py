#!/usr/bin/env python3
"""A hostile peer on loopback: sends a host and a joiner of a running LAN race at least
COUNT datagrams of every message code, then prints what it sent as one JSON line and
ends. Forged, malformed, truncated and oversized datagrams come from addresses other than
the host's (the extra addresses and each copy's own address from another port); from the
host's and the joiner's addresses only copies of their real datagrams are resent (as a
network that duplicates packets would), which needs a packet socket (root). One round of
the whole load is sent at full speed, the rest in bursts spread over some seconds.

Usage: hostile_peer.py HOST JOINER PORT [--count N] [--seconds S] [--from ADDRESS ...]"""
import argparse
import collections
import ctypes
import json
import random
import socket
import struct
import sys
import threading
import time

CODES = ["RQ", "RA", "RD", "RR", "RT", "RS", "SR", "RP", "RZ", "RB", "RK", "RC", "AK", "GP", "ME", "XY"]
NAME = "Eve"
MARKUP = ['<img src="/dev/zero">', "<img src=/dev/zero>", '<a href="file:///etc/passwd">x</a>', "<b>" * 300,
          "&amp;" * 200, "\\map=\"a\"=\"b\\", "%s%n%x", "\r\n" * 100]


def forged(code, uin):
    """Well-formed datagrams of a code such as a copy would send, in the forger's name."""
    fields = {
        "RQ": [f"&&{uin}&&Pip.acs", "&&12345&&Bolt.acs", "", "\0\0\0", "&&\0&&\0", "&&1234567890123456&&x.acs"],
        "RA": [""],
        "RD": ["&&rx0", "&&rx4", "&&zz9"],
        "RR": [""],
        "RT": ["&&" + markup for markup in MARKUP] + ["&&Host: Eve 1\r\nSimple Math\r\nEasy"],
        "RS": ["&&" + "&&".join([uin, NAME, "Pip.acs"] + [" "] * 15),
               "&&" + "&&".join(["99999", "Eve", "../../etc/passwd"] * 6)],
        "SR": [""],
        "RP": ["&&92&&92&&92&&92&&92&&92", "&&0&&0&&0&&0&&0&&0", "&&2147483647&&-2147483648&&99999999999&&x&&&&"],
        "RZ": ["&&MA&&4&&2 + 2&&1", "&&DX&&dexteritytest&&Click&&2", "&&MT&&bgyr&&&&3", "&&WS&&cat&&TAC&&4"],
        "RB": [f"&&{uin}&&4", f"&&{uin}&&4&&1", f"&&{uin}&&dexteritytest&&99"],
        "RK": [f"&&{uin}&&4", f"&&{uin}&&4&&1"],
        "RC": [""],
        "AK": [""],
        "GP": [f"&&{uin}&&Eve", f"&&{uin}"],
        "ME": ["&&\r\n$$UIN1\r\n &&\r\n hello"],
        "XY": ["&&1&&2"],
    }[code]
    return [(code + NAME + payload).encode("latin-1") for payload in fields]


class Attack:
    """The datagrams of every code, made up as the peer goes."""

    def __init__(self, uins, seed=17):
        self.random = random.Random(seed)
        self.forged = {code: [text for uin in uins for text in forged(code, uin)] for code in CODES}
        self.alphabet = [b"&&", b"\0", b"\xff", b"\r\n", b"9" * 20, b"-", b"0", b" ", b"<img src=", b"/dev/zero",
                         b"RZ", b"%", b"\\map=\""]

    def malformed(self, code):
        return code.encode() + b"".join(self.random.choice(self.alphabet) for _ in range(self.random.randint(0, 40)))

    def truncated(self, code):
        text = self.random.choice(self.forged[code])
        return text[:self.random.randint(0, len(text))]

    def oversized(self, code):
        # Around the receive buffer's size and far past it.
        size = self.random.choice([1500, 1516, 1517, 1518, 1600, 8192, 65000])
        return (code + NAME + "&&").encode() + b"9" * size

    def datagram(self, code, number):
        kind = number % 8
        if kind < 3:
            return self.random.choice(self.forged[code])
        if kind < 5:
            return self.malformed(code)
        if kind < 7:
            return self.truncated(code)
        return self.oversized(code)


def bound_socket(address):
    sock = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
    sock.setsockopt(socket.SOL_SOCKET, socket.SO_SNDBUF, 1 << 20)
    sock.bind((address, 0))
    return sock


# Classic BPF: IPv4 UDP from the game port to the game port (the copies' own sends).
def game_traffic_filter(port):
    program = [(0x28, 0, 0, 12), (0x15, 0, 10, 0x0800), (0x30, 0, 0, 23), (0x15, 0, 8, 17),
               (0x28, 0, 0, 20), (0x45, 6, 0, 0x1FFF), (0xB1, 0, 0, 14), (0x48, 0, 0, 14),
               (0x15, 0, 3, port), (0x48, 0, 0, 16), (0x15, 0, 1, port), (0x06, 0, 0, 65535), (0x06, 0, 0, 0)]
    code = b"".join(struct.pack("HBBI", *instruction) for instruction in program)
    buffer = ctypes.create_string_buffer(code)
    return buffer, struct.pack("HL", len(program), ctypes.addressof(buffer))


class Duplicator(threading.Thread):
    """Watches the copies' real datagrams on the loopback device and resends each one
    several times from its sender's address (another port), straight after the original."""

    def __init__(self, host, joiner, port, copies=3):
        super().__init__(daemon=True)
        self.addresses, self.port, self.copies = {host, joiner}, port, copies
        self.sent = collections.Counter()
        self.sockets = {address: bound_socket(address) for address in self.addresses}
        self.sniffer = socket.socket(socket.AF_PACKET, socket.SOCK_RAW, socket.htons(3))
        self.buffer, program = game_traffic_filter(port)
        self.sniffer.setsockopt(socket.SOL_SOCKET, 26, program)   # SO_ATTACH_FILTER
        self.sniffer.bind(("lo", 0))
        self.sniffer.settimeout(0.2)
        self.running = True

    def run(self):
        while self.running:
            try:
                frame, where = self.sniffer.recvfrom(70000)
            except socket.timeout:
                continue
            if where[2] == socket.PACKET_OUTGOING:   # each loopback packet shows twice
                continue
            header = 14 + (frame[14] & 0x0F) * 4
            source, destination = socket.inet_ntoa(frame[26:30]), socket.inet_ntoa(frame[30:34])
            if source not in self.addresses or destination not in self.addresses:
                continue
            text = frame[header + 8:]
            for _ in range(self.copies):
                self.sockets[source].sendto(text, (destination, self.port))
            self.sent[text[:2].decode("latin-1")] += self.copies

    def stop(self):
        self.running = False
        self.join(timeout=5)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("host")
    parser.add_argument("joiner")
    parser.add_argument("port", type=int)
    parser.add_argument("--count", type=int, default=10000, help="datagrams of each code to each copy")
    parser.add_argument("--from", dest="sources", nargs="*", default=["127.0.0.4", "127.0.0.5"])
    parser.add_argument("--uin", nargs="*", default=["60006", "40001"], help="UINs the forgeries claim")
    parser.add_argument("--seconds", type=float, default=8, help="spread over about this time")
    parser.add_argument("--flood", type=int, default=500, help="rounds of every code sent at full speed")
    parser.add_argument("--codes", nargs="*", default=CODES, help="the codes to send (all by default)")
    args = parser.parse_args()

    try:
        duplicator = Duplicator(args.host, args.joiner, args.port)
        duplicator.start()
    except PermissionError:
        print("hostile_peer: no packet socket (not root): no duplicates of real datagrams", file=sys.stderr)
        duplicator = None
    attack = Attack(args.uin)
    # Each copy hears from the extra addresses and from its own address (another port).
    senders = {target: [bound_socket(source) for source in args.sources + [target]]
               for target in (args.host, args.joiner)}
    sent = {target: collections.Counter() for target in senders}
    started = time.time()
    # A third of the way, a flood at full speed, short enough for a copy's resends to
    # outlast it; elsewhere bursts small enough for a copy's receive buffer, with pauses
    # in which its own datagrams get through.
    flood_start, flood_end = args.count // 3, args.count // 3 + args.flood
    for number in range(args.count):
        for code in args.codes:
            for target, sockets in senders.items():
                sock = sockets[number % len(sockets)]
                try:
                    sock.sendto(attack.datagram(code, number), (target, args.port))
                    sent[target][code] += 1
                except OSError:   # a full send buffer: the datagram counts as lost
                    pass
        if number % 8 == 0 and not flood_start <= number < flood_end:
            time.sleep(max(0.002, started + args.seconds * number / args.count - time.time()))
    if duplicator:
        duplicator.stop()
    print(json.dumps({"seconds": round(time.time() - started, 1),
                      "sent": {target: dict(counter) for target, counter in sent.items()},
                      "resent": dict(duplicator.sent) if duplicator else {}}), flush=True)
    return 0


if __name__ == "__main__":
    sys.exit(main())
