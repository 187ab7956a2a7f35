"""smtp over TLS (S: STARTTLS, T: from the first byte): Exim as the server,
certificates from the sandbox's authority, the wire captured to show that
nothing of the user's goes out in clear."""

import base64
import itertools
import json
import os
import re
import subprocess
import time
from pathlib import Path

import pytest

from conftest import SRC, wait_for

EXIM = Path(os.environ.get("ZEZARUR_EXIM", SRC / "build/exim/usr/sbin/exim4"))
SERVICE_HOST = "198.51.100.10"
ADDR = ["t", "c@d.example", "s", "Alert", "f", "a@b.example"]
LOGINS = {"cram-md5": ["c", "u", "alice", "P", "secret"], "login": ["p", "u", "alice", "P", "secret"]}
MODES = {"S": "587", "T": "465"}
# What must never be seen in clear: the logins' commands (the client writes
# them in lower case; the server's offers are in capitals) and credentials
# in either form, the sender.
SECRETS = [b"auth ", b"alice", b"secret", base64.b64encode(b"alice"), base64.b64encode(b"secret"),
           b"a@b.example"]


@pytest.fixture(scope="module")
def box(module_sim):
    if "Usage::" in module_sim.exec("smtp", "S").stderr:
        pytest.skip("the library was built without TLS (ZEZARUR_TLS=OFF)")
    if not EXIM.exists():
        pytest.fail(f"no Exim at {EXIM}: run scripts/fetch-exim")
    chain, key = module_sim.run("cert", "mail.example", check=True).stdout.split()
    for name in ("exim", "scripted"):
        module_sim.file(name).mkdir()
    module_sim.run("service", "add", "mail.example", "587", "/usr/bin/python3", str(SRC / "sim/servers/smtp_exim.py"),
                   str(EXIM), str(module_sim.file("exim")), "alice:secret", chain, key, check=True)
    module_sim.run("service", "add", "scripted", "2525", "/usr/bin/python3",
                   str(SRC / "sim/servers/smtp_scripted.py"), "2525", str(module_sim.file("scripted")), check=True)
    module_sim.file("var/body").write_text("log line\n")
    return module_sim


def serve(box, name, chain, key):
    """Exim answers a client that asks for name (SNI) with this chain."""
    box.run("hosts", "set", name, SERVICE_HOST, check=True)
    for source, suffix in ((chain, "pem"), (key, "key")):
        target = box.file(f"exim/tls/{name}.{suffix}")
        target.write_bytes(Path(source).read_bytes())
        os.chown(target, 64990, 64990)  # Exim's user (sim/servers/smtp_exim.py)


def captured(box, argv):
    """Runs smtp with the router's WAN side captured: the result and the wire's bytes."""
    pcap = box.file("wire.pcap")
    box.run("capture", "start", "wan0", str(pcap), check=True)
    r = box.exec("smtp", *argv)
    box.run("capture", "stop", "wan0", str(pcap), check=True)
    return r, pcap.read_bytes()


def exim_log(box):
    return box.file("exim/log/mainlog").read_text()


DELIVERIES = list(itertools.product(MODES, LOGINS, ["rsa", "ec"]))


@pytest.mark.parametrize("mode,login,kind", DELIVERIES, ids=["-".join(d) for d in DELIVERIES])
def test_mail_delivered_inside_tls(box, mode, login, kind):
    name = f"mail-{kind}.example"
    serve(box, name, *box.run("cert", name, *(["--ec"] if kind == "ec" else []), check=True).stdout.split())
    logged = len(exim_log(box))
    r, wire = captured(box, ["i", name, *ADDR, "C", MODES[mode], *LOGINS[login], mode, "/var/body"])
    assert r.returncode == 0, r.stderr
    line = wait_for(lambda: re.search(r" <= a@b\.example .*", exim_log(box)[logged:]), "Exim's delivery")[0]
    signer = "ECDSA" if kind == "ec" else "RSA"
    assert re.search(rf" X=TLS1\.2:ECDHE_\w+__{signer}_SHA\d+__(AES_\d+_GCM|CHACHA20_POLY1305)\b", line), line
    assert f" A={login.split('-')[0]}:alice " in line
    assert not [s for s in SECRETS if s in wire]


def other_authority(box, name):
    """A chain for name that the sandbox's authority did not sign."""
    chain, key = box.file(f"{name}.pem"), box.file(f"{name}.key")
    subprocess.run(["openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-subj", f"/CN={name}",
                    "-addext", f"subjectAltName=DNS:{name}", "-days", "30", "-keyout", key, "-out", chain],
                   check=True, capture_output=True)
    return chain, key


def expired(box, name):
    chain_key = box.run("cert", name, "--days", "1", check=True).stdout.split()
    box.run("clock", "advance", str(2 * 86400), check=True)
    return chain_key


