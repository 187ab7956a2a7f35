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


def sleeps(sim, *words, script=""):
    """ledTog WORDS under strace (where LeakSanitizer cannot run): its sleeps, in seconds.
    Its own thread only: an emulator's helper threads sleep too."""
    sim.sh(f"{script}ASAN_OPTIONS=detect_leaks=0 strace -qq -e trace=clock_nanosleep,nanosleep "
           f"-o /var/tmp/st ledTog {' '.join(words)} >/dev/null", check=True, timeout=30)
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
