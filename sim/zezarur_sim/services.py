"""The service host behind the ISP (plan.SERVICE_HOST): servers the applets
reach by name (`service`), and the names themselves (`hosts`): the sandbox's
own /etc/hosts, which later services never override."""

import argparse
import ipaddress
import os
import re
import subprocess
import sys

from . import core, netns, netstate
from .plan import ISP_SERVICE_SIDE, SERVICE_HOST, SERVICE_NAMES, address


def write_hosts(box, st):
    """The sandbox's /etc/hosts; rewritten in place, since it is bind-mounted.
    Names set or deleted with `hosts` win over the service host's names."""
    names = {n: SERVICE_HOST for n in SERVICE_NAMES}
    names.update({n: v.get("address") or SERVICE_HOST for n, v in st["services"].items()})
    names.update(st.get("names", {}))
    lines = ["127.0.0.1 localhost", f"{address('lan0')} router"]
    lines += [f"{address} {name}" for name, address in names.items() if address]
    core.write_file(netstate.net_dir(box, "etc", "hosts"), "\n".join(lines) + "\n")


def private_etc(box):
    """Name resolution through the sandbox's hosts file only; the bind mounts
    live in the sandbox's mount namespace."""
    etc = netstate.net_dir(box, "etc")
    core.write_file(f"{etc}/nsswitch.conf",
                    "passwd: files\ngroup: files\nshadow: files\nhosts: files\n"
                    "networks: files\nprotocols: files\nservices: files\nethers: files\n")
    core.write_file(f"{etc}/resolv.conf", "nameserver 127.0.0.1\n")
    for name in ("hosts", "nsswitch.conf", "resolv.conf"):
        if os.path.exists(f"/etc/{name}"):
            core.run("mount", "--bind", f"{etc}/{name}", f"/etc/{name}")
    # A C library that ignores nsswitch.conf (musl) asks the name server
    # for a name the hosts file lacks: this one says there is no such name,
    # as the files-only lookup does.
    subprocess.Popen(["dnsmasq", "--keep-in-foreground", "--conf-file=/dev/null", "--no-hosts",
                      "--no-resolv", "--user=root", "--pid-file=", "--bind-interfaces",
                      "--listen-address=127.0.0.1", "--local=/#/"],
                     stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)


def service_address(st, text):
    """A free address of the service host's network for a service of its own."""
    network = ipaddress.IPv4Interface(f"{SERVICE_HOST}/24").network
    address = netstate.address(text)
    taken = {SERVICE_HOST, ISP_SERVICE_SIDE.split("/")[0]} | {
        v.get("address") for v in st["services"].values()}
    if address not in network or str(address) in taken or address in (
            network.network_address, network.broadcast_address):
        raise core.SimError(f"{text} is not a free host address of {network}")
    return str(address)


def end_service(st, service):
    netns.end(service["pid"])
    if service.get("address"):
        netns.in_ns(st["roles"]["services"], f"ip addr del {service['address']}/24 dev eth0")


@netstate.command
def cmd_service(box, st, args):
    netstate.usage(args, {"add": "NAME PORT CMD...", "del": "NAME", "list": ""}, "service")
    services = st["services"]
    if args.action == "add":
        if not re.fullmatch(r"[A-Za-z0-9][A-Za-z0-9.-]*", args.name) or args.name in services:
            raise core.SimError(f"bad or existing service name '{args.name}'")
        host = st["roles"]["services"]
        address = args.address and service_address(st, args.address)
        if address:  # a second address of the service host, for this service only
            netns.in_ns(host, f"ip addr add {address}/24 dev eth0")
        log = netstate.log(box, f"service-{args.name}")
        pid = netns.spawn(host, args.argv, log)
        services[args.name] = {"port": args.port, "argv": args.argv, "pid": pid, "address": address}
        write_hosts(box, st)
        serving = lambda: netns.tcp_listening(host, args.port) or netns.udp_bound(host, args.port)
        try:
            netns.wait_for(lambda: serving() or not core.alive(pid), f"{args.name} on port {args.port}")
            if not serving():  # CMD is to stay in the foreground
                raise core.SimError(f"{args.name} ended; see {log}")
        except core.SimError:
            end_service(st, services.pop(args.name))
            write_hosts(box, st)
            raise
    elif args.action == "del":
        service = services.pop(args.name, None)
        if service is None:
            raise core.SimError(f"no service named '{args.name}'")
        end_service(st, service)
        write_hosts(box, st)
    else:
        for name, s in services.items():
            print(f"{name} {s.get('address') or SERVICE_HOST}:{s['port']} pid {s['pid']}: "
                  f"{' '.join(s['argv'])}")


@netstate.command
def cmd_hosts(box, st, args):
    netstate.usage(args, {"set": "NAME IP", "del": "NAME", "list": ""}, "hosts")
    names = st.setdefault("names", {})
    if args.action == "set":
        netstate.address(args.ip)
        names[args.name] = args.ip
    elif args.action == "del":
        names[args.name] = None
    if args.action != "list":
        write_hosts(box, st)
    else:
        sys.stdout.write(core.read_file(netstate.net_dir(box, "etc", "hosts")))


def add_commands(sub):
    s = sub.add_parser("service", help="servers on the service host: [--address IP] add NAME PORT "
                                       "CMD... | del NAME | list")
    s.add_argument("--address", metavar="IP",
                   help="a second address of the service host for this service "
                        f"({ipaddress.IPv4Interface(ISP_SERVICE_SIDE).network})")
    s.add_argument("action", choices=["add", "del", "list"])
    s.add_argument("name", nargs="?")
    s.add_argument("port", nargs="?", type=int)
    s.add_argument("argv", nargs=argparse.REMAINDER)
    s.set_defaults(handler=cmd_service)
    s = sub.add_parser("hosts", help="the sandbox's host names: set NAME IP | del NAME | list")
    s.add_argument("action", choices=["set", "del", "list"])
    s.add_argument("name", nargs="?")
    s.add_argument("ip", nargs="?")
    s.set_defaults(handler=cmd_hosts)


def init(box):
    with netstate.update(box) as st:
        write_hosts(box, st)
    private_etc(box)
