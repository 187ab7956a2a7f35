"""ledTog in the sandboxed router: argument checks, one LED request, and the
wait for the system logger when the Test LED goes off."""

import subprocess
import time

import pytest

from conftest import BIN

USAGE = ("Usage: ledToggle <ledState> <ledNumber>\n"
         "\tledState  : 1-ON 0-OFF\n"
         "\tledNumber : 1-DMZ 2-WAN1 3-WAN2 4-Test\n"
         "\n")


@pytest.fixture
def box(module_sim):
    return module_sim


def led_events(sim):
    """The driver's request log as (LED, "on"|"off") pairs."""
    text = sim.file("led.log").read_text() if sim.file("led.log").exists() else ""
    return [tuple(line.split()[1:]) for line in text.splitlines()]


def led_states(sim):
    return dict(line.split() for line in sim.file("leds").read_text().splitlines())


@pytest.mark.parametrize("state,led", [("0", "1"), ("1", "1"), ("0", "4"), ("1", "4"),
                                       ("0", "11"), ("1", "11")])
def test_accepted_words_issue_one_request(box, state, led):
    before = led_events(box)
    r = box.exec("ledTog", state, led)
    word = "ON" if state == "1" else "OFF"
    assert (r.returncode, r.stdout) == (0, f"toggle led {led} to {word}\n")
    assert led_events(box)[len(before):] == [(led, word.lower())]
    assert led_states(box)[led] == word.lower()


@pytest.mark.parametrize("words", [
    [], ["1"],                      # words missing
    ["1", "0"], ["1", "12"], ["1", "-1"], ["1", "led"],
    ["1", "4294967297"],            # beyond 32 bits: saturates, never wraps to LED 1
    ["2", "4"], ["-1", "4"],
    ["1", "4", "1"],                # three words, the first two valid
])
def test_refused_words_print_usage_and_touch_nothing(box, words):
    before, states = led_events(box), led_states(box)
    r = box.exec("ledTog", *words)
    assert (r.returncode, r.stdout) == (255, USAGE)
    assert led_events(box) == before and led_states(box) == states


def test_state_word_without_digits_switches_off(box):
    box.exec("ledTog", "1", "3", check=True)
    r = box.exec("ledTog", "on", "3")
    assert (r.returncode, r.stdout) == (0, "toggle led 3 to OFF\n")
    assert led_events(box)[-1] == ("3", "off") and led_states(box)["3"] == "off"


def test_device_that_cannot_be_opened(sim):
    sim.file("dev/led_dev").unlink()
    r = sim.exec("ledTog", "1", "2")
    assert (r.returncode, r.stdout) == (255, "can't open device led_dev\n")


def timed(sim, *words):
    start = time.monotonic()
    r = sim.exec("ledTog", *words, timeout=30)
    assert r.returncode == 0
    return time.monotonic() - start


def test_test_led_off_returns_at_once_while_the_logger_runs(sim):
    assert sim.file("var/run/metalog.pid").exists()
    baseline = timed(sim, "1", "4")
    assert timed(sim, "0", "4") - baseline < 1.5  # a sleep would take 2 s


@pytest.mark.parametrize("words", [["1", "4"], ["0", "1"]])
def test_no_wait_without_the_logger_for_other_requests(sim, words):
    sim.file("var/run/metalog.pid").unlink()
    timed(sim, *words)  # a wait would never end: the file does not come back


def test_test_led_off_waits_for_the_logger(sim):
    pid_file = sim.file("var/run/metalog.pid")
    pid = pid_file.read_text()
    pid_file.unlink()
    waiting = subprocess.Popen([str(BIN / "zezarur-sim"), "exec", "ledTog", "0", "4"],
                               env=sim.env, stdout=subprocess.DEVNULL, stdin=subprocess.DEVNULL)
    try:
        time.sleep(3)
        assert waiting.poll() is None, "returned without the logger's pid file"
        assert led_events(sim)[-1] == ("4", "off")  # the LED went dark before the wait
        pid_file.write_text(pid)
        appeared = time.monotonic()
        assert waiting.wait(timeout=10) == 0
        assert time.monotonic() - appeared < 4.0  # checked every 2 s; loose on a busy machine
    finally:
        if waiting.poll() is None:
            waiting.kill()
            waiting.wait()
