"""libzezarur.so exports exactly its public names; libadp.so its calls."""

import re
import subprocess

from conftest import BIN, SRC, SANITIZED

# The library's whole interface once every subsystem is in.
ALL_EXPORTS = set("""
sffsMain kdumpdMain linkMain lscandMain ddnsMain bcmMain smtpMain fResetMain ledTogMain
sffsMetaBytesRead sffsMetaBytesWrite sffsDataBytesRead sffsDataBytesWrite sffsBlockUse
sffsBlockFree sffsFreeBlockFind sffsUsedBlockFind sffsEraseBlock sffsStatus sffsFileWrite
sffsFileRead sffsWrite sffsRead zConfigWrite linkInit linkSend linkRecv ipcsum hexDump
pppoeSend pppoeCheck pptpSend pptpCheck dhcpSend dhcpSpoofSend dhcpCheck dhcpBigPondCheck
dhcpSpoofCheck dhcpGetOpt lscan_usage lscanOutFileCreate lscanDhcpMod sendmail encrypt plain
base64_encode base64_decode base64_detach MD5Init MD5Update MD5Final hmac_md5 crammd5digest
flash sffsBlockState dh mac bcastMac inData outData ispFound spoofedMac dhcpFound
dynDnsStatusCodes cmds Username Password challenge serverAddress fac_driver_handle
fac_custom_driver_handle led_driver_handle
""".split())

ADP_CALLS = set("""adpOpen adpRead adpWrite adpLseek adpIoctl adpClose adpFileOpen adpFileRead
adpFileGets adpFileEOF adpFilePrintf adpFileClose adpCmdExec adp_gettimeofday adp_inet_aton
adp_strncasecmp ifDevGet orayDdnsUpdate oraywebsvcMain updatednsipMain udpTimer""".split())


def dynamic_symbols(lib):
    out = subprocess.run(["nm", "-D", "--defined-only", str(BIN / lib)], text=True,
                         capture_output=True, check=True).stdout
    return {line.split()[-1].split("@")[0] for line in out.splitlines() if line.strip()}


def listed_exports():
    lines = (SRC / "src/exports.txt").read_text().splitlines()
    return {l.strip() for l in lines if l.strip() and not l.startswith("#")}


def test_the_final_interface_has_72_names():
    assert len(ALL_EXPORTS) == 72


def test_library_exports_exactly_the_list():
    listed = listed_exports()
    assert listed <= ALL_EXPORTS, f"not part of the interface: {listed - ALL_EXPORTS}"
    assert dynamic_symbols("libzezarur.so") == listed


def test_every_export_is_declared_in_the_public_header():
    header = (SRC / "include/zezarur/zezarur.h").read_text()
    missing = {n for n in listed_exports() if not re.search(rf"\b{n}\b", header)}
    assert not missing


def test_adp_exports_its_calls_only():
    assert dynamic_symbols("libadp.so") == ADP_CALLS


def test_library_needs_only_adp_libc_and_zlib():
    out = subprocess.run(["readelf", "-d", str(BIN / "libzezarur.so")], text=True,
                         capture_output=True, check=True).stdout
    needed = set(re.findall(r"\(NEEDED\).*\[(.+)\]", out))
    allowed = {"libadp.so", "libc.so.6", "libz.so.1"}
    if SANITIZED:
        needed = {n for n in needed if not re.match(r"lib(clang_rt|asan|ubsan|m\.so|gcc_s|stdc\+\+)", n)}
    assert needed <= allowed and "libadp.so" in needed
