#!/usr/bin/env python3
"""A network link with a one-way delay, in user space (the kernel here has
no netem): two TUN devices, and every IP packet read from one is written to
the other once it has waited DELAY_MS. An optional rate cap (bytes/s, each
direction on its own) serialises packets as a slower link would, dropping
what would queue for longer than a router's buffer holds.

usage: delay_line.py TUN_A TUN_B SETTINGS_FILE

The devices are created in the caller's namespace (move them with
"ip link set dev NAME netns NS"); they vanish when this process ends.
SETTINGS_FILE holds "DELAY_MS RATE"; it is read at start and on SIGHUP, and
the settings in force are then written to SETTINGS_FILE.applied. "ready"
on standard output means the devices exist. The process ends on SIGTERM or
SIGINT, or when its parent goes away.
"""
import collections
import fcntl
import os
import select
import signal
import struct
import sys
import time

TUNSETIFF = 0x400454CA
IFF_TUN = 0x0001
IFF_NO_PI = 0x1000
# What a capped link may have waiting to be sent before it drops packets,
# in seconds of its rate (a router's buffer).
MAX_BACKLOG_S = 0.25
READ_BATCH = 64


def open_tun(name):
    fd = os.open("/dev/net/tun", os.O_RDWR | os.O_NONBLOCK)
    fcntl.ioctl(fd, TUNSETIFF, struct.pack("16sH", name.encode(), IFF_TUN | IFF_NO_PI))
    return fd


class Direction:
    """Packets from one device to the other, in the order they arrived: with
    one delay for all of them that is also the order they are due."""

    def __init__(self, src, dst):
        self.src, self.dst = src, dst
        self.queue = collections.deque()  # (release time, packet)
        self.link_free = 0.0  # when the capped link has sent what it holds
        self.moved = self.dropped = 0

    def accept(self, packet, now, delay, rate):
        due = now + delay
        if rate > 0:
            start = max(now, self.link_free)
            if start - now > MAX_BACKLOG_S:
                self.dropped += 1
                return
            self.link_free = start + len(packet) / rate
            due = self.link_free + delay
        self.queue.append((due, packet))

    def release(self, now):
        """Writes every packet that is due; returns when the next one is."""
        while self.queue and self.queue[0][0] <= now:
            packet = self.queue.popleft()[1]
            try:
                os.write(self.dst, packet)
                self.moved += 1
            except OSError:
                self.dropped += 1  # the device is down or its queue is full
        return self.queue[0][0] if self.queue else None

    def read(self, now, delay, rate):
        for _ in range(READ_BATCH):
            try:
                packet = os.read(self.src, 65536)
            except BlockingIOError:
                return
            self.accept(packet, now, delay, rate)


def read_settings(path):
    with open(path) as f:
        delay_ms, rate = f.read().split()
    delay, rate = float(delay_ms) / 1000.0, float(rate)
    if delay < 0 or rate < 0:
        raise ValueError("negative delay or rate")
    with open(path + ".applied.tmp", "w") as f:
        f.write("%s %d\n" % (delay_ms, rate))
    os.replace(path + ".applied.tmp", path + ".applied")
    return delay, rate


class Stop(Exception):
    pass


def main():
    if len(sys.argv) != 4:
        sys.exit(__doc__)
    name_a, name_b, settings = sys.argv[1:]
    parent = os.getppid()
    a, b = open_tun(name_a), open_tun(name_b)
    delay, rate = read_settings(settings)

    # Signals wake the select through this pipe; the flags say which.
    wake_r, wake_w = os.pipe()
    os.set_blocking(wake_r, False)
    os.set_blocking(wake_w, False)
    signal.set_wakeup_fd(wake_w)
    reload = [False]
    signal.signal(signal.SIGHUP, lambda *_: reload.__setitem__(0, True))

    def stop(*_):
        raise Stop()

    signal.signal(signal.SIGTERM, stop)
    signal.signal(signal.SIGINT, stop)
    print("ready", flush=True)

    forward, backward = Direction(a, b), Direction(b, a)
    by_fd = {a: forward, b: backward}
    try:
        while os.getppid() == parent:
            if reload[0]:
                reload[0] = False
                delay, rate = read_settings(settings)
            now = time.monotonic()
            dues = [d for d in (forward.release(now), backward.release(now)) if d is not None]
            # Wake at least once a second to notice a parent that went away.
            timeout = min([1.0] + [max(0.0, due - now) for due in dues])
            ready, _, _ = select.select([a, b, wake_r], [], [], timeout)
            now = time.monotonic()
            for fd in ready:
                if fd == wake_r:
                    while True:
                        try:
                            os.read(wake_r, 512)
                        except BlockingIOError:
                            break
                else:
                    by_fd[fd].read(now, delay, rate)
    except Stop:
        pass
    for label, d in (("a->b", forward), ("b->a", backward)):
        print("%s: %d packets moved, %d dropped" % (label, d.moved, d.dropped), file=sys.stderr)


if __name__ == "__main__":
    main()
