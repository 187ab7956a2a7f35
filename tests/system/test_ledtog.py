"""ledTog in the sandboxed router: argument checks, one LED request, and the
wait for the system logger when the Test LED goes off (its sleeps seen by
strace as they happen)."""

import subprocess
import time

import pytest

from conftest import BIN

USAGE = ("Usage: ledToggle <ledState> <ledNumber>\n"
         "\tledState  : 1-ON 0-OFF\n"
         "\tledNumber : 1-DMZ 2-WAN1 3-WAN2 4-Test\n"
         "\n")
PID = "var/run/metalog.pid"


def led_events(sim):
    log = sim.file("led.log")
    return [tuple(line.split()[1:]) for line in log.read_text().splitlines()] if log.exists() else []


@pytest.mark.parametrize("words, out", [
    (["0", "1"], "toggle led 1 to OFF\n"), (["1", "4"], "toggle led 4 to ON\n"),
    (["0", "4"], "toggle led 4 to OFF\n"), (["1", "11"], "toggle led 11 to ON\n"),
    (["on", "3"], "toggle led 3 to OFF\n"),  # a state without digits is 0
    ([], USAGE), (["1"], USAGE), (["1", "0"], USAGE), (["1", "12"], USAGE), (["1", "-1"], USAGE),
    (["1", "led"], USAGE), (["2", "4"], USAGE), (["-1", "4"], USAGE),
    (["1", "4294967297"], USAGE),  # beyond 32 bits: saturates, never wraps to LED 1
    (["1", "4", "1"], USAGE),      # three words, the first two valid
])
def test_one_request_or_the_usage(module_sim, words, out):
    before = len(led_events(module_sim))
    r = module_sim.exec("ledTog", *words)
    assert (r.returncode, r.stdout) == ((255, USAGE) if out == USAGE else (0, out))
    assert led_events(module_sim)[before:] == ([] if out == USAGE else [(words[1], out.split()[-1].lower())])


def traced(sim, *words):
    """ledTog WORDS started under strace (where LeakSanitizer cannot run),
    tracing its sleeps into /var/tmp/st as they happen; its own thread only,
    as an emulator's helper threads sleep too."""
    return subprocess.Popen(
        [str(BIN / "zezarur-sim"), "exec", "sh", "-c", "ASAN_OPTIONS=detect_leaks=0 strace -qq -e "
         f"trace=clock_nanosleep,nanosleep -o /var/tmp/st ledTog {' '.join(words)} >/dev/null"],
        env=sim.env, stdin=subprocess.DEVNULL)


def sleeps(sim):
    """The seconds of each sleep traced so far."""
    trace = sim.file("var/tmp/st")
    return [int(line.split("tv_sec=")[1].split(",")[0])
            for line in (trace.read_text().splitlines() if trace.exists() else []) if "tv_sec=" in line]


def run_traced(sim, *words):
    assert traced(sim, *words).wait(timeout=30) == 0
    return sleeps(sim)


def test_only_test_led_off_waits_and_only_for_a_missing_logger_pid_file(module_sim):
    assert run_traced(module_sim, "0", "4") == []
    module_sim.file(PID).rename(module_sim.file("var/tmp/pid"))
    try:
        assert run_traced(module_sim, "1", "4") == [] and run_traced(module_sim, "0", "1") == []
        # Without the logger's pid file it checks again every 2 s, until the file is back.
        proc = traced(module_sim, "0", "4")
        deadline = time.monotonic() + 30
        while not sleeps(module_sim) and time.monotonic() < deadline:
            time.sleep(0.05)
        assert proc.poll() is None and sleeps(module_sim)  # still waiting, having slept
    finally:
        module_sim.file("var/tmp/pid").rename(module_sim.file(PID))
    assert proc.wait(timeout=30) == 0 and set(sleeps(module_sim)) == {2}
