"""link against real ISP servers, crafted answers and bad input; its frames read by scapy."""
# A run sleeps 8 s: the wan0 runs go one by one, the crafted and bad-input
# runs, on interfaces of their own, alongside them.

import re
import subprocess
from concurrent.futures import ThreadPoolExecutor

import pytest
from scapy.all import ARP, BOOTP, DHCP, IP, UDP, Ether, PPPoED, Raw, rdpcap

from conftest import BIN, MODEM, SRC, plan

ROUTER_MAC, SPOOFED_MAC, BCAST = plan.ROUTER["wan0"][0], plan.SPOOFED_MAC, "ff:ff:ff:ff:ff:ff"
CRAFTED, LONG = "wan-crafted-015", "veth-name-of-15"  # 15 characters each
NO_ANSWER = "".join(f"send discovery: try {n}\n" for n in (1, 2, 3)) + \
    "recv response\nsend PPTP discovery\nrecv PPTP response\nISPs Found: \n"
RECV_EMPTY = "recv: Resource temporarily unavailable\n" * 2


def flags(sim, iface):
    return re.search(r"<(.*?)>", sim.exec("ip", "-o", "link", "show", iface).stdout).group(1)


CRAFTED_ROWS = [  # answers, summary, {line: count}
    ("pado-bcast,pado-session,pads,ver2,pado", "ISP_PPPOE ", {"PPPoE detected": 1}),
    ("ack,xid2,ihl6,udp247,udp248,udp1481,no-opt53,offer", "ISP_DHCP ",
     {"DHCP detected": 1, "length 250": 3, "length 239": 1, "length 240": 1, "length 1473": 1, "length 247": 1}),
    ("offer-domain255,offer-spoofed,offer-bcast", "ISP_DHCP ISP_BIGPOND ISP_DHCPSPOOF ",
     {"DHCP detected": 3, " f f 255": 1, "BigPond detected": 1, "DHCP detected with spoofed MAC": 1,
      "DCHP response is broadcast": 1}),
    # Sent on the ARP request, after the first drain: only pptpCheck sees them.
    ("arp-wrong-tpa,arp-request,late-pado,late-offer,arp", "ISP_PPTP ",
     {"PPTP detected": 1, "PPPoE detected": 0, "DHCP detected": 0}),
]


def crafted_run(sim, answers):
    responder = subprocess.Popen([str(BIN / "zezarur-sim"), "exec", "--in", "isp", "/usr/bin/python3",
                                  str(SRC / "sim/servers/link_responder.py"), "lnk0", answers],
                                 env=sim.env, stdout=subprocess.PIPE, text=True)
    assert responder.stdout.readline() == "ready\n"
    run = sim.exec("link", CRAFTED)
    return run, [line.split()[1:] for line in responder.communicate(timeout=30)[0].splitlines()]


def bad_runs(sim):
    sim.sh(f"ip link add {LONG} type veth peer name peer0 && ip link set peer0 up", check=True)
    before = flags(sim, LONG)
    return {"usage": sim.exec("link"), "missing": sim.exec("link", "nosuch0"),
            "long": sim.exec("link", LONG + "6"), "flags": (before, flags(sim, LONG))}


@pytest.fixture(scope="module")
def side(module_sim):
    # The crafted and bad-input runs, started before the first wan0 run.
    module_sim.exec("--in", "isp", "sh", "-ec",  # the ISP's kernel keeps quiet on lnk0
                    f"ip link add lnk0 type veth peer name {CRAFTED} netns 1; ip link set lnk0 up;"
                    "sysctl -q -w net.ipv4.conf.lnk0.arp_ignore=1", check=True)
    with ThreadPoolExecutor(2) as pool:
        yield {"crafted": pool.submit(lambda: [crafted_run(module_sim, answers) for answers, *_ in CRAFTED_ROWS]),
               "bad": pool.submit(bad_runs, module_sim)}


