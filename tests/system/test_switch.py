"""The bcm command against the simulated switch: every row of its table,
its reports, its usage text and its failures, with each device request
checked in the driver's log."""

import struct

import pytest

from conftest import Sim

POINTER = struct.calcsize("P")
ARL_CODE = 0xC0004F07 | (POINTER + 4) << 16
STARS = "*" * 61
MIB_ORDER = """TxOctets TxDropPkts TxBroadcastPkts TxMulticastPkts TxUnicastPkts TxCollisions
TxSingleCollisions TxMultipleCollisions TxDeferredTransmit TxLateCollision TxExcessiveCollision
TxFrameInDisc TxPausePkts RxOctets RxUndersizePkts RxPausePkts RxOversizePkts RxJabbers
RxAlignmentErrors RxFcsErrors RxGoodOctets RxDropPkts RxUniCastPkts RxMultiCastPkts
RxBroadcastPkts RxSAChanges RxFragments RxExcessSizeDisc RxSymbolError Pkts64Octets
Pkts65to127Octets Pkts128to255Octets Pkts256to511Octets Pkts512to1023Octets
Pkts1024to1522Octets""".split()
USAGE = [STARS, "Usage:"] + ["bcm " + line for line in (
    "vlan show", "8021q show", "dmz on/off", "arl get", "reg show [page] [addr] [bytes]",
    "mib get [portnum(0-8)(11-gigeport)]", "tx/rx enable/disable [portnum(0-7)(11-gigeport)]",
    "portvlan fwdenable/fwddisable [port] [egressport]", "reset mibs", "8021q enable",
    "8021q disable", "bpdu enable", "bpdu disable", "mgmt disable")] + [STARS]
USAGE_TEXT = "\n".join(USAGE) + "\n"


def port_map(targets):
    return "".join(f"port{i} forwarding to " + "".join(f"{j} " for j in t) + "\n"
                   for i, t in enumerate(targets))


FULL_MAP = port_map([[j for j in range(9) if j != i] for i in range(9)])
DOT1Q = "".join(f"VLAN Control Register {r}: 0x0\n" for r in range(6)) + \
        "".join(f"port{p} vlan id: 0x01\n" for p in range(9))


def mib_report(port, values=None):
    values = values or {}
    lines = [f"Mib counters for port{port}", STARS]
    lines += [f"{name:<20} - {values.get(name, 0)}" for name in MIB_ORDER] + [STARS]
    return "\n".join(lines) + "\n"


def i32(*v):
    return struct.pack(f"={len(v)}i", *v)


@pytest.fixture(scope="module")
def router(tmp_path_factory):
    s = Sim(tmp_path_factory.mktemp("switch") / "state")
    s.start()
    s.power_on = s.file("switch.state").read_text()
    yield s
    s.stop()


@pytest.fixture
def sim(router):
    """The module's sandbox with a switch just powered on and an empty log."""
    router.file("switch.state").write_text(router.power_on)
    router.file("switch.log").write_text("")
    router.file("switch.fault").unlink(missing_ok=True)
    return router


def bcm(sim, words):
    return sim.exec("bcm", *words.split(" "))


def requests(sim):
    """The logged requests as (code, record bytes, outcome)."""
    out = []
    for line in sim.file("switch.log").read_text().splitlines():
        code, record, outcome = line.split()
        out.append((int(code, 16), b"" if record == "-" else bytes.fromhex(record), outcome))
    return out


def state(sim, key):
    for line in sim.file("switch.state").read_text().splitlines():
        words = line.split()
        if words and words[0] == key:
            return " ".join(words[1:])
    return None


