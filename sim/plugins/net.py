"""The sandbox's network: the router's wan0, lan0 and dmz0, joined by veth
pairs to role namespaces (ISP, LAN switch and hosts, DMZ host, service host).

Each role namespace is held by a `sleep` that the sandbox's init (or a later
command) starts with `unshare --net` inside the sandbox's PID namespace, so
namespaces, veths and servers all end with the sandbox, also when its init
dies.  Commands run inside the sandbox: the outside half of each command only
forwards its arguments to `zezarur-sim _net` entered with nsenter.  The state
of what runs is $STATE/run/net/state.json, rebuilt at every start."""

import argparse
import fcntl
import ipaddress
import json
import os
import re
import shutil
import signal
import subprocess
import sys
import time

# Interface numbers of the firmware (ifDevGet) and the interfaces they name.
IFMAP = {2: "lan0", 3: "dmz0", 4: "wan0"}
ROUTER = {"lan0": ("02:00:00:00:02:01", "192.168.1.1/24"),
          "dmz0": ("02:00:00:00:03:01", "192.168.2.1/24"),
          "wan0": ("02:00:00:00:04:01", "203.0.113.2/24")}
ISP_MAC, ISP_ADDRESS, ISP_SERVICE_SIDE = "02:00:00:00:04:fe", "203.0.113.1/24", "198.51.100.1/24"
DHCP_RANGE = "203.0.113.100,203.0.113.199,255.255.255.0,10m"
PPTP_MODEM = "10.0.0.138/24"
DMZ_HOST = "192.168.2.10/24"
SERVICE_HOST = "198.51.100.10"
# Names the applets' servers go by; `service add NAME` adds NAME as well.
SERVICE_NAMES = ["services.example", "members.dyndns.org", "members.3322.org",
                 "tzo-lookup.example", "mail.example"]
DEFAULT_LAN = [("desktop", "192.168.1.100", "DESKTOP"), ("printer", "192.168.1.101", None)]
WORKGROUP = "WORKGROUP"
ACCESS_CONCENTRATOR = "zezarur-isp"
DHCP_DOMAIN, BIGPOND_DOMAIN = "isp.example", "bigpond.example"
ROLES = ("router", "isp", "services", "lan", "dmz")
# The protocol peers the sandbox starts (sim/servers/).
SERVERS = os.path.join(os.path.dirname(os.path.dirname(os.path.abspath(__file__))), "servers")
NBNS = os.path.join(SERVERS, "nbns_responder.py")
WAIT = 5.0


# ---- namespaces and processes (inside the sandbox) ------------------------

def in_ns(pid, script):
    """Runs a shell script in the network namespace held by pid."""
    r = subprocess.run(["nsenter", "-t", str(pid), "-n", "--", "sh", "-ec", script],
                       capture_output=True, text=True)
    if r.returncode:
        raise core.SimError(f"network set-up failed: {r.stderr.strip() or script}")
    return r.stdout


def wait_for(test, what):
    deadline = time.monotonic() + WAIT
    while not test():
        if time.monotonic() > deadline:
            raise core.SimError(f"timed out waiting for {what}")
        time.sleep(0.005)


def spawn(pid, argv, log):
    """Starts argv in pid's network namespace, detached, output to log; it
    leads its own process group so that stopping it ends its children too."""
    with open(log, "ab") as out:
        p = subprocess.Popen(["nsenter", "-t", str(pid), "-n", "--"] + argv, stdin=subprocess.DEVNULL,
                             stdout=out, stderr=out, start_new_session=True)
    return p.pid


def holder():
    """A process holding a fresh network namespace."""
    pid = spawn(os.getpid(), ["unshare", "--net", "--", "sleep", "infinity"], os.devnull)
    mine = os.readlink("/proc/self/ns/net")
    wait_for(lambda: os.readlink(f"/proc/{pid}/ns/net") != mine, "a namespace")
    return pid


def configure(pid, script):
    """The first set-up of a namespace whose interfaces exist: IPv6 off on
    all of them, so that no router solicitation or multicast report clutters
    a capture, then lo and the script."""
    in_ns(pid, "sysctl -q -w net.ipv6.conf.all.disable_ipv6=1 net.ipv6.conf.default.disable_ipv6=1\n"
               "ip link set lo up\n" + script)


