"""What the flash store's system tests share: the module's sandbox with blank
flash and an empty /var for each test, the lines a store prints, the image."""

import shutil

import pytest


@pytest.fixture
def box(module_sim):
    module_sim.file("dev/obxcfgC").write_bytes(b"\xff" * (1 << 20))
    module_sim.file("flash.fault").unlink(missing_ok=True)
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
