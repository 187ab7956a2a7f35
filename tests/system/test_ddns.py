"""ddns against service peers (proven by ddclient), scripted Oray and clock."""

import ipaddress
import json
import re
from subprocess import DEVNULL, Popen

import pytest

from conftest import BIN, DMZ, ISP, LAN, SERVICE, SRC, WAN, plan, wait_for

PEER = str(SRC / "sim/servers/ddns_peer.py")
OK = "HTTP/1.0 200 OK\r\nContent-Type: text/plain\r\n\r\n"
GOOD = OK + "good 198.51.100.7"
PEERS = {"dyndns-peer": (80, "http"), "tzo-lookup-peer": (21340, "line"),
         "tzo-update-peer": (21346, "line")}


def conf(*records):
    return "".join("\t".join(map(str, r)) + "\n" for r in records)


# A message as busybox syslogd writes it: trailing line feeds go, the others
# become blanks, a carriage return is shown as ^M.
def said(message):
    return message.rstrip("\n").replace("\n", " ").replace("\r", "^M")


class Box:
    """The sandbox with the three peers, and ddns runs in it."""

    def __init__(self, sim):
        self.sim = sim
        sim.file("ddns").mkdir()
        for name, (port, until) in PEERS.items():
            sim.run("service", "add", name, str(port), "python3", PEER, str(port), str(sim.file(f"ddns/{name}.answer")),
                    str(sim.file("ddns/requests")), "--until", until, "--bind", SERVICE, check=True)

    def answer(self, name, data):
        self.sim.file(f"ddns/{name}.answer").write_bytes(data.encode("latin-1"))

    def text(self, name):  # None when the file is not there
        path = self.sim.file(name)
        return path.read_text() if path.exists() else None

    def requests(self, port=None):
        lines = (self.text("ddns/requests") or "").splitlines()
        return [r["request"] for r in map(json.loads, lines) if port in (None, r["port"])]

    def log(self):
        return self.sim.log("ddns", self.mark)

    def start(self, config, *args):
        for f in ["ddns/requests", "var/run/ddnsclient.pid", "oray.calls",
                  *(f"var/run/ddnsStatus{i}" for i in range(2, 6))]:
            self.sim.file(f).unlink(missing_ok=True)
        self.sim.file("var/ddnsclient.conf").write_text(config)
        self.mark = self.sim.log_end()
        with open(self.sim.file("ddns/stderr"), "w") as stderr:
            self.proc = Popen([str(BIN / "zezarur-sim"), "exec", "ddns", *args], env=self.sim.env,
                              stdin=DEVNULL, stdout=DEVNULL, stderr=stderr)
        pid = self.sim.file("var/run/ddnsclient.pid")
        wait_for(lambda: pid.exists() and pid.read_text() or self.proc.poll() is not None,
                 "the pid file")

    def stop(self):
        self.sim.exec("kill", self.sim.file("var/run/ddnsclient.pid").read_text().strip(), check=True)
        self.proc.wait(timeout=10)
        return self.log()

    # Runs ddns until record 4's status file holds status and, for an attempt
    # that fails, the cycle has said so; its log.
    def attempt(self, config, status, done):
        failed = ("info", f"Failed to update {config.split(chr(9))[1]} service")
        self.start(config)
        wait_for(lambda: self.text("var/run/ddnsStatus4") == status and (done or failed in self.log()), status)
        log = self.stop()
        assert (failed not in log) == done
        return log


@pytest.fixture(scope="module")
def box(module_sim):
    return Box(module_sim)


def test_the_dyndns_peer_speaks_the_protocol_to_ddclient(box, tmp_path):
    config = tmp_path / "ddclient.conf"
    config.write_text(f"ssl=no\nuse=if, if=wan0\nprotocol=dyndns2\nserver={plan.DYNDNS_HOST}\n"
                      "login=alice\npassword=secret\nalice.example.org\n")
    box.answer("dyndns-peer", OK + f"good {WAN}")
    r = box.sim.exec("ddclient", "-daemon=0", "-force", "-verbose", "-noquiet", "-file",
                     str(config), "-cache", str(tmp_path / "cache"))
    assert re.search(r"SUCCESS:\s+updating alice.example.org", r.stdout + r.stderr)
    assert re.match(rf"GET /nic/update\?system=dyndns&hostname=alice.example.org&myip={WAN} .*"
                    r"\r\nAuthorization: Basic YWxpY2U6c2VjcmV0\r\n", box.requests()[-1], re.S)


