"""lscand in the sandbox: its sweep on the wire (captured on the LAN switch
and the router's loopback, read with scapy), the host list it leaves from
the kernel's ARP table, the real nbtscan and the dhcpchk stand-in, and its
command line."""

import contextlib
import os
import time

import pytest
from scapy.all import ARP, IP, UDP, rdpcap

from conftest import LAN as ROUTER, plan, wait_for

USAGE = "lscand [-r refreshrate]\nrefreshrate is in seconds and default is 10 seconds\n"
LAPTOP = "192.168.1.50"  # added below to the LAN's hosts at start
HELD = {ip: plan.host_mac(ip) for ip in [ip for _, ip, _ in plan.DEFAULT_LAN] + [LAPTOP]}
DESKTOP = next(ip for _, ip, netbios in plan.DEFAULT_LAN if netbios == "DESKTOP")


def inode(sim):
    return os.stat(sim.file("var/lscan_out")).st_ino


def dhcpchk_calls(sim):
    return [float(line.split()[0]) for line in sim.run("calls").stdout.splitlines() if " dhcpchk" in line]


def lan_prefix(sim, prefix):
    add = f"ip addr add {ROUTER}{prefix} dev lan0" if prefix else ":"
    sim.sh(f"ip addr flush dev lan0; ip neigh flush dev lan0; {add}", check=True)


@contextlib.contextmanager
def lscand(sim, *args):
    """lscand ARGS... started in the sandbox; stopped by the pid it leaves."""
    pidfile = sim.file("var/run/lscand.pid")
    pidfile.unlink(missing_ok=True)
    assert sim.exec("lscand", *args).returncode == 0
    wait_for(lambda: pidfile.exists() and pidfile.read_text().endswith("\n"), "the pid file")
    pid = pidfile.read_text().strip()
    try:
        yield pidfile.read_text()
    finally:
        sim.exec("kill", pid, check=True)
        wait_for(lambda: sim.exec("kill", "-0", pid).returncode != 0, "lscand to end")


@contextlib.contextmanager
def captured(sim, name):
    """Captures the LAN switch and the router's loopback; the frames by
    interface land in the yielded dict when the block ends."""
    files = {i: (target, str(sim.file(f"var/tmp/{name}-{i}.pcap")))
             for i, target in (("br0", "lan:br0"), ("lo", "lo"))}
    frames = {}
    for target, path in files.values():
        sim.run("capture", "start", target, path, check=True)
    try:
        yield frames
    finally:
        for iface, (target, path) in files.items():
            sim.run("capture", "stop", target, path, check=True)
            frames[iface] = rdpcap(path)


def sent(frames, iface=None):
    """(time, address, payload) of what the sweep caused: each datagram, and
    each ARP request the kernel made to resolve an address (payload None)."""
    out = []
    for i in [iface] if iface else frames:
        for f in frames[i]:
            if ARP in f and f[ARP].op == 1 and f[ARP].psrc == ROUTER and not iface:
                out.append((float(f.time), f[ARP].pdst, None))
            elif UDP in f and f[UDP].dport == 7 and f[IP].src == ROUTER:
                out.append((float(f.time), f[IP].dst, bytes(f[UDP].payload)))
    return sorted(out)


def first_sends(frames):
    """Address -> time of the sweep's first frame for it, in order."""
    first = {}
    for t, to, _ in sent(frames):
        first.setdefault(to, t)
    return first


@pytest.fixture(scope="module")
def sim(module_sim):
    module_sim.run("lan", "add", "laptop", LAPTOP, check=True)
    return module_sim


@pytest.mark.parametrize("args", [["-x"], ["-rr"], ["-rr", "30"], ["-r", "0"], ["-r", "-5"]])
def test_bad_usage_is_refused_before_becoming_a_daemon(sim, args):
    sim.file("var/run/lscand.pid").unlink(missing_ok=True)
    r = sim.exec("lscand", *args)
    assert (r.returncode, r.stdout, r.stderr) == (1, "", USAGE)
    assert not sim.file("var/run/lscand.pid").exists()
    assert sim.exec("pidof", "lscand").returncode == 1


@pytest.fixture(scope="class")
def scan(sim):
    """lscand -r 30 started while lan0 has no address; the address comes
    once the daemon has made its first fetch (pass 5, about 4 s in)."""
    lan_prefix(sim, None)
    sim.file("var/lscan_out").write_text("stale\n")
    seen = {}
    with lscand(sim, "-r", "30") as pidfile:
        with captured(sim, "scan") as frames:
            seen["at start"] = (pidfile, sim.file("var/lscan_out").read_text())
            time.sleep(6)
            seen["without address"] = (dhcpchk_calls(sim), sim.file("var/arpout").exists())
            sim.exec("ip", "addr", "add", ROUTER + "/24", "dev", "lan0", check=True)
            wait_for(lambda: sim.file("var/lscan_out").read_text(), "the first host list")
        yield dict(seen, frames=frames, pid=pidfile.strip())


