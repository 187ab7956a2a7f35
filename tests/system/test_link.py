"""link: which kinds of Internet access answer on a WAN interface, proven
against pppoe-server, dnsmasq and the ISP's kernel, against crafted answers
(sim/servers/link_responder.py) and with frames dissected by scapy.

A run sleeps 8 s, so the runs on wan0 go one after another while the crafted
and bad-input runs, on interfaces of their own, go alongside them."""

import re
import subprocess
from concurrent.futures import ThreadPoolExecutor

import pytest
from scapy.all import ARP, BOOTP, DHCP, IP, UDP, Ether, PPPoED, Raw, rdpcap

from conftest import BIN, SRC

ROUTER, SPOOFED, BCAST = "02:00:00:00:04:01", "00:ff:d9:74:47:00", "ff:ff:ff:ff:ff:ff"
CRAFTED = "wan-crafted-015"  # router end of a link of its own to the ISP's lnk0
LONG = "veth-name-of-15"     # 15 characters, given with one more
NO_ANSWER = ("send discovery: try 1\nsend discovery: try 2\nsend discovery: try 3\n"
             "recv response\nsend PPTP discovery\nrecv PPTP response\nISPs Found: \n")
RECV_EMPTY = "recv: Resource temporarily unavailable\n"


def link(sim, *args):
    return sim.exec("link", *args, timeout=60)


def flags(sim, iface):
    return re.search(r"<(.*?)>", sim.exec("ip", "-o", "link", "show", iface).stdout).group(1)


def counts(out, *lines):
    return [out.splitlines().count(line) for line in lines]


def crafted_run(sim, answers):
    """One run on the crafted link while the responder answers with `answers`."""
    responder = subprocess.Popen(
        [str(BIN / "zezarur-sim"), "exec", "--in", "isp", "/usr/bin/python3",
         str(SRC / "sim/servers/link_responder.py"), "lnk0", answers],
        env=sim.env, stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True)
    assert responder.stdout.readline() == "ready\n"
    run = link(sim, CRAFTED)
    sent = responder.communicate(timeout=30)[0]
    return run, [tuple(line.split()[1:]) for line in sent.splitlines()]


CRAFTED_ROWS = [
    # answers, summary, {line: count}
    ("pado-bcast,pado-session,pads,ver2,pado", "ISP_PPPOE ", {"PPPoE detected": 1}),
    ("ack,xid2,ihl6,udp247,udp248,udp1481,no-opt53,offer", "ISP_DHCP ",
     {"DHCP detected": 1, "length 239": 1, "length 240": 1, "length 1473": 1, "length 247": 1, "length 250": 3}),
    ("offer-domain255,offer-spoofed,offer-bcast", "ISP_DHCP ISP_BIGPOND ISP_DHCPSPOOF ",
     {"DHCP detected": 3, "BigPond detected": 1, " f f 255": 1,
      "DHCP detected with spoofed MAC": 1, "DCHP response is broadcast": 1}),
    # Answers that come after the first drain reach pptpCheck only.
    ("arp-wrong-tpa,arp-request,late-pado,late-offer,arp", "ISP_PPTP ",
     {"PPTP detected": 1, "PPPoE detected": 0, "DHCP detected": 0}),
]


def bad_runs(sim):
    sim.sh(f"ip link add {LONG} type veth peer name {LONG[:4]} && ip link set {LONG[:4]} up",
           check=True)
    before = flags(sim, LONG)
    return {"usage": link(sim), "missing": link(sim, "nosuch0"),
            "long": (link(sim, LONG + "X"), before, flags(sim, LONG))}


@pytest.fixture(scope="module")
def side(module_sim):
    """The crafted and bad-input runs, started before the first wan0 run."""
    module_sim.exec("--in", "isp", "sh", "-ec",
                    f"ip link add lnk0 type veth peer name {CRAFTED} netns 1\nip link set lnk0 up\n"
                    # the ISP's kernel must not answer ARP on this link
                    "sysctl -q -w net.ipv4.conf.lnk0.arp_ignore=1", check=True)
    pool = ThreadPoolExecutor(2)
    crafted = pool.submit(lambda: [crafted_run(module_sim, row[0]) for row in CRAFTED_ROWS])
    bad = pool.submit(bad_runs, module_sim)
    yield {"crafted": crafted, "bad": bad}
    pool.shutdown()


DETECTION = [
    ("none", "", 0x00),
    ("pppoe,pptp", "ISP_PPPOE ISP_PPTP ", 0x11),
    ("dhcp", "ISP_DHCP ", 0x04),
    ("spoof", "ISP_DHCP ISP_DHCPSPOOF ", 0x0C),
    ("bigpond=BIGPOND.example", "ISP_DHCP ISP_BIGPOND ", 0x06),
    ("bigpond=nsw.bigpond.example,spoof", "ISP_DHCP ISP_BIGPOND ISP_DHCPSPOOF ", 0x0E),
    ("bigpond=myBigPond.example", "ISP_DHCP ", 0x04),  # 'B' after the first character
    ("pppoe,bigpond,spoof,pptp", "ISP_PPPOE ISP_DHCP ISP_BIGPOND ISP_DHCPSPOOF ISP_PPTP ", 0x1F),
]


