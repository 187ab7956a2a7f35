"""smtp in the sandbox: mail delivered to real servers (aiosmtpd, itself
proven with swaks and msmtp, and Exim) and read back with Python's email
package; every reply a scripted server can give; the command line."""

import base64
import email
import email.utils
import hmac
import json
import os
import re
import time
from pathlib import Path

import pytest

from conftest import BIN, EMULATED, LAN, SANITIZED, SRC, WAN

SERVERS = SRC / "sim/servers"
EXIM = Path(os.environ.get("ZEZARUR_EXIM", SRC / "build/exim/usr/sbin/exim4"))  # scripts/fetch-exim
LOG = "var/log/securityall/current"
ADDR = ["t", "c@d.example", "s", "Alert", "f", "a@b.example"]
REAL = ["i", "mail.example", *ADDR, "C", "25"]
SCRIPTED = ["i", "scripted", *ADDR, "C", "2525"]
# Exim's listeners: with AUTH, without, and strict (no PIPELINING, MAIL
# answered after a second).
EXIM_AUTH, EXIM_OPEN, EXIM_STRICT = (["i", "exim", *ADDR, "C", port] for port in ("2526", "2527", "2528"))
ALICE = ["u", "alice", "P", "secret"]


@pytest.fixture(scope="module")
def box(module_sim):
    if not EXIM.exists():
        pytest.fail(f"no Exim at {EXIM}: run scripts/fetch-exim")
    s = module_sim
    for name, port, server, first, extra in (
            ("mail", "25", "smtp_server.py", "25", ["alice:secret"]),
            ("scripted", "2525", "smtp_scripted.py", "2525", []),
            ("exim", "2526", "smtp_exim.py", str(EXIM), ["alice:secret"])):
        s.file(name).mkdir()
        s.run("service", "add", name, port, "/usr/bin/python3", str(SERVERS / server), first,
              str(s.file(name)), *extra, check=True)
    s.file(LOG).parent.mkdir(parents=True)
    return s


def stored(box, server):
    """What a real server has stored, by file: each message with what the
    server saw of it (Exim's transport adds it as headers)."""
    if server == "mail":
        return {int(p.stem): (email.message_from_bytes(p.with_suffix(".eml").read_bytes()),
                              json.loads(p.read_text())) for p in box.file("mail").glob("*.json")}
    got = {p.name: email.message_from_bytes(p.read_bytes()) for p in box.file("exim/maildir").glob("new/*")}
    return {name: (m, {"peer": m["X-Peer"], "mail_from": m["X-Mail-From"], "rcpt_tos": [m["X-Rcpt-To"]],
                       "login": m["X-Login"]}) for name, m in got.items()}


def exim_log(box):
    return box.file("exim/log/mainlog").read_text()


def test_the_server_is_proven_by_real_clients(box):
    for mech in ("LOGIN", "CRAM-MD5"):
        for pw, ok in (("secret", True), ("wrong", False)):
            r = box.exec("swaks", "--server", "mail.example", "--port", "25", "--from", "a@b.example",
                         "--to", "c@d.example", "--auth", mech, "--auth-user", "alice",
                         "--auth-password", pw, "--body", mech)
            assert (r.returncode == 0) == ok, r.stdout
            r = box.sh(f"printf 'Subject: m\\n\\n{mech}\\n' | msmtp --host=mail.example --port=25 "
                       f"--auth={mech.lower()} --user=alice --passwordeval='echo {pw}' --tls=off "
                       "--from=a@b.example c@d.example")
            assert (r.returncode == 0) == ok, r.stderr
    mail = stored(box, "mail")
    got = [mail[n] for n in sorted(mail)[-4:]]
    assert [m.get_payload().strip() for m, _ in got] == ["LOGIN"] * 2 + ["CRAM-MD5"] * 2
    assert {i["login"] for _, i in got} == {"alice"}


