"""kdumpd through the sandbox: the kernel's save signal compresses the text
configuration with zlib and stores it in flash with sffs."""

import gzip
import os
import zlib

import pytest

from flash_store import box, image, router, store_lines  # noqa: F401 (fixtures)

TEXT = "var/orbrix.cfg.ascii"
GZIP = "var/orbrix.cfg"
LOG = "var/log/kdumpd.out"


def config_text(size):
    """Configuration-like lines that still take some compressing."""
    lines, n = [], 0
    while n < size:
        line = f"cfg.{n % 97}.{os.urandom(6).hex()}={os.urandom(9).hex()}\n"
        lines.append(line)
        n += len(line)
    return "".join(lines).encode()[:size]


def level9_gzip(data):
    """What gzopen "wb9" gives for data: Python's zlib, gzip wrapper, level 9."""
    c = zlib.compressobj(9, zlib.DEFLATED, 31)
    return c.compress(data) + c.flush()


def save(box, *outcome, timeout=30):
    """Starts kdumpd, signals it and waits for it to end; its output."""
    r = box.sh("kdumpd > /var/log/kdumpd.out 2>&1")
    assert r.returncode == 0, r.stderr
    box.run("signal", "kdump", *outcome, check=True)
    gone = box.sh(f"for i in $(seq {timeout * 20}); do pgrep -x kdumpd >/dev/null || exit 0; "
                  "sleep 0.05; done; for p in $(pgrep -x kdumpd); do kill $p; done; exit 1")
    assert gone.returncode == 0, "kdumpd did not end"
    return box.file(LOG).read_text()


def stored_file(box):
    r = box.exec("sffs", "r", "/var/restored")
    return box.file("var/restored").read_bytes() if r.returncode == 0 else None


@pytest.mark.parametrize("size", [0, 1, 1300, 512, 512 * 7, 400_000])
def test_save_compresses_and_stores_the_configuration(box, size):
    text = config_text(size)
    box.file(TEXT).write_bytes(text)
    log = save(box)
    gz = box.file(GZIP).read_bytes()
    assert gzip.decompress(gz) == text
    assert gz == level9_gzip(text)
    assert log == store_lines(len(gz), -1)
    assert stored_file(box) == gz


def test_second_save_replaces_the_stored_configuration(box):
    box.file(TEXT).write_bytes(config_text(5000))
    save(box)
    newer = config_text(70_000)
    box.file(TEXT).write_bytes(newer)
    save(box)
    assert gzip.decompress(stored_file(box)) == newer


def stored_before(box):
    """An older configuration, compressed and stored."""
    box.file(TEXT).write_bytes(config_text(2000))
    save(box)
    return box.file(GZIP).read_bytes(), image(box)


def test_missing_text_configuration_changes_nothing(box):
    gz, flash = stored_before(box)
    box.file(TEXT).unlink()
    assert save(box) == ""
    assert box.file(GZIP).read_bytes() == gz
    assert image(box) == flash


def test_unreadable_text_configuration_ends_without_storing(box):
    # A directory opens as a stream but every read fails short of the end.
    _, flash = stored_before(box)
    box.file(TEXT).unlink()
    box.file(TEXT).mkdir()
    assert save(box) == ""
    assert image(box) == flash


def test_failed_request_ends_the_daemon_with_its_error_line(box):
    box.file(TEXT).write_bytes(b"x=1\n")
    flash = image(box)
    assert save(box, "fail") == "kdumpd: save request on /dev/kdump failed: -1\n"
    assert not box.file(GZIP).exists()
    assert image(box) == flash


def test_missing_device_is_reported_before_detaching(box):
    box.file("dev/kdump").unlink()
    r = box.exec("kdumpd")
    assert (r.returncode, r.stdout) == (255, "error opening device\n")


@pytest.mark.parametrize("fault, flash_keeps", [("erase 1", "old"), ("write 2", "nothing")],
                         ids=["erase_fails", "data_write_fails"])
def test_failing_store_leaves_the_new_compressed_file(box, fault, flash_keeps):
    old_gz, _ = stored_before(box)
    newer = config_text(9000)
    box.file(TEXT).write_bytes(newer)
    box.run("fault", "flash", *fault.split(), check=True)
    log = save(box)
    assert gzip.decompress(box.file(GZIP).read_bytes()) == newer
    assert log.startswith("sffsFreeBlockFound: -1\n") and "sffsBlockUse" not in log
    assert stored_file(box) == (old_gz if flash_keeps == "old" else None)
