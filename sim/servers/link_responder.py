#!/usr/bin/python3
"""Crafted answers to the link applet's probes, the kinds no real server
sends: it answers the first PADI, the first DISCOVER from the router's own
address and the first ARP request for the PPTP modem seen on IFACE with the
answers named, in the order named, prints "sent NAME LENGTH" for each, and
ends once the ARP request is answered (or after 30 s).  It prints "ready"
when it listens.

usage: link_responder.py IFACE ANSWER[,ANSWER...]

  on the PADI:      pado pado-bcast pado-session pads ver2
  on the DISCOVER:  offer ack xid2 ihl6 udp247 udp248 udp1481 no-opt53
                    offer-domain255 offer-spoofed offer-bcast
  on the ARP:       arp arp-wrong-tpa arp-request late-pado late-offer
"""

import os
import struct
import sys
from ipaddress import ip_address

from scapy.all import ARP, BOOTP, IP, UDP, Ether, PPPoED, Raw, get_if_hwaddr, sendp, sniff

sys.path.insert(0, os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
from zezarur_sim.plan import ISP_ADDRESS, OFFERED, PPTP_ASKER, PPTP_MODEM, SPOOFED_MAC  # noqa: E402

ISP, MODEM = ISP_ADDRESS.split("/")[0], PPTP_MODEM.split("/")[0]
NOT_THE_ASKER = str(ip_address(PPTP_ASKER) + 1)
BCAST = "ff:ff:ff:ff:ff:ff"
COOKIE = b"\x63\x82\x53\x63"
DOMAIN255 = b"a" * 247 + b".bigpond"  # the name ends in the option's last byte
assert len(DOMAIN255) == 255


def option(code, data):
    return bytes([code, len(data)]) + data


def pado(me, to, dst=None, code=0x07, session=0, version=1):
    tags = b"\x01\x01\x00\x00" + b"\x01\x02\x00\x07crafted"  # Service-Name, AC-Name
    return Ether(dst=dst or to, src=me, type=0x8863) / PPPoED(
        version=version, type=1, code=code, sessionid=session) / Raw(tags)


def offer(me, to, dst=None, kind=2, xid=1, domain=None):
    options = (option(53, bytes([kind])) if kind else b"") + option(54, bytes(map(int, ISP.split("."))))
    options += (option(15, domain) if domain else b"") + b"\xff"
    chaddr = bytes.fromhex((dst or to).replace(":", ""))
    return (Ether(dst=dst or to, src=me) / IP(src=ISP, dst=OFFERED) /
            UDP(sport=67, dport=68) / BOOTP(op=2, xid=xid, yiaddr=OFFERED,
                                            chaddr=chaddr, options=COOKIE + options))


def patched(frame, at, data):
    raw = bytearray(bytes(frame))
    raw[at:at + len(data)] = data
    return bytes(raw)


def arp(me, to, op=2, pdst=PPTP_ASKER):
    return Ether(dst=to, src=me) / ARP(op=op, hwsrc=me, psrc=MODEM, hwdst=to, pdst=pdst)


ANSWERS = {
    "pado": ("padi", lambda me, to: pado(me, to)),
    "pado-bcast": ("padi", lambda me, to: pado(me, to, dst=BCAST)),
    "pado-session": ("padi", lambda me, to: pado(me, to, session=0x1234)),
    "pads": ("padi", lambda me, to: pado(me, to, code=0x65)),
    "ver2": ("padi", lambda me, to: pado(me, to, version=2)),
    "offer": ("discover", lambda me, to: offer(me, to)),
    "ack": ("discover", lambda me, to: offer(me, to, kind=5)),
    "xid2": ("discover", lambda me, to: offer(me, to, xid=2)),
    "ihl6": ("discover", lambda me, to: patched(offer(me, to), 14, b"\x46")),
    "udp247": ("discover", lambda me, to: patched(offer(me, to), 38, struct.pack(">H", 247))),
    "udp248": ("discover", lambda me, to: patched(offer(me, to), 38, struct.pack(">H", 248))),
    "udp1481": ("discover", lambda me, to: patched(offer(me, to), 38, struct.pack(">H", 1481))),
    "no-opt53": ("discover", lambda me, to: offer(me, to, kind=0)),
    "offer-domain255": ("discover", lambda me, to: offer(me, to, domain=DOMAIN255)),
    "offer-spoofed": ("discover", lambda me, to: offer(me, to, dst=SPOOFED_MAC)),
    "offer-bcast": ("discover", lambda me, to: offer(me, to, dst=BCAST)),
    "arp": ("arp", lambda me, to: arp(me, to)),
    "arp-wrong-tpa": ("arp", lambda me, to: arp(me, to, pdst=NOT_THE_ASKER)),
    "arp-request": ("arp", lambda me, to: arp(me, to, op=1)),
    "late-pado": ("arp", lambda me, to: pado(me, to)),
    "late-offer": ("arp", lambda me, to: offer(me, to)),
}


def probe_kind(frame, me):
    """Which probe of the router a frame is, if any."""
    if frame.src == me:
        return None
    if PPPoED in frame and frame[PPPoED].code == 0x09:
        return "padi"
    if BOOTP in frame and frame[BOOTP].op == 1 and frame.src != SPOOFED_MAC:
        return "discover"
    if ARP in frame and frame[ARP].op == 1 and frame[ARP].pdst == MODEM:
        return "arp"
    return None


def main(argv):
    iface, names = argv[1], argv[2].split(",")
    unknown = [n for n in names if n not in ANSWERS]
    if unknown:
        sys.exit(f"unknown answers: {', '.join(unknown)}")
    me = get_if_hwaddr(iface)
    answered = set()

    def answer(frame):
        kind = probe_kind(frame, me)
        if kind is None or kind in answered:
            return
        answered.add(kind)
        for name in names:
            if ANSWERS[name][0] == kind:
                raw = bytes(ANSWERS[name][1](me, frame.src))
                sendp(Raw(raw), iface=iface, verbose=False)
                print(f"sent {name} {len(raw)}", flush=True)

    sniff(iface=iface, prn=answer, store=False, timeout=30,
          stop_filter=lambda _: "arp" in answered,
          started_callback=lambda: print("ready", flush=True))


if __name__ == "__main__":
    main(sys.argv)
