"""smtp: mail read back from Exim with Python's email package; scripted replies; the command line."""

import base64
import email
import hmac
import json
import os
import re
from pathlib import Path
from subprocess import DEVNULL, PIPE, Popen

import pytest

from conftest import BIN, EMULATED, LAN, SANITIZED, SRC, WAN, wait_for

EXIM = Path(os.environ.get("ZEZARUR_EXIM", SRC / "build/exim/usr/sbin/exim4"))  # scripts/fetch-exim
LOG = "var/log/securityall/current"
ADDR = ["t", "c@d.example", "s", "Alert", "f", "a@b.example"]
SCRIPTED = ["i", "scripted", *ADDR, "C", "2525"]
# Exim's listeners: with AUTH, without, and strict (no PIPELINING, MAIL
# answered after a second).
EXIM_AUTH, EXIM_OPEN, EXIM_STRICT = (["i", "exim", *ADDR, "C", port] for port in ("2526", "2527", "2528"))
ALICE = ["u", "alice", "P", "secret"]
CRAM, LOGIN = ["c", *ALICE], ["p", *ALICE]


@pytest.fixture(scope="module")
def box(module_sim):
    if not EXIM.exists():
        pytest.fail(f"no Exim at {EXIM}: run scripts/fetch-exim")
    for name, port, server, first, extra in (("scripted", "2525", "smtp_scripted.py", "2525", []),
                                             ("exim", "2526", "smtp_exim.py", str(EXIM), ["alice:secret"])):
        module_sim.file(name).mkdir()
        module_sim.run("service", "add", name, port, "/usr/bin/python3", str(SRC / "sim/servers" / server), first,
                       str(module_sim.file(name)), *extra, check=True)
    module_sim.file(LOG).parent.mkdir(parents=True)
    return module_sim


# Exim's messages by file; its transport adds what it saw as X- headers.
def delivered(box):
    return {p.name: email.message_from_bytes(p.read_bytes()) for p in box.file("exim/maildir").glob("new/*")}


def exim_log(box):
    return box.file("exim/log/mainlog").read_text()


# What Exim logs when a client gets out of step or sends text as commands.
EXIM_COMPLAINTS = re.compile(r"synchronization error|unrecognized command|syntax error")
LONG = "x" * 250
# A log that tries to end the data and send commands of its own: dots after a
# NUL, after an empty line that follows a dot, after a piece of 99 CRs, after
# a bare CR.
HOSTILE = (f"{LONG}\n.\n\0\n\0.y\n" + "\r" * 99 + ".z\nMAIL FROM: <e@v.il>\nx\r.\rRCPT TO: <c@d.example>\n"
           ".x\nlast")
HOSTILE_BODY = f"{LONG}\n.\n\n.y\n.z\nMAIL FROM: <e@v.il>\nx.RCPT TO: <c@d.example>\n.x\nlast\n"
# (listener, login, log file content or None for missing, named file
# arguments, body as stored: Exim stores lines with a line feed alone)
DELIVERIES = {
    "no login, default log": (EXIM_OPEN, ["n"], HOSTILE, [], HOSTILE_BODY),
    "cram-md5, named log": (EXIM_STRICT, CRAM, "a\nb\n", ["/var/tmp/log", "ignored"], "a\nb\n\n"),
    "login, missing log": (EXIM_STRICT, LOGIN, None, ["/var/tmp/none"], "No Data Available.\n\n"),
}


@pytest.mark.parametrize("server,login,content,named,body", DELIVERIES.values(), ids=DELIVERIES.keys())
def test_mail_reaches_exim(box, server, login, content, named, body):
    if content is not None:
        box.file(named[0][1:] if named else LOG).write_text(content)
    before, logged = delivered(box), len(exim_log(box))
    r = box.exec("smtp", *server, *login, *named)
    assert r.returncode == 0, r.stderr
    (msg,) = wait_for(lambda: [m for file, m in delivered(box).items() if file not in before], "Exim's delivery")
    assert not EXIM_COMPLAINTS.search(exim_log(box)[logged:])
    assert re.fullmatch(r"[A-Z][a-z]{2}, \d\d [A-Z][a-z]{2} \d{4} \d\d:\d\d:\d\d [+-]\d{4}", msg["Date"])
    assert [msg[h] for h in ("From", "Subject", "To", "X-Peer", "X-Mail-From", "X-Rcpt-To", "X-Login")] == [
        '"a@b.example" <a@b.example>', "Alert", "c@d.example", LAN, "a@b.example", "c@d.example",
        None if login == ["n"] else "alice"]
    assert msg.get_payload() == body


