"""kdumpd through the sandbox: the kernel's save signal compresses the text
configuration with zlib and stores it in flash with sffs."""

import gzip
import os
import zlib

import pytest

from conftest import wait_for
from flash_store import box, store_lines  # noqa: F401 (fixture)

TEXT = "var/orbrix.cfg.ascii"
GZIP = "var/orbrix.cfg"


def config_text(size):  # compresses to about half
    return os.urandom(size // 2 + 1).hex()[:size].encode()


def save(box, *outcome):
    """Starts kdumpd, signals it and waits for it to end; its output."""
    box.sh("kdumpd > /var/log/kdumpd.out 2>&1", check=True)
    box.run("signal", "kdump", *outcome, check=True)
    wait_for(lambda: box.sh("pgrep -x kdumpd").returncode, "kdumpd to end")
    return box.file("var/log/kdumpd.out").read_text()


def gzip9(text):  # gzopen "wb9": the gzip wrapper at level 9
    oracle = zlib.compressobj(9, zlib.DEFLATED, 31)
    return oracle.compress(text) + oracle.flush()


def stored_file(box):
    r = box.exec("sffs", "r", "/var/restored")
    return box.file("var/restored").read_bytes() if r.returncode == 0 else None


# Empty (the last read finds the end), a short last piece, several erase sectors.
@pytest.mark.parametrize("size", [0, 1300, 400_000])
def test_save_compresses_at_level_9_and_stores(box, size):
    box.file(TEXT).write_bytes(text := config_text(size))
    log = save(box)
    gz = box.file(GZIP).read_bytes()
    assert gz == gzip9(text) and gzip.decompress(gz) == text
    assert log == store_lines(len(gz))
    assert stored_file(box) == gz


# Over a stored configuration: what each failure prints, which compressed
# file it leaves (None: none) and what flash then restores.  (A directory opens as a
# stream, but every read fails short of the end.)
@pytest.mark.parametrize("failure, log, gz, restored", [
    ("no text", "", "old", "old"),
    ("text unreadable", "", None, "old"),
    ("request fails", "kdumpd: save request on /dev/kdump failed: -1\n", "old", "old"),
    ("erase 1", "sffsFreeBlockFound: -1\n", "new", "old"),
    ("write 2", "sffsFreeBlockFound: -1\nsffsErasedBlock: 0\n"
                "writing file of size {} at offset 0x8\n", "new", None),
])
def test_failure_keeps_what_it_should(box, failure, log, gz, restored):
    box.file(TEXT).write_bytes(config_text(2000))
    save(box)
    old = box.file(GZIP).read_bytes()
    box.file(TEXT).unlink()
    new = config_text(9000)
    if failure == "text unreadable":
        box.file(TEXT).mkdir()
    elif failure != "no text":
        box.file(TEXT).write_bytes(new)
    if failure.split()[0] in ("erase", "write"):
        box.run("fault", "flash", *failure.split(), check=True)
    got = save(box, *(["fail"] if failure == "request fails" else []))
    left = box.file(GZIP).read_bytes() if box.file(GZIP).exists() else None
    files = {"old": old, None: None, "new": gzip9(new)}  # None: no piece of a dump left
    assert (left, got) == (files[gz], log.format(len(left or b"")))
    assert stored_file(box) == files[restored]


def test_missing_device_is_reported_before_detaching(box):
    box.file("dev/kdump").rename(box.file("kdump"))
    r = box.exec("kdumpd")
    box.file("kdump").rename(box.file("dev/kdump"))
    assert (r.returncode, r.stdout) == (255, "error opening device\n")
