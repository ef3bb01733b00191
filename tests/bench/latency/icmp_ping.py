#!/usr/bin/env python3
"""ICMP echo round trips to HOST (a raw socket: run as root), for checking
the delay line: the machine may have no ping program.

usage: icmp_ping.py HOST COUNT
Prints every round trip, then "rtt min/median/max A/B/C ms"; exits 1 when
a reply is missing (each waits at most 2 s).
"""
import os
import select
import socket
import statistics
import struct
import sys
import time


def checksum(data):
    if len(data) % 2:
        data += b"\0"
    total = sum(struct.unpack("!%dH" % (len(data) // 2), data))
    total = (total >> 16) + (total & 0xFFFF)
    total += total >> 16
    return ~total & 0xFFFF


def echo_request(ident, seq):
    payload = b"delay-line-check" * 3
    header = struct.pack("!BBHHH", 8, 0, 0, ident, seq)
    return struct.pack("!BBHHH", 8, 0, checksum(header + payload), ident, seq) + payload


def wait_reply(sock, ident, seq, deadline):
    while True:
        left = deadline - time.monotonic()
        if left <= 0:
            return False
        ready, _, _ = select.select([sock], [], [], left)
        if not ready:
            return False
        packet = sock.recv(2048)
        icmp = packet[(packet[0] & 0x0F) * 4:]  # past the IP header
        if len(icmp) >= 8:
            kind, _, _, their_ident, their_seq = struct.unpack("!BBHHH", icmp[:8])
            if kind == 0 and their_ident == ident and their_seq == seq:
                return True


def main():
    if len(sys.argv) != 3:
        sys.exit(__doc__)
    host, count = sys.argv[1], int(sys.argv[2])
    sock = socket.socket(socket.AF_INET, socket.SOCK_RAW, socket.IPPROTO_ICMP)
    ident = os.getpid() & 0xFFFF
    rtts = []
    for seq in range(1, count + 1):
        start = time.monotonic()
        sock.sendto(echo_request(ident, seq), (host, 0))
        if not wait_reply(sock, ident, seq, start + 2.0):
            print("no reply to echo %d from %s" % (seq, host))
            sys.exit(1)
        rtts.append((time.monotonic() - start) * 1000.0)
        time.sleep(0.05)
    print("ping %s: %s ms" % (host, " ".join("%.1f" % r for r in rtts)))
    print("rtt min/median/max %.2f/%.2f/%.2f ms" % (min(rtts), statistics.median(rtts), max(rtts)))


if __name__ == "__main__":
    main()