def end(pid):
    """Ends the process group that pid leads: politely, then for sure."""
    for sig in (signal.SIGTERM, signal.SIGKILL):
        if not pid or not core.alive(pid):
            return
        try:
            os.killpg(pid, sig)
        except ProcessLookupError:
            return
        deadline = time.monotonic() + WAIT
        while core.alive(pid) and time.monotonic() < deadline:
            time.sleep(0.005)


def sockets(pid, table):
    """(local port, state) of the sockets in pid's namespace (/proc/PID/net/TABLE)."""
    rows = core.read_file(f"/proc/{pid}/net/{table}").splitlines()[1:]
    return [(int(r.split()[1].split(":")[1], 16), r.split()[3]) for r in rows]


def tcp_listening(pid, port):
    return any(p == port and st == "0A" for t in ("tcp", "tcp6") for p, st in sockets(pid, t))


def udp_bound(pid, port):
    return any(p == port for p, _ in sockets(pid, "udp"))


def packet_socket(pid, ethertype):
    return any(r.split()[3] == f"{ethertype:X}"
               for r in core.read_file(f"/proc/{pid}/net/packet").splitlines()[1:])


# ---- state ----------------------------------------------------------------

def net_dir(box, *parts):
    return box.path("run", "net", *parts)


def load(box):
    return json.loads(core.read_file(net_dir(box, "state.json"), "{}"))


def save(box, st):
    core.write_file(net_dir(box, "state.json.new"), json.dumps(st, indent=1) + "\n")
    os.replace(net_dir(box, "state.json.new"), net_dir(box, "state.json"))


def log(box, name):
    return net_dir(box, "log", name + ".log")


def write_hosts(box, st):
    """The sandbox's /etc/hosts; rewritten in place, since it is bind-mounted.
    Names set or deleted with `hosts` win over the service host's names."""
    names = {n: SERVICE_HOST for n in SERVICE_NAMES}
    names.update({n: v.get("address") or SERVICE_HOST for n, v in st["services"].items()})
    names.update(st.get("names", {}))
    lines = ["127.0.0.1 localhost", f"{ROUTER['lan0'][1].split('/')[0]} router"]
    lines += [f"{address} {name}" for name, address in names.items() if address]
    core.write_file(net_dir(box, "etc", "hosts"), "\n".join(lines) + "\n")


def private_etc(box):
    """Name resolution through the sandbox's hosts file only; the bind mounts
    live in the sandbox's mount namespace."""
    etc = net_dir(box, "etc")
    core.write_file(os.path.join(etc, "nsswitch.conf"),
                    "passwd: files\ngroup: files\nshadow: files\nhosts: files\n"
                    "networks: files\nprotocols: files\nservices: files\nethers: files\n")
    core.write_file(os.path.join(etc, "resolv.conf"), "nameserver 127.0.0.1\n")
    for name in ("hosts", "nsswitch.conf", "resolv.conf"):
        if os.path.exists(f"/etc/{name}"):
            core.run("mount", "--bind", os.path.join(etc, name), f"/etc/{name}")


# ---- topology -------------------------------------------------------------

