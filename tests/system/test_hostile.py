"""Hostile peers, hostile files and bad luck: one row per way they once cost
the router a wrong registration or its stored configuration.  The hostile
mail log (a NUL line before ".", mail commands, bare CRs) is a row of the
mail delivery table in test_smtp.py, where Exim judges it."""

import os

import pytest

from conftest import BIN, SANITIZED, SERVICE
from flash_store import box  # noqa: F401 (fixture)
from test_ddns import Box, conf
from test_kdumpd import GZIP, TEXT, config_text, save, stored_file


def tzo_line_never_goes_out_cut(sim):
    """An update line too long even with the shortest address is refused
    before any connection, never sent cut."""
    ddns = Box(sim)
    ddns.answer("tzo-lookup-peer", f"tzo,{SERVICE}")
    ddns.answer("tzo-update-peer", "]40")
    log = ddns.attempt(conf([4, "tzo", "h" * 186, "e" * 100, "k" * 100, 0, "NO"]),
                       "tzo update request too long\n", False)
    assert ("err", "tzo update request too long") in log
    assert ddns.requests() == []


def dump_cut_by_a_full_var_is_not_stored(sim):
    """A /var with room for 16 KiB of a 30 KiB dump: flash keeps what it had."""
    sim.file(TEXT).write_bytes(config_text(2000))
    save(sim)
    old = sim.file(GZIP).read_bytes()
    sim.file(TEXT).write_bytes(config_text(60_000))
    sim.sh("mkdir -p /var/small && mount -t tmpfs -o size=16k small /var/small && "
           ": > /var/small/cfg && mount --bind /var/small/cfg /var/orbrix.cfg", check=True)
    try:
        assert save(sim) == ""
    finally:
        sim.sh("umount /var/orbrix.cfg; umount /var/small", check=True)
    assert stored_file(sim) == old


def two_stores_at_once_leave_one_whole(sim):
    """Two `sffs w` at once both succeed, and flash holds one file whole."""
    for _ in range(5):
        files = [os.urandom(300_000), os.urandom(200_000)]
        for name, data in zip("ab", files):
            sim.file(f"var/{name}").write_bytes(data)
        sim.sh("sffs w /var/a >/dev/null & a=$!; sffs w /var/b >/dev/null; b=$?; "
               "wait $a && [ $b = 0 ]", check=True)
        assert stored_file(sim) in files


def ddns_run_again_in_one_process_starts_anew(sim):
    """ddnsMain called twice by one program reads its two records afresh."""
    if SANITIZED:
        pytest.skip("the sanitized library cannot load into python")
    sim.file("var/ddnsclient.conf").write_text(
        conf([4, "nosuch", "a.example", "u", "p", 0, "NO"], [2, "dyndns", "b.example", "u", "p", 0, "NO"]))
    mark = sim.log_end()
    script = ("import ctypes, sys; lib = ctypes.CDLL(sys.argv[1]); argv = (ctypes.c_char_p * 2)(b'ddns', None); "
              "print(lib.ddnsMain(1, argv), lib.ddnsMain(1, argv))")
    r = sim.exec("python3", "-c", script, str(BIN / "libzezarur.so"), check=True)
    counts = [m for _, m in sim.log("ddns", mark) if m.startswith("numOf")]
    assert (r.stdout, counts) == ("0 0\n", ["numOfDdnsConfiguration 2"] * 2)


@pytest.mark.parametrize("case", [tzo_line_never_goes_out_cut, dump_cut_by_a_full_var_is_not_stored,
                                  two_stores_at_once_leave_one_whole,
                                  ddns_run_again_in_one_process_starts_anew],
                         ids=lambda case: case.__name__)
def test_hostile(box, case):
    case(box)
