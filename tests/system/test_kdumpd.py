"""kdumpd through the sandbox: the kernel's save signal compresses the text
configuration with zlib and stores it in flash with sffs."""

import gzip
import os
import zlib

import pytest

from flash_store import box, image, store_lines  # noqa: F401 (fixture)

TEXT = "var/orbrix.cfg.ascii"
GZIP = "var/orbrix.cfg"


def config_text(size):  # compresses to about half
    return os.urandom(size // 2 + 1).hex()[:size].encode()


def save(box, *outcome):
    """Starts kdumpd, signals it and waits for it to end; its output."""
    box.sh("kdumpd > /var/log/kdumpd.out 2>&1", check=True)
    box.run("signal", "kdump", *outcome, check=True)
    box.sh("while pgrep -x kdumpd >/dev/null; do sleep 0.05; done", check=True, timeout=30)
    return box.file("var/log/kdumpd.out").read_text()


def stored_file(box):
    r = box.exec("sffs", "r", "/var/restored")
    return box.file("var/restored").read_bytes() if r.returncode == 0 else None


# Empty, whole 512-byte pieces only, a short last piece, several erase sectors.
@pytest.mark.parametrize("size", [0, 512, 1300, 400_000])
def test_save_compresses_at_level_9_and_stores(box, size):
    box.file(TEXT).write_bytes(text := config_text(size))
    log = save(box)
    gz = box.file(GZIP).read_bytes()
    oracle = zlib.compressobj(9, zlib.DEFLATED, 31)  # gzip wrapper, as gzopen "wb9"
    assert gz == oracle.compress(text) + oracle.flush() and gzip.decompress(gz) == text
    assert log == store_lines(len(gz))
    assert stored_file(box) == gz


def stored_before(box):
    """An older configuration, compressed and stored."""
    box.file(TEXT).write_bytes(config_text(2000))
    save(box)
    return box.file(GZIP).read_bytes(), image(box)


# A directory opens as a stream but every read fails short of the end.
@pytest.mark.parametrize("text", ["missing", "unreadable"])
def test_no_readable_text_configuration_changes_nothing(box, text):
    gz, flash = stored_before(box)
    box.file(TEXT).unlink()
    if text == "unreadable":
        box.file(TEXT).mkdir()
    assert save(box) == ""
    assert image(box) == flash
    assert text == "unreadable" or box.file(GZIP).read_bytes() == gz


def test_failed_request_ends_the_daemon_with_its_error_line(box):
    box.file(TEXT).write_bytes(b"x=1\n")
    assert save(box, "fail") == "kdumpd: save request on /dev/kdump failed: -1\n"
    assert not box.file(GZIP).exists() and image(box) == b"\xff" * (1 << 20)


def test_missing_device_is_reported_before_detaching(box):
    box.file("dev/kdump").unlink()
    r = box.exec("kdumpd")
    assert (r.returncode, r.stdout) == (255, "error opening device\n")


@pytest.mark.parametrize("fault, flash_keeps", [("erase 1", "old"), ("write 2", None)])
def test_failing_store_leaves_the_new_compressed_file(box, fault, flash_keeps):
    old_gz, _ = stored_before(box)
    box.file(TEXT).write_bytes(newer := config_text(9000))
    box.run("fault", "flash", *fault.split(), check=True)
    log = save(box)
    assert gzip.decompress(box.file(GZIP).read_bytes()) == newer
    assert log.startswith("sffsFreeBlockFound: -1\n") and "sffsBlockUse" not in log
    assert stored_file(box) == (old_gz if flash_keeps else None)