# (listener, login and options, what Exim logs of the refusal, standard
# error); the log is hostile.  Exim's content filter refuses a subject that
# names its code at the end of the data.
REFUSALS = {
    "cram-md5 wrong password": (EXIM_STRICT, ["c", "u", "alice", "P", "wrong"], "cram authenticator failed", ""),
    "login wrong password": (EXIM_STRICT, ["p", "u", "alice", "P", "wrong"], "login authenticator failed", ""),
    # RCPT refused without a login: QUIT follows, never the headers or the log.
    "rcpt refused": (EXIM_AUTH, ["n"],
                     r"rejected RCPT <c@d.example>: authentication required\n[^\n]* closed by QUIT\n", ""),
    "452 at the end of data": (EXIM_OPEN, ["n", "s", "refuse 452"],
                               r"temporarily rejected after DATA: 452 mailbox full\n[^\n]* closed by QUIT\n",
                               "smtp: the message was refused: 452 mailbox full\n"),
    "554 at the end of data": (EXIM_STRICT, [*CRAM, "s", "refuse 554"],
                               r"rejected after DATA: 554 refused by the content filter\n[^\n]* closed by QUIT\n",
                               "smtp: the message was refused: 554 refused by the content filter\n"),
}


@pytest.mark.parametrize("server,login,refusal,stderr", REFUSALS.values(), ids=REFUSALS.keys())
def test_a_refused_mail_delivers_nothing(box, server, login, refusal, stderr):
    box.file("var/tmp/hostile").write_text(HOSTILE)
    logged, before = len(exim_log(box)), delivered(box).keys()
    r = box.exec("smtp", *server, *login, "/var/tmp/hostile")
    assert (r.returncode, r.stderr) == (255, stderr)
    wait_for(lambda: re.search(refusal, exim_log(box)[logged:]), refusal)
    assert delivered(box).keys() == before and not EXIM_COMPLAINTS.search(exim_log(box)[logged:])


def b64(text):
    return base64.b64encode(text.encode()).decode()


CHALLENGE = "<1896.697170952@postoffice.reston.mci.net>"
# Replies as lists of writes, each one read of the client's (a segment).
GREETING = ["220-mail.example\r\n", "220-ESMTP\r\n", "220 ready\r\n"]
OK, BYE = ["250 ok\r\n"], ["221 bye\r\n"]
EHLO_REPLY = ["250-mail.example\r\n", "250 AUTH CRAM-MD5 LOGIN\r\n"]
C334 = [f"334 {b64(CHALLENGE)}\r\n"]
MAIL = [OK, OK, ["354 go\r\n"], ["250 queued\r\n"]]
ENV = ["MAIL FROM: <a@b.example>", "RCPT TO: <c@d.example>", "DATA", "<data>", "QUIT"]
EHLO_LINE, HELO_LINE = "ehlo localhost", "helo localhost"
CRAM_ASKED = [EHLO_LINE, "auth cram-md5"]
FULL, NO_LOGIN = [GREETING, EHLO_REPLY, *MAIL, BYE], SCRIPTED + ["n"]
U100, U279 = "u" * 100, "u" * 279
ANSWER279 = b64(f"{U279} " + hmac.new(b"secret", CHALLENGE.encode(), "md5").hexdigest())
def usage(*rows):
    """A usage text: a line feed, then each row and its line feed; a number
    stands for a row of that many blanks."""
    return "\n" + "".join((" " * row if isinstance(row, int) else row) + "\n" for row in rows)


USAGE_A = usage("Usage::", "\ti <serve-ip>", 22, "\tt <to-address>", 30, "\ts <Subject>", 33,
                "\tf <from address>", "", "\tC < custom port >", "",
                "\tc <carm-md5 authentication> or" + " " * 16, "\tp <plain authentication>  or" + " " * 18,
                "\tn <no  authentication>", 22, "\tu <Username>", 32, "\tP <password>")
USAGE_B = usage("Usage::", "\ti <serve-ip>", 26, "\tt <to-address>", 34, "\ts <Subject>", 37,
                "\tf <from address>", "", "\tC <custom port>", "",
                "\tc <carm-md5 authentication> or" + " " * 20, "\tp <plain authentication>", "  or" + " " * 20,
                "\tn <no  authentication>", 26, "\tu <Username>", 36, "\tP <password>")
# herror's words for a name nobody knows are the C library's: glibc's here,
# musl's in the product build.
UNKNOWN_HOST, TIMED_OUT = ("Host not found", "Operation timed out") if EMULATED else (
    "Unknown host", "Connection timed out")
SENDER43 = "a" * 33 + "@b.example"