def build(box):
    os.makedirs(net_dir(box, "log"), exist_ok=True)
    os.makedirs(net_dir(box, "etc"), exist_ok=True)
    me = os.getpid()
    roles = {"router": me, **{r: holder() for r in ROLES[1:]}}
    links = {"wan0": ("isp", "eth0", ISP_MAC), "lan0": ("lan", "router", "02:00:00:00:02:fe"),
             "dmz0": ("dmz", "eth0", host_mac(DMZ_HOST.split("/")[0]))}
    script = []
    for name, (mac, address) in ROUTER.items():
        role, peer, peer_mac = links[name]
        script += [f"ip link add {name} address {mac} type veth peer name {peer} "
                   f"address {peer_mac} netns {roles[role]}",
                   f"ip addr add {address} dev {name}", f"ip link set {name} up"]
    script.append(f"ip route add default via {ISP_ADDRESS.split('/')[0]}")
    configure(me, "\n".join(script))
    wan = ROUTER["wan0"][1].split("/")[0]
    # The router's LAN and DMZ are routed subnets behind wan0 (no address
    # translation), so a server sees a client bound to 192.168.1.1 as such.
    configure(roles["isp"], f"ip addr add {ISP_ADDRESS} dev eth0\nip link set eth0 up\n"
          f"ip route add {ipaddress.IPv4Interface(ROUTER['lan0'][1]).network} via {wan}\n"
          f"ip route add {ipaddress.IPv4Interface(ROUTER['dmz0'][1]).network} via {wan}\n"
          f"ip link add svc0 type veth peer name eth0 netns {roles['services']}\n"
          f"ip addr add {ISP_SERVICE_SIDE} dev svc0\nip link set svc0 up\n"
          "sysctl -q -w net.ipv4.ip_forward=1")
    configure(roles["services"], f"ip addr add {SERVICE_HOST}/24 dev eth0\nip link set eth0 up\n"
          f"ip route add default via {ISP_SERVICE_SIDE.split('/')[0]}")
    configure(roles["lan"], "ip link add br0 type bridge forward_delay 0\nip link set br0 up\n"
          "ip link set router master br0 up")
    configure(roles["dmz"], f"ip addr add {DMZ_HOST} dev eth0\nip link set eth0 up\n"
          f"ip route add default via {ROUTER['dmz0'][1].split('/')[0]}")
    st = {"roles": roles, "hosts": {}, "isp": {"profile": "none", "servers": {}},
          "services": {}, "captures": {}}
    write_hosts(box, st)
    private_etc(box)
    for name, ip, netbios in DEFAULT_LAN:
        add_host(box, st, name, ip, netbios)
    save(box, st)


def host_mac(ip):
    return "02:00:" + ":".join(f"{b:02x}" for b in ipaddress.IPv4Address(ip).packed)


def add_host(box, st, name, ip, netbios):
    if not re.fullmatch(r"[a-z0-9][a-z0-9-]{0,11}", name) or name in ROLES or name == "br0":
        raise core.SimError(f"bad LAN host name '{name}' (a-z, 0-9, '-', at most 12, "
                            f"not one of {', '.join(ROLES)})")
    lan = ipaddress.IPv4Interface(ROUTER["lan0"][1])
    try:
        address = ipaddress.IPv4Address(ip)
    except ValueError:
        raise core.SimError(f"bad address '{ip}'") from None
    taken = {h["ip"] for h in st["hosts"].values()} | {str(lan.ip)}
    if address not in lan.network or address in (lan.network.network_address,
                                                 lan.network.broadcast_address):
        raise core.SimError(f"{ip} is not a host address of the LAN {lan.network}")
    if name in st["hosts"] or ip in taken:
        raise core.SimError(f"LAN host {name} or address {ip} already present")
    if netbios is not None and not re.fullmatch(r"[A-Za-z0-9_-]{1,15}", netbios):
        raise core.SimError(f"bad NetBIOS name '{netbios}' (at most 15 letters, digits, '-', '_')")
    pid = holder()
    mac = host_mac(ip)
    in_ns(st["roles"]["lan"], f"ip link add {name} type veth peer name eth0 address {mac} netns {pid}\n"
          f"ip link set {name} master br0 up")
    configure(pid, f"ip addr add {ip}/{lan.network.prefixlen} dev eth0\nip link set eth0 up\n"
          f"ip route add default via {lan.ip}")
    host = {"ip": ip, "mac": mac, "netbios": netbios, "pid": pid, "responder": None}
    if netbios:
        host["responder"] = spawn(pid, [sys.executable, NBNS, netbios, WORKGROUP, mac, ip],
                                  log(box, f"nbns-{name}"))
        wait_for(lambda: udp_bound(pid, 137), f"the NetBIOS responder of {name}")
    st["hosts"][name] = host


# ---- ISP profiles ---------------------------------------------------------

