"""ledTog in the sandboxed router: the argument checks and one LED request
(the wait for the system logger is proven in-process, where its sleeps show)."""

import pytest

USAGE = ("Usage: ledToggle <ledState> <ledNumber>\n"
         "\tledState  : 1-ON 0-OFF\n"
         "\tledNumber : 1-DMZ 2-WAN1 3-WAN2 4-Test\n"
         "\n")


@pytest.mark.parametrize("words, out", [
    (["0", "4"], "toggle led 4 to OFF\n"),  # the logger runs: no wait
    (["1", "11"], "toggle led 11 to ON\n"),
    (["1"], USAGE), (["1", "0"], USAGE), (["1", "12"], USAGE), (["1", "-1"], USAGE),
    (["2", "4"], USAGE), (["-1", "4"], USAGE),
    (["1", "4294967297"], USAGE),  # beyond 32 bits: saturates, never wraps to LED 1
    (["1", "4", "1"], USAGE),      # three words, the first two valid
])
def test_one_request_or_the_usage(module_sim, words, out):
    log = module_sim.file("led.log")
    before = len(log.read_text()) if log.exists() else 0
    r = module_sim.exec("ledTog", *words)
    assert (r.returncode, r.stdout) == ((255, USAGE) if out == USAGE else (0, out))
    events = [line.split()[1:] for line in (log.read_text() if log.exists() else "")[before:].splitlines()]
    assert events == ([] if out == USAGE else [[words[1], out.split()[-1].lower()]])