# (arguments, server's replies, exit status, standard error, lines the server
# received outside the data, None: no connection).  A refusal just past a
# read's size (MAIL's reply 102, LOGIN's 20, CRAM-MD5's 420) is the rest of
# its reply, not a reply of its own.  A later value of a letter replaces one.
DIALOGUES = {
    "quit answered 250": (NO_LOGIN, [GREETING, EHLO_REPLY, ["250 " + "x" * 98 + "550 no\r\n"], *MAIL[1:], OK], 0, "", [EHLO_LINE, *ENV]),
    "quit answered 500": (NO_LOGIN, [GREETING, EHLO_REPLY, *MAIL, ["500 no\r\n"]], 255, "", [EHLO_LINE, *ENV]),
    # A refusal ends the session: QUIT, never the headers and the log.
    "mail refused": (NO_LOGIN, [GREETING, EHLO_REPLY, ["451 later\r\n"], BYE], 255, "", [EHLO_LINE, ENV[0], "QUIT"]),
    "message refused 452": (NO_LOGIN, [GREETING, EHLO_REPLY, *MAIL[:3], ["452 4.3.1 full\r\n"], BYE], 255,
                            "smtp: the message was refused: 452 4.3.1 full\n", [EHLO_LINE, *ENV]),
    "message refused 554": (NO_LOGIN, [GREETING, EHLO_REPLY, *MAIL[:3], ["554-5.7.1 spam\r\n", "554 5.7.1 no\r\n"],
                            BYE], 255, "smtp: the message was refused: 554-5.7.1 spam\n", [EHLO_LINE, *ENV]),
    # Replies judged whole however the network cuts them.
    "one byte a segment": (NO_LOGIN, [list("".join(reply)) for reply in FULL], 0, "", [EHLO_LINE, *ENV]),
    **{f"250 ok cut after {at}": (NO_LOGIN, [GREETING, *([OK[0][:at], OK[0][at:]] if reply == OK else reply
                                                         for reply in [OK, OK, OK, MAIL[2], OK, OK])],
                                  0, "", [EHLO_LINE, *ENV]) for at in range(1, len(OK[0]))},
    "greeting 421": (NO_LOGIN, [["421 busy\r\n"]], 255, "", []),
    "ehlo 500, helo 250": (NO_LOGIN, [GREETING, ["500 what\r\n"], OK, *MAIL, BYE], 0, "", [EHLO_LINE, HELO_LINE, *ENV]),
    "ehlo and helo 500": (NO_LOGIN, [GREETING, ["500 what\r\n"], ["500 what\r\n"]], 255, "", [EHLO_LINE, HELO_LINE]),
    # Base64 lines unbroken: the codec's line feed after 76 characters left out.
    "login, 100-character user": (SCRIPTED + ["p", "u", U100, "P", "secret"], [GREETING, EHLO_REPLY, ["334 VXNlcm5hbWU6\r\n"],
                                  ["334 " + "x" * 16 + "535 no\r\n"], ["235 ok\r\n"], *MAIL, BYE], 0, "",
                                  [EHLO_LINE, "auth login", b64(U100), b64("secret"), *ENV]),
    "login 334 without blank": (SCRIPTED + LOGIN, [GREETING, EHLO_REPLY, ["334\r\n"]], 255, "", [EHLO_LINE, "auth login"]),
    # The CRAM-MD5 answer line holds 420 bytes: 279 characters of user name.
    "cram-md5, 279-character user": (SCRIPTED + ["c", "u", U279, "P", "secret"],
                                     [GREETING, EHLO_REPLY, C334, ["235 " + "x" * 416 + "550 no\r\n"], *MAIL, BYE], 0, "",
                                     [*CRAM_ASKED, ANSWER279, *ENV]),
    "cram-md5, 280-character user": (SCRIPTED + ["c", "u", U279 + "u", "P", "secret"], [GREETING, EHLO_REPLY, C334], 255,
                                     "smtp: the user name is too long for the CRAM-MD5 answer\n", CRAM_ASKED),
    "cram-md5 closed": (SCRIPTED + CRAM, [GREETING, EHLO_REPLY, ["<close>"]], 255, "smtp: the server sent no CRAM-MD5 challenge\n",
                        CRAM_ASKED),
    "cram-md5 reset": (SCRIPTED + CRAM, [GREETING, EHLO_REPLY, ["<reset>"]], 255, "recv: : Connection reset by peer\n",
                       CRAM_ASKED),
    # The command line.
    "no arguments": ([], FULL, 1, USAGE_A, None),
    "c then p": (["c", "p"], FULL, 1, "", None),
    # x is passed over and not counted: five options with n are enough.
    "unknown letter, five options": (["i", "scripted", "s", "Alert", "x", "f", "a@b.example", "C", "2525", "n"],
                                     FULL, 0, USAGE_B, [EHLO_LINE, ENV[0], "RCPT TO: <>", *ENV[2:]]),
    "unknown letter, four options": (["i", "scripted", "s", "Alert", "x", "C", "2525", "n"], FULL, 255,
                                     USAGE_B, None),
    "six options with c": (SCRIPTED + ["c"], FULL, 255, "", None),
    "c without a password": (SCRIPTED + ["c", "u", "alice"], FULL, 255,
                             "smtp: the login needs a user name (u) and a password (P)\n", None),
    "no login chosen": (SCRIPTED + ALICE, FULL, 255,
                        "smtp: no login chosen: c (CRAM-MD5), p (LOGIN) or n (none)\n", None),
    "no port": (SCRIPTED[:-2] + ["n", *ALICE], FULL, 255, "connect :: Connection refused\n", None),
    "unknown server": (NO_LOGIN + ["i", "nowhere.example"], FULL, 255, f"server lookup: {UNKNOWN_HOST}\n", None),
    "sender of 43": (NO_LOGIN + ["f", SENDER43], FULL, 0, "", [EHLO_LINE, f"MAIL FROM: <{SENDER43}>", *ENV[1:]]),
    "sender of 44": (NO_LOGIN + ["f", "a" + SENDER43], FULL, 255, "smtp: the sender address is longer than 43 characters\n",
                     None),
    "recipient of 88": (NO_LOGIN + ["t", "c" * 78 + "@d.example"], FULL, 255,
                        "smtp: the recipient address is longer than 87 characters\n", None),
    "subject of 90": (NO_LOGIN + ["s", "S" * 90], FULL, 255, "smtp: the subject is longer than 89 characters\n", None),
    "port of 8": (NO_LOGIN + ["C", "00002525"], FULL, 255, "smtp: the value of C is longer than 7 characters\n", None),
    "value missing": (NO_LOGIN + ["t"], FULL, 255, "smtp: option t needs a value\n", None),
    "subject missing": (NO_LOGIN + ["s"], FULL, 255, "", None),
}


