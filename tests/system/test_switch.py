"""The bcm command on the simulated switch: each row's report, failure and logged request."""

import re
import shlex
import struct

import pytest

from conftest import ORDER, POINTER

PORT, MIB, REG, FWD = 0xC0084F06, 0xC09A4F05, 0x40044F04, 0xC0084F14
STARS = "*" * 61
USAGE = "\n".join([STARS, "Usage:"] + ["bcm " + line for line in (
    "vlan show", "8021q show", "dmz on/off", "arl get", "reg show [page] [addr] [bytes]",
    "mib get [portnum(0-8)(11-gigeport)]", "tx/rx enable/disable [portnum(0-7)(11-gigeport)]",
    "portvlan fwdenable/fwddisable [port] [egressport]", "reset mibs", "8021q enable",
    "8021q disable", "bpdu enable", "bpdu disable", "mgmt disable")] + [STARS, ""])


def port_map(ports, empty=()):
    return "".join(f"port{i} forwarding to " + "".join(
        f"{j} " for j in range(ports) if j != i and i not in empty) + "\n" for i in range(ports))


def mib_names(box):  # the record's order (as the power-on state lists it), RxGoodOctets moved
    names = [line.split()[0][6:] for line in box.power_on.splitlines() if line.startswith("mib.0.")]
    names.remove("RxGoodOctets")
    names.insert(names.index("RxFcsErrors") + 1, "RxGoodOctets")
    return names


def mib_report(box, port, values={}):
    counters = (f"{name:<20} - {values.get(name, 0)}" for name in mib_names(box))
    return "\n".join([f"Mib counters for port{port}", STARS, *counters, STARS, ""])


def pack(fmt, *values):  # a record as the applets' CPU lays it out
    return struct.pack(ORDER + fmt, *values)


@pytest.fixture
def box(module_sim):
    module_sim.power_on = getattr(module_sim, "power_on", None) or module_sim.file("switch.state").read_text()
    module_sim.file("switch.state").write_text(module_sim.power_on)
    module_sim.file("switch.log").write_text("")
    return module_sim


def state(box, changes={}, extra=""):  # the power-on state with some keys changed, lines added
    lines = (line.split(" ", 1) for line in box.power_on.splitlines())
    return "".join(f"{k} {changes.get(k, v)}\n" for k, v in lines) + extra


def bcm(box, words):
    return box.exec("bcm", *shlex.split(words))


def assert_requests(box, code, record, outcomes):  # record: bytes or a pattern
    log = [line.split() for line in box.file("switch.log").read_text().splitlines()]
    assert [(int(c, 16), outcome) for c, _, outcome in log] == [(code, o) for o in outcomes]
    pattern = (record.hex() or "-") if isinstance(record, bytes) else record
    assert all(re.fullmatch(pattern, got) for _, got, _ in log), log


def dot1q(control={}, vid={}):
    return "".join(f"VLAN Control Register {r}: 0x{control.get(r, 0)}\n" for r in range(6)) + \
        "".join(f"port{p} vlan id: 0x{vid.get(p, '01')}\n" for p in range(9))


