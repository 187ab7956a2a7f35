"""What the system tests of the flash store share: one sandbox per test
module, set back to blank flash and an empty /var before each test (a
sandbox start costs more than all the commands of most tests), the printed
lines of a store and the flash image."""

import os
import shutil

import pytest

from conftest import Sim

FLASH_SIZE = 1 << 20
VAR_KEPT = {"run", "log", "tmp"}


@pytest.fixture(scope="module")
def router(tmp_path_factory):
    s = Sim(tmp_path_factory.mktemp("flash") / "state")
    s.start()
    yield s
    if s.run("status").returncode == 0:
        s.stop()


@pytest.fixture
def box(router):
    """The module's sandbox with blank flash, no flash fault pending, the
    kdump node in place and none of the files that earlier tests left in /var."""
    router.file("dev/obxcfgC").write_bytes(b"\xff" * FLASH_SIZE)
    router.file("flash.fault").unlink(missing_ok=True)
    if not router.file("dev/kdump").exists():
        os.mkfifo(router.file("dev/kdump"), 0o600)
    for p in router.file("var").iterdir():
        if p.name not in VAR_KEPT:
            shutil.rmtree(p) if p.is_dir() and not p.is_symlink() else p.unlink()
    return router


def store_lines(size, free_found):
    """What `sffs w` prints for a file of `size` bytes stored in block 0."""
    return (f"sffsFreeBlockFound: {free_found}\nsffsErasedBlock: 0\n"
            f"writing file of size {size} at offset 0x8\n"
            "sffsUsedBlockFound: -1\nsffsBlockUse: 0\n")


def image(sim):
    return sim.file("dev/obxcfgC").read_bytes()