# The first server of each service: refused when its name points at the
# router's own loopback, unknown when deleted (hosts commands, @ the name).
FIRST = {"dyndns": plan.DYNDNS_HOST, "dyndns-3322": plan.DYNDNS_3322_HOST, "tzo": plan.TZO_LOOKUP_HOST}
NO_LISTENER, NO_NAME = "set @ 127.0.0.1", "del @"
UNREACHED = "{} unable to establish" + " " * 18 + "connection with {} \n"
LOOKUP = "tzo," + SERVICE
TZO_INVALID = "invalid tzo configuration:{}check your domain, username or password"
# Service, answer (TZO: lookup|update), status file, log when it is not the
# status's text, and whether the attempt counts as done.
ANSWERS = [
    ("dyndns", GOOD, "dyndns updated\n", None, True),
    ("dyndns-3322", OK + f"nochg {WAN}", "dyndns 3322 updated\n", None, True),
    ("dyndns", "HTTP/1.1 200 OK\r\n\r\nbadauth", "badauth", "dyndns not updated", True),
    ("dyndns", OK + "dnserr", "dyndns not updated\n", None, True),
    ("dyndns", "badagent", "", "dyndns server's response: badagent", False),
    ("dyndns-3322", "badagent", "", "dyndns 3322 server's response: badagent", False),
    ("dyndns", "", "connecting to wrong server\n", None, False),
    ("dyndns", "HTTP/1.0 400 Bad Request\r\n\r\n", "Bad request\n", None, False),
    ("dyndns", "HTTP/1.0 401 Unauthorized\r\n\r\nbadauth", "authentication failure\n", None, False),
    ("dyndns", "HTTP/1.0 302 Found\r\n\r\n", "server returned unknown code: 302\n", None, False),
    ("dyndns", NO_LISTENER, UNREACHED.format("dyndns", plan.DYNDNS_HOST), None, False),
    ("dyndns-3322", NO_LISTENER, UNREACHED.format("dyndns 3322", plan.DYNDNS_3322_HOST), None, False),
    ("dyndns", NO_NAME, f"dyndns unable to resolve{' ' * 18}{plan.DYNDNS_HOST} check your dns "
     "configuration\n", None, False),
    ("tzo", f"x,10.9.9.9,{SERVICE}\r\n|OK ]40\r\n", "tzo updated\n", None, True),
    ("tzo", LOOKUP + "|] 41", "Invalid Name\n", "Invalid Name - host and domain name", True),
    ("tzo", LOOKUP + "|]42", "Invalid Email Address Format\n", None, True),
    ("tzo", LOOKUP + "|]46", "Invalid Name - host and domain name\n", None, True),
    ("tzo", LOOKUP + "|]48", "tzo key expired\n", None, True),
    ("tzo", LOOKUP + "|40", "tzo update failed\n", "server returned Unknown code: -1", False),
    ("tzo", "no comma|]40", TZO_INVALID.format(" " * 22) + "\n", TZO_INVALID.format(" " * 20), False),
    # The update server refuses: nothing is sent, and nothing but the refusal said.
    ("tzo", "tzo,127.0.0.1|", "", "sending tzo update request", False),
    ("tzo", NO_LISTENER, "tzo:unable to establish connection\n", None, False),
    ("tzo", NO_NAME, f"DNS error occured,{' ' * 18}check your network configuration\n",
     "DNS error occured, check your network configuration", False),
]


@pytest.mark.parametrize("service,answer,status,logged,done", ANSWERS)
def test_answers(box, service, answer, status, logged, done):
    for peer, text in zip(PEERS, (answer, *answer.split("|"))):
        box.answer(peer, text)
    if answer in (NO_LISTENER, NO_NAME):
        box.sim.run("hosts", *answer.replace("@", FIRST[service]).split(), check=True)
    try:
        log = box.attempt(conf([4, service, "home.example", "me@mail.example", "KEY1", 0, "NO"]), status, done)
    finally:
        box.sim.run("hosts", "set", FIRST[service], SERVICE, check=True)
    assert ("info", said(logged or status)) in log and "send:" not in box.text("ddns/stderr")
    if service == "tzo":
        assert box.requests() == ["I KEY1\r\n"] * ("|" in answer) + \
            [f"R home.example,me@mail.example,KEY1,{WAN}\r\n"] * (SERVICE in answer.split("|")[0])


