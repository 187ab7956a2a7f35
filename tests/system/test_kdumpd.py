"""kdumpd through the sandbox: on the kernel's signal, the configuration gzipped into flash."""

import os
import zlib

import pytest

from conftest import wait_for
from flash_store import box, store_lines  # noqa: F401 (fixture)

TEXT = "var/orbrix.cfg.ascii"
GZIP = "var/orbrix.cfg"


def config_text(size):  # compresses to about half
    return os.urandom(size // 2 + 1).hex()[:size].encode()


def save(box, *outcome):  # kdumpd started, signalled and ended: its output
    box.sh("kdumpd > /var/log/kdumpd.out 2>&1", check=True)
    box.run("signal", "kdump", *outcome, check=True)
    wait_for(lambda: box.sh("pgrep -x kdumpd").returncode, "kdumpd to end")
    return box.file("var/log/kdumpd.out").read_text()


def stored_file(box):
    r = box.exec("sffs", "r", "/var/restored")
    return box.file("var/restored").read_bytes() if r.returncode == 0 else None


# Empty (the last read finds the end), a short last piece, several erase
# sectors; gzopen "wb9" is zlib's gzip wrapper at level 9.
@pytest.mark.parametrize("size", [0, 1300, 400_000])
def test_save_compresses_at_level_9_and_stores(box, size):
    box.file(TEXT).write_bytes(text := config_text(size))
    assert (save(box), stored_file(box)) == (store_lines(len(gz := zlib.compress(text, 9, 31))), gz)
    assert box.file(GZIP).read_bytes() == gz


# Over a stored configuration: what kdumpd prints, whether the compressed file
# stays (a directory opens as a stream, but every read fails short of the end,
# and the piece written is removed); flash keeps the stored one.
@pytest.mark.parametrize("text, outcome, log, kept", [
    (None, (), "", True), ("dir", (), "", False),
    (config_text(9000), ("fail",), "kdumpd: save request on /dev/kdump failed: -1\n", True)], ids=["none", "dir", "fail"])
def test_failure_keeps_the_stored_configuration(box, text, outcome, log, kept):
    box.file(GZIP).write_bytes(old := os.urandom(100))
    box.exec("sffs", "w", "/" + GZIP, check=True)
    if text:
        box.file(TEXT).mkdir() if text == "dir" else box.file(TEXT).write_bytes(text)
    assert save(box, *outcome) == log
    assert (stored_file(box), box.file(GZIP).exists() and box.file(GZIP).read_bytes()) == (old, kept and old)


def test_missing_device_is_reported_before_detaching(box):
    box.file("dev/kdump").rename(box.file("kdump"))
    r = box.exec("kdumpd")
    box.file("kdump").rename(box.file("dev/kdump"))
    assert (r.returncode, r.stdout) == (255, "error opening device\n")
