#!/usr/bin/python3
"""A LAN host's NetBIOS name service (UDP 137), just enough for a scanner:
answers a node status request (what nbtscan sends) with the host's names and
MAC address, and a name query for its own name with its address.

usage: nbns_responder.py NAME WORKGROUP MAC IP
"""

import socket
import struct
import sys

NBSTAT, NB = 0x21, 0x20
UNIQUE_ACTIVE, GROUP_ACTIVE = 0x0400, 0x8400


def decode_name(packet, at):
    """The first-level decoded name (RFC 1001 14.1) starting at `at`, and the
    offset after it; scope labels are skipped."""
    length = packet[at]
    raw = packet[at + 1:at + 1 + length]
    decoded = bytes(((raw[i] - 65) << 4) | (raw[i + 1] - 65) for i in range(0, len(raw) - 1, 2))
    at += 1 + length
    while packet[at]:
        at += 1 + packet[at]
    return decoded, at + 1


def answer(packet, name, workgroup, mac, ip):
    if len(packet) < 12 + 34 + 4:
        return None
    trn_id, flags, qdcount = struct.unpack_from(">HHH", packet)
    if flags & 0x8000 or (flags >> 11) & 0xF or qdcount != 1:
        return None  # a response, or not a query
    qname, end = decode_name(packet, 12)
    qtype, = struct.unpack_from(">H", packet, end)
    asked = qname[:15].rstrip(b" \0")  # "*" comes padded with NULs
    rr_name = packet[12:end]
    if qtype == NBSTAT and asked in (b"*", name):
        names = [(name, 0x00, UNIQUE_ACTIVE), (name, 0x20, UNIQUE_ACTIVE),
                 (workgroup, 0x00, GROUP_ACTIVE)]
        rdata = bytes([len(names)]) + b"".join(
            n.ljust(15, b" ") + bytes([suffix]) + struct.pack(">H", f) for n, suffix, f in names)
        rdata += mac + bytes(58)  # the statistics, as long as scanners read them
    elif qtype == NB and asked == name:
        rdata = struct.pack(">H", 0) + socket.inet_aton(ip)
    else:
        return None
    return (struct.pack(">HHHHHH", trn_id, 0x8400, 0, 1, 0, 0) + rr_name +
            struct.pack(">HHIH", qtype, 1, 0, len(rdata)) + rdata)


def main(argv):
    name, workgroup = argv[1].upper().encode(), argv[2].upper().encode()
    mac, ip = bytes.fromhex(argv[3].replace(":", "")), argv[4]
    sock = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
    sock.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    sock.bind(("0.0.0.0", 137))
    while True:
        packet, peer = sock.recvfrom(1500)
        try:
            reply = answer(packet, name, workgroup, mac, ip)
        except (IndexError, struct.error):
            reply = None  # a truncated or malformed query
        if reply:
            sock.sendto(reply, peer)


if __name__ == "__main__":
    main(sys.argv)