def test_a_silent_server_holds_the_other_records_only_until_the_time_limit(box):
    """The first record's server takes the request and never answers: at the
    real 2-minute limit it counts as unreached, the second record is
    registered in that same cycle, and the first is tried again the next."""
    silent = plan.SPARE_SERVICE_ADDRESS
    box.answer("dyndns-peer", GOOD)
    box.sim.file("ddns/silent.answer").write_text("<silent>")
    box.sim.run("service", "--address", silent, "add", "silent", "80", "python3", PEER, "80",
                str(box.sim.file("ddns/silent.answer")), str(box.sim.file("ddns/requests")), "--bind", silent,
                check=True)
    box.sim.run("hosts", "set", plan.DYNDNS_3322_HOST, silent, check=True)
    to_silent = lambda: [r for r in box.requests() if r.startswith("GET /dyndns/")]  # noqa: E731
    try:
        box.start(conf([4, "dyndns-3322", "one.example", "u", "p", 0, "NO"],
                       [2, "dyndns", "two.example", "u", "p", 0, "NO"]))
        wait_for(to_silent, "the first request")
        wait_for(lambda: box.text("var/run/ddnsStatus2") == "dyndns updated\n", "the second record", timeout=150)
        assert box.text("var/run/ddnsStatus4") == UNREACHED.format("dyndns 3322", plan.DYNDNS_3322_HOST) + \
            f"{plan.DYNDNS_3322_HOST}: exchange time limit of 120 s ran out\n"
        wait_for(lambda: len(to_silent()) == 2, "the first record's next attempt")
        box.stop()
    finally:
        box.sim.run("service", "del", "silent", check=True)
        box.sim.run("hosts", "set", plan.DYNDNS_3322_HOST, SERVICE, check=True)
    assert "recv: " in box.text("ddns/stderr")


REQUEST = ("GET /{}/update?system=dyndns&hostname={}&myip={}&wildcard={}& HTTP/1.0\r\nHost: {}\r\n"
           "Authorization: Basic {}\r\nUser-Agent: Brenlow/ZR4410/1.0.0\n\r\n"
           "Connection: close\r\nPragma: no-cache\r\n\n\n")


def test_configuration_is_read_once_and_requests_built_byte_for_byte(box):
    """Blank lines, doubled TABs, an eighth field change nothing; a CR stays in
    the last field; wildcards go unescaped; the file is cut at byte 400."""
    box.answer("dyndns-peer", GOOD)
    config = ("\n\n4\t\tdyndns\tone.example\t\talice\tsecret\t0\tNO\textra\n\n"
              "\t2\tdyndns-3322\ttwo.example\tbob\tpw\t0\tON&mx=a b\r\n" +
              conf([3, "dyndns", "h" * 230, "u", "p", 0, "NO"],
                   [5, "dyndns", "four.example", "u", "p", 0, "NO"],
                   [6, "dyndns", "six.example", "u", "p", 0, "NO"]))
    box.start(config)
    wait_for(lambda: ("err", "dyndns update request too long") in box.log(), "the refusal")
    log = box.stop()
    assert box.requests() == [
        REQUEST.format("nic", "one.example", WAN, "NO", plan.DYNDNS_HOST, "YWxpY2U6c2VjcmV0"),
        REQUEST.format("dyndns", "two.example", LAN, "ON&mx=a b\r", plan.DYNDNS_3322_HOST, "Ym9iOnB3")]
    assert box.text("var/run/ddnsStatus3") == "dyndns update request too long\n"
    assert log[:11] == [("err" if "addDdns" in m else "info", said(m)) for m in [
        "\nreading ddnsclient.conf file ...\n", "\nConfiguration \n" + config[:400],
        *(f"Ddns {n} Configured" for n in (1, 2, 3)), "addDdnsConfig: Too Many Ddns Configuration",
        "addDdnsConfig: Incomplete Ddns Configuration", "numOfDdnsConfiguration 3",
        "DYN_DNS: username:passwd alice:secret", "sending dyndns update request",
        "Sending update request " + box.requests()[0]]]
    assert ("info", "DYN_DNS 3322: username:passwd bob:pw") in log


@pytest.mark.parametrize("config,missing,logged", [
    (conf([4, "DynDNS", "a.example", "u", "p", 0, "NO"]), None, "unknown service DynDNS"),
    ("", "var/ddnsclient.conf", "Failed to Open: /var/ddnsclient.conf \n"),
    ("", "var/run", "can not open pid file: /var/run/ddnsclient.pid")])
