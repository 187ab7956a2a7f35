"""fReset in the sandboxed router: a press of the factory-default button
flashes the Test LED, restores the defaults and reboots; each failure stops
the reset where it happens."""

import time

import pytest

CYCLES = 20
DARK = 0.050

# Lets every call through to the real applet but makes the last switch-on of
# the Test LED fail, as a broken LED driver would.
FAIL_LAST_ON = f"""#!/bin/sh
if [ "$*" = "1 4" ]; then
    echo >> /var/tmp/on-calls
    [ "$(wc -l < /var/tmp/on-calls)" -eq {CYCLES} ] && exit 1
fi
exec "$ZEZARUR_SIM/bin/ledTog" "$@"
"""


def wait_for(condition, timeout=60.0, what="condition"):
    deadline = time.monotonic() + timeout
    while not condition():
        assert time.monotonic() < deadline, f"timed out waiting for {what}"
        time.sleep(0.05)


def watcher_running(sim):
    return sim.exec("pgrep", "-x", "fReset").returncode == 0


def start_watcher(sim, path_prefix=""):
    """Starts fReset as the firmware does; returns the starting process's status."""
    r = sim.sh(f"{path_prefix}fReset > /var/log/freset.out 2>&1")
    return r.returncode


def press(sim, *outcome):
    sim.run("press", *outcome, check=True)
    wait_for(lambda: not watcher_running(sim), what="the watcher to end")


def log_has(sim, text):
    return text in sim.run("log").stdout


def led_events(sim):
    """(seconds, LED, "on"|"off") for every LED request."""
    log = sim.file("led.log")
    lines = log.read_text().splitlines() if log.exists() else []
    return [(float(t), led, state) for t, led, state in (l.split() for l in lines)]


def calls(sim):
    """(seconds, command line) for every call of a firmware command."""
    return [(float(t), line) for t, line in
            (l.split(" ", 1) for l in sim.run("calls").stdout.splitlines())]


def led_state(sim, led):
    return dict(l.split() for l in sim.file("leds").read_text().splitlines())[led]


def test_press_flashes_the_test_led_restores_and_reboots(sim):
    assert start_watcher(sim) == 0  # the starting process ends once detached
    press(sim)

    events = led_events(sim)
    assert [(led, state) for _, led, state in events] == [("4", "off"), ("4", "on")] * CYCLES
    times = [t for t, _, _ in events]
    dark = [on - off for off, on in zip(times[0::2], times[1::2])]
    assert min(dark) >= DARK
    # Each dark phase is the sleep plus starting one short command: loose bound.
    assert sorted(dark)[CYCLES // 2] < DARK + 0.5
    assert times[-1] - times[0] >= CYCLES * DARK
    assert led_state(sim, "4") == "on"

    made = calls(sim)
    assert [line for _, line in made] == ["cfg R", "reboot"]
    assert times[-1] <= made[0][0] <= made[1][0]
    wait_for(lambda: log_has(sim, "Now doing factory defaults"), 10, "the log line")

    timeline = sim.run("leds", "--timeline").stdout.splitlines()
    assert len(timeline) == 2 * CYCLES and timeline[-1].split()[3:5] == ["4", "on"]
    assert sum("dark" in line for line in timeline) == CYCLES


def test_refused_press_check_ends_before_any_led_request(sim):
    assert start_watcher(sim) == 0
    press(sim, "fail")
    wait_for(lambda: log_has(sim, "failed to check factory default press"), 10, "the log line")
    assert led_events(sim) == [] and calls(sim) == []


def test_failing_restore_is_logged_and_does_not_reboot(sim):
    sim.run("standin", "cfg", "--exit", "1", check=True)
    assert start_watcher(sim) == 0
    press(sim)
    assert [line for _, line in calls(sim)] == ["cfg R"]
    wait_for(lambda: log_has(sim, "Now doing factory defaults"), 10, "the log line")


def test_failing_last_led_on_leaves_the_configuration(sim):
    wrapper = sim.file("var/tmp/wrap/ledTog")  # /var/tmp/wrap inside
    wrapper.parent.mkdir()
    wrapper.write_text(FAIL_LAST_ON)
    wrapper.chmod(0o755)
    assert start_watcher(sim, "PATH=/var/tmp/wrap:$PATH ") == 0
    press(sim)
    events = [(led, state) for _, led, state in led_events(sim)]
    assert events.count(("4", "off")) == CYCLES and events.count(("4", "on")) == CYCLES - 1
    assert calls(sim) == []
    assert not log_has(sim, "Now doing factory defaults")


def test_missing_device_is_reported_before_detaching(sim):
    sim.file("dev/fac_dev").unlink()
    assert start_watcher(sim) == 255  # failed in the starting process itself
    assert not watcher_running(sim)
    wait_for(lambda: log_has(sim, "can't open device /dev/fac_dev"), 10, "the log line")