LONG = "x" * 250
# A log that tries to end the data and send commands of its own.
HOSTILE = f"{LONG}\n\0\n.\nMAIL FROM: <e@v.il>\nx\r.\rRCPT TO: <c@d.example>\n.x\nlast"
HOSTILE_BODY = f"{LONG}\r\n\r\n.\r\nMAIL FROM: <e@v.il>\r\nx.RCPT TO: <c@d.example>\r\n.x\r\nlast\r\n"
# (server, login, log file content or None for missing, named file arguments, body as stored)
DELIVERIES = {
    "no login": (REAL, ["n"], "a\nb\nc\n", [], "a\r\nb\r\nc\r\n\r\n"),
    "cram-md5, hostile log": (REAL, ["c", *ALICE], HOSTILE, ["/var/tmp/log", "ignored"], HOSTILE_BODY),
    "login, no log": (REAL, ["p", *ALICE], None, ["/var/tmp/none"], "No Data Available.\r\n\r\n"),
    "empty log": (REAL, ["n"], "", ["/var/tmp/log"], "No Data Available.\r\n\r\n"),
    # Exim reads the data as a production server does; the strict listener
    # refuses a client that sends before it is answered.
    "exim strict, cram-md5": (EXIM_STRICT, ["c", *ALICE], HOSTILE, [], HOSTILE_BODY),
    "exim strict, login": (EXIM_STRICT, ["p", *ALICE], HOSTILE, [], HOSTILE_BODY),
    "exim without auth": (EXIM_OPEN, ["n"], "a\n", [], "a\r\n\r\n"),
}
# What Exim logs when a client gets out of step or sends text as commands.
EXIM_COMPLAINTS = re.compile(r"synchronization error|unrecognized command|syntax error")


@pytest.mark.parametrize("server,login,content,named,body", DELIVERIES.values(), ids=DELIVERIES.keys())
def test_mail_reaches_a_real_server(box, server, login, content, named, body):
    if content is not None:
        box.file(named[0][1:] if named else LOG).write_text(content)
    name = "exim" if server[1] == "exim" else "mail"
    before, logged = stored(box, name), len(exim_log(box))
    r = box.exec("smtp", *server, *login, *named)
    assert r.returncode == 0, r.stderr
    for _ in range(200):  # Exim delivers in the background: wait for it
        new = [got for file, got in stored(box, name).items() if file not in before]
        if new:
            break
        time.sleep(0.05)
    (msg, info), = new
    assert not EXIM_COMPLAINTS.search(exim_log(box)[logged:])
    assert email.utils.parseaddr(msg["From"]) == ("a@b.example", "a@b.example")
    assert msg["From"] == '"a@b.example" <a@b.example>'
    assert re.fullmatch(r"[A-Z][a-z]{2}, \d\d [A-Z][a-z]{2} \d{4} \d\d:\d\d:\d\d [+-]\d{4}", msg["Date"])
    assert email.utils.parsedate_to_datetime(msg["Date"]).tzinfo
    # Exim stores lines with a line feed alone.
    assert (msg["Subject"], msg["To"], msg.get_payload().replace("\r\n", "\n")) == (
        "Alert", "c@d.example", body.replace("\r\n", "\n"))
    assert info == {"peer": LAN, "mail_from": "a@b.example", "rcpt_tos": ["c@d.example"],
                    "login": None if login == ["n"] else "alice"}


# (server, login, what Exim logs of the refusal); the log is hostile.
REFUSALS = {
    "cram-md5 wrong password": (REAL, ["c", "u", "alice", "P", "wrong"], None),
    "login wrong password": (REAL, ["p", "u", "alice", "P", "wrong"], None),
    "exim cram-md5 wrong password": (EXIM_STRICT, ["c", "u", "alice", "P", "wrong"], "cram authenticator failed"),
    "exim login wrong password": (EXIM_STRICT, ["p", "u", "alice", "P", "wrong"], "login authenticator failed"),
    # RCPT refused without a login: QUIT follows, never the headers or the log.
    "exim rcpt refused": (EXIM_AUTH, ["n"],
                          r"rejected RCPT <c@d.example>: authentication required\n[^\n]* closed by QUIT\n"),
}


@pytest.mark.parametrize("server,login,refusal", REFUSALS.values(), ids=REFUSALS.keys())
def test_a_refused_mail_delivers_nothing(box, server, login, refusal):
    box.file("var/tmp/hostile").write_text(HOSTILE)
    logged, before = len(exim_log(box)), [stored(box, name).keys() for name in ("mail", "exim")]
    assert box.exec("smtp", *server, *login, "/var/tmp/hostile").returncode == 255
    assert [stored(box, name).keys() for name in ("mail", "exim")] == before
    log = exim_log(box)[logged:]
    assert not EXIM_COMPLAINTS.search(log)
    if refusal:
        assert re.search(refusal, log), log


