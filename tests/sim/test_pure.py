"""The sandbox's pure parts, without a sandbox: ISP profile words, switch
state lines, the LED timeline."""

import sys
from pathlib import Path

import pytest

sys.path.insert(0, str(Path(__file__).resolve().parents[2] / "sim"))
from zezarur_sim import core, devices  # noqa: E402

PLUGIN = {m.__name__: m for m in core.PLUGINS}


@pytest.mark.parametrize("words, full", [
    ("none", "none"),
    ("pppoe,pptp", "pppoe,pptp"),
    ("spoof", "dhcp=isp.example,spoof"),
    ("dhcp,bigpond=BIGPOND.x", "bigpond=BIGPOND.x,own-only"),
    ("pptp,bigpond,pppoe", "pppoe,bigpond=bigpond.example,own-only,pptp"),
    ("own-only,spoof", "own-only and spoof exclude each other"),
    ("none,pppoe", "'none' stands alone"),
    ("dhcp=", "empty domain name"),
    ("pptp=1", "takes no value"),
    ("cable", "unknown ISP profile"),
])
def test_isp_profile_words(words, full):
    net = PLUGIN["net"]
    try:
        assert net.profile_text(net.parse_profile(words)) == full
    except core.SimError as e:
        assert full in str(e)


@pytest.mark.parametrize("key, values, accepted", [
    ("dmz", ["on"], True), ("dmz", ["yes"], False), ("tx.11", ["off"], True),
    ("tx.8", ["off"], False), ("vid.8", ["-32768"], True), ("vid.9", ["1"], False),
    ("forward.3", ["0", "8"], True), ("forward.3", ["9"], False), ("forward.3", ["-"], True),
    ("mib.3.TxDropPkts", [str(2**32 - 1)], True), ("mib.3.TxDropPkts", [str(2**32)], False),
    ("mib.3.TxOctets", [str(2**64 - 1)], True), ("mib.3.NoSuch", ["1"], False),
    ("ports", ["1", "2"], False),
])
def test_switch_state_lines(key, values, accepted):
    assert (PLUGIN["switch"].check(key, values) is None) == accepted


def test_led_timeline_in_ms_with_dark_phases():
    log = "100.000000 4 off\n100.050000 4 on\n100.060000 2 on\n"
    assert devices.led_timeline(log) == (
        "       0.0 ms  LED  4 off\n"
        "      50.0 ms  LED  4 on   dark 50.0 ms\n"
        "      60.0 ms  LED  2 on\n")
