"""libzezarur.so exports exactly its public names; libadp.so its calls."""

import re
import subprocess

from conftest import APPLET_BIN, APPLETS, SRC, SANITIZED

# The library's whole interface once every subsystem is in.
ALL_EXPORTS = set("""
sffsMetaBytesRead sffsMetaBytesWrite sffsDataBytesRead sffsDataBytesWrite sffsBlockUse
sffsBlockFree sffsFreeBlockFind sffsUsedBlockFind sffsEraseBlock sffsStatus sffsFileWrite
sffsFileRead sffsWrite sffsRead zConfigWrite linkInit linkSend linkRecv ipcsum hexDump
pppoeSend pppoeCheck pptpSend pptpCheck dhcpSend dhcpSpoofSend dhcpCheck dhcpBigPondCheck
dhcpSpoofCheck dhcpGetOpt lscan_usage lscanOutFileCreate lscanDhcpMod sendmail encrypt plain
base64_encode base64_decode base64_detach MD5Init MD5Update MD5Final hmac_md5 crammd5digest
flash sffsBlockState dh mac bcastMac inData outData ispFound spoofedMac dhcpFound
dynDnsStatusCodes cmds Username Password challenge serverAddress fac_driver_handle
fac_custom_driver_handle led_driver_handle
""".split()) | {a + "Main" for a in APPLETS}


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
    assert listed <= ALL_EXPORTS, f"not part of the interface: {listed - ALL_EXPORTS}"
    assert dynamic_symbols("libzezarur.so") == listed
    assert dynamic_symbols("libadp.so") == listed_exports("adp")
    header = (SRC / "include/zezarur/zezarur.h").read_text()
    assert not {n for n in listed if not re.search(rf"\b{n}\b", header)}, "not declared"
    elf = tool("readelf", "-d", str(APPLET_BIN / "libzezarur.so"))
    runtime = r"lib(clang_rt|asan|ubsan|m\.so|gcc_s|stdc)" if SANITIZED else "$^"  # the sanitizers'
    needed = {n for n in re.findall(r"\(NEEDED\).*\[(.+)\]", elf) if not re.match(runtime, n)}
    assert "libadp.so" in needed and needed <= {"libadp.so", "libc.so.6", "libc.so", "libz.so.1"}
