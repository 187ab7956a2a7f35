"""The sffs command through the sandbox: status, store and restore, refusals, cut or failed stores."""

import os

import pytest

from conftest import plan
from flash_store import box, store_lines  # noqa: F401 (fixture)

MAX_SIZE, SECTOR, MAGIC = 0x7FFF8, 0x20000, b"\x00\x2b\x6d\xe4"


# The report shows block 0's header as read, even without the magic.  (With
# no stdin the flash may get descriptor 0.)
@pytest.mark.parametrize("command, header, shown, counts", [
    ("sffs <&-", b"\xff" * 8, "ffffffff, version:15, state:Erased??, databytes:16777215", "0 Free 0 Used"),
    ("sffs w", MAGIC + b"\x11\0\3\xe8", "002b6de4, version:1, state:In Use, databytes:1000", "0 Free 1 Used"),
    ("sffs w", MAGIC + b"\x10\7\xff\xf8", "002b6de4, version:1, state:Free, databytes:524280", "1 Free 0 Used"),
    ("sffs w", MAGIC + b"\x22\1\2\3", "002b6de4, version:2, state:Not SFFS, databytes:66051", "0 Free 0 Used"),
    ("sffs w", b"\0\x2b\x6d\xe5\x11\0\0\1", "002b6de5, version:1, state:In Use, databytes:1", "0 Free 1 Used")])
def test_usage_then_status(box, command, header, shown, counts):
    box.file("dev/obxcfgC").write_bytes(header + b"\xff" * (plan.FLASH_SIZE - len(header)))
    r = box.sh(command)
    assert (r.returncode, r.stdout) == (0, "Usage: sffs < r | w > <filename>\nsffsStatus: 1 Blocks\n"
                                           f"    Block(0)> magic:{shown}\nsffsStatus: {counts}\n")


# Chunk edges (512), one erase sector or two, the whole block.
@pytest.mark.parametrize("size", [1, 513, SECTOR - 8, SECTOR - 7, MAX_SIZE])
def test_store_over_a_stored_file_erases_whole_sectors_then_restore(box, size):
    box.file("var/old").write_bytes(bytes(MAX_SIZE + 1 - size))
    box.file("var/in").write_bytes(data := os.urandom(size))
    assert box.exec("sffs", "w", "/var/old").returncode == 0
    w = box.exec("sffs", "w", "/var/in")
    assert (w.returncode, w.stdout) == (0, store_lines(size))
    stored = MAGIC + b"\x11" + size.to_bytes(3, "big") + data
    erased = -(-len(stored) // SECTOR) * SECTOR
    image = box.file("dev/obxcfgC").read_bytes()  # the sectors erased, then the old file's rest
    assert image[:erased + 1] == stored.ljust(erased, b"\xff") + (b"\x00" if erased < 0x80000 else b"\xff")
    r = box.exec("sffs", "r", "/var/out")
    assert (r.returncode, r.stdout) == (0, f"sffsUsedBlockFound: 0\nsffsFileRead: {size} bytes at offset 0x8\n")
    assert box.file("var/out").read_bytes() == data


# A store of NEW bytes over OLD moves, in order: the erase (two sectors), the
# magic (4 bytes, flash write 1), the data (writes 2 to 294), the header with
# the count (write 295), the header with the in-use mark (write 296; its byte 4
# decides).  A cut kills the store (SIGKILL) when it comes; a failed erase or
# write, or a refusal, ends it with -1 (and a failed open says so on stderr).
OLD, NEW, MAGIC_AT = 3000, 150000, 2 * SECTOR
MARK_AT = MAGIC_AT + 4 + NEW + 8
STORE_NEW = "w /var/new"


@pytest.mark.parametrize("fault, args, ends, restored", [
    ("cut 0", STORE_NEW, "137", "old"), ("cut 1", STORE_NEW, "137", "none"),
    (f"cut {MAGIC_AT + 2}", STORE_NEW, "137", "none"), (f"cut {MARK_AT - 3}", STORE_NEW, "137", "none"),
    (f"cut {MARK_AT + 4}", STORE_NEW, "137", "none"), (f"cut {MARK_AT + 5}", STORE_NEW, "137", "new"),
    ("erase 1", STORE_NEW, "255", "old"), ("write 2", STORE_NEW, "255", "none"),
    ("write 295", STORE_NEW, "255", "none"), ("write 296", STORE_NEW, "255", "none"),
    (None, "x /var/new", "255 open:", "old"), (None, "w /var/missing", "255 open:", "old"),
    (None, "r /var/no/such/dir", "255 open:", "old"), (None, "w /var/empty", "255", "old"),
    (None, "w /var/big", "255", "old")])
def test_cut_failed_or_refused_store_leaves_old_new_or_nothing(box, fault, args, ends, restored):
    files = {"old": os.urandom(OLD), "new": os.urandom(NEW), "none": b""}
    for name, data in [*files.items(), ("empty", b""), ("big", bytes(MAX_SIZE + 1)), ("out", b"stale")]:
        box.file(f"var/{name}").write_bytes(data)
    box.exec("sffs", "w", "/var/old", check=True)
    if fault:
        box.run("fault", "flash", *fault.split(), check=True)
    r = box.sh(f"sffs {args} >/dev/null 2>/var/err; echo $? $(grep -o ^open: /var/err); "
               "sffs r /var/out >/dev/null; echo $?")
    assert r.stdout.split() == [*ends.split(), "255" if restored == "none" else "0"]
    assert box.file("var/out").read_bytes() == files[restored]