@pytest.mark.parametrize("profile,summary,status", DETECTION)
def test_detection_against_real_isp_servers(module_sim, side, profile, summary, status):
    sim = module_sim
    sim.run("isp", profile, check=True)
    before = flags(sim, "wan0")
    pcap = sim.file(f"var/tmp/isp-{status}.pcap")
    sim.run("capture", "start", "isp:eth0", str(pcap), check=True)
    r = link(sim, "wan0")
    sim.run("capture", "stop", "isp:eth0", str(pcap), check=True)
    assert (r.stdout.splitlines()[-1], r.returncode) == ("ISPs Found: " + summary, status)
    assert r.stderr == RECV_EMPTY * 2
    assert flags(sim, "wan0") == before and "MULTICAST" in before
    if status == 0:
        assert r.stdout == NO_ANSWER
    if status == 0x1F:
        frames_on_the_wire(rdpcap(str(pcap)))


def discover(source):
    frame = (Ether(dst=BCAST, src=source) /
             IP(tos=1, id=1, ttl=64, src="0.0.0.0", dst="255.255.255.255") /
             UDP(sport=68, dport=67, chksum=0) /
             BOOTP(op=1, xid=1, chaddr=bytes.fromhex(source.replace(":", ""))) /
             DHCP(options=[("message-type", "discover"), ("param_req_list", [15]), "end"]))
    return bytes(frame / Raw(bytes(514 - len(frame))))


def frames_on_the_wire(frames):
    """The probes, byte for byte as scapy builds them, and the servers' answers."""
    sent = lambda src: [bytes(f) for f in frames if f.src == src]
    padi = bytes(Ether(dst=BCAST, src=ROUTER, type=0x8863) /
                 PPPoED(version=1, type=1, code=9, sessionid=0) / Raw(b"\x01\x01\x00\x00"))
    arp = bytes(Ether(dst=BCAST, src=ROUTER) /
                ARP(op=1, hwsrc=ROUTER, psrc="10.0.0.140", hwdst="00:00:00:00:00:00", pdst="10.0.0.138"))
    assert (len(padi), len(arp), len(discover(ROUTER))) == (24, 42, 514)
    assert sorted(sent(ROUTER)) == sorted([padi] * 3 + [discover(ROUTER)] * 3 + [arp])
    assert sent(SPOOFED) == [discover(SPOOFED)] * 3
    offers = [f[Ether].dst for f in frames if DHCP in f and ("message-type", 2) in f[DHCP].options]
    assert {ROUTER, SPOOFED} <= set(offers)
    assert any(PPPoED in f and f[PPPoED].code == 7 and f.dst == ROUTER for f in frames)
    assert any(ARP in f and f[ARP].op == 2 and f[ARP].psrc == "10.0.0.138" and
               f[ARP].pdst == "10.0.0.140" and f.dst == ROUTER for f in frames)


@pytest.mark.parametrize("row", range(len(CRAFTED_ROWS)), ids=[r[0] for r in CRAFTED_ROWS])
def test_crafted_answers(side, row):
    r, sent = side["crafted"].result(timeout=120)[row]
    answers, summary, lines = CRAFTED_ROWS[row]
    assert [name for name, _ in sent] == answers.split(",")
    assert r.stdout.splitlines()[-1] == "ISPs Found: " + summary
    assert counts(r.stdout, *lines) == list(lines.values())
    # Every answer was read whole and unpadded: in the drain after its probe.
    drains = r.stdout.split("recv PPTP response\n")
    got = lambda text: re.findall(r"^recving (\d+) bytes$", text, re.M)
    late = "arp" in answers
    assert (got(drains[late]), got(drains[not late])) == ([size for _, size in sent], [])


@pytest.mark.parametrize("case", ["usage", "missing", "long"])
def test_bad_input(side, case):
    runs = side["bad"].result(timeout=120)
    if case == "usage":
        r = runs[case]
        assert (r.stdout, r.stderr, r.returncode) == ("Usage: link <interface name>\n", "", 1)
    elif case == "missing":
        r = runs[case]
        assert (r.stdout, r.stderr, r.returncode) == \
            (NO_ANSWER, "ioctl[SIOCGIFFLAGS]: No such device\n", 0)
    else:  # cut to the 15 characters of the interface, which it brings up
        r, before, after = runs[case]
        assert (r.stdout, r.stderr, r.returncode) == (NO_ANSWER, RECV_EMPTY * 2, 0)
        assert "UP" not in before.split(",") and "UP" in after.split(",")
