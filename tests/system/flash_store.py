"""What the system tests of the flash store share: the module's sandbox set
back to blank flash and an empty /var before each test, the lines a store
prints and the flash image."""

import os
import shutil

import pytest


@pytest.fixture
def box(module_sim):
    module_sim.file("dev/obxcfgC").write_bytes(b"\xff" * (1 << 20))
    module_sim.file("flash.fault").unlink(missing_ok=True)
    if not module_sim.file("dev/kdump").exists():
        os.mkfifo(module_sim.file("dev/kdump"), 0o600)
    for p in module_sim.file("var").iterdir():
        if p.name not in ("run", "log", "tmp"):
            shutil.rmtree(p) if p.is_dir() and not p.is_symlink() else p.unlink()
    return module_sim


def store_lines(size, free_found=-1):
    """What `sffs w` prints for a file of `size` bytes stored in block 0."""
    return (f"sffsFreeBlockFound: {free_found}\nsffsErasedBlock: 0\n"
            f"writing file of size {size} at offset 0x8\n"
            "sffsUsedBlockFound: -1\nsffsBlockUse: 0\n")


def image(sim):
    return sim.file("dev/obxcfgC").read_bytes()
