"""The sandbox's network, proven with real clients from inside the router:
pppoe-discovery, busybox udhcpc, arping, nbtscan, curl and nc."""

import os
import subprocess
import time

import pytest

from conftest import Sim

FOREIGN_MAC = "00:ff:d9:74:47:00"
OFFER_SCRIPT = '#!/bin/sh\n[ "$1" = bound ] && echo "$domain"\nexit 0\n'
# All four probes at once, each as a user would run it; results in /var/tmp.
PROBES = f"""cd /var/tmp
ip link add fake0 link wan0 address {FOREIGN_MAC} type macvlan
ip link set fake0 up
pppoe-discovery -I wan0 -t 1 -a 1 > probe.pppoe 2>&1 &
busybox udhcpc -i wan0 -f -q -n -t 2 -T 1 -s /var/tmp/offer.sh > probe.own 2>/dev/null &
busybox udhcpc -i fake0 -f -q -n -t 2 -T 1 -s /var/tmp/offer.sh > probe.foreign 2>/dev/null &
arping -I wan0 -c 1 -w 1 10.0.0.138 > probe.pptp 2>&1; echo $? > probe.pptp.rc
wait
ip link del fake0
"""


def host_links():
    out = subprocess.run(["ip", "-o", "link"], capture_output=True, text=True, check=True).stdout
    return {line.split(":")[1].strip() for line in out.splitlines()}


def host_netns():
    return subprocess.run(["ip", "netns", "list"], capture_output=True, text=True).stdout


@pytest.fixture(scope="module")
def net(tmp_path_factory):
    before = (host_links(), host_netns())
    s = Sim(tmp_path_factory.mktemp("net") / "state")
    s.start()
    s.file("var/tmp/offer.sh").write_text(OFFER_SCRIPT)
    s.file("var/tmp/offer.sh").chmod(0o755)
    s.host_before = before
    yield s
    s.stop()


def probe(sim):
    assert sim.sh(PROBES).returncode == 0
    read = lambda name: sim.file(f"var/tmp/probe.{name}").read_text()
    return {"pppoe": "Access-Concentrator: zezarur-isp" in read("pppoe"),
            "own": read("own").strip() or None,
            "foreign": read("foreign").strip() or None,
            "pptp": read("pptp.rc").strip() == "0" and "reply from 10.0.0.138" in read("pptp")}


def test_router_has_wan_lan_dmz_and_their_numbers(net):
    r = net.exec("ip", "-br", "-4", "addr")
    addrs = {line.split()[0].split("@")[0]: line.split()[2] for line in r.stdout.splitlines()}
    assert addrs == {"lo": "127.0.0.1/8", "lan0": "192.168.1.1/24",
                     "wan0": "203.0.113.2/24", "dmz0": "192.168.2.1/24"}
    assert net.file("ifmap").read_text() == "2 lan0\n3 dmz0\n4 wan0\n"
    assert "default via 203.0.113.1 dev wan0" in net.exec("ip", "route").stdout


# Switched in this order in one sandbox, back and forth.
PROFILES = [
    ("pppoe", True, None, None, False),
    ("none", False, None, None, False),
    ("dhcp", False, "isp.example", None, False),
    ("bigpond", False, "bigpond.example", None, False),
    ("bigpond=BIGPOND.example,spoof", False, "BIGPOND.example", "BIGPOND.example", False),
    ("bigpond=nsw.bigpond.example,own-only", False, "nsw.bigpond.example", None, False),
    ("pptp", False, None, None, True),
    ("pppoe,dhcp,spoof,pptp", True, "isp.example", "isp.example", True),
    ("none", False, None, None, False),
    ("pppoe,pptp", True, None, None, True),
]


@pytest.mark.parametrize("profile,pppoe,own,foreign,pptp", PROFILES)
def test_isp_profiles_answer_real_clients(net, profile, pppoe, own, foreign, pptp):
    assert net.run("isp", profile).returncode == 0
    assert probe(net) == {"pppoe": pppoe, "own": own, "foreign": foreign, "pptp": pptp}


@pytest.mark.parametrize("profile,shown", [
    ("dhcp", "dhcp=isp.example,own-only"),
    ("spoof,pppoe", "pppoe,dhcp=isp.example,spoof"),
    ("dhcp,bigpond=Bigpond.example", "bigpond=Bigpond.example,own-only"),
    ("none", "none")])
