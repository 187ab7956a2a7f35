"""Shared by the flash store's system tests: blank flash and an empty /var, a store's lines."""

import shutil

import pytest

from conftest import plan


@pytest.fixture
def box(module_sim):
    module_sim.file("dev/obxcfgC").write_bytes(b"\xff" * plan.FLASH_SIZE)
    module_sim.file("flash.fault").unlink(missing_ok=True)
    for p in module_sim.file("var").iterdir():
        if p.name not in ("run", "log", "tmp"):
            shutil.rmtree(p) if p.is_dir() and not p.is_symlink() else p.unlink()
    return module_sim


def store_lines(size):  # what `sffs w` prints storing `size` bytes over a block not free
    return (f"sffsFreeBlockFound: -1\nsffsErasedBlock: 0\nwriting file of size {size} at offset 0x8\n"
            "sffsUsedBlockFound: -1\nsffsBlockUse: 0\n")