def b64(text):
    return base64.b64encode(text.encode()).decode()


CHALLENGE = "<1896.697170952@postoffice.reston.mci.net>"
ANSWER = b64("alice " + hmac.new(b"secret", CHALLENGE.encode(), "md5").hexdigest())
G, OK, Q = ["220 mail.example ESMTP\r\n"], ["250 ok\r\n"], ["221 bye\r\n"]
EHLO = ["250-mail.example\r\n250 AUTH CRAM-MD5 LOGIN\r\n"]
SPLIT = ["250-mail.example\r\n", "250 AUTH CRAM-MD5 LOGIN\r\n"]  # two writes
C334 = [f"334 {b64(CHALLENGE)}\r\n"]
U334, P334 = ["334 VXNlcm5hbWU6\r\n"], ["334 UGFzc3dvcmQ6\r\n"]
MAIL = [OK, OK, ["354 go\r\n"], ["250 queued\r\n"]]
ENV = ["MAIL FROM: <a@b.example>", "RCPT TO: <c@d.example>", "DATA", "<data>", "QUIT"]
EH, HE = "ehlo localhost", "helo localhost"
CRAM, LOGIN = ["c", *ALICE], ["p", *ALICE]
CRAM_SENT, LOGIN_SENT = [EH, "auth cram-md5", ANSWER], [EH, "auth login", b64("alice"), b64("secret")]
NO_CHALLENGE = "smtp: the server sent no CRAM-MD5 challenge\n"
USAGE_A = "\n" + "\n".join(["Usage::", "\ti <serve-ip>", " " * 22, "\tt <to-address>", " " * 30,
    "\ts <Subject>", " " * 33, "\tf <from address>", "", "\tC < custom port >", "",
    "\tc <carm-md5 authentication> or" + " " * 16, "\tp <plain authentication>  or" + " " * 18,
    "\tn <no  authentication>", " " * 22, "\tu <Username>", " " * 32, "\tP <password>"]) + "\n"
USAGE_B = "\n" + "\n".join(["Usage::", "\ti <serve-ip>", " " * 26, "\tt <to-address>", " " * 34,
    "\ts <Subject>", " " * 37, "\tf <from address>", "", "\tC <custom port>", "",
    "\tc <carm-md5 authentication> or" + " " * 20, "\tp <plain authentication>", "  or" + " " * 20,
    "\tn <no  authentication>", " " * 26, "\tu <Username>", " " * 36, "\tP <password>"]) + "\n"
FULL = [G, EHLO, *MAIL, Q]
# herror's words for a name nobody knows are the C library's: glibc's here,
# musl's in the product build.
UNKNOWN_HOST = "Host not found" if EMULATED else "Unknown host"
SENDER43 = "a" * 33 + "@b.example"


def with_value(letter, value):
    args = SCRIPTED + ["n"]
    args[args.index(letter) + 1] = value
    return args


