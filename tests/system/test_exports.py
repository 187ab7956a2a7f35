"""libzezarur.so exports exactly its public names; libadp.so its calls."""

import re
import subprocess

from conftest import APPLET_BIN, APPLETS, SRC, SANITIZED


def tool(*argv):
    return subprocess.run(argv, text=True, capture_output=True, check=True).stdout


def dynamic_symbols(lib):
    out = tool("nm", "-D", "--defined-only", str(APPLET_BIN / lib))
    return {line.split()[-1].split("@")[0] for line in out.splitlines() if line.strip()}


def listed_exports(lib):
    lines = (SRC / lib / "exports.txt").read_text().splitlines()
    return {l.strip() for l in lines if l.strip() and not l.startswith("#")}


def test_libraries_export_exactly_their_lists_and_need_little():
    listed = listed_exports("src")
    assert {a + "Main" for a in APPLETS} <= listed
    assert dynamic_symbols("libzezarur.so") == listed
    assert dynamic_symbols("libadp.so") == listed_exports("adp")
    header = (SRC / "include/zezarur/zezarur.h").read_text()
    assert not {n for n in listed if not re.search(rf"\b{n}\b", header)}, "not declared"
    elf = tool("readelf", "-d", str(APPLET_BIN / "libzezarur.so"))
    runtime = r"lib(clang_rt|asan|ubsan|m\.so|gcc_s|stdc)" if SANITIZED else "$^"  # the sanitizers'
    needed = {n for n in re.findall(r"\(NEEDED\).*\[(.+)\]", elf) if not re.match(runtime, n)}
    assert "libadp.so" in needed and needed <= {"libadp.so", "libc.so.6", "libc.so", "libz.so.1"}