ARL_RECORD = f"(?!(00)+0{{8}}$)[0-9a-f]{{{2 * POINTER}}}0{{8}}"  # buffer address, count 0
# words, request named in its failure message, code, record sent, report, state after
ROWS = [
    ("vlan show", "ioctl:VLAN_GET", 0xC0554F01, bytes(85), port_map(9), {}),
    ("8021q show", "ioctl:8021Q_GET", 0xC0184F03, bytes(24), dot1q(), {}),
    ("dmz on anything 7", "ioctl:DMZ_CONFIG", 0x40044F02, pack("i", 1), "", {"dmz": "on"}),
    ("dmz off", "ioctl:DMZ_CONFIG", 0x40044F02, pack("i", 0), "", {"dmz": "off"}),
    ("reg show 259 65794 260", "ioctl:REG_GET", REG, pack("BHB", 3, 258, 4), "", {}),
    ("mib get 11", "ioctl:MIB_GET", MIB, pack("H152x", 11), lambda box: mib_report(box, 11), {}),
    ("tx enable ' +3x'", "ioctl:PORT_CONFIG", PORT, pack("ii", 1, 3), "", {"tx.3": "on"}),
    ("tx disable 11", "ioctl:PORT_CONFIG", PORT, pack("ii", 2, 11), "", {"tx.11": "off"}),
    ("rx enable abc", "ioctl:PORT_CONFIG", PORT, pack("ii", 3, 0), "", {"rx.0": "on"}),
    ("rx disable 7", "ioctl:PORT_CONFIG", PORT, pack("ii", 4, 7), "", {"rx.7": "off"}),
    ("arl get", "ioctl:ARL_GET", 0xC0004F07 | (POINTER + 4) << 16, ARL_RECORD, "", {}),
    ("reset mibs", "RST_MIBS", 0x00004F09, b"", "", {}),
    ("portvlan fwdenable 3 3", "PORT_VLAN_CONFIG", FWD, pack("hhi", 3, 3, 1), "", {"forward.3": "0 1 2 3 4 5 6 7 8"}),
    ("portvlan fwddisable 65537 -65531", "PORT_VLAN_CONFIG", FWD, pack("hhi", 1, 5, 0), "",
     {"forward.1": "0 2 3 4 6 7 8"}),
    ("8021q enable", "8021Q_ENABLE", 0x00004F15, b"", "", {"8021q": "on"}),
    ("8021q disable", "8021Q_DISABLE", 0x00004F16, b"", "", {"8021q": "off"}),
    ("bpdu enable", "BPDU_CONFIG", 0xC0044F11, pack("i", 1), "", {"bpdu": "on"}),
    ("bpdu disable", "BPDU_CONFIG", 0xC0044F11, pack("i", 0), "", {"bpdu": "off"}),
    ("mgmt disable", "MGMT_CONFIG", 0x40044F0A, pack("i", 0), "", {"mgmt": "off"}),
]


@pytest.mark.parametrize("words,name,code,record,report,change", ROWS, ids=[r[0] for r in ROWS])
def test_row(box, words, name, code, record, report, change):
    box.run("switch", "fail-next", "ENOSPC", check=True)  # for the next request only
    r = bcm(box, words)  # a failed request prints its message only, changing nothing
    failure = re.sub("^(ioctl:)?", r"\1BCM_IOCTL_", name) + " failed\n"
    assert (r.stdout, r.stderr, r.returncode) == (failure, "", 255)
    assert box.file("switch.state").read_text() == box.power_on
    r = bcm(box, words)
    assert (r.stdout, r.stderr, r.returncode) == (report(box) if callable(report) else report, "", 0)
    assert_requests(box, code, record, ["ENOSPC", "ok"])
    assert box.file("switch.state").read_text() == state(box, change)  # as the sandbox writes


# Numbers: by the router's strtol (ROWS: junk, sign, width, extras), base 10,
# unchecked: the driver judges. Beyond 32 bits a word saturates, on either CPU,
# rather than wrapping to port 1.
@pytest.mark.parametrize("words,code,record,outcome", [
    ("tx enable 8", PORT, pack("ii", 1, 8), "EINVAL"),
    ("mib get 9", MIB, pack("H152x", 9), "EINVAL"),
    ("reg show 3 0x0102 8", REG, pack("BHB", 3, 0, 8), "ok"),
    ("tx disable 4294967297", PORT, pack("ii", 2, 2**31 - 1), "EINVAL"),
])
def test_numeric_arguments(box, words, code, record, outcome):
    r = bcm(box, words)
    assert (r.returncode, r.stdout.endswith(" failed\n")) == ((0, False) if outcome == "ok" else (255, True))
    assert_requests(box, code, record, [outcome])
    assert box.file("switch.state").read_text() == box.power_on


