#!/usr/bin/python3
"""An SMTP server that plays a script, for testing a client's every reply.

usage: smtp_scripted.py PORT DIR

At each connection DIR/script.json is read: a list of replies, reply 0 the
greeting and reply N sent once the client's Nth line has arrived (all that
follows a DATA answered 3xx, up to CR LF . CR LF, counts as one line).  A reply is a list of
writes: text (sent as Latin-1 bytes), "<close>" (FIN) or "<reset>" (RST).
Before each write the server waits until the client has read all that was
sent before it, so every write reaches the client as a read of its own.
When the replies run out, the next line ends the connection.  Every byte
received goes to DIR/received as it comes, the client's address to DIR/peer.

The client's receive queue is read from /proc/1/net/tcp: the sandbox's init
lives in the router's network namespace.
"""

import fcntl
import json
import os
import socket
import struct
import sys
import termios
import time

DRAIN_LIMIT = 5.0


def hex_endpoint(address, port):
    """An endpoint as /proc/net/tcp shows it."""
    return "%08X:%04X" % (struct.unpack("=I", socket.inet_aton(address))[0], port)


def client_queue(peer, me):
    """Bytes waiting in the client's receive queue; 0 when it is not seen."""
    local, remote = hex_endpoint(*peer), hex_endpoint(*me)
    try:
        rows = open("/proc/1/net/tcp").read().splitlines()[1:]
    except OSError:
        return 0
    for row in rows:
        f = row.split()
        if f[1] == local and f[2] == remote:
            return int(f[4].split(":")[1], 16)
    return 0


def wait_read(conn, peer, me):
    """Until the client's kernel has all that was sent and the client has read it."""
    deadline = time.monotonic() + DRAIN_LIMIT
    while time.monotonic() < deadline:
        unsent = struct.unpack("i", fcntl.ioctl(conn, termios.TIOCOUTQ, b"\0" * 4))[0]
        if unsent == 0 and client_queue(peer, me) == 0:
            return
        time.sleep(0.002)


class Lines:
    """The client's lines as they come, every byte logged."""

    def __init__(self, conn, log):
        self.conn, self.log, self.buf, self.data = conn, log, b"", False

    def next(self):
        """The next command line (data: b""), None when the client has gone."""
        end = b"\r\n.\r\n" if self.data else b"\n"
        while end not in self.buf:
            try:
                chunk = self.conn.recv(4096)
            except OSError:
                return None
            if not chunk:
                return None
            self.log.write(chunk)
            self.buf += chunk
        line, self.buf = self.buf.split(end, 1)
        command, self.data = not self.data, False
        return line.strip().upper() if command else b""


def serve(conn, peer, folder):
    with open(os.path.join(folder, "script.json")) as f:
        script = json.load(f)
    with open(os.path.join(folder, "peer"), "w") as f:
        f.write(peer[0])
    me = conn.getsockname()
    with open(os.path.join(folder, "received"), "wb", buffering=0) as log:
        lines = Lines(conn, log)
        for number, reply in enumerate(script):
            if number:
                line = lines.next()
                if line is None:
                    return
                # The data follow a DATA that is answered 3xx, not a refused one.
                lines.data = line == b"DATA" and reply[0][:1] == "3"
            for write in reply:
                wait_read(conn, peer, me)
                if write == "<reset>":
                    conn.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER, struct.pack("ii", 1, 0))
                if write in ("<close>", "<reset>"):
                    return
                conn.sendall(write.encode("latin-1"))
        lines.next()


def main():
    port, folder = int(sys.argv[1]), sys.argv[2]
    server = socket.create_server(("0.0.0.0", port))
    while True:
        conn, peer = server.accept()
        with conn:
            try:
                serve(conn, peer, folder)
            except OSError:
                pass  # the client went away in the middle of a write


if __name__ == "__main__":
    main()