# words, report, code, record sent, failure text, (state key, value) after
ROWS = [
    ("vlan show", FULL_MAP, 0xC0554F01, bytes(85), "ioctl:BCM_IOCTL_VLAN_GET failed", None),
    ("8021q show", DOT1Q, 0xC0184F03, bytes(24), "ioctl:BCM_IOCTL_8021Q_GET failed", None),
    ("dmz on", "", 0x40044F02, i32(1), "ioctl:BCM_IOCTL_DMZ_CONFIG failed", ("dmz", "on")),
    ("dmz off", "", 0x40044F02, i32(0), "ioctl:BCM_IOCTL_DMZ_CONFIG failed", ("dmz", "off")),
    ("reg show 3 258 4", "", 0x40044F04, struct.pack("=BHB", 3, 0x0102, 4),
     "ioctl:BCM_IOCTL_REG_GET failed", None),
    ("mib get 11", mib_report(11), 0xC09A4F05, struct.pack("=H", 11) + bytes(152),
     "ioctl:BCM_IOCTL_MIB_GET failed", None),
    ("tx enable 3", "", 0xC0084F06, i32(1, 3), "ioctl:BCM_IOCTL_PORT_CONFIG failed", ("tx.3", "on")),
    ("tx disable 11", "", 0xC0084F06, i32(2, 11), "ioctl:BCM_IOCTL_PORT_CONFIG failed",
     ("tx.11", "off")),
    ("rx enable 0", "", 0xC0084F06, i32(3, 0), "ioctl:BCM_IOCTL_PORT_CONFIG failed", ("rx.0", "on")),
    ("rx disable 7", "", 0xC0084F06, i32(4, 7), "ioctl:BCM_IOCTL_PORT_CONFIG failed",
     ("rx.7", "off")),
    ("arl get", "", ARL_CODE, None, "ioctl:BCM_IOCTL_ARL_GET failed", None),
    ("reset mibs", "", 0x00004F09, b"", "BCM_IOCTL_RST_MIBS failed", None),
    ("portvlan fwdenable 3 3", "", 0xC0084F14, struct.pack("=hhi", 3, 3, 1),
     "BCM_IOCTL_PORT_VLAN_CONFIG failed", ("forward.3", "0 1 2 3 4 5 6 7 8")),
    ("portvlan fwddisable 1 5", "", 0xC0084F14, struct.pack("=hhi", 1, 5, 0),
     "BCM_IOCTL_PORT_VLAN_CONFIG failed", ("forward.1", "0 2 3 4 6 7 8")),
    ("8021q enable", "", 0x00004F15, b"", "BCM_IOCTL_8021Q_ENABLE failed", ("8021q", "on")),
    ("8021q disable", "", 0x00004F16, b"", "BCM_IOCTL_8021Q_DISABLE failed", ("8021q", "off")),
    ("bpdu enable", "", 0xC0044F11, i32(1), "BCM_IOCTL_BPDU_CONFIG failed", ("bpdu", "on")),
    ("bpdu disable", "", 0xC0044F11, i32(0), "BCM_IOCTL_BPDU_CONFIG failed", ("bpdu", "off")),
    ("mgmt disable", "", 0x40044F0A, i32(0), "BCM_IOCTL_MGMT_CONFIG failed", ("mgmt", "off")),
]
ROW_IDS = [r[0] for r in ROWS]


def assert_one_request(sim, code, record, outcome):
    [(got_code, got_record, got_outcome)] = requests(sim)
    assert (hex(got_code), got_outcome) == (hex(code), outcome)
    if record is None:  # the ARL request: the entry buffer's address, count left 0
        assert len(got_record) == POINTER + 4 and got_record[POINTER:] == bytes(4)
        assert int.from_bytes(got_record[:POINTER], "little") != 0
    else:
        assert got_record.hex() == record.hex()


def test_the_table_has_every_row():
    assert len(ROWS) == 19 and len({(r[2], r[3]) for r in ROWS}) == 19


@pytest.mark.parametrize("words,report,code,record,failure,change", ROWS, ids=ROW_IDS)
def test_row_reports_and_sends_one_request(sim, words, report, code, record, failure, change):
    r = bcm(sim, words)
    assert (r.stdout, r.stderr, r.returncode) == (report, "", 0)
    assert_one_request(sim, code, record, "ok")
    if change:
        assert state(sim, change[0]) == change[1]