def parse_profile(text):
    """PROFILE[,PROFILE...] -> what the ISP side runs."""
    want = {"pppoe": False, "dhcp": None, "domain": None, "spoof": None, "pptp": False}
    words = text.split(",")
    for word in words:
        key, eq, value = word.partition("=")
        if key in ("dhcp", "bigpond"):
            if eq and not value:
                raise core.SimError(f"'{word}': empty domain name")
            if key == "bigpond" or want["dhcp"] is None:  # bigpond names the domain
                want["dhcp"] = key
                want["domain"] = value or (BIGPOND_DOMAIN if key == "bigpond" else DHCP_DOMAIN)
            continue
        if eq:
            raise core.SimError(f"'{key}' takes no value")
        if key in ("pppoe", "pptp"):
            want[key] = True
        elif key in ("own-only", "spoof"):
            if want["spoof"] is not None and want["spoof"] != (key == "spoof"):
                raise core.SimError("own-only and spoof exclude each other")
            want["spoof"] = key == "spoof"
        elif key == "none":
            if len(words) > 1:
                raise core.SimError("'none' stands alone")
        else:
            raise core.SimError(f"unknown ISP profile '{key}' (pppoe, dhcp[=DOMAIN], "
                                "bigpond[=DOMAIN], own-only, spoof, pptp, none)")
    if want["spoof"] is not None and want["dhcp"] is None:
        want["dhcp"], want["domain"] = "dhcp", DHCP_DOMAIN
    want["spoof"] = bool(want["spoof"])
    return want


def profile_text(want):
    words = ["pppoe"] if want["pppoe"] else []
    if want["domain"]:
        words += [f"{want['dhcp']}={want['domain']}", "spoof" if want["spoof"] else "own-only"]
    return ",".join(words + (["pptp"] if want["pptp"] else [])) or "none"


def router_mac(iface):
    out = in_ns(os.getpid(), f"ip -o link show {iface}")
    return out.split("link/ether ")[1].split()[0]


def apply_profile(box, st, want):
    isp, servers = st["roles"]["isp"], st["isp"]["servers"]
    for name in list(servers):
        end(servers.pop(name))
    # Forget the old profile's neighbours, or the ISP's kernel keeps asking
    # for lease addresses in later captures.
    in_ns(isp, f"ip addr del {PPTP_MODEM} dev eth0 2>/dev/null || true\nip neigh flush dev eth0")
    if want["pppoe"]:
        servers["pppoe-server"] = spawn(isp, ["pppoe-server", "-F", "-I", "eth0", "-C", ACCESS_CONCENTRATOR,
                                              "-L", "10.64.0.1", "-R", "10.64.0.2"], log(box, "pppoe-server"))
        wait_for(lambda: packet_socket(isp, 0x8863), "pppoe-server")
    if want["domain"]:
        cmd = ["dnsmasq", "--keep-in-foreground", "--conf-file=/dev/null", "--port=0", "--user=root",
               "--pid-file", "--leasefile-ro", "--no-ping", "--dhcp-authoritative", "--interface=eth0",
               f"--dhcp-range={DHCP_RANGE}", f"--dhcp-option=option:domain-name,{want['domain']}",
               "--log-dhcp", f"--log-facility={log(box, 'dnsmasq')}"]
        if not want["spoof"]:
            cmd += [f"--dhcp-host={router_mac('wan0')}", "--dhcp-ignore=tag:!known"]
        servers["dnsmasq"] = spawn(isp, cmd, log(box, "dnsmasq"))
        wait_for(lambda: udp_bound(isp, 67), "dnsmasq")
    if want["pptp"]:
        in_ns(isp, f"ip addr add {PPTP_MODEM} dev eth0")
    st["isp"]["profile"] = profile_text(want)


# ---- commands (the inside half) --------------------------------------------

def locked(fn):
    """One network command at a time."""
    def run(box, args):
        with open(net_dir(box, "lock"), "w") as lock:
            fcntl.flock(lock, fcntl.LOCK_EX)
            st = load(box)
            result = fn(box, st, args)
            save(box, st)
            return result or 0
    run.__name__ = fn.__name__
    return run


def usage(args, forms, command):
    """Refuses an action given fewer words than its form names."""
    form = forms[args.action]
    given = [v for k, v in vars(args).items() if k in ("name", "ip", "port", "argv") and v]
    if len(given) < len(re.sub(r"\[.*?\]", "", form).split()):
        raise core.SimError(f"usage: {command} {args.action} {form}".rstrip())


@locked
def cmd_isp(box, st, args):
    if args.profile != "show":
        apply_profile(box, st, parse_profile(args.profile))
    print(st["isp"]["profile"])
    for name, pid in st["isp"]["servers"].items():
        print(f"  {name} (pid {pid})")


