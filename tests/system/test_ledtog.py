"""ledTog in the sandbox: argument checks, one LED request (the logger wait is proven in-process)."""

import pytest

USAGE = "Usage: ledToggle <ledState> <ledNumber>\n\tledState  : 1-ON 0-OFF\n\tledNumber : 1-DMZ 2-WAN1 3-WAN2 4-Test\n\n"


# 4294967297 is beyond 32 bits: it saturates, never wraps to LED 1; three
# words are refused even when the first two are valid.
@pytest.mark.parametrize("words, out", [
    (["0", "4"], "toggle led 4 to OFF\n"),  # the logger runs: no wait
    (["1", "11"], "toggle led 11 to ON\n"),
    *[(words, USAGE) for words in (["1"], ["1", "0"], ["1", "12"], ["1", "-1"], ["2", "4"], ["-1", "4"],
                                   ["1", "4294967297"], ["1", "4", "1"])],
])
def test_one_request_or_the_usage(module_sim, words, out):
    log = module_sim.file("led.log")
    before = len(log.read_text()) if log.exists() else 0
    r = module_sim.exec("ledTog", *words)
    assert (r.returncode, r.stdout) == ((255, USAGE) if out == USAGE else (0, out))
    events = [line.split()[1:] for line in (log.read_text() if log.exists() else "")[before:].splitlines()]
    assert events == ([] if out == USAGE else [[words[1], out.split()[-1].lower()]])
