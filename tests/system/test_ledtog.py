"""ledTog in the sandboxed router: argument checks, one LED request, and the
wait for the system logger when the Test LED goes off (seen by strace)."""

import pytest

USAGE = ("Usage: ledToggle <ledState> <ledNumber>\n"
         "\tledState  : 1-ON 0-OFF\n"
         "\tledNumber : 1-DMZ 2-WAN1 3-WAN2 4-Test\n"
         "\n")
PID = "var/run/metalog.pid"


def led_events(sim):
    log = sim.file("led.log")
    return [tuple(line.split()[1:]) for line in log.read_text().splitlines()] if log.exists() else []


def led_states(sim):
    return dict(line.split() for line in sim.file("leds").read_text().splitlines())


@pytest.mark.parametrize("words", [["0", "1"], ["1", "4"], ["0", "4"], ["1", "11"], ["on", "3"]])
def test_accepted_words_issue_one_request(module_sim, words):
    before = led_events(module_sim)
    r = module_sim.exec("ledTog", *words)
    state, led = ("on" if words[0] == "1" else "off"), words[1]
    assert (r.returncode, r.stdout) == (0, f"toggle led {led} to {state.upper()}\n")
    assert led_events(module_sim)[len(before):] == [(led, state)]
    assert led_states(module_sim)[led] == state


@pytest.mark.parametrize("words", [
    [], ["1"], ["1", "0"], ["1", "12"], ["1", "-1"], ["1", "led"],
    ["1", "4294967297"],            # beyond 32 bits: saturates, never wraps to LED 1
    ["2", "4"], ["-1", "4"],
    ["1", "4", "1"],                # three words, the first two valid
])
def test_refused_words_print_usage_and_touch_nothing(module_sim, words):
    before, states = led_events(module_sim), led_states(module_sim)
    r = module_sim.exec("ledTog", *words)
    assert (r.returncode, r.stdout) == (255, USAGE)
    assert led_events(module_sim) == before and led_states(module_sim) == states


def sleeps(sim, *words, script=""):
    """ledTog WORDS under strace: its sleeps (seconds each)."""
    sim.sh(f"{script}strace -f -qq -e trace=clock_nanosleep,nanosleep -o /var/tmp/st "
           f"ledTog {' '.join(words)} >/dev/null", check=True, timeout=30)
    return [int(line.split("tv_sec=")[1].split(",")[0])
            for line in sim.file("var/tmp/st").read_text().splitlines()]


def test_only_test_led_off_waits_and_only_for_a_missing_logger_pid_file(module_sim):
    assert sleeps(module_sim, "0", "4") == []
    module_sim.file(PID).rename(module_sim.file("var/tmp/pid"))
    assert sleeps(module_sim, "1", "4") == [] and sleeps(module_sim, "0", "1") == []
    # The logger comes up a second after the LED went dark: checked every 2 s.
    offs = "$(grep -c ' 4 off$' $ZEZARUR_SIM/led.log)"
    assert set(sleeps(module_sim, "0", "4", script=f"n={offs}; (until [ {offs} -gt $n ]; do "
                      f"sleep 0.05; done; sleep 1; mv /var/tmp/pid /{PID}) & ")) == {2}