@locked
def cmd_lan(box, st, args):
    usage(args, {"add": "NAME IP [--netbios NAME]", "del": "NAME", "list": ""}, "lan")
    if args.action == "add":
        add_host(box, st, args.name, args.ip, args.netbios)
    elif args.action == "del":
        host = st["hosts"].pop(args.name, None)
        if host is None:
            raise core.SimError(f"no LAN host named '{args.name}'")
        end(host["responder"])
        end(host["pid"])  # the namespace, its veth and the switch port go with it
    else:
        for name, h in st["hosts"].items():
            print(f"{name} {h['ip']} {h['mac']} {h['netbios'] or '-'}")


@locked
def cmd_service(box, st, args):
    usage(args, {"add": "NAME PORT CMD...", "del": "NAME", "list": ""}, "service")
    services = st["services"]
    if args.action == "add":
        if not re.fullmatch(r"[A-Za-z0-9][A-Za-z0-9.-]*", args.name) or args.name in services:
            raise core.SimError(f"bad or existing service name '{args.name}'")
        host = st["roles"]["services"]
        address = args.address and service_address(st, args.address)
        if address:  # a second address of the service host, for this service only
            in_ns(host, f"ip addr add {address}/24 dev eth0")
        pid = spawn(host, args.argv, log(box, f"service-{args.name}"))
        services[args.name] = {"port": args.port, "argv": args.argv, "pid": pid, "address": address}
        write_hosts(box, st)
        serving = lambda: tcp_listening(host, args.port) or udp_bound(host, args.port)
        try:
            wait_for(lambda: serving() or not core.alive(pid), f"{args.name} on port {args.port}")
            if not serving():  # CMD is to stay in the foreground
                raise core.SimError(f"{args.name} ended; see {log(box, 'service-' + args.name)}")
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


def service_address(st, text):
    """A free address of the service host's network for a service of its own."""
    network = ipaddress.IPv4Interface(f"{SERVICE_HOST}/24").network
    try:
        address = ipaddress.IPv4Address(text)
    except ValueError:
        raise core.SimError(f"bad address '{text}'") from None
    taken = {SERVICE_HOST, ISP_SERVICE_SIDE.split("/")[0]} | {
        v.get("address") for v in st["services"].values()}
    if address not in network or str(address) in taken or address in (
            network.network_address, network.broadcast_address):
        raise core.SimError(f"{text} is not a free host address of {network}")
    return str(address)


def end_service(st, service):
    end(service["pid"])
    if service.get("address"):
        in_ns(st["roles"]["services"], f"ip addr del {service['address']}/24 dev eth0")


@locked
def cmd_hosts(box, st, args):
    usage(args, {"set": "NAME IP", "del": "NAME", "list": ""}, "hosts")
    names = st.setdefault("names", {})
    if args.action == "set":
        try:
            ipaddress.IPv4Address(args.ip)
        except ValueError:
            raise core.SimError(f"bad address '{args.ip}'") from None
        names[args.name] = args.ip
    elif args.action == "del":
        names[args.name] = None
    if args.action != "list":
        write_hosts(box, st)
    else:
        sys.stdout.write(core.read_file(net_dir(box, "etc", "hosts")))


def role_pids(st):
    return dict(st["roles"], **{n: h["pid"] for n, h in st["hosts"].items()})


def namespace_pid(box, role):
    """The pid holding a role's network namespace (isp, services, lan, dmz,
    router or a LAN host's name), for `exec --in ROLE`."""
    box.require_running()
    pids = role_pids(load(box))
    if role not in pids:
        raise core.SimError(f"no namespace '{role}' (have: {', '.join(pids)})")
    return pids[role]


def namespace_of(st, where):
    """ROLE:IFACE, HOST:IFACE or a router interface -> (pid, iface)."""
    role, _, iface = where.rpartition(":")
    pids = role_pids(st)
    if (role or "router") not in pids:
        raise core.SimError(f"no namespace '{role}' (have: {', '.join(pids)})")
    return pids[role or "router"], iface


