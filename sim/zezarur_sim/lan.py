"""The LAN behind lan0: hosts on the switch (bridge br0), each a namespace of
its own, with a NetBIOS name answered by sim/servers/nbns_responder.py."""

import ipaddress
import os
import re
import sys

from . import core, netns, netstate
from .plan import DEFAULT_LAN, ROUTER, host_mac

WORKGROUP = "WORKGROUP"
NBNS = os.path.join(core.SIM_SRC, "servers", "nbns_responder.py")


def add_host(box, st, name, ip, netbios):
    if not re.fullmatch(r"[a-z0-9][a-z0-9-]{0,11}", name) or name in netstate.ROLES or name == "br0":
        raise core.SimError(f"bad LAN host name '{name}' (a-z, 0-9, '-', at most 12, "
                            f"not one of {', '.join(netstate.ROLES)})")
    lan = ipaddress.IPv4Interface(ROUTER["lan0"][1])
    address = netstate.address(ip)
    taken = {h["ip"] for h in st["hosts"].values()} | {str(lan.ip)}
    if address not in lan.network or address in (lan.network.network_address,
                                                 lan.network.broadcast_address):
        raise core.SimError(f"{ip} is not a host address of the LAN {lan.network}")
    if name in st["hosts"] or ip in taken:
        raise core.SimError(f"LAN host {name} or address {ip} already present")
    if netbios is not None and not re.fullmatch(r"[A-Za-z0-9_-]{1,15}", netbios):
        raise core.SimError(f"bad NetBIOS name '{netbios}' (at most 15 letters, digits, '-', '_')")
    pid = netns.holder()
    mac = host_mac(ip)
    netns.in_ns(st["roles"]["lan"], f"ip link add {name} type veth peer name eth0 address {mac} "
                f"netns {pid}\nip link set {name} master br0 up")
    netns.configure(pid, f"ip addr add {ip}/{lan.network.prefixlen} dev eth0\nip link set eth0 up\n"
                    f"ip route add default via {lan.ip}")
    host = {"ip": ip, "mac": mac, "netbios": netbios, "pid": pid, "responder": None}
    if netbios:
        host["responder"] = netns.spawn(pid, [sys.executable, NBNS, netbios, WORKGROUP, mac, ip],
                                        netstate.log(box, f"nbns-{name}"))
        netns.wait_for(lambda: netns.udp_bound(pid, 137), f"the NetBIOS responder of {name}")
    st["hosts"][name] = host


@netstate.command
def cmd_lan(box, st, args):
    netstate.usage(args, {"add": "NAME IP [--netbios NAME]", "del": "NAME", "list": ""}, "lan")
    if args.action == "add":
        add_host(box, st, args.name, args.ip, args.netbios)
    elif args.action == "del":
        host = st["hosts"].pop(args.name, None)
        if host is None:
            raise core.SimError(f"no LAN host named '{args.name}'")
        netns.end(host["responder"])
        netns.end(host["pid"])  # the namespace, its veth and the switch port go with it
    else:
        for name, h in st["hosts"].items():
            print(f"{name} {h['ip']} {h['mac']} {h['netbios'] or '-'}")


def add_commands(sub):
    s = sub.add_parser("lan", help="LAN hosts: add NAME IP [--netbios NAME] | del NAME | list")
    s.add_argument("action", choices=["add", "del", "list"])
    s.add_argument("name", nargs="?")
    s.add_argument("ip", nargs="?")
    s.add_argument("--netbios", metavar="NAME")
    s.set_defaults(handler=cmd_lan)


def init(box):
    with netstate.update(box) as st:
        for name, ip, netbios in DEFAULT_LAN:
            add_host(box, st, name, ip, netbios)