@pytest.mark.parametrize("profile,summary,status", [
    ("bigpond=BIGPOND.example", "ISP_DHCP ISP_BIGPOND ", 0x06),
    ("bigpond=nsw.bigpond.example,spoof", "ISP_DHCP ISP_BIGPOND ISP_DHCPSPOOF ", 0x0E),
    ("bigpond=myBigPond.example", "ISP_DHCP ", 0x04),  # 'B' after the first character
    ("pppoe,bigpond,spoof,pptp", "ISP_PPPOE ISP_DHCP ISP_BIGPOND ISP_DHCPSPOOF ISP_PPTP ", 0x1F)])
def test_detection_against_real_isp_servers(module_sim, side, profile, summary, status):
    sim, pcap = module_sim, module_sim.file(f"var/tmp/isp-{status}.pcap")
    sim.run("isp", profile, check=True)
    before = flags(sim, "wan0")
    sim.run("capture", "start", "isp:eth0", str(pcap), check=True)
    r = sim.exec("link", "wan0")
    sim.run("capture", "stop", "isp:eth0", str(pcap), check=True)
    assert (r.stdout.splitlines()[-1], r.returncode, r.stderr) == \
        ("ISPs Found: " + summary, status, RECV_EMPTY)
    assert flags(sim, "wan0") == before and "MULTICAST" in before
    if status == 0x1F:
        frames_on_the_wire(rdpcap(str(pcap)))


def discover(source):
    chaddr = bytes.fromhex(source.replace(":", ""))
    frame = (Ether(dst=BCAST, src=source) / IP(tos=1, id=1, ttl=64, src="0.0.0.0", dst="255.255.255.255") /
             UDP(sport=68, dport=67, chksum=0) / BOOTP(op=1, xid=1, chaddr=chaddr) /
             DHCP(options=[("message-type", "discover"), ("param_req_list", [15]), "end"]))
    return bytes(frame / Raw(bytes(514 - len(frame))))


def frames_on_the_wire(frames):
    # The probes byte for byte as scapy builds them.
    sent = lambda src: sorted(bytes(f) for f in frames if f.src == src)
    padi = bytes(Ether(dst=BCAST, src=ROUTER_MAC, type=0x8863) /
                 PPPoED(version=1, type=1, code=9, sessionid=0) / Raw(b"\x01\x01\x00\x00"))
    arp = bytes(Ether(dst=BCAST, src=ROUTER_MAC) / ARP(op=1, hwsrc=ROUTER_MAC, psrc=plan.PPTP_ASKER,
                                                       hwdst="00:00:00:00:00:00", pdst=MODEM))
    assert sent(ROUTER_MAC) == sorted([padi] * 3 + [discover(ROUTER_MAC)] * 3 + [arp])
    assert sent(SPOOFED_MAC) == [discover(SPOOFED_MAC)] * 3


@pytest.mark.parametrize("row", range(len(CRAFTED_ROWS)), ids=[r[0] for r in CRAFTED_ROWS])
def test_crafted_answers(side, row):
    r, sent = side["crafted"].result(timeout=120)[row]
    answers, summary, lines = CRAFTED_ROWS[row]
    assert [name for name, _ in sent] == answers.split(",")
    assert r.stdout.splitlines()[-1] == "ISPs Found: " + summary
    assert {line: r.stdout.splitlines().count(line) for line in lines} == lines
    # Each answer read whole, unpadded, in the drain after its probe: those
    # sent on the ARP request only in the PPTP check's.
    before_pptp, in_pptp = [re.findall(r"^recving (\d+) bytes$", part, re.M) for part in r.stdout.split("recv PPTP")]
    sizes = [size for _, size in sent]
    assert (before_pptp, in_pptp) == (([], sizes) if answers.startswith("arp") else (sizes, []))


@pytest.mark.parametrize("case,stdout,stderr,status", [
    ("usage", "Usage: link <interface name>\n", "", 1),
    ("missing", NO_ANSWER, "ioctl[SIOCGIFFLAGS]: No such device\n", 0),
    ("long", NO_ANSWER, RECV_EMPTY, 0)])  # cut to 15 characters: found, and brought up
def test_bad_input(side, case, stdout, stderr, status):
    runs = side["bad"].result(timeout=120)
    assert (runs[case].stdout, runs[case].stderr, runs[case].returncode) == (stdout, stderr, status)
    assert ["UP" in f.split(",") for f in runs["flags"]] == [False, True]
