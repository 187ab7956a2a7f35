"""fReset in the sandbox: a press flashes the Test LED through ledTog, restores
the defaults and reboots; the log tells where a failure stopped it."""

import pytest

from conftest import wait_for

SERIES = [["4", "off"], ["4", "on"]] * 20


@pytest.mark.parametrize("setup, start_status, press, leds, calls, logged", [
    ([], 0, [], SERIES, ["cfg R", "reboot"], "Now doing factory defaults"),
    ([], 0, ["fail"], [], [], "failed to check factory default press"),
    ([["standin", "cfg", "--exit", "1"]], 0, [], SERIES, ["cfg R"], "Now doing factory defaults"),
    ([["rm"]], 255, None, [], [], "can't open device /dev/fac_dev"),
], ids=["reset", "press_check_fails", "restore_fails", "no_device"])
def test_watcher(sim, setup, start_status, press, leds, calls, logged):
    for words in setup:
        sim.file("dev/fac_dev").unlink() if words == ["rm"] else sim.run(*words, check=True)
    assert sim.sh("fReset > /var/log/freset.out 2>&1").returncode == start_status
    if press is not None:
        sim.run("press", *press, check=True)
        wait_for(lambda: sim.sh("pgrep -x fReset").returncode, "the watcher to end")
    # musl names no program before openlog, and fReset opens no log
    assert wait_for(lambda: sim.log(("fReset", "")), "fReset's log") == [("info", logged)]
    led_log = sim.file("led.log").read_text().split() if sim.file("led.log").exists() else []
    assert [list(e) for e in zip(led_log[1::3], led_log[2::3])] == leds
    assert [line.split(" ", 1)[1] for line in sim.run("calls").stdout.splitlines()] == calls
