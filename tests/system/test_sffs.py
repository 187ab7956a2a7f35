"""The sffs command through the sandbox: status, store, restore, power cuts."""

import os

import pytest

from flash_store import box, image, router, store_lines  # noqa: F401 (fixtures)

MAGIC = b"\x00\x2b\x6d\xe4"
MAX_SIZE = 0x7FFF8
SECTOR = 0x20000


def header(state, count):
    return MAGIC + bytes([state]) + count.to_bytes(3, "big")


def status_text(magic, version, state, count, free, used):
    return ("sffsStatus: 1 Blocks\n"
            f"    Block(0)> magic:{magic}, version:{version}, state:{state}, databytes:{count}\n"
            f"sffsStatus: {free} Free {used} Used\n")


def put(box, name, data):
    box.file("var/" + name).write_bytes(data)


@pytest.mark.parametrize("args", [[], ["w"]], ids=["no_arguments", "one_argument"])
def test_usage_then_status_of_blank_flash(box, args):
    r = box.exec("sffs", *args)
    assert r.returncode == 0
    assert r.stdout == "Usage: sffs < r | w > <filename>\n" + status_text(
        "ffffffff", 15, "Erased??", 16777215, 0, 0)



@pytest.mark.parametrize("size", [1, 511, 512, 513, 4096, SECTOR - 8, SECTOR - 7, 300001,
                                  MAX_SIZE])
def test_store_then_restore_byte_for_byte(box, size):
    data = os.urandom(size)
    put(box, "in", data)
    w = box.exec("sffs", "w", "/var/in")
    assert (w.returncode, w.stdout) == (0, store_lines(size, -1))
    assert image(box)[:8 + size] == header(0x11, size) + data

    r = box.exec("sffs", "r", "/var/out")
    assert (r.returncode, r.stdout) == (
        0, f"sffsUsedBlockFound: 0\nsffsFileRead: {size} bytes at offset 0x8\n")
    assert box.file("var/out").read_bytes() == data

    s = box.exec("sffs")
    assert s.stdout.endswith(status_text("002b6de4", 1, "In Use", size, 0, 1))


def test_one_byte_on_blank_flash_erases_one_sector(box):
    put(box, "in", b"Z")
    w = box.exec("sffs", "w", "/var/in")
    assert (w.returncode, w.stdout) == (0, store_lines(1, -1))
    img = image(box)
    assert img[:9] == header(0x11, 1) + b"Z"
    assert img[9:SECTOR] == b"\xff" * (SECTOR - 9)


def test_store_over_a_larger_file_keeps_the_new_one_only(box):
    put(box, "in", os.urandom(MAX_SIZE))
    assert box.exec("sffs", "w", "/var/in").returncode == 0
    new = os.urandom(700)
    put(box, "in", new)
    assert box.exec("sffs", "w", "/var/in").stdout == store_lines(700, -1)
    assert box.exec("sffs", "r", "/var/out").returncode == 0
    assert box.file("var/out").read_bytes() == new


@pytest.mark.parametrize("size", [0, MAX_SIZE + 1], ids=["empty", "too_large"])
def test_refused_size_leaves_the_stored_file(box, size):
    old = os.urandom(2000)
    put(box, "in", old)
    box.exec("sffs", "w", "/var/in")
    before = image(box)
    put(box, "big", os.urandom(size))
    w = box.exec("sffs", "w", "/var/big")
    assert (w.returncode, w.stdout) == (255, "")
    assert image(box) == before


def test_restore_after_restart(box):
    data = os.urandom(123457)
    put(box, "in", data)
    assert box.exec("sffs", "w", "/var/in").returncode == 0
    box.stop()
    box.start()
    assert box.exec("sffs", "r", "/var/back").returncode == 0
    assert box.file("var/back").read_bytes() == data


@pytest.mark.parametrize("args", [["s", "/var/in"], ["x", "/var/in"], ["w", "/var/missing"],
                                  ["r", "/var/no/such/dir"]])
def test_refusals_print_open_and_exit_255(box, args):
    put(box, "in", b"abc")
    r = box.exec("sffs", *args)
    assert r.returncode == 255
    assert r.stdout == ""
    assert r.stderr.startswith("open: ")


