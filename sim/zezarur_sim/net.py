"""The sandbox's network: the router's wan0, lan0 and dmz0, joined by veth
pairs to role namespaces (ISP, LAN switch, DMZ host, service host), and the
overview of it all.  The roles' own commands are in isp, lan, services and
capture, which extend what this module builds.

Each role namespace is held by a `sleep` that the sandbox's init (or a later
command) starts with `unshare --net` inside the sandbox's PID namespace, so
namespaces, veths and servers all end with the sandbox, also when its init
dies."""

import os
import shutil

from . import core, netns, netstate
from .plan import (DMZ_HOST, IFMAP, ISP_ADDRESS, ISP_MAC, ISP_SERVICE_SIDE, LAN_SWITCH_MAC, ROUTER, SERVICE_HOST,
                   address, host_mac, network)


def build(box):
    os.makedirs(netstate.net_dir(box, "log"), exist_ok=True)
    os.makedirs(netstate.net_dir(box, "etc"), exist_ok=True)
    me = os.getpid()
    roles = {"router": me, **{r: netns.holder() for r in netstate.ROLES[1:]}}
    links = {"wan0": ("isp", "eth0", ISP_MAC), "lan0": ("lan", "router", LAN_SWITCH_MAC),
             "dmz0": ("dmz", "eth0", host_mac(DMZ_HOST.split("/")[0]))}
    script = []
    for name, (mac, cidr) in ROUTER.items():
        role, peer, peer_mac = links[name]
        script += [f"ip link add {name} address {mac} type veth peer name {peer} "
                   f"address {peer_mac} netns {roles[role]}",
                   f"ip addr add {cidr} dev {name}", f"ip link set {name} up"]
    script.append(f"ip route add default via {ISP_ADDRESS.split('/')[0]}")
    netns.configure(me, "\n".join(script))
    side = ISP_SERVICE_SIDE
    # The router's LAN and DMZ are routed subnets behind wan0 (no address
    # translation), so a server sees a client bound to the LAN address as such.
    netns.configure(roles["isp"], f"ip addr add {ISP_ADDRESS} dev eth0\nip link set eth0 up\n"
          f"ip route add {network('lan0')} via {address('wan0')}\n"
          f"ip route add {network('dmz0')} via {address('wan0')}\n"
          f"ip link add svc0 type veth peer name eth0 netns {roles['services']}\n"
          f"ip addr add {side} dev svc0\nip link set svc0 up\n"
          "sysctl -q -w net.ipv4.ip_forward=1")
    netns.configure(roles["services"], f"ip addr add {SERVICE_HOST}/24 dev eth0\n"
          f"ip link set eth0 up\nip route add default via {side.split('/')[0]}")
    netns.configure(roles["lan"], "ip link add br0 type bridge forward_delay 0\nip link set br0 up\n"
          "ip link set router master br0 up")
    netns.configure(roles["dmz"], f"ip addr add {DMZ_HOST} dev eth0\nip link set eth0 up\n"
          f"ip route add default via {address('dmz0')}")
    netstate.save(box, {"roles": roles, "hosts": {}, "isp": {"profile": "none", "servers": {}},
                        "services": {}, "captures": {}})


@netstate.command
def cmd_net(box, st, args):
    for name, pid in netstate.role_pids(st).items():
        print(f"{name} (pid {pid}):")
        for line in netns.in_ns(pid, "ip -br -4 addr").splitlines():
            print("  " + " ".join(line.split()))
        if name == "lan":
            ports = [line.split()[0].split("@")[0] for line in
                     netns.in_ns(pid, "ip -br link show master br0").splitlines()]
            print(f"  br0 (switch) ports: {' '.join(ports)}")
    print(f"isp profile: {st['isp']['profile']}")
    servers = [("isp", n, p) for n, p in st["isp"]["servers"].items()]
    servers += [(n, f"NetBIOS {h['netbios']}", h["responder"]) for n, h in st["hosts"].items() if h["responder"]]
    servers += [("services", f"{n}:{s['port']} {' '.join(s['argv'])}", s["pid"])
                for n, s in st["services"].items()]
    servers += [("capture", key, pid) for key, pid in st["captures"].items()]
    print("servers:" if servers else "servers: none")
    for where, what, pid in servers:
        print(f"  {where}: {what} (pid {pid})")


def add_commands(sub):
    s = sub.add_parser("net", help="the network: namespaces, interfaces, addresses, servers")
    s.set_defaults(handler=cmd_net)
    s = sub.add_parser("_net")  # internal: a parser given no help is not listed
    s.add_argument("name", choices=list(netstate.INSIDE))
    s.add_argument("payload")
    s.set_defaults(handler=netstate.run_inside)


def prepare(box):
    if os.path.exists(netstate.net_dir(box)):
        shutil.rmtree(netstate.net_dir(box))
    os.makedirs(netstate.net_dir(box))
    core.write_file(box.path("ifmap"), "".join(f"{n} {name}\n" for n, name in IFMAP.items()))


def init(box):
    build(box)