def test_isp_show_names_the_profile(net, profile, shown):
    net.run("isp", profile, check=True)
    assert net.run("isp", "show").stdout.splitlines()[0] == shown


@pytest.mark.parametrize("profile,error", [
    ("cable", "unknown ISP profile 'cable'"), ("none,pppoe", "'none' stands alone"),
    ("own-only,spoof", "exclude each other"), ("pptp=1", "takes no value"),
    ("bigpond=", "empty domain name")])
def test_bad_isp_profiles_are_refused(net, profile, error):
    r = net.run("isp", profile)
    assert r.returncode == 1 and error in r.stderr


def test_spoofed_offer_is_unicast_to_the_foreign_mac(net):
    from scapy.all import BOOTP, DHCP, Ether, rdpcap
    net.run("isp", "bigpond=nsw.bigpond.example,spoof", check=True)
    pcap = net.file("var/tmp/wan0.pcap")
    net.run("capture", "start", "wan0", str(pcap), check=True)
    net.sh(f"ip link add fake0 link wan0 address {FOREIGN_MAC} type macvlan; ip link set fake0 up; "
           "busybox udhcpc -i fake0 -f -q -n -t 2 -T 1 -s /bin/true >/dev/null 2>&1; ip link del fake0")
    net.run("capture", "stop", "wan0", str(pcap), check=True)
    offers = [f for f in rdpcap(str(pcap)) if BOOTP in f and f[BOOTP].op == 2 and
              ("message-type", 2) in f[DHCP].options]
    assert offers and all(f[Ether].dst == FOREIGN_MAC for f in offers)
    assert ("domain", b"nsw.bigpond.example") in offers[0][DHCP].options
    assert offers[0][BOOTP].chaddr[:6] == bytes.fromhex(FOREIGN_MAC.replace(":", ""))


def test_nbtscan_lists_the_lan_hosts_netbios_names(net):
    def scan(targets="192.168.1.0/24"):
        out = net.exec("nbtscan", "-q", targets).stdout
        return {line.split()[0]: (line.split()[1], line.split()[-1]) for line in out.splitlines()}
    assert scan() == {"192.168.1.100": ("DESKTOP", "02:00:c0:a8:01:64")}
    # The host without a NetBIOS name still answers ARP.
    assert net.exec("arping", "-I", "lan0", "-c", "1", "-w", "1", "192.168.1.101").returncode == 0
    net.run("lan", "add", "laptop", "192.168.1.50", "--netbios", "Laptop-7", check=True)
    assert scan() == {"192.168.1.100": ("DESKTOP", "02:00:c0:a8:01:64"),
                      "192.168.1.50": ("LAPTOP-7", "02:00:c0:a8:01:32")}
    assert "laptop 192.168.1.50 02:00:c0:a8:01:32 Laptop-7" in net.run("lan", "list").stdout
    net.run("lan", "del", "laptop", check=True)
    assert scan("192.168.1.50") == {}
    assert net.exec("arping", "-I", "lan0", "-c", "1", "-w", "1", "192.168.1.50").returncode != 0


@pytest.mark.parametrize("args,error", [
    (["add", "desktop", "192.168.1.9"], "already present"),
    (["add", "pc", "192.168.1.100"], "already present"),
    (["add", "pc", "10.1.1.1"], "not a host address of the LAN"),
    (["add", "pc", "192.168.1.255"], "not a host address of the LAN"),
    (["add", "Big_Name", "192.168.1.9"], "bad LAN host name"),
    (["add", "isp", "192.168.1.9"], "bad LAN host name"),
    (["add", "pc", "192.168.1.9", "--netbios", "A" * 16], "bad NetBIOS name"),
    (["add", "pc"], "usage: lan add"), (["del", "nosuch"], "no LAN host named")])
def test_bad_lan_commands_are_refused(net, args, error):
    r = net.run("lan", *args)
    assert r.returncode == 1 and error in r.stderr


def test_dhcpchk_leaves_the_host_list(net):
    r = net.sh("printf '192.168.1.100 02:00:c0:a8:01:64\\n192.168.1.101 02:00:c0:a8:01:65\\n'"
               " > /var/arpout; nbtscan -qf /var/arpout > /var/nbtout; dhcpchk && cat /var/dhcout")
    assert r.stdout == "192.168.1.100 02:00:c0:a8:01:64 DESKTOP\n192.168.1.101 02:00:c0:a8:01:65 -\n"
    net.run("standin", "dhcpchk", "--exit", "1", check=True)
    net.exec("rm", "/var/dhcout")
    assert net.exec("dhcpchk").returncode == 1 and not net.file("var/dhcout").exists()
    net.run("standin", "dhcpchk", "--reset", check=True)


