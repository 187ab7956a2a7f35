"""lscand in the sandbox: its sweep on the wire (captured on the LAN switch
and the router's loopback, read with scapy), the host list it leaves from
the kernel's ARP table, the real nbtscan and the dhcpchk stand-in, and its
command line."""

import ipaddress
import os
import subprocess
import time

import pytest
from scapy.all import ARP, IP, UDP, rdpcap

ROUTER = "192.168.1.1"
USAGE = "lscand [-r refreshrate]\nrefreshrate is in seconds and default is 10 seconds\n"
HELD = {"192.168.1.100": "02:00:c0:a8:01:64", "192.168.1.101": "02:00:c0:a8:01:65",
        "192.168.1.50": "02:00:c0:a8:01:32"}  # desktop, printer and the host added below


def wait_for(test, what, timeout=45):
    deadline = time.monotonic() + timeout
    while not test():
        assert time.monotonic() < deadline, f"timed out waiting for {what}"
        time.sleep(0.1)


def inode(sim, name):
    return os.stat(sim.file(name)).st_ino


def dhcpchk_calls(sim):
    return [float(line.split()[0]) for line in sim.run("calls").stdout.splitlines()
            if line.split()[1:2] == ["dhcpchk"]]


def asleep(sim, pid):
    """Between passes (or between two datagrams of a sweep), not waiting
    for a command."""
    return sim.exec("cat", f"/proc/{pid}/wchan").stdout == "hrtimer_nanosleep"


def lan_prefix(sim, prefix):
    sim.sh(f"ip addr flush dev lan0; ip neigh flush dev lan0; "
           f"{'ip addr add ' + ROUTER + prefix + ' dev lan0' if prefix else ':'}", check=True)


class Lscand:
    """lscand ARGS... started in the sandbox, stopped by the pid it leaves."""

    def __init__(self, sim, *args):
        self.sim, self.args = sim, args

    def __enter__(self):
        pidfile = self.sim.file("var/run/lscand.pid")
        pidfile.unlink(missing_ok=True)
        r = self.sim.exec("lscand", *self.args)
        assert r.returncode == 0 and r.stdout == r.stderr == ""
        wait_for(lambda: pidfile.exists() and pidfile.read_text().endswith("\n"), "the pid file")
        self.pidfile = pidfile.read_text()
        self.pid = int(self.pidfile)
        return self

    def __exit__(self, *_):
        self.sim.exec("kill", str(self.pid), check=True)
        wait_for(lambda: self.sim.exec("kill", "-0", str(self.pid)).returncode != 0, "lscand to end")


class Capture:
    """Captures on the LAN switch and the router's loopback."""

    def __init__(self, sim, name):
        self.sim = sim
        self.files = [(iface, sim.file(f"var/tmp/{name}-{iface.replace(':', '-')}.pcap"))
                      for iface in ("lan:br0", "lo")]

    def __enter__(self):
        for iface, path in self.files:
            self.sim.run("capture", "start", iface, str(path), check=True)
        return self

    def __exit__(self, *_):
        for iface, path in self.files:
            self.sim.run("capture", "stop", iface, str(path), check=True)

    def frames(self):
        return {iface.split(":")[-1]: rdpcap(str(path)) for iface, path in self.files}


def sweep_sends(frames):
    """Address -> time of the first frame the sweep caused for it: the
    datagram itself, or the ARP request the kernel sent to resolve it."""
    first = {}
    for f in frames["br0"] + frames["lo"]:
        if ARP in f and f[ARP].op == 1 and f[ARP].psrc == ROUTER:
            to = f[ARP].pdst
        elif UDP in f and f[UDP].dport == 7 and f[IP].src == ROUTER:
            to = f[IP].dst
        else:
            continue
        first[to] = min(first.get(to, float(f.time)), float(f.time))
    return first


def datagrams(frames, iface):
    return [(f[IP].dst, bytes(f[UDP].payload)) for f in frames[iface]
            if UDP in f and f[UDP].dport == 7 and f[IP].src == ROUTER]


@pytest.fixture(scope="module")
def sim(module_sim):
    module_sim.run("lan", "add", "laptop", "192.168.1.50", check=True)
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
    """lscand -r 30, started while lan0 has no address; the address comes
    once the daemon has made its first fetch (pass 5, about 4 s in)."""
    lan_prefix(sim, None)
    sim.file("var/lscan_out").write_text("stale\n")
    seen = {}
    with Capture(sim, "scan") as capture, Lscand(sim, "-r", "30") as daemon:
        seen["list at start"] = sim.file("var/lscan_out").read_text()
        time.sleep(6)
        seen["calls without address"] = dhcpchk_calls(sim)
        seen["arpout without address"] = sim.file("var/arpout").exists()
        sim.exec("ip", "addr", "add", ROUTER + "/24", "dev", "lan0", check=True)
        wait_for(lambda: dhcpchk_calls(sim) and sim.file("var/lscan_out").read_text() != "",
                 "the first host list")
        capture.__exit__()
        seen["frames"] = capture.frames()
        capture.files = []
        seen["daemon"] = daemon
        yield seen