class TestOneDaemon:
    def test_pid_file_and_empty_list_at_start(self, scan):
        assert scan["at start"] == (scan["pid"] + " \n", "")

    def test_nothing_happens_until_the_lan_has_an_address_then_it_sweeps(self, scan, sim):
        assert scan["without address"] == ([], False)
        assert max(first_sends(scan["frames"]).values()) < dhcpchk_calls(sim)[0]

    def test_sweep_sends_once_to_each_address_in_order(self, scan):
        assert list(first_sends(scan["frames"])) == [f"192.168.1.{n}" for n in range(1, 255)]
        # Over loopback to the router itself; on the switch the datagram only
        # reaches hosts that answer ARP, for the rest the kernel drops it.
        assert [s[1:] for s in sent(scan["frames"], "lo")] == [(ROUTER, b"\xf1")]
        assert sorted(s[1:] for s in sent(scan["frames"], "br0")) == [(h, b"\xf1") for h in sorted(HELD)]

    def test_host_list_from_arp_nbtscan_and_dhcpchk(self, scan, sim):
        arpout = sim.file("var/arpout").read_text().splitlines()
        assert sorted(arpout) == sorted(f"{ip} {mac}" for ip, mac in HELD.items())
        nbt = [line.split() for line in sim.file("var/nbtout").read_text().splitlines()]
        assert [DESKTOP, "DESKTOP", "<server>", "<unknown>", HELD[DESKTOP]] in nbt
        assert sim.file("var/lscan_out").read_text() == "".join(
            f"{line} {'DESKTOP' if line.startswith(DESKTOP + ' ') else '-'}\n" for line in arpout)

    def test_failing_dhcpchk_leaves_the_previous_list(self, scan, sim):
        before = (inode(sim), sim.file("var/lscan_out").read_text())
        sim.run("standin", "dhcpchk", "--exit", "1", check=True)
        try:
            calls = len(dhcpchk_calls(sim))
            # The update after a failed one has begun: the failed one is over.
            wait_for(lambda: len(dhcpchk_calls(sim)) > calls + 1, "a failed update and the next")
            assert (inode(sim), sim.file("var/lscan_out").read_text()) == before
        finally:
            sim.run("standin", "dhcpchk", "--reset", check=True)

    def test_list_is_replaced_whole_with_complete_entries_of_lan0_only(self, scan, sim):
        # replace: the sweep left (failed) entries for these addresses
        sim.sh("set -e; ip neigh replace 192.168.1.77 lladdr 02:00:00:00:00:77 dev lan0 nud permanent; "
               "ip neigh replace 192.168.1.78 dev lan0 nud incomplete; "
               "ip neigh replace 192.168.2.50 lladdr 02:00:00:00:00:50 dev dmz0 nud permanent", check=True)
        table = [line.split() for line in sim.exec("cat", "/proc/net/arp").stdout.splitlines()]
        assert ["192.168.1.77", "0x1", "0x6", "02:00:00:00:00:77", "*", "lan0"] in table
        with open(sim.file("var/lscan_out")) as reader:
            old = (inode(sim), sim.file("var/lscan_out").read_text())
            wait_for(lambda: "192.168.1.77 " in sim.file("var/lscan_out").read_text(), "an update")
            # A reader of the previous list still holds all of it.
            assert inode(sim) != old[0] and reader.read() == old[1]
        neigh = [line.split() for line in sim.exec("ip", "-4", "neigh", "show", "dev", "lan0").stdout.splitlines()]
        complete = {w[0]: w[w.index("lladdr") + 1] for w in neigh
                    if w[-1] in ("REACHABLE", "STALE", "DELAY", "PROBE", "PERMANENT")}
        assert complete == dict(HELD, **{"192.168.1.77": "02:00:00:00:00:77"})
        assert sorted(sim.file("var/arpout").read_text().splitlines()) == \
            sorted(f"{ip} {mac}" for ip, mac in complete.items())


@pytest.mark.parametrize("args", [["-r", "5x"], ["-r", ""], ["-r"]])
def test_rate_is_180_when_the_value_is_not_a_number(sim, args):
    lan_prefix(sim, "/24")
    with lscand(sim, *args):
        start = inode(sim)
        wait_for(lambda: inode(sim) != start, "the first host list")
        # The first update (pass 5) came without a sweep before it.
        assert sim.exec("ip", "neigh", "show", "192.168.1.254", "dev", "lan0").stdout == ""