# (server name, how its chain is made, arguments, standard error, what Exim
# logs of the session).  The expired case is last: its clock stays moved.
REFUSALS = {
    "name mismatch": ("mail-wrong.example", lambda box, n: box.run("cert", "other.example").stdout.split(),
                      ["S", "c"], "smtp: TLS: name mismatch\n", "TLS error"),
    "another authority": ("mail-rogue.example", other_authority, ["T", "p"], "smtp: TLS: chain not trusted\n",
                          "TLS error"),
    "no STARTTLS offered": ("mail.example", None, ["S", "c", "C", "2526"],
                            "smtp: the server does not offer STARTTLS\n", "closed by QUIT"),
    "address for a name": (SERVICE_HOST, None, ["T", "c"],
                           "smtp: TLS: a certificate names a server, not an address\n", "connection from"),
    "expired": ("mail-old.example", expired, ["S", "p"], "smtp: TLS: certificate expired or not yet valid\n",
                "TLS error"),
}


@pytest.mark.parametrize("name,make,args,stderr,logs", REFUSALS.values(), ids=REFUSALS.keys())
def test_refused_with_nothing_sent_in_clear(box, name, make, args, stderr, logs):
    if make:
        serve(box, name, *make(box, name))
    logged = len(exim_log(box))
    login = {"c": LOGINS["cram-md5"], "p": LOGINS["login"]}[args[1]]
    r, wire = captured(box, ["i", name, *ADDR, "C", MODES[args[0]], *login, *args[2:], args[0], "/var/body"])
    assert (r.returncode, r.stderr) == (255, stderr)
    wait_for(lambda: logs in exim_log(box)[logged:], logs)
    assert not [s for s in SECRETS if s in wire]


# A router without a battery-backed clock reads 1970: the library's build
# date stands in, so a chain valid now still is, and one expired 300 days
# ago (before any build this test runs against) is still refused.
@pytest.mark.parametrize("days,status,stderr", [("90", 0, ""), ("-300", 255, REFUSALS["expired"][3])],
                         ids=["valid now", "expired before the build"])
def test_clock_in_1970_taken_as_the_build_date(box, days, status, stderr):
    name = f"mail-boot{days}.example"
    serve(box, name, *box.run("cert", name, "--days", days, check=True).stdout.split())
    box.run("clock", "set", "0", check=True)
    r = box.exec("smtp", "i", name, *ADDR, "C", "465", *LOGINS["login"], "T", "/var/body")
    box.run("clock", "set", str(int(time.time())), check=True)
    assert (r.returncode, r.stderr) == (status, stderr)


EHLO_TLS = ["250-scripted\r\n", "250 STARTTLS\r\n"]
TO = ["t", "c@d.example"]
# (arguments, script, exit status, standard error, what the server received
# in clear, after which only a TLS record may follow: None for no
# connection).  Lines sent after a 220 to STARTTLS are never taken for the
# server's: the handshake starts at once.
SCRIPTED = {
    "bytes injected after the 220": ([*TO, "S", "n"], [["220 hi\r\n"], EHLO_TLS, ["220 go\r\n250 injected\r\n", "<close>"]],
                                     255, "smtp: TLS: connection closed mid-handshake\n",
                                     b"ehlo localhost\r\nSTARTTLS\r\n"),
    "STARTTLS refused": ([*TO, "S", "n"], [["220 hi\r\n"], EHLO_TLS, ["454 not now\r\n"], ["221 bye\r\n"]], 255,
                         "smtp: the server refused STARTTLS\n", b"ehlo localhost\r\nSTARTTLS\r\nQUIT\r\n"),
    "EHLO refused": ([*TO, "S", "n"], [["220 hi\r\n"], ["500 what\r\n"], ["221 bye\r\n"]], 255,
                     "smtp: the server does not offer STARTTLS\n", b"ehlo localhost\r\nQUIT\r\n"),
    "S and T": ([*TO, "S", "n", "T"], [], 1, "", None),
    # S and T are not counted: three options and n are too few.
    "four options and S": (["S", "n"], [], 255, "", None),
}


@pytest.mark.parametrize("args,script,status,stderr,sent", SCRIPTED.values(), ids=SCRIPTED.keys())
def test_scripted_server(box, args, script, status, stderr, sent):
    received = box.file("scripted/received")
    box.file("scripted/script.json").write_text(json.dumps(script))
    received.unlink(missing_ok=True)
    r = box.exec("smtp", "i", "scripted", "s", "Alert", "C", "2525", *args, "/var/body")
    assert (r.returncode, r.stderr) == (status, stderr)
    if sent is None:
        assert not received.exists()
    else:
        clear, rest = received.read_bytes()[:len(sent)], received.read_bytes()[len(sent):]
        assert clear == sent and rest[:1] in (b"", b"\x16")