@locked
def cmd_capture(box, st, args):
    key = f"{args.iface} {args.file}"
    if args.action == "stop":
        pid = st["captures"].pop(key, None)
        if pid is None:
            raise core.SimError(f"no capture of {args.iface} into {args.file}")
        end(pid)
        return
    if key in st["captures"]:
        raise core.SimError(f"already capturing {args.iface} into {args.file}")
    ns, iface = namespace_of(st, args.iface)
    out = log(box, "capture-" + re.sub(r"[^A-Za-z0-9.-]", "_", key))
    core.write_file(out, "")
    pid = spawn(ns, ["tcpdump", "-i", iface, "-w", args.file, "-U", "--immediate-mode",
                      "-Z", "root", "-s", "0"], out)
    wait_for(lambda: "listening on" in core.read_file(out) or not core.alive(pid), "tcpdump")
    if not core.alive(pid):
        raise core.SimError("tcpdump: " + core.read_file(out).strip())
    st["captures"][key] = pid


@locked
def cmd_net(box, st, args):
    pids = role_pids(st)
    for name, pid in pids.items():
        print(f"{name} (pid {pid}):")
        for line in in_ns(pid, "ip -br -4 addr").splitlines():
            print("  " + " ".join(line.split()))
        if name == "lan":
            ports = [line.split()[0].split("@")[0] for line in
                     in_ns(pid, "ip -br link show master br0").splitlines()]
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


# ---- hooks ----------------------------------------------------------------

INSIDE = {f.__name__: f for f in (cmd_isp, cmd_lan, cmd_service, cmd_hosts, cmd_capture, cmd_net)}


def forward(name):
    """The outside half: runs the command in the sandbox as `_net NAME ARGS`."""
    def handler(box, args):
        box.require_running()
        payload = {k: v for k, v in vars(args).items() if k != "handler"}
        if "file" in payload:
            payload["file"] = os.path.abspath(payload["file"])
        return box.exec([sys.executable, core.LAUNCHER, "--state", box.state, "_net", name,
                         json.dumps(payload)])
    return handler


def run_inside(box, args):
    return INSIDE[args.name](box, argparse.Namespace(**json.loads(args.payload)))


def add_commands(sub):
    s = sub.add_parser("isp", help="ISP side: PROFILE[,PROFILE...] of pppoe, dhcp[=DOMAIN], "
                                   "bigpond[=DOMAIN], own-only, spoof, pptp, none; or show")
    s.add_argument("profile", metavar="PROFILE[,PROFILE...]|show")
    s.set_defaults(handler=forward("cmd_isp"))
    s = sub.add_parser("lan", help="LAN hosts: add NAME IP [--netbios NAME] | del NAME | list")
    s.add_argument("action", choices=["add", "del", "list"])
    s.add_argument("name", nargs="?")
    s.add_argument("ip", nargs="?")
    s.add_argument("--netbios", metavar="NAME")
    s.set_defaults(handler=forward("cmd_lan"))
    s = sub.add_parser("service", help="servers on the service host: [--address IP] add NAME PORT "
                                       "CMD... | del NAME | list")
    s.add_argument("--address", metavar="IP",
                   help="a second address of the service host for this service (198.51.100.0/24)")
    s.add_argument("action", choices=["add", "del", "list"])
    s.add_argument("name", nargs="?")
    s.add_argument("port", nargs="?", type=int)
    s.add_argument("argv", nargs=argparse.REMAINDER)
    s.set_defaults(handler=forward("cmd_service"))
    s = sub.add_parser("hosts", help="the sandbox's host names: set NAME IP | del NAME | list")
    s.add_argument("action", choices=["set", "del", "list"])
    s.add_argument("name", nargs="?")
    s.add_argument("ip", nargs="?")
    s.set_defaults(handler=forward("cmd_hosts"))
    s = sub.add_parser("capture", help="tcpdump on [NAMESPACE:]IFACE into FILE")
    s.add_argument("action", choices=["start", "stop"])
    s.add_argument("iface")
    s.add_argument("file")
    s.set_defaults(handler=forward("cmd_capture"))
    s = sub.add_parser("net", help="the network: namespaces, interfaces, addresses, servers")
    s.set_defaults(handler=forward("cmd_net"))
    s = sub.add_parser("_net", help=argparse.SUPPRESS)
    s.add_argument("name", choices=list(INSIDE))
    s.add_argument("payload")
    s.set_defaults(handler=run_inside)


def prepare(box):
    if os.path.exists(net_dir(box)):
        shutil.rmtree(net_dir(box))
    os.makedirs(net_dir(box))
    core.write_file(box.path("ifmap"), "".join(f"{n} {name}\n" for n, name in IFMAP.items()))


def init(box):
    build(box)