def test_daemon_ends_with_0(box, config, missing, logged):
    box.sim.file("var/ddnsclient.conf").write_text(config)
    mark = box.sim.log_end()
    script = f"mv /{missing} /{missing}.away; ddns; r=$?; mv /{missing}.away /{missing}; exit $r"
    assert box.sim.sh(script if missing else "ddns").returncode == 0
    assert box.sim.log("ddns", mark)[-1] == ("err", said(logged))


def test_an_interface_number_past_32_bits_reads_as_the_routers(box):
    """4294967297 saturates at 2147483647 as the router's 32-bit strtol has
    it, on every CPU: its status path, cut at 24 characters, says so."""
    box.start(conf([4294967297, "dyndns", "a.example", "u", "p", 0, "NO"]))
    wait_for(lambda: box.text("var/run/ddnsStatus21474") == "service enabled\n", "the status file")
    box.stop()


def test_cycles(box):
    """Detached: waits for the WAN, skips a name already registered until 3600 s
    pass (never with 0) or the address changes, retries failures each cycle;
    Oray logins until one passes, the type files, a failing keep-alive."""
    box.answer("dyndns-peer", GOOD)
    box.answer("tzo-lookup-peer", "no comma")
    box.sim.run("oray", "--login", "fail:1", "--type", "0", "--register", "ok", "--keepalive", "-1", check=True)
    box.sim.run("hosts", "set", "a.example", WAN, check=True)
    wan = lambda cmd: box.sim.sh(f"{cmd} && ip route replace default via {ISP}", check=True)  # noqa: E731
    box.sim.exec("ip", "link", "set", "wan0", "down", check=True)
    try:
        box.start(conf([4, "dyndns", "a.example", "u", "p", 3600, "NO"],
                       [2, "tzo", "b.example", "e", "k", 0, "NO"],
                       [3, "iego", "c.example", "u3", "p3", 0, "NO"]), "b")
        assert box.proc.wait(timeout=10) == 0
        wait_for(lambda: any(m.startswith("numOf") for _, m in box.log()), "the count")
    finally:
        wan("ip link set wan0 up")
    oray = lambda: box.sim.run("oray", "calls", check=True).stdout.splitlines()  # noqa: E731
    calls = lambda: [c for c in oray() if not c.startswith("orayDdns")]  # noqa: E731
    cycle = lambda n, logins: wait_for(lambda: len(calls()) == logins and  # noqa: E731
                                       len(box.requests(80)) + 1 == len(box.requests(21340)) == n, f"cycle {n}")
    cycle(1, 6)
    box.sim.run("oray", "--register", "fail", "--type", "1", check=True)
    box.sim.run("clock", "advance", "3601", check=True)
    cycle(2, 9)
    box.sim.run("oray", "--type", "2", check=True)
    moved = str(ipaddress.ip_address(WAN) + 1)
    wan(f"ip addr flush dev wan0 && ip addr add {moved}/24 dev wan0")
    try:
        cycle(3, 11)
        log = [m for _, m in box.stop()]
    finally:
        wan(f"ip addr flush dev wan0 && ip addr add {WAN}/24 dev wan0")
    assert [r.split("&")[2] for r in box.requests(80)] == [f"myip={WAN}", f"myip={moved}"]
    # Cycle 1 logs in again at once; cycle 2's new login fails, so cycle 3 starts no keep-alive.
    assert [c[:3] for c in calls()] == "ora ora upd udp ora upd  udp ora upd  ora upd".split()
    status = "/var/run/ddnsStatus3"
    assert oray()[:3] == [f"orayDdnsUpdate {status} connecting ....",
                          *[f"oraywebsvcMain u3 p3 {DMZ} {plan.ORAY_HOST} {status}"] * 2]
    assert {f"updatednsipMain 6060 u3 p3 {DMZ} 2 {status} /var/run/orayDdnsDomains3",
            f"udpTimer 0 {DMZ} 2 {status}"} <= set(oray())
    assert [c.split(" ", 2)[2] for c in oray() if "orayDdnsType3" in c or "Domains3 " in c] \
        == ["standard", "standard", "professional", " ", " "]
    assert {"Connecting...", "Sending oray dns ip update request...", "update DNS successful"} <= set(log)
    assert log.count("update DNS failed") == 2 and log.count("Failed to update tzo service") == 3