# (arguments, server's replies, exit status, standard error, lines the server
# received outside the data, None: no connection)
DIALOGUES = {
    "no login": (SCRIPTED + ["n"], FULL, 0, "", [EH, *ENV]),
    "quit answered 250": (SCRIPTED + ["n"], [G, EHLO, *MAIL, OK], 0, "", [EH, *ENV]),
    "quit answered 500": (SCRIPTED + ["n"], [G, EHLO, *MAIL, ["500 no\r\n"]], 255, "", [EH, *ENV]),
    "closed before the quit reply": (SCRIPTED + ["n"], [G, EHLO, *MAIL, ["<close>"]], 255, "", [EH, *ENV]),
    # A refusal ends the session: QUIT, never the headers and the log.
    "mail refused": (SCRIPTED + ["n"], [G, EHLO, ["451 later\r\n"], Q], 255, "", [EH, ENV[0], "QUIT"]),
    "rcpt refused": (SCRIPTED + ["n"], [G, EHLO, OK, ["550 no\r\n"], Q], 255, "", [EH, *ENV[:2], "QUIT"]),
    "data refused": (SCRIPTED + ["n"], [G, EHLO, OK, OK, ["554 no\r\n"], Q], 255, "", [EH, *ENV[:3], "QUIT"]),
    "greeting 421": (SCRIPTED + ["n"], [["421 busy\r\n"]], 255, "", []),
    "ehlo 500, helo 250": (SCRIPTED + ["n"], [G, ["500 what\r\n"], OK, *MAIL, Q], 0, "", [EH, HE, *ENV]),
    "ehlo and helo 500": (SCRIPTED + ["n"], [G, ["500 what\r\n"], ["500 what\r\n"]], 255, "", [EH, HE]),
    "cram-md5 after a split hello": (SCRIPTED + CRAM, [G, SPLIT, C334, ["235 ok\r\n"], *MAIL, Q], 0, "",
                                     [*CRAM_SENT, *ENV]),
    "cram-md5 refused": (SCRIPTED + CRAM, [G, EHLO, C334, ["535 no\r\n"]], 255, "", CRAM_SENT),
    "cram-md5 334 without blank": (SCRIPTED + CRAM, [G, EHLO, ["334\r\n"]], 255, NO_CHALLENGE,
                                   [EH, "auth cram-md5"]),
    "cram-md5 closed": (SCRIPTED + CRAM, [G, EHLO, ["<close>"]], 255, NO_CHALLENGE, [EH, "auth cram-md5"]),
    "cram-md5 reset": (SCRIPTED + CRAM, [G, EHLO, ["<reset>"]], 255, "recv: : Connection reset by peer\n",
                       [EH, "auth cram-md5"]),
    "login after a split hello": (SCRIPTED + LOGIN, [G, SPLIT, U334, P334, ["235 ok\r\n"], *MAIL, Q], 0, "",
                                  [*LOGIN_SENT, *ENV]),
    "login 535": (SCRIPTED + LOGIN, [G, EHLO, U334, P334, ["535 no\r\n"]], 255, "", LOGIN_SENT),
    "login 502": (SCRIPTED + LOGIN, [G, EHLO, U334, P334, ["502 no\r\n"]], 255, "", LOGIN_SENT),
    "login 250": (SCRIPTED + LOGIN, [G, EHLO, U334, P334, OK], 255, "", LOGIN_SENT),
    "login 334 without blank": (SCRIPTED + LOGIN, [G, EHLO, ["334\r\n"]], 255, "", [EH, "auth login"]),
    "login closed": (SCRIPTED + LOGIN, [G, EHLO, ["<close>"]], 255, "", [EH, "auth login"]),
    # The command line.
    "no arguments": ([], FULL, 1, USAGE_A, None),
    "c then p": (["c", "p"], FULL, 1, "", None),
    "unknown letter": (SCRIPTED[:6] + ["x"] + SCRIPTED[6:] + ["n"], FULL, 0, USAGE_B, [EH, *ENV]),
    "unknown letter not counted": (["i", "scripted", "s", "Alert", "x", "C", "2525", "n"], FULL, 255,
                                   USAGE_B, None),
    "five options with n": (["i", "scripted", "s", "Alert", "f", "a@b.example", "C", "2525", "n"], FULL,
                            0, "", [EH, ENV[0], "RCPT TO: <>", *ENV[2:]]),
    "six options with c": (SCRIPTED + ["c"], FULL, 255, "", None),
    "c without a password": (SCRIPTED + ["c", "u", "alice"], FULL, 255,
                             "smtp: the login needs a user name (u) and a password (P)\n", None),
    "no login chosen": (SCRIPTED + ALICE, FULL, 255,
                        "smtp: no login chosen: c (CRAM-MD5), p (LOGIN) or n (none)\n", None),
    "no port": (SCRIPTED[:-2] + ["n", *ALICE], FULL, 255, "connect :: Connection refused\n", None),
    "unknown server": (with_value("i", "nowhere.example"), FULL, 255, f"server lookup: {UNKNOWN_HOST}\n", None),
    "sender of 43": (with_value("f", SENDER43), FULL, 0, "", [EH, f"MAIL FROM: <{SENDER43}>", *ENV[1:]]),
    "sender of 44": (with_value("f", "a" + SENDER43), FULL, 255,
                     "smtp: the sender address is longer than 43 characters\n", None),
    "recipient of 88": (with_value("t", "c" * 78 + "@d.example"), FULL, 255,
                        "smtp: the recipient address is longer than 87 characters\n", None),
    "subject of 90": (with_value("s", "S" * 90), FULL, 255, "smtp: the subject is longer than 89 characters\n",
                      None),
    "server of 100": (with_value("i", "m" * 100), FULL, 255,
                      "smtp: the value of i is longer than 99 characters\n", None),
    "port of 8": (with_value("C", "00002525"), FULL, 255,
                  "smtp: the value of C is longer than 7 characters\n", None),
    "value missing": (SCRIPTED + ["n", "t"], FULL, 255, "smtp: option t needs a value\n", None),
    "empty subject": (with_value("s", ""), FULL, 255, "", None),
    "subject missing": (SCRIPTED + ["n", "s"], FULL, 255, "", None),
}