@pytest.mark.parametrize("state", [0xFF, 0x10], ids=["erased", "free"])
def test_restore_without_a_block_in_use_leaves_an_empty_file(box, state):
    put(box, "in", b"x" * 1000)
    box.exec("sffs", "w", "/var/in")
    with open(box.file("dev/obxcfgC"), "r+b") as f:
        f.seek(4)
        f.write(bytes([state]))  # a block freed or never marked, count still valid
    put(box, "out", b"stale contents")
    r = box.exec("sffs", "r", "/var/out")
    assert (r.returncode, r.stdout) == (255, "sffsUsedBlockFound: -1\n")
    assert box.file("var/out").read_bytes() == b""
    # Such a block is the one a store takes.
    assert box.exec("sffs", "w", "/var/in").stdout == store_lines(1000, 0)


def test_restore_from_erased_flash_after_a_failed_data_write(box):
    put(box, "in", os.urandom(5000))
    box.exec("sffs", "w", "/var/in")
    box.run("fault", "flash", "write", "2", check=True)  # the first data chunk
    w = box.exec("sffs", "w", "/var/in")
    assert w.returncode == 255
    assert w.stdout == "sffsFreeBlockFound: -1\nsffsErasedBlock: 0\n" \
                       "writing file of size 5000 at offset 0x8\n"
    assert box.exec("sffs").stdout.endswith(
        status_text("002b6de4", 15, "Erased??", 16777215, 0, 0))
    assert box.exec("sffs", "r", "/var/out").returncode == 255
    assert box.file("var/out").read_bytes() == b""


# ---- power cuts --------------------------------------------------------

OLD_SIZE = 3000
NEW_SIZE = 150000  # two erase sectors, 293 chunks


def cut_points():
    """(bytes let through, phase, expected restore) for a store of NEW_SIZE
    bytes over a stored file.  The store moves, in order: the erase (whole
    sectors), the 4-byte magic, the data, the 8-byte header with the count,
    and the 8-byte header with the in-use mark (its byte 4 decides)."""
    erase = -(-(NEW_SIZE + 8) // SECTOR) * SECTOR
    magic_at = erase
    data_at = magic_at + 4
    count_at = data_at + NEW_SIZE
    mark_at = count_at + 8
    end = mark_at + 8
    points = [(0, "before the erase", "old")]
    points += [(n, "during the erase", "fail") for n in (1, 5, 9, SECTOR, erase - 1)]
    points += [(magic_at + k, "magic", "fail") for k in (0, 2)]
    points += [(data_at + k, "data", "fail") for k in (0, 1, 512, 513, NEW_SIZE // 2, NEW_SIZE - 1)]
    points += [(count_at + k, "header count", "fail") for k in (0, 4, 5, 7)]
    points += [(mark_at + k, "in-use mark", "new" if k >= 5 else "fail") for k in range(8)]
    points += [(end, "after the in-use mark", "new"), (end + 1000, "no cut", "new")]
    return points, end


def test_power_cut_leaves_old_new_or_nothing(box, capsys):
    old, new = os.urandom(OLD_SIZE), os.urandom(NEW_SIZE)
    put(box, "old", old)
    put(box, "new", new)
    assert box.exec("sffs", "w", "/var/old").returncode == 0
    stored_old = image(box)
    points, end = cut_points()
    rows = []
    for n, phase, expected in points:
        box.file("dev/obxcfgC").write_bytes(stored_old)
        box.run("fault", "flash", "cut", str(n), check=True)
        # The store dies at the cut (137, SIGKILL); the restore runs afresh.
        r = box.sh("sffs w /var/new >/dev/null; echo $?; "
                   "rm -f /var/out; sffs r /var/out >/dev/null; echo $?")
        store_rc, restore_rc = map(int, r.stdout.split())
        got = box.file("var/out").read_bytes()
        if restore_rc == 0 and got in (old, new):
            outcome = "old" if got == old else "new"
        elif restore_rc == 255 and got == b"":
            outcome = "fail"
        else:
            outcome = f"WRONG (exit {restore_rc}, {len(got)} bytes)"
        rows.append((n, phase, store_rc, expected, outcome))

    with capsys.disabled():
        print(f"\npower cut during a store of {NEW_SIZE} bytes over {OLD_SIZE} "
              f"({end} bytes reach the flash)")
        print(f"{'cut after':>10}  {'phase':<22} {'store':>5}  {'expected':<8} restore")
        for n, phase, rc, expected, outcome in rows:
            print(f"{n:>10}  {phase:<22} {rc:>5}  {expected:<8} {outcome}")
    for n, phase, rc, expected, outcome in rows:
        assert outcome == expected, (n, phase)
        assert rc == (137 if n < end else 0), (n, phase)  # killed exactly when cut