class TestOneDaemon:
    def test_pid_file_and_empty_list_at_start(self, scan):
        assert scan["daemon"].pidfile == f"{scan['daemon'].pid} \n"
        assert scan["list at start"] == ""

    def test_nothing_happens_until_the_lan_has_an_address_then_it_sweeps(self, scan, sim):
        assert scan["calls without address"] == [] and not scan["arpout without address"]
        sends = sweep_sends(scan["frames"])
        assert max(sends.values()) < dhcpchk_calls(sim)[0]

    def test_sweep_sends_once_to_each_address_in_order(self, scan):
        sends = sweep_sends(scan["frames"])
        assert sorted(sends, key=sends.get) == [f"192.168.1.{n}" for n in range(1, 255)]
        # Over loopback to the router itself; on the switch the datagram only
        # reaches hosts that answer ARP, for the rest the kernel drops it.
        assert datagrams(scan["frames"], "lo") == [(ROUTER, b"\xf1")]
        assert sorted(datagrams(scan["frames"], "br0")) == sorted((h, b"\xf1") for h in HELD)
        ports = {f[UDP].sport for f in scan["frames"]["br0"] + scan["frames"]["lo"] if UDP in f
                 and f[UDP].dport == 7}
        assert len(ports) == 1

    def test_host_list_from_arp_nbtscan_and_dhcpchk(self, scan, sim):
        arpout = sim.file("var/arpout").read_text()
        assert sorted(arpout.splitlines()) == sorted(f"{ip} {mac}" for ip, mac in HELD.items())
        nbt = [line.split() for line in sim.file("var/nbtout").read_text().splitlines()]
        assert ["192.168.1.100", "DESKTOP", "<server>", "<unknown>", HELD["192.168.1.100"]] in nbt
        assert sim.file("var/lscan_out").read_text() == "".join(
            f"{line} {'DESKTOP' if line.startswith('192.168.1.100 ') else '-'}\n"
            for line in arpout.splitlines())

    def test_failing_dhcpchk_leaves_the_previous_list(self, scan, sim):
        before = (inode(sim, "var/lscan_out"), sim.file("var/lscan_out").read_text())
        sim.run("standin", "dhcpchk", "--exit", "1", check=True)
        try:
            calls = len(dhcpchk_calls(sim))
            wait_for(lambda: len(dhcpchk_calls(sim)) > calls and asleep(sim, scan["daemon"].pid),
                     "an update with a failing dhcpchk")
            assert (inode(sim, "var/lscan_out"), sim.file("var/lscan_out").read_text()) == before
        finally:
            sim.run("standin", "dhcpchk", "--reset", check=True)

    def test_list_is_replaced_whole_with_complete_entries_of_lan0_only(self, scan, sim):
        # replace: the sweep left entries (failed ones) for these addresses
        sim.sh("set -e; ip neigh replace 192.168.1.77 lladdr 02:00:00:00:00:77 dev lan0 nud permanent; "
               "ip neigh replace 192.168.1.78 dev lan0 nud incomplete; "
               "ip neigh replace 192.168.2.50 lladdr 02:00:00:00:00:50 dev dmz0 nud permanent",
               check=True)
        table = [line.split() for line in sim.exec("cat", "/proc/net/arp").stdout.splitlines()]
        assert ["192.168.1.77", "0x1", "0x6", "02:00:00:00:00:77", "*", "lan0"] in table
        with open(sim.file("var/lscan_out")) as reader:
            old = (os.fstat(reader.fileno()).st_ino, sim.file("var/lscan_out").read_text())
            wait_for(lambda: "192.168.1.77 " in sim.file("var/lscan_out").read_text(),
                     "an update with the new entries")
            # A reader of the previous list still holds all of it.
            assert inode(sim, "var/lscan_out") != old[0] and reader.read() == old[1]
        neigh = [line.split() for line in
                 sim.exec("ip", "-4", "neigh", "show", "dev", "lan0").stdout.splitlines()]
        complete = {w[0]: w[w.index("lladdr") + 1] for w in neigh
                    if w[-1] in ("REACHABLE", "STALE", "DELAY", "PROBE", "PERMANENT")}
        assert complete == dict(HELD, **{"192.168.1.77": "02:00:00:00:00:77"})
        assert sorted(sim.file("var/arpout").read_text().splitlines()) == \
            sorted(f"{ip} {mac}" for ip, mac in complete.items())


@pytest.mark.parametrize("args", [["-r", "5x"], ["-r", ""], ["-r"]])
def test_rate_is_180_when_the_value_is_not_a_number(sim, args):
    lan_prefix(sim, "/24")
    with Lscand(sim, *args):
        start = inode(sim, "var/lscan_out")
        wait_for(lambda: inode(sim, "var/lscan_out") != start, "the first host list")
        # The first update (pass 5) came without a sweep before it.
        assert sim.exec("ip", "neigh", "show", "192.168.1.254", "dev", "lan0").stdout == ""


@pytest.mark.parametrize("prefix,sent,last", [
    ("/30", ["192.168.1.1", "192.168.1.2"], "192.168.1.2"),
    ("/32", [], None),
    ("/16", [f"192.168.0.{n}" for n in range(1, 256)], "192.168.0.255")])
def test_sweep_covers_the_prefix(sim, prefix, sent, last):
    lan_prefix(sim, prefix)
    try:
        with Capture(sim, prefix[1:]) as capture, Lscand(sim, "-r", "5"):
            if last:  # the sweep at pass 5 reached its last address
                wait_for(lambda: sim.exec("ip", "neigh", "show", last).stdout != "", last)
            else:  # the update after it is over
                start = inode(sim, "var/lscan_out")
                wait_for(lambda: inode(sim, "var/lscan_out") != start, "the first host list")
        sends = sweep_sends(capture.frames())
        assert sorted(sends, key=sends.get) == sent
    finally:
        lan_prefix(sim, "/24")
