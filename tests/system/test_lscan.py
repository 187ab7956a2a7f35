"""lscand in the sandbox: its sweep on the wire, the host list, its command line."""

import contextlib
import os

import pytest
from scapy.all import ARP, IP, UDP, rdpcap

from conftest import LAN as ROUTER, plan, wait_for

USAGE = "lscand [-r refreshrate]\nrefreshrate is in seconds and default is 10 seconds\n"
LAN_HOSTS = [str(ip) for ip in plan.network("lan0").hosts()]  # what a sweep goes through
LAPTOP = str(plan.network("lan0")[50])  # added below to the LAN's hosts at start
HELD = {ip: plan.host_mac(ip) for ip in [ip for _, ip, _ in plan.DEFAULT_LAN] + [LAPTOP]}
DESKTOP = next(ip for _, ip, netbios in plan.DEFAULT_LAN if netbios == "DESKTOP")


def inode(sim):
    return os.stat(sim.file("var/lscan_out")).st_ino


def dhcpchk_calls(sim):
    return [float(line.split()[0]) for line in sim.run("calls").stdout.splitlines() if " dhcpchk" in line]


def swept(f):
    # The address a frame of the sweep is for: its datagram's, or the
    # kernel's ARP request to resolve it.
    if ARP in f and f[ARP].op == 1 and f[ARP].psrc == ROUTER:
        return f[ARP].pdst
    if UDP in f and f[UDP].dport == 7 and f[IP].src == ROUTER:
        return f[IP].dst


@contextlib.contextmanager
def lscand(sim, *args):
    pidfile = sim.file("var/run/lscand.pid")
    pidfile.unlink(missing_ok=True)
    assert sim.exec("lscand", *args).returncode == 0
    pid_line = wait_for(lambda: pidfile.exists() and pidfile.read_text().endswith("\n") and pidfile.read_text(),
                        "the pid file, written whole")
    try:
        yield pid_line
    finally:
        sim.exec("kill", pid_line.strip(), check=True)
        wait_for(lambda: sim.exec("kill", "-0", pid_line.strip()).returncode != 0, "lscand to end")


@pytest.fixture(scope="module")
def sim(module_sim):
    module_sim.run("lan", "add", "laptop", LAPTOP, check=True)
    return module_sim


@pytest.mark.parametrize("args", [["-rr"], ["-r", "0"]])
def test_bad_usage_is_refused_before_becoming_a_daemon(sim, args):
    r = sim.exec("lscand", *args)
    assert (r.returncode, r.stdout, r.stderr, sim.exec("pidof", "lscand").returncode) == (1, "", USAGE, 1)


@pytest.fixture(scope="class")
def scan(sim):
    """lscand -r 30, lan0 given its address after the first fetch (pass 5, about 4 s in)."""
    sim.sh("ip addr flush dev lan0; ip neigh flush dev lan0", check=True)
    sim.file("var/lscan_out").write_text("stale\n")
    fetches = sim.file("ifdev.log")  # libadp logs each record read to it
    fetches.write_text("")
    pcaps = {i: (target, str(sim.file(f"var/tmp/scan-{i}.pcap")))
             for i, target in (("br0", "lan:br0"), ("lo", "lo"))}

    def capture(action):
        for pcap in pcaps.values():
            sim.run("capture", action, *pcap, check=True)
    with lscand(sim, "-r", "30") as pid_line:
        capture("start")
        seen = {"at start": (pid_line, sim.file("var/lscan_out").read_text())}
        wait_for(lambda: fetches.read_text(), "the first fetch")
        sim.exec("ip", "addr", "add", plan.ROUTER["lan0"][1], "dev", "lan0", check=True)
        wait_for(lambda: sim.file("var/lscan_out").read_text(), "the first host list")
        capture("stop")
        frames = {i: rdpcap(path) for i, (_, path) in pcaps.items()}
        sweep = sorted((float(f.time), swept(f)) for i in frames for f in frames[i] if swept(f))
        datagrams = {i: sorted((swept(f), bytes(f[UDP].payload)) for f in frames[i] if UDP in f and swept(f))
                     for i in frames}
        fetched = [(float(t), addressed == "1") for t, _, addressed in map(str.split, fetches.read_text().splitlines())]
        fetches.unlink()
        yield dict(seen, sweep=sweep, datagrams=datagrams, pid=pid_line.strip(), fetched=fetched)


class TestOneDaemon:
    def test_pid_file_empty_list_and_nothing_until_the_lan_has_an_address(self, scan, sim):
        assert scan["at start"] == (scan["pid"] + " \n", "")
        # No sweep and no update before a fetch found the address; then the
        # sweep's first frame for each address came before the first update.
        found = next(t for t, addressed in scan["fetched"] if addressed)
        assert not scan["fetched"][0][1] and found < scan["sweep"][0][0]
        assert max({to: t for t, to in reversed(scan["sweep"])}.values()) < dhcpchk_calls(sim)[0]

    def test_sweep_sends_once_to_each_address_in_order(self, scan):
        assert list(dict.fromkeys(to for _, to in scan["sweep"])) == LAN_HOSTS
        # Over loopback to the router itself; on the switch the datagram only
        # reaches hosts that answer ARP, for the rest the kernel drops it.
        assert scan["datagrams"] == {"lo": [(ROUTER, b"\xf1")], "br0": [(h, b"\xf1") for h in sorted(HELD)]}

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

    def test_list_is_replaced_whole(self, scan, sim):
        # A reader of the previous list still holds all of it.
        with open(sim.file("var/lscan_out")) as reader:
            old = reader.read()
            wait_for(lambda: inode(sim) != os.fstat(reader.fileno()).st_ino, "an update")
            reader.seek(0)
            assert reader.read() == old != ""


@pytest.mark.parametrize("args", [["-r", "5x"], ["-r", "4294967297"], ["-r"]])
def test_rate_is_180_when_the_value_is_not_a_number(sim, args):
    sim.exec("ip", "neigh", "flush", "dev", "lan0", check=True)
    with lscand(sim, *args):
        start = inode(sim)
        wait_for(lambda: inode(sim) != start, "the first host list")
        # The first update (pass 5) came without a sweep before it.
        assert sim.exec("ip", "neigh", "show", LAN_HOSTS[-1], "dev", "lan0").stdout == ""
