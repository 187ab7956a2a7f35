"""ddns in the sandbox against protocol peers on the service host
(sim/servers/ddns_peer.py, proven first with Debian's ddclient), the scripted
Oray client and the sandbox clock."""

import base64
import json
import re
import subprocess
import time

import pytest

from conftest import BIN, DMZ, ISP, LAN, PATIENCE, SERVICE, SRC, WAN

PEER = str(SRC / "sim/servers/ddns_peer.py")
S18, S20, S22 = " " * 18, " " * 20, " " * 22
OK = "HTTP/1.0 200 OK\r\nContent-Type: text/plain\r\n\r\n"
PEERS = {"dyndns-peer": (80, "http"), "tzo-lookup-peer": (21340, "line"),
         "tzo-update-peer": (21346, "line")}


def conf(*records):
    return "".join("\t".join(map(str, r)) + "\n" for r in records)


class Box:
    """The module's sandbox with the three peers, and ddns runs in it."""

    def __init__(self, sim):
        self.sim = sim
        self.dir = sim.state / "ddns"
        self.dir.mkdir()
        for name in PEERS:
            self.add_peer(name)

    def add_peer(self, name):
        port, until = PEERS[name]
        self.sim.run("service", "add", name, str(port), "python3", PEER, str(port),
                     str(self.dir / f"{name}.answer"), str(self.dir / "requests"),
                     "--until", until, check=True)

    def answer(self, name, data):
        (self.dir / f"{name}.answer").write_bytes(data.encode("latin-1"))

    def requests(self, port=None):
        path = self.dir / "requests"
        lines = path.read_text().splitlines() if path.exists() else []
        return [r["request"] for r in map(json.loads, lines) if port in (None, r["port"])]

    def status(self, n):
        path = self.sim.file(f"var/run/ddnsStatus{n}")
        return path.read_text() if path.exists() else None

    def log(self):
        """(priority, message) of ddns since the last start."""
        text = self.sim.file("var/log/messages").read_text()[self.log_from:]
        return [(l.split(" user.")[1].split(" ")[0], l.split(" ddns: ", 1)[1])
                for l in text.splitlines() if " ddns: " in l]

    def wait(self, test, what, timeout=25):
        deadline = time.monotonic() + timeout * PATIENCE
        while not test():
            assert time.monotonic() < deadline, f"waited in vain for {what}: {self.log()}"
            time.sleep(0.05)

    def start(self, config, *args):
        for f in ["requests", *[f"var/run/{n}{i}" for n in ("ddnsStatus", "orayDdnsType",
                  "orayDdnsDomains") for i in (2, 3, 4)], "var/run/ddnsclient.pid", "oray.calls"]:
            path = self.dir / f if f == "requests" else self.sim.file(f)
            path.unlink(missing_ok=True)
        self.sim.file("var/ddnsclient.conf").write_text(config)
        self.log_from = len(self.sim.file("var/log/messages").read_text())
        self.proc = subprocess.Popen([str(BIN / "zezarur-sim"), "exec", "ddns", *args],
                                     env=self.sim.env, stdin=subprocess.DEVNULL,
                                     stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
        pid = self.sim.file("var/run/ddnsclient.pid")
        self.wait(lambda: pid.exists() and pid.read_text() or self.proc.poll() is not None,
                  "the pid file")

    def stop(self):
        pid = self.sim.file("var/run/ddnsclient.pid").read_text()
        self.sim.exec("kill", pid.strip(), check=True)
        self.proc.wait(timeout=10)
        return self.log()

    def attempt(self, config, status, done, n=4):
        """Runs ddns until record n's status file holds status and, for an
        attempt that fails, the cycle has said so; its log."""
        service = config.split("\t")[1]
        self.start(config)
        self.wait(lambda: self.status(n) == status and (done or f"Failed to update {service} service"
                                                        in [m for _, m in self.log()]), status)
        log = self.stop()
        assert (("info", f"Failed to update {service} service") not in log) == done
        return log


def said(message):
    """A message as busybox syslogd writes it: trailing line feeds go, the
    others become blanks, a carriage return is shown as ^M."""
    return message.rstrip("\n").replace("\n", " ").replace("\r", "^M")


@pytest.fixture(scope="module")
def box(module_sim):
    return Box(module_sim)


def dyndns_request(service, host, ip, wildcard, user, password, system=None):
    start, server = {"dyndns": ("GET /nic/update?", "members.dyndns.org"),
                     "dyndns-3322": ("GET /dyndns/update?", "members.3322.org")}[service]
    b64 = base64.b64encode(f"{user}:{password}".encode()).decode()
    b64 = "\n".join(b64[i:i + 76] for i in range(0, len(b64), 76))
    return (f"{start}system={system or 'dyndns'}&hostname={host}&myip={ip}&wildcard={wildcard}& "
            f"HTTP/1.0\r\nHost: {server}\r\nAuthorization: Basic {b64}\r\n"
            f"User-Agent: Brenlow/ZR4410/1.0.0\n\r\nConnection: close\r\nPragma: no-cache\r\n\n\n")


def test_the_dyndns_peer_speaks_the_protocol_to_ddclient(box, tmp_path):
    config = tmp_path / "ddclient.conf"
    config.write_text("ssl=no\nuse=if, if=wan0\nprotocol=dyndns2\nserver=members.dyndns.org\n"
                      "login=alice\npassword=secret\nalice.example.org\n")
    for body, verdict in [(f"good {WAN}", "SUCCESS:"), ("badauth", "FAILED:")]:
        box.answer("dyndns-peer", OK + body)
        (box.dir / "requests").unlink(missing_ok=True)
        r = box.sim.exec("ddclient", "-daemon=0", "-force", "-verbose", "-noquiet", "-file",
                         str(config), "-cache", str(tmp_path / "cache"))
        assert re.search(rf"{verdict}\s+updating alice.example.org", r.stdout + r.stderr)
        assert box.requests()[0].startswith(
            f"GET /nic/update?system=dyndns&hostname=alice.example.org&myip={WAN} ")
        assert "Authorization: Basic YWxpY2U6c2VjcmV0\r\n" in box.requests()[0]


UNREACHABLE = {
    "no-listener": "dyndns unable to establish" + S18 + "connection with members.dyndns.org \n",
    "no-name": "dyndns unable to resolve" + S18 + "members.dyndns.org check your dns configuration\n"}

NOT_UPDATED = "dyndns not updated"
# Server answer -> status file, log, and whether the attempt counts as done.
DYNDNS = [
    (OK + "good 198.51.100.7", "dyndns updated\n", "dyndns updated", True),
    (OK + f"nochg {WAN}", "dyndns updated\n", "dyndns updated", True),
    (OK + "good 127.0.0.1", "dyndns not updated\n", NOT_UPDATED, True),
    ("HTTP/1.1 200 OK\r\n\r\nbadauth", "badauth", NOT_UPDATED, True),
    (OK + "nohost", "nohost", NOT_UPDATED, True),
    (OK + "dnserr", "dyndns not updated\n", NOT_UPDATED, True),
    (OK + "911", "dyndns not updated\n", NOT_UPDATED, True),
    (OK + "badagent", "badagent", NOT_UPDATED, True),
    ("badagent", "", "dyndns server's response: badagent", False),
    ("connect timed out", "connecting to wrong server\n", "connecting to wrong server", False),
    ("", "connecting to wrong server\n", "connecting to wrong server", False),
    ("HTTP/1.0 400 Bad Request\r\n\r\n", "Bad request\n", "Bad request", False),
    ("HTTP/1.0 401 Unauthorized\r\n\r\nbadauth", "authentication failure\n",
     "authentication failure", False),
    ("HTTP/1.0 302 Found\r\nLocation: /\r\n\r\n", "server returned unknown code: 302\n",
     "server returned unknown code: 302", False),
    ("no-listener", UNREACHABLE["no-listener"], said(UNREACHABLE["no-listener"]), False),
    ("no-name", UNREACHABLE["no-name"], said(UNREACHABLE["no-name"]), False),
]


@pytest.mark.parametrize("answer,status,logged,done", DYNDNS)
def test_dyndns_answers(box, answer, status, logged, done):
    if answer == "no-listener":
        box.sim.run("service", "del", "dyndns-peer", check=True)
    elif answer == "no-name":
        box.sim.run("hosts", "del", "members.dyndns.org", check=True)
    else:
        box.answer("dyndns-peer", answer)
    try:
        log = box.attempt(conf([4, "dyndns", "a.example", "u", "p", 0, "NO"]), status, done)
    finally:
        if answer == "no-listener":
            box.add_peer("dyndns-peer")
        elif answer == "no-name":
            box.sim.run("hosts", "set", "members.dyndns.org", SERVICE, check=True)
    assert ("info", logged) in log


@pytest.mark.parametrize("answer,status,logged", [
    (OK + "good 198.51.100.7", "dyndns 3322 updated\n", "dyndns 3322 updated"),
    ("badagent", "", "dyndns 3322 server's response: badagent"),
    ("no-listener", "dyndns 3322 unable to establish" + S18 + "connection with members.3322.org \n",
     None)])
def test_3322_answers_carry_its_name(box, answer, status, logged):
    if answer == "no-listener":
        box.sim.run("service", "del", "dyndns-peer", check=True)
    box.answer("dyndns-peer", answer)
    try:
        log = box.attempt(conf([4, "dyndns-3322", "a.example", "u", "p", 0, "NO"]), status,
                          "updated" in status)
    finally:
        if answer == "no-listener":
            box.add_peer("dyndns-peer")
    assert ("info", logged or said(status)) in log


def test_requests_are_built_byte_for_byte(box):
    """Blank lines, doubled and leading TABs change nothing; a carriage return
    stays in the last field; wildcards go unescaped; long credentials break
    the Authorization line as the Base64 codec does; a fourth line is too many."""
    box.answer("dyndns-peer", OK + "good 198.51.100.7")
    user, password = "u" * 40, "p" * 20
    config = ("\n\n4\t\tdyndns\tone.example\t\talice\tsecret\t0\tNO\textra\n\n"
              "\t2\tdyndns-3322\ttwo.example\tbob\tpw\t0\tON&mx=a b\r\n"
              f"3\tdyndns\tthree.example\t{user}\t{password}\t0\tYES\n"
              "5\tdyndns\tfour.example\tu\tp\t0\tNO\n")
    box.start(config)
    box.wait(lambda: len(box.requests()) == 3, "three requests")
    log = box.stop()
    assert box.requests() == [
        dyndns_request("dyndns", "one.example", WAN, "NO", "alice", "secret"),
        dyndns_request("dyndns-3322", "two.example", LAN, "ON&mx=a b\r", "bob", "pw"),
        dyndns_request("dyndns", "three.example", DMZ, "YES", user, password)]
    assert ("err", "addDdnsConfig: Too Many Ddns Configuration") in log
    assert [m for _, m in log if m.startswith(("Ddns", "numOf"))] == [
        "Ddns 1 Configured", "Ddns 2 Configured", "Ddns 3 Configured", "numOfDdnsConfiguration 3"]
    assert box.status(5) is None
    assert ("info", "DYN_DNS: username:passwd alice:secret") in log
    assert ("info", "DYN_DNS 3322: username:passwd bob:pw") in log
    assert ("info", "Sending update request " + said(box.requests()[0])) in log


def test_configuration_is_read_once_as_the_firmware_writes_it(box):
    """A line of fewer than seven fields is skipped; the file is cut at byte 400, so an over-long request is refused
    and a wildcard crossing the cut is sent as far as it was read."""
    box.answer("dyndns-peer", OK + "good 198.51.100.7")
    long_line = conf([2, "dyndns", "h" * 260, "u", "p", 0, "NO"])
    short = "3\tdyndns\tshort.example\n"
    cut_line = "4\tdyndns\tcut.example\tu\tp\t0\t"
    pad = 398 - len(short) - len(long_line) - len(cut_line)
    config = short + long_line.replace("h" * 260, "h" * (260 + pad)) + cut_line + "ABCDEF\n" + \
        conf([3, "tzo", "d", "e", "k", 0, "NO"], [3, "tzo", "d", "e", "k", 0, "NO"])
    box.start(config)
    box.wait(lambda: box.status(4) == "dyndns updated\n", "the update")
    log = box.stop()
    # The request that can never fit opened no connection.
    assert len(box.requests()) == 1
    assert box.requests()[0].startswith("GET /nic/update?system=dyndns&hostname=cut.example&"
                                        f"myip={WAN}&wildcard=AB& HTTP/1.0\r\n")
    assert box.status(2) == "dyndns update request too long\n"
    assert ("err", "dyndns update request too long") in log
    assert log[:2] == [("info", said("\nreading ddnsclient.conf file ...\n")),
                       ("info", said("\nConfiguration \n" + config[:400]))]
    assert ("err", "addDdnsConfig: Incomplete Ddns Configuration") in log
    assert [m for _, m in log if m.startswith(("Ddns", "numOf"))] == [
        "Ddns 1 Configured", "Ddns 2 Configured", "numOfDdnsConfiguration 2"]
    pid = box.sim.file("var/run/ddnsclient.pid").read_text()
    assert pid.endswith("\n") and pid[:-1].isdigit()


def test_empty_configuration_still_waits_and_cycles(box):
    box.start("")
    box.wait(lambda: any(m.startswith("numOf") for _, m in box.log()), "the count")
    assert box.stop()[-1] == ("info", "numOfDdnsConfiguration 0")


@pytest.mark.parametrize("missing,logged", [
    ("var/ddnsclient.conf", "Failed to Open: /var/ddnsclient.conf \n"),
    ("var/run", "can not open pid file: /var/run/ddnsclient.pid")])
def test_missing_files_end_the_daemon(box, missing, logged):
    box.start("")
    box.stop()
    box.sim.sh(f"mv /{missing} /{missing}.away", check=True)
    try:
        assert box.sim.exec("ddns").returncode == 0
    finally:
        box.sim.sh(f"mv /{missing}.away /{missing}", check=True)
    assert box.log()[-1] == ("err", said(logged))


@pytest.mark.parametrize("keyword", ["DynDNS", "nosuch", "TZO"])
def test_unknown_keyword_ends_the_daemon(box, keyword):
    box.start(conf([4, keyword, "a.example", "u", "p", 0, "NO"]))
    assert box.proc.wait(timeout=20) == 0
    assert box.log()[-1] == ("err", f"unknown service {keyword}")


def test_waits_for_the_wan_and_passes_over_names_already_registered(box):
    box.answer("dyndns-peer", OK + "good 198.51.100.7")
    box.sim.run("hosts", "set", "already.example", WAN, check=True)
    box.sim.exec("ip", "link", "set", "wan0", "down", check=True)
    try:
        box.start(conf([4, "dyndns", "already.example", "u", "p", 0, "NO"],
                       [2, "dyndns", "other.example", "u", "p", 0, "NO"]))
        box.wait(lambda: any(m.startswith("numOf") for _, m in box.log()), "the count")
        time.sleep(1.5)
        assert box.requests() == []
    finally:
        box.sim.sh(f"ip link set wan0 up && ip route replace default via {ISP}", check=True)
    box.wait(lambda: box.status(2) == "dyndns updated\n", "the update of record 2")
    box.stop()
    assert box.status(4) == "service enabled\n"
    assert [r.split("&")[1] for r in box.requests()] == ["hostname=other.example"]


def test_detached_daemon(box):
    box.answer("dyndns-peer", OK + "good 198.51.100.7")
    box.start(conf([4, "dyndns", "a.example", "u", "p", 0, "NO"]), "b")
    assert box.proc.wait(timeout=10) == 0
    box.wait(lambda: box.status(4) == "dyndns updated\n", "the update")
    box.stop()


TZO_INVALID = "invalid tzo configuration:{}check your domain, username or password"
# (lookup answer, update answer) -> status file, log, done.
TZO = [
    (f"x,10.9.9.9,{SERVICE}\r\n", "OK ]40\r\n", "tzo updated\n", "tzo updated", True),
    ("tzo," + SERVICE, "] 41", "Invalid Name\n", "Invalid Name - host and domain name", True),
    ("tzo," + SERVICE, "]42", "Invalid Email Address Format\n", "Invalid Email Address Format", True),
    ("tzo," + SERVICE, "]46", "Invalid Name - host and domain name\n",
     "Invalid Name - host and domain name", True),
    ("tzo," + SERVICE, "]48", "tzo key expired\n", "tzo key expired", True),
    ("tzo," + SERVICE, "]43", "tzo update failed\n", "server returned Unknown code: 43", False),
    ("tzo," + SERVICE, "40", "tzo update failed\n", "server returned Unknown code: -1", False),
    ("no comma", "]40", TZO_INVALID.format(S22) + "\n", TZO_INVALID.format(S20), False),
    ("no-name", "]40", "DNS error occured," + S18 + "check your network configuration\n",
     "DNS error occured, check your network configuration", False),
]


@pytest.mark.parametrize("lookup,update,status,logged,done", TZO)
def test_tzo_answers(box, lookup, update, status, logged, done):
    box.answer("tzo-lookup-peer", lookup)
    box.answer("tzo-update-peer", update)
    if lookup == "no-name":
        box.sim.run("hosts", "del", "tzo-lookup.example", check=True)
    try:
        log = box.attempt(conf([4, "tzo", "home.example", "me@mail.example", "KEY1", 0, "NO"]),
                          status, done)
    finally:
        box.sim.run("hosts", "set", "tzo-lookup.example", SERVICE, check=True)
    assert ("info", said(logged)) in log
    looked_up = "," in lookup
    assert box.requests(21340) == ([] if lookup == "no-name" else ["I KEY1\r\n"])
    assert box.requests(21346) == ([f"R home.example,me@mail.example,KEY1,{WAN}\r\n"]
                                   if looked_up else [])


def oray_calls(box):
    return box.sim.run("oray", "calls", check=True).stdout.splitlines()


@pytest.mark.parametrize("kind,type_file,domains", [
    (0, "standard", "u1.oray.example\n"), (1, "professional", "u1.oray.example\n"), (2, " ", " ")])
def test_oray_account_types(box, kind, type_file, domains):
    box.sim.run("oray", "--login", "fail:1", "--type", str(kind), "--register", "ok",
                "--keepalive", "5", check=True)
    box.start(conf([2, "dyndns", "d.example", "u", "p", 0, "NO"],
                   [4, "iego", "o.example", "u1", "pw1", 0, "NO"]))
    box.wait(lambda: any(c.startswith("udpTimer") for c in oray_calls(box)), "the keep-alive")
    log = box.stop()
    assert box.sim.file("var/run/orayDdnsType4").read_text() == type_file
    assert box.sim.file("var/run/orayDdnsDomains4").read_text() == domains
    assert box.status(4) == "connecting ...."
    login = f"oraywebsvcMain u1 pw1 {WAN} services.example /var/run/ddnsStatus4"
    assert oray_calls(box) == [
        "orayDdnsUpdate /var/run/ddnsStatus4 connecting ....", login, login,
        f"orayDdnsUpdate /var/run/orayDdnsType4 {type_file}",
        *(["orayDdnsUpdate /var/run/orayDdnsDomains4  "] if kind == 2 else []),
        f"updatednsipMain 6060 u1 pw1 {WAN} 1 /var/run/ddnsStatus4 /var/run/orayDdnsDomains4",
        f"udpTimer {kind} {WAN} 1 /var/run/ddnsStatus4"]
    assert [m for _, m in log if m in ("Connecting...", "Sending oray dns ip update request...",
                                       "update DNS successful")] == [
        "Connecting...", "Sending oray dns ip update request...", "update DNS successful"]


def test_failing_update_is_retried_each_cycle(box):
    box.answer("dyndns-peer", "HTTP/1.0 401 Unauthorized\r\n\r\n")
    box.start(conf([4, "dyndns", "a.example", "u", "p", 0, "NO"]))
    box.wait(lambda: box.status(4) == "authentication failure\n", "the first attempt")
    box.sim.file("var/run/ddnsStatus4").write_text("seen\n")
    box.wait(lambda: box.status(4) == "authentication failure\n", "the second attempt")
    log = box.stop()
    assert [m for _, m in log].count("Failed to update dyndns service") == 2
    assert len(box.requests()) == 2


def test_cycles_refresh_address_change_and_keep_alive(box):
    """Three cycles: a refresh after the clock jumps past 3600 s (never with
    0), a changed WAN address registered in the next cycle, and an Oray
    keep-alive that fails: a new login in the same cycle, and every cycle
    while logins fail."""
    box.answer("dyndns-peer", OK + "good 198.51.100.7")
    box.sim.run("oray", "--login", "ok", "--type", "0", "--register", "ok", "--keepalive", "-1",
                check=True)
    box.start(conf([4, "dyndns", "a.example", "u", "p", 3600, "NO"],
                   [2, "dyndns", "b.example", "u", "p", 0, "NO"],
                   [3, "iego", "c.example", "u", "p", 0, "NO"]))
    logins = lambda: [c for c in oray_calls(box) if c.startswith(("oray", "upd", "udp"))
                      and "orayDdnsUpdate" not in c]
    box.wait(lambda: len(box.requests()) == 2 and len(logins()) == 5, "cycle 1")
    box.sim.run("oray", "--register", "fail", check=True)
    box.sim.run("clock", "advance", "3601", check=True)
    box.wait(lambda: len(box.requests()) == 3 and len(logins()) == 8, "cycle 2")
    box.sim.sh("ip addr flush dev wan0 && ip addr add 203.0.113.3/24 dev wan0 && "
               f"ip route replace default via {ISP}", check=True)
    try:
        box.wait(lambda: len(box.requests()) == 4 and len(logins()) == 10, "cycle 3")
        log = box.stop()
    finally:
        box.sim.sh(f"ip addr flush dev wan0 && ip addr add {WAN}/24 dev wan0 && "
                   f"ip route replace default via {ISP}", check=True)
    hosts = [r.split("&")[1:3] for r in box.requests()]
    assert hosts == [["hostname=a.example", f"myip={WAN}"], ["hostname=b.example", f"myip={LAN}"],
                     ["hostname=a.example", f"myip={WAN}"],
                     ["hostname=a.example", "myip=203.0.113.3"]]
    login, register, keep = "oraywebsvcMain", "updatednsipMain", "udpTimer"
    assert [c.split()[0] for c in logins()] == [login, register, keep, login, register,  # 1
                                                keep, login, register,  # 2: relogin fails
                                                login, register]  # 3: no keep-alive first
    assert [m for _, m in log].count("update DNS failed") == 2
    assert "Failed to update iego service" not in [m for _, m in log]