@pytest.mark.parametrize("words,report,code,record,failure,change", ROWS, ids=ROW_IDS)
def test_row_failure_prints_its_message_only(sim, words, report, code, record, failure, change):
    sim.run("switch", "fail-next", check=True)
    r = bcm(sim, words)
    assert (r.stdout, r.stderr, r.returncode) == (failure + "\n", "", 255)
    assert_one_request(sim, code, record, "EIO")
    assert sim.file("switch.state").read_text() == sim.power_on


REFUSED = [
    ("mib get 9", "ioctl:BCM_IOCTL_MIB_GET failed", 0xC09A4F05, struct.pack("=H", 9) + bytes(152)),
    ("mib get -1", "ioctl:BCM_IOCTL_MIB_GET failed", 0xC09A4F05,
     struct.pack("=H", 0xFFFF) + bytes(152)),
    ("tx enable 8", "ioctl:BCM_IOCTL_PORT_CONFIG failed", 0xC0084F06, i32(1, 8)),
    ("rx disable 12", "ioctl:BCM_IOCTL_PORT_CONFIG failed", 0xC0084F06, i32(4, 12)),
    ("portvlan fwdenable 9 1", "BCM_IOCTL_PORT_VLAN_CONFIG failed", 0xC0084F14,
     struct.pack("=hhi", 9, 1, 1)),
    ("reg show 3 258 0", "ioctl:BCM_IOCTL_REG_GET failed", 0x40044F04,
     struct.pack("=BHB", 3, 258, 0)),
]


@pytest.mark.parametrize("words,message,code,record", REFUSED, ids=[r[0] for r in REFUSED])
def test_driver_refuses_ports_it_lacks(sim, words, message, code, record):
    r = bcm(sim, words)
    assert (r.stdout, r.returncode) == (message + "\n", 255)
    assert_one_request(sim, code, record, "EINVAL")


# Arguments: decimal by strtol, no check, cut to the field's width; extras ignored.
@pytest.mark.parametrize("words,code,record", [
    ("tx enable abc", 0xC0084F06, i32(1, 0)),
    ("rx enable +5x", 0xC0084F06, i32(3, 5)),
    ("tx disable 0x0b", 0xC0084F06, i32(2, 0)),
    ("reg show 259 65538 260", 0x40044F04, struct.pack("=BHB", 3, 2, 4)),
    ("reg show 3 0x0102 4", 0x40044F04, struct.pack("=BHB", 3, 0, 4)),
    ("portvlan fwddisable 65537 -65531", 0xC0084F14, struct.pack("=hhi", 1, 5, 0)),
    ("dmz on anything 7", 0x40044F02, i32(1)),
    ("mgmt disable 1", 0x40044F0A, i32(0)),
])
def test_numeric_arguments(sim, words, code, record):
    r = bcm(sim, words)
    assert r.returncode == 0, r.stdout
    assert_one_request(sim, code, record, "ok")


def test_leading_blank_is_accepted(sim):
    r = sim.exec("bcm", "tx", "disable", " 4")
    assert r.returncode == 0
    assert_one_request(sim, 0xC0084F06, i32(2, 4), "ok")


def test_mib_port_is_read_back_from_the_record(sim):
    r = bcm(sim, "mib get 65547")  # 65547 cut to 16 bits is 11
    assert (r.stdout, r.returncode) == (mib_report(11), 0)
    assert_one_request(sim, 0xC09A4F05, struct.pack("=H", 11) + bytes(152), "ok")


@pytest.mark.parametrize("argv", [[], ["vlan"], ["vlan", "list"], ["VLAN", "show"],
                                  ["vlan", "SHOW"], ["show", "vlan"], ["reset", "mib"],
                                  ["8021Q", "show"], ["dmz", ""]],
                         ids=lambda a: " ".join(a) or "none")
