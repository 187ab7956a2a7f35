"""The host program: applet by name or by link, exit status, unknown applets."""

import subprocess

from conftest import APPLETS, BIN


def host(*argv, name="zezarur"):
    return subprocess.run([str(BIN / name), *argv], text=True, capture_output=True)


def test_list_names_the_applets_present():
    listed = host("--list").stdout.split()
    assert "ledTog" in listed
    assert set(listed) <= set(APPLETS)


def test_unknown_applet():
    r = host("nosuch")
    assert r.returncode == 127 and r.stderr == "zezarur: no applet named 'nosuch'\n"


def test_applet_by_argument_and_by_link_agree():
    a, b = host("ledTog", "9"), host("9", name="ledTog")
    assert a.stdout == b.stdout and a.stdout.startswith("Usage: ledToggle")
    assert a.returncode == b.returncode == 255  # -1, low byte