# Too few words or unknown ones: usage, the device never opened; too few
# numbers: usage after opening it, without a request.
@pytest.mark.parametrize("words,opens", [(w, False) for w in ("vlan", "vlan list", "VLAN show", "reset mib", "mgmt enable")]
                         + [(w, True) for w in ("mib get", "tx enable", "tx disable", "rx enable", "rx disable",
                                                "reg show 3 258", "portvlan fwdenable 1", "portvlan fwddisable 1")])
def test_usage(box, words, opens):
    r = bcm(box, words)
    assert (r.stdout, r.stderr, r.returncode) == (USAGE, "", 255)
    assert box.file("switch.log").read_text() == ""
    node = box.file("dev/bcm53xx")
    node.rename(box.file("away"))
    r = bcm(box, words)
    box.file("away").rename(node)
    failed = ("", "unable to open /dev/bcm53xx: No such file or directory\n")
    assert (r.stdout, r.stderr, r.returncode) == (failed if opens else (USAGE, "")) + (255,)


# At most the 9 by 9 matrix, whatever N says; a port's own column never shows.
# The ARL table: lower case, no leading zeros, 64 bits; only the 255 entries
# the buffer holds are read.
ARL = [0xAB << k % 57 for k in range(300)]


@pytest.mark.parametrize("words,changes,extra,report", [
    *[("vlan show", {"ports": n, "forward.0": 0}, "", port_map(min(max(n, 0), 9), empty=[0])) for n in (-3, 1, 12)],
    *[("arl get", {}, "".join(f"arl {e:#x}\n" for e in ARL[:n]),
       "".join(f"ARL[{k}]: {e:#x}\n" for k, e in enumerate(ARL[:min(n, 255)]))) for n in (0, 1, 255, 300)],
    ("8021q show", {"8021q": "on", "vlanctl.0": "0x05", "vlanctl.5": "0xAB", "vid.0": "0x123", "vid.4": -1, "vid.8": 4095},
     "", dot1q({0: 85, 5: "AB"}, {0: 123, 4: "FFFFFFFF", 8: "FFF"}))])  # 802.1Q on: bit 7 of register 0
def test_reports(box, words, changes, extra, report):
    box.file("switch.state").write_text(state(box, changes, extra))
    assert bcm(box, words).stdout == report


def test_mib_counters_and_their_reset(box):
    # A distinct value in every counter finds a field out of place.
    values = {name: (2**32 + k if name.endswith("Octets") and "Pkts" not in name else 1000003 * k)
              for k, name in enumerate(mib_names(box), 1)}
    values["TxDropPkts"], values["RxGoodOctets"] = 2**32 - 1, 2**64 - 1
    box.file("switch.state").write_text(state(box, {f"mib.2.{name}": v for name, v in values.items()}))
    assert bcm(box, "mib get 65538").stdout == mib_report(box, 2, values)  # its 16 bits: port 2, as read back
    assert bcm(box, "reset mibs").returncode == 0
    assert bcm(box, "mib get 2").stdout == mib_report(box, 2)


def test_sandbox_switch_commands(box):
    assert "cannot set vid.9" in box.run("switch", "set", "vid.9", "1").stderr
    box.run("switch", "set", "ports", "2", check=True)
    box.run("switch", "arl", "2", check=True)
    box.run("switch", "traffic", "2", "3", "--size", "512", check=True)
    assert bcm(box, "vlan show").stdout == port_map(2)
    assert bcm(box, "arl get").stdout == "ARL[0]: 0x8001020000000000\nARL[1]: 0x8001020000000001\n"
    grown = {**dict.fromkeys(["TxOctets", "RxOctets", "RxGoodOctets"], 1536),
             **dict.fromkeys(["TxUnicastPkts", "RxUniCastPkts", "Pkts512to1023Octets"], 3)}
    assert bcm(box, "mib get 2").stdout == mib_report(box, 2, grown)