def test_service_reached_by_host_name(net, tmp_path):
    (tmp_path / "hello.txt").write_text("hello from the service host\n")
    r = net.run("service", "add", "web.example", "8080", "python3", "-m", "http.server",
                "8080", "--directory", str(tmp_path))
    assert r.returncode == 0, r.stderr
    try:
        assert net.exec("curl", "-sf", "http://web.example:8080/hello.txt").stdout == \
            "hello from the service host\n"
        r = net.sh("printf 'GET /hello.txt HTTP/1.0\\r\\n\\r\\n' | nc -q 5 web.example 8080")
        assert r.stdout.startswith("HTTP/1.0 200") and r.stdout.endswith("service host\n")
        assert "web.example 198.51.100.10:8080" in net.run("service", "list").stdout
    finally:
        net.run("service", "del", "web.example", check=True)
    assert net.exec("curl", "-s", "-m", "3", "http://web.example:8080/").returncode != 0


def test_service_that_does_not_serve_is_refused(net):
    r = net.run("service", "add", "broken.example", "9", "false")
    assert r.returncode == 1 and "broken.example ended" in r.stderr
    assert "broken.example" not in net.run("service", "list").stdout
    assert net.exec("getent", "hosts", "broken.example").returncode == 2


def test_names_resolve_through_the_sandbox_hosts_file_only(net):
    for name in ("members.dyndns.org", "members.3322.org", "tzo-lookup.example", "mail.example"):
        assert net.exec("getent", "hosts", name).stdout.split()[0] == "198.51.100.10"
    assert net.exec("getent", "hosts", "localhost").returncode == 0
    assert net.exec("getent", "hosts", "debian.org").returncode == 2
    assert not open("/etc/hosts").read().count("members.dyndns.org")


def test_net_prints_the_topology(net):
    out = net.run("net").stdout
    for text in ("router (pid 1):", "wan0@", "203.0.113.2/24", "isp (pid", "198.51.100.10/24",
                 "br0 (switch) ports: router", "desktop (pid", "192.168.1.100/24",
                 "desktop: NetBIOS DESKTOP", "isp profile:"):
        assert text in out


def test_nothing_left_the_sandbox(net):
    assert (host_links(), host_netns()) == net.host_before
    links = net.exec("ip", "-o", "link").stdout
    assert {line.split(":")[1].strip().split("@")[0] for line in links.splitlines()} == \
        {"lo", "lan0", "wan0", "dmz0"}


def sandbox_processes(pidns):
    """Host PIDs of the processes in the PID namespace with inode pidns, and
    the network namespaces they hold."""
    found = {}
    for p in filter(str.isdigit, os.listdir("/proc")):
        try:
            if os.stat(f"/proc/{p}/ns/pid").st_ino == pidns:
                found[int(p)] = os.stat(f"/proc/{p}/ns/net").st_ino
        except OSError:
            pass
    return found


@pytest.mark.parametrize("how", ["stop", "crash"])
def test_tear_down_leaves_nothing_behind(sim_unstarted, how):
    s = sim_unstarted
    links = host_links()
    s.start()
    s.run("isp", "pppoe,dhcp,pptp", check=True)
    s.run("capture", "start", "isp:eth0", str(s.file("var/tmp/isp.pcap")), check=True)
    init = int(s.file("run/init.pid").read_text())
    pidns = os.stat(f"/proc/{init}/ns/pid").st_ino
    netns = set(sandbox_processes(pidns).values())
    assert len(netns) >= 7  # router, isp, services, lan, dmz and two LAN hosts
    if how == "stop":
        s.stop()
    else:
        os.kill(init, 9)
    gone = lambda: not sandbox_processes(pidns) and not netns & every_netns()
    deadline = time.monotonic() + 10
    while not gone() and time.monotonic() < deadline:
        time.sleep(0.05)
    assert gone()
    assert host_links() == links
    s.start()  # and it starts again after a crash
    s.stop()


def every_netns():
    """Network namespace inodes of every process on this machine."""
    inodes = set()
    for p in filter(str.isdigit, os.listdir("/proc")):
        try:
            inodes.add(os.stat(f"/proc/{p}/ns/net").st_ino)
        except OSError:
            pass
    return inodes