def test_usage_without_touching_the_device(sim, argv):
    r = sim.exec("bcm", *argv)
    assert (r.stdout, r.stderr, r.returncode) == (USAGE_TEXT, "", 255)
    assert requests(sim) == []


MISSING = ["mib get", "tx enable", "tx disable", "rx enable", "rx disable",
           "reg show 3 258", "reg show", "portvlan fwdenable 1", "portvlan fwddisable"]


@pytest.mark.parametrize("words", MISSING)
def test_missing_numbers_give_usage_after_opening(sim, words):
    r = bcm(sim, words)
    assert (r.stdout, r.stderr, r.returncode) == (USAGE_TEXT, "", 255)
    assert requests(sim) == []


@pytest.fixture
def no_device(sim):
    node = sim.file("dev/bcm53xx")
    node.rename(node.with_name("bcm53xx.away"))
    yield sim
    node.with_name("bcm53xx.away").rename(node)


OPEN_FAILED = "unable to open /dev/bcm53xx: No such file or directory\n"


@pytest.mark.parametrize("words", ["vlan show", "reset mibs", "mib get", "reg show 1 2"])
def test_device_that_cannot_be_opened(no_device, words):
    # The argument count is checked only once the device is open.
    r = bcm(no_device, words)
    assert (r.stdout, r.stderr, r.returncode) == ("", OPEN_FAILED, 255)


def test_unknown_words_never_open_the_device(no_device):
    r = bcm(no_device, "VLAN show")
    assert (r.stdout, r.stderr, r.returncode) == (USAGE_TEXT, "", 255)


def test_forwarding_disabled_between_two_ports(sim):
    assert bcm(sim, "portvlan fwddisable 1 5").returncode == 0
    lines = bcm(sim, "vlan show").stdout.splitlines()
    assert lines[1] == "port1 forwarding to 0 2 3 4 6 7 8 "
    assert lines[5] == "port5 forwarding to 0 1 2 3 4 6 7 8 "  # one way only
    assert bcm(sim, "portvlan fwdenable 1 5").returncode == 0
    assert bcm(sim, "vlan show").stdout == FULL_MAP


@pytest.mark.parametrize("ports,lines", [(0, 0), (-3, 0), (1, 1), (9, 9), (12, 9), (2**31 - 1, 9)])
def test_forwarding_map_size(sim, ports, lines):
    # A map never has more than its 9 by 9 matrix, whatever N says.
    sim.run("switch", "set", "ports", str(ports), check=True)
    sim.run("switch", "set", "forward.0", "-", check=True)
    r = bcm(sim, "vlan show")
    shown = min(ports, 9) if ports > 0 else 0
    expected = port_map([[] if i == 0 else [j for j in range(shown) if j != i]
                         for i in range(shown)])
    assert (r.stdout, r.returncode) == (expected, 0) and len(r.stdout.splitlines()) == lines


def test_own_column_is_never_printed(sim):
    sim.run("switch", "set", "forward.2", "2", "7", check=True)
    assert bcm(sim, "vlan show").stdout.splitlines()[2] == "port2 forwarding to 7 "


def test_8021q_report_values(sim):
    for key, value in [("vlanctl.0", "0x05"), ("vlanctl.5", "0xAB"), ("vid.0", "0x123"),
                       ("vid.4", "-1"), ("vid.8", "4095")]:
        sim.run("switch", "set", key, value, check=True)
    assert bcm(sim, "8021q enable").returncode == 0
    lines = bcm(sim, "8021q show").stdout.splitlines()
    assert len(lines) == 15
    assert lines[0] == "VLAN Control Register 0: 0x85"  # bit 7: 802.1Q on
    assert lines[5] == "VLAN Control Register 5: 0xAB"
    assert lines[6] == "port0 vlan id: 0x123"
    assert lines[10] == "port4 vlan id: 0xFFFFFFFF"  # signed 16-bit, widened
    assert lines[14] == "port8 vlan id: 0xFFF"