@pytest.mark.parametrize("args,replies,status,stderr,sent", DIALOGUES.values(), ids=DIALOGUES.keys())
def test_dialogue(box, args, replies, status, stderr, sent):
    received = box.file("scripted/received")
    received.parent.joinpath("script.json").write_text(json.dumps(replies))
    received.unlink(missing_ok=True)
    r = box.exec("smtp", *args)
    assert (r.returncode, r.stderr) == (status, stderr)
    if sent is None:
        assert not received.exists()
    else:  # the headers in their order, the empty line, the body and the end mark as "<data>"
        text = re.sub(r"(?ms)^DATA\r\nFrom: [^\r\n]*\r\nDate: [^\r\n]*\r\nSubject: Alert\r\nTo: [^\r\n]*\r\n\r\n.*?"
                      r"\r\n\.\r\n", "DATA\r\n<data>\r\n", received.read_bytes().decode("latin-1"))
        assert text.split("\r\n")[:-1] == sent


def test_a_silent_server_is_left_at_the_time_limit(box):
    """No greeting ever comes: the run ends by itself once the router's clock
    has passed the 5 minutes (moved again until it has, since the wait may
    begin just after a move)."""
    folder = box.file("scripted")
    (folder / "script.json").write_text(json.dumps([[]]))
    (folder / "peer").unlink(missing_ok=True)
    run = Popen([str(BIN / "zezarur-sim"), "exec", "smtp", *NO_LOGIN], env=box.env, stdin=DEVNULL,
                stdout=DEVNULL, stderr=PIPE, text=True)
    wait_for(lambda: (folder / "peer").exists(), "the connection")
    wait_for(lambda: box.run("clock", "advance", "300", check=True) and run.poll() is not None, "the end")
    assert (run.returncode, run.stderr.read()) == (
        255, f"recv: : {TIMED_OUT}\nsmtp: the greeting time limit of 300 s ran out\n")


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


@pytest.mark.skipif(SANITIZED or EMULATED, reason="the sanitized library, or another CPU's, cannot load into python")
def test_two_runs_in_one_process(box):
    folder = box.file("scripted")
    (folder / "script.json").write_text(json.dumps(FULL))
    r = box.exec("/usr/bin/python3", "-c", TWICE, str(BIN / "libzezarur.so"), str(folder / "peer"), *NO_LOGIN)
    first, second, peer1, peer2, before, after = r.stdout.split()[-6:]
    assert (first, second, peer1, peer2, before) == ("0", "0", LAN, WAN, after)