def outside_data(received):
    lines, data = received.decode("latin-1").split("\r\n"), False
    out = []
    for number, line in enumerate(lines):
        if data:
            data = line != "."
            continue
        out.append(line)
        if line == "DATA" and "." in lines[number:]:  # not refused
            out.append("<data>")
            data = True
    return out[:-1]


@pytest.mark.parametrize("args,replies,status,stderr,sent", DIALOGUES.values(), ids=DIALOGUES.keys())
def test_dialogue(box, args, replies, status, stderr, sent):
    folder = box.file("scripted")
    (folder / "script.json").write_text(json.dumps(replies))
    for name in ("received", "peer"):
        (folder / name).unlink(missing_ok=True)
    r = box.exec("smtp", *args)
    assert (r.returncode, r.stderr) == (status, stderr)
    if sent is None:
        assert not (folder / "peer").exists()
    else:
        assert outside_data((folder / "received").read_bytes()) == sent
        assert (folder / "peer").read_text() == LAN


def test_the_wire_bytes_of_a_mail(box):
    folder = box.file("scripted")
    (folder / "script.json").write_text(json.dumps(FULL))
    # A NUL line before "." and a bare CR before "." end no line on the wire:
    # NUL and CR are left out, every leading dot doubled.
    box.file("var/tmp/wire").write_bytes(f"a\n{LONG}\n.\n..x\n\0\n.\n\0.y\nMAIL FROM: <e@v.il>\nx\r.\rz\nlast"
                                         .encode())
    assert box.exec("smtp", *SCRIPTED, "n", "/var/tmp/wire").returncode == 0
    data = (folder / "received").read_bytes().split(b"DATA\r\n", 1)[1]
    assert re.fullmatch(rb'From: "a@b.example" <a@b.example>\r\nDate: [^\r\n]+\r\nSubject: Alert\r\n'
                        rb"To: c@d.example\r\n\r\na\r\n" + LONG.encode() + rb"\r\n\.\.\r\n\.\.\.x\r\n"
                        rb"\r\n\.\.\r\n\.\.y\r\nMAIL FROM: <e@v\.il>\r\nx\.z\r\nlast\r\n\.\r\nQUIT\r\n", data)


# Two runs in one process: no descriptor stays open; the second run's new
# socket is not bound again (the LAN address has not changed since the first).
TWICE = """
import ctypes, os, sys
lib = ctypes.CDLL(sys.argv[1])
args = [b"smtp"] + [a.encode() for a in sys.argv[3:]]
def run(): return lib.smtpMain(len(args), (ctypes.c_char_p * (len(args) + 1))(*args, None))
before = len(os.listdir("/proc/self/fd"))
first = run(); peer = open(sys.argv[2]).read(); second = run()
print(first, second, peer, open(sys.argv[2]).read(), before, len(os.listdir("/proc/self/fd")))
"""


@pytest.mark.skipif(SANITIZED or EMULATED, reason="the sanitized library, or another CPU's, "
                                              "cannot load into python")
def test_two_runs_in_one_process(box):
    folder = box.file("scripted")
    (folder / "script.json").write_text(json.dumps(FULL))
    r = box.exec("/usr/bin/python3", "-c", TWICE, str(BIN / "libzezarur.so"), str(folder / "peer"),
                 *SCRIPTED, "n")
    first, second, peer1, peer2, before, after = r.stdout.split()[-6:]
    assert (first, second, peer1, peer2, before) == ("0", "0", LAN, WAN, after)