def test_mib_counters_and_their_reset(sim):
    values = {"TxOctets": 5000000000, "TxDropPkts": 4294967295,
              "RxGoodOctets": 2**64 - 1, "Pkts1024to1522Octets": 7, "RxSymbolError": 3}
    for name, v in values.items():
        sim.run("switch", "set", f"mib.2.{name}", str(v), check=True)
    sim.run("switch", "traffic", "2", "10", "--size", "1000", check=True)
    sim.run("switch", "traffic", "11", "1", check=True)
    grown = dict(values, TxOctets=5000010000, RxOctets=10000, RxGoodOctets=9999,
                 TxUnicastPkts=10, RxUniCastPkts=10, Pkts512to1023Octets=10)
    r = bcm(sim, "mib get 2")
    assert (r.stdout, r.returncode) == (mib_report(2, grown), 0)
    for line in r.stdout.splitlines()[2:-1]:
        assert line[20:23] == " - " and len(line.split()[0]) <= 20
    assert bcm(sim, "mib get 11").stdout != mib_report(11)

    assert bcm(sim, "reset mibs").returncode == 0
    assert bcm(sim, "mib get 2").stdout == mib_report(2)
    assert bcm(sim, "mib get 11").stdout == mib_report(11)


def arl_value(k):
    return 0x8001_0000_0000_0000 | 0x0011_2233_0000 | k


@pytest.mark.parametrize("count", [0, 1, 255, 300])
def test_arl_table(sim, count):
    with open(sim.file("switch.state"), "a") as f:
        f.writelines(f"arl {arl_value(k):#x}\n" for k in range(count))
    r = bcm(sim, "arl get")
    # Only the 255 entries the buffer holds are ever read.
    expected = "".join(f"ARL[{k}]: 0x{arl_value(k):x}\n" for k in range(min(count, 255)))
    assert (r.stdout, r.returncode) == (expected, 0)


def test_arl_entries_in_lower_case_without_leading_zeros(sim):
    with open(sim.file("switch.state"), "a") as f:
        f.write("arl 0x00000000000000AB\narl 0\n")
    assert bcm(sim, "arl get").stdout == "ARL[0]: 0xab\nARL[1]: 0x0\n"


def test_made_up_arl_table(sim):
    sim.run("switch", "arl", "2", check=True)
    assert bcm(sim, "arl get").stdout == (
        "ARL[0]: 0x8001020000000000\nARL[1]: 0x8001020000000001\n")


def test_gigabit_port_transmit(sim):
    assert bcm(sim, "tx disable 11").returncode == 0
    assert (state(sim, "tx.11"), state(sim, "tx.7"), state(sim, "rx.11")) == ("off", "on", "on")


def test_driver_and_sandbox_write_the_same_state(sim):
    # The sandbox's power-on file is exactly what the driver writes back.
    assert bcm(sim, "dmz on").returncode == 0
    assert bcm(sim, "dmz off").returncode == 0
    assert sim.file("switch.state").read_text() == sim.power_on


def test_sandbox_switch_commands(sim):
    assert sim.run("switch", "show", "dmz", "ports").stdout == "ports 9\ndmz off\n"
    r = sim.run("switch", "set", "vid.9", "1")
    assert r.returncode == 1 and "cannot set vid.9" in r.stderr
    assert sim.run("switch", "set", "mib.3.TxDropPkts", str(2**32)).returncode == 1
    sim.run("switch", "fail-next", "ENOSPC", check=True)
    assert bcm(sim, "bpdu enable").returncode == 255
    assert bcm(sim, "bpdu enable").returncode == 0  # the fault fires once
    log = sim.run("switch", "log", check=True).stdout.splitlines()
    assert [l.split()[-1] for l in log] == ["ENOSPC", "ok"]
    assert sim.run("switch", "log", "--clear", check=True).stdout == ""
    assert sim.file("switch.log").read_text() == ""
