"""The sffs command through the sandbox: status, store, restore, refusals and
power cuts at every step of a store."""

import os

import pytest

from flash_store import box, image, store_lines  # noqa: F401 (fixture)

MAX_SIZE = 0x7FFF8
SECTOR = 0x20000


@pytest.mark.parametrize("command", ["sffs <&-", "sffs w"])  # no stdin: flash may get descriptor 0
def test_usage_then_status(box, command):
    r = box.sh(command)
    assert (r.returncode, r.stdout) == (0, "Usage: sffs < r | w > <filename>\nsffsStatus: 1 Blocks\n"
                                           "    Block(0)> magic:ffffffff, version:15, state:Erased??, "
                                           "databytes:16777215\nsffsStatus: 0 Free 0 Used\n")


# Chunk edges (512), one erase sector or two, the whole block.
@pytest.mark.parametrize("size", [1, 513, SECTOR - 8, SECTOR - 7, MAX_SIZE])
def test_store_over_a_stored_file_erases_whole_sectors_then_restore(box, size):
    box.file("var/old").write_bytes(bytes(MAX_SIZE + 1 - size))
    box.file("var/in").write_bytes(data := os.urandom(size))
    assert box.exec("sffs", "w", "/var/old").returncode == 0
    w = box.exec("sffs", "w", "/var/in")
    assert (w.returncode, w.stdout) == (0, store_lines(size))
    stored = b"\x00\x2b\x6d\xe4\x11" + size.to_bytes(3, "big") + data
    erased = -(-len(stored) // SECTOR) * SECTOR
    assert image(box)[:erased + 1] == stored.ljust(erased, b"\xff") + (  # then the rest of the old file
        b"\x00" if erased < 0x80000 else b"\xff")
    r = box.exec("sffs", "r", "/var/out")
    assert (r.returncode, r.stdout) == (
        0, f"sffsUsedBlockFound: 0\nsffsFileRead: {size} bytes at offset 0x8\n")
    assert box.file("var/out").read_bytes() == data


@pytest.mark.parametrize("args, error", [
    (["x", "/var/in"], "open: "), (["w", "/var/missing"], "open: "),
    (["r", "/var/no/such/dir"], "open: "), (["w", "/var/empty"], ""), (["w", "/var/big"], "")])
def test_refusal_exits_255_and_leaves_the_stored_file(box, args, error):
    box.file("var/in").write_bytes(b"abc")
    box.file("var/empty").write_bytes(b"")
    box.file("var/big").write_bytes(os.urandom(MAX_SIZE + 1))
    box.exec("sffs", "w", "/var/in", check=True)
    before = image(box)
    r = box.exec("sffs", *args)
    assert (r.returncode, r.stdout, r.stderr[:len(error)]) == (255, "", error)
    assert image(box) == before


@pytest.mark.parametrize("state", [0xFF, 0x10], ids=["erased", "free"])
def test_restore_without_a_block_in_use_leaves_an_empty_file(box, state):
    box.file("var/in").write_bytes(b"x" * 1000)
    box.exec("sffs", "w", "/var/in", check=True)
    box.file("dev/obxcfgC").write_bytes(image(box)[:4] + bytes([state]) + image(box)[5:])  # count kept
    box.file("var/out").write_bytes(b"stale contents")
    r = box.exec("sffs", "r", "/var/out")
    assert (r.returncode, r.stdout, box.file("var/out").read_bytes()) == (255, "sffsUsedBlockFound: -1\n", b"")
    assert box.exec("sffs", "w", "/var/in").stdout == store_lines(1000, 0)  # the block a store takes


# A store of NEW bytes over OLD moves, in order: the erase (two sectors), the
# magic (4 bytes), the data, the header with the count, the header with the
# in-use mark (8 bytes each; its byte 4 decides).
OLD, NEW = 3000, 150000
MAGIC_AT = 2 * SECTOR
COUNT_AT = MAGIC_AT + 4 + NEW
MARK_AT = COUNT_AT + 8


@pytest.mark.parametrize("cut, restored", [
    (0, "old"), (1, "none"), (MAGIC_AT + 2, "none"), (COUNT_AT + 5, "none"), (MARK_AT + 4, "none"),
    (MARK_AT + 5, "new"), (MARK_AT + 8, "new")])
def test_power_cut_leaves_old_new_or_nothing(box, cut, restored):
    files = {"old": os.urandom(OLD), "new": os.urandom(NEW), "none": b""}
    box.file("var/old").write_bytes(files["old"])
    box.file("var/new").write_bytes(files["new"])
    box.exec("sffs", "w", "/var/old", check=True)
    box.run("fault", "flash", "cut", str(cut), check=True)
    r = box.sh("sffs w /var/new >/dev/null; echo $?; sffs r /var/out >/dev/null; echo $?")
    killed = cut < MARK_AT + 8  # by the cut (SIGKILL) exactly when it came
    assert r.stdout.split() == ["137" if killed else "0", "255" if restored == "none" else "0"]
    assert box.file("var/out").read_bytes() == files[restored]
