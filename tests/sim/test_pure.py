"""The sandbox's pure parts, without a sandbox: ISP profile words, the LED
timeline, the flash image's size and the interface numbers."""

import re
import sys
from pathlib import Path

import pytest

SRC = Path(__file__).resolve().parents[2]
sys.path.insert(0, str(SRC / "sim"))
from zezarur_sim import core, devices, isp, plan  # noqa: E402


@pytest.mark.parametrize("words, full", [
    ("pptp,bigpond,pppoe", "pppoe,bigpond=bigpond.example,own-only,pptp"),  # the rest: test_net
    ("own-only,spoof", "own-only and spoof exclude each other"),
    ("none,pppoe", "'none' stands alone"),
    ("dhcp=", "empty domain name"),
    ("pptp=1", "takes no value"),
    ("cable", "unknown ISP profile"),
])
def test_isp_profile_words(words, full):
    try:
        assert isp.profile_text(isp.parse_profile(words)) == full
    except core.SimError as e:
        assert full in str(e)


def test_led_timeline_in_ms_with_dark_phases():
    log = "100.000000 4 off\n100.050000 4 on\n100.060000 2 on\n"
    assert devices.led_timeline(log) == (
        "       0.0 ms  LED  4 off\n"
        "      50.0 ms  LED  4 on   dark 50.0 ms\n"
        "      60.0 ms  LED  2 on\n")


def test_flash_image_holds_the_stores_blocks_exactly():
    layout = (SRC / "src/sffs/sffs_layout.hpp").read_text()
    shift, count = (int(re.search(rf"\b{name} = (\d+);", layout)[1]) for name in ("blockShift", "blockCount"))
    assert plan.FLASH_SIZE == count << shift


def test_sandbox_maps_the_interface_numbers_the_applets_use():
    header = (SRC / "src/devices/interfaces.hpp").read_text()
    first = lambda role: int(re.search(rf"{role}Interfaces?(\[\])? = {{?(\d+)", header).group(2))
    assert plan.IFMAP == {first(role): f"{role}0" for role in ("lan", "dmz", "wan")}
