"""ddns's URL records: the "dyndns" keyword's update sent to a provider's
URL, over HTTPS (a chain of the sandbox's authority) or HTTP; a refusal that
a retry cannot fix stops its record, other failures hold it back by the
router's clock."""

import pytest

from conftest import DMZ, LAN, SERVICE, WAN, plan, wait_for
from test_ddns import GOOD, OK, PEER, REQUEST, Box, conf, said

# Host names of the service host, each a provider on its port (443: TLS).
PROVIDERS = {"provider.example": 443, "plain.example": 8245, "third.example": 8246, "fourth.example": 8247}
HTTP = [f"http://{name}:{port}/dyn/update" for name, port in PROVIDERS.items() if port != 443]
STOPPED = "{} refused the update ({}): stopped until ddns starts again\n"
NEXT = "{}: next attempt in {} s\n"
STATUS = "var/run/ddnsStatus{}"
IFNUMS = (4, 2, 3)


def host(url):
    return url.split("/")[2].split(":")[0]


class UrlBox(Box):
    def __init__(self, sim):  # the providers instead of the keywords' peers
        self.sim = sim
        sim.file("ddns").mkdir()
        for name, port in PROVIDERS.items():
            chain = ["--tls", *sim.run("cert", name, check=True).stdout.split()] * (port == 443)
            sim.run("service", "add", name, str(port), "python3", PEER, str(port), str(sim.file(f"ddns/{name}.answer")),
                    str(sim.file("ddns/requests")), *chain, check=True)
        self.tls = "Usage::" not in sim.exec("smtp", "S").stderr
        sim.file("ifdev.log").touch()

    def run(self, urls, statuses):
        """Starts ddns with a record per URL (interfaces 4, 2, 3) and waits
        until each status file is as given (a callable: judges it)."""
        self.start(conf(*([n, url, f"h{n}.example", "u", "p", 60, "NO"] for n, url in zip(IFNUMS, urls))))
        judge = [s if callable(s) else s.__eq__ for s in statuses]
        wait_for(lambda: all(j(self.text(STATUS.format(n)) or "") for n, j in zip(IFNUMS, judge)), str(statuses))

    def count(self, message):
        return self.log().count(("info", message))

    def idle(self):
        """Waits until two more cycles have read interface 4: the one under
        way when called has ended."""
        fetches = lambda: self.text("ifdev.log").count(" 4 ")  # noqa: E731
        start = fetches()
        wait_for(lambda: fetches() >= start + 2, "two cycles")


@pytest.fixture(scope="module")
def box(module_sim):
    return UrlBox(module_sim)


# URL, answer, status file, the request's Host (None: no request).
SERVED = [("https://provider.example/nic/update", GOOD, "dyndns updated\n", "provider.example"),
          (HTTP[0], OK + f"nochg {LAN}", "dyndns updated\n", "plain.example:8245"),
          (f"https://{plan.DYNDNS_HOST}/nic/update", None,
           f"{plan.DYNDNS_HOST}: TLS: name mismatch\n" + NEXT.format(plan.DYNDNS_HOST, 300), None)]


def test_records_over_https_and_http_send_the_exact_request(box):
    """The last reaches the HTTPS provider by a name its certificate lacks;
    without TLS built in, https records are refused."""
    served = [row if box.tls or row[0].startswith("http:") else
              (row[0], None, f"cannot use the service URL {row[0]}: https is not built in\n", None) for row in SERVED]
    for url, answer, _, _ in served:
        box.answer(host(url), answer or "")
    box.run([url for url, *_ in served], [status for _, _, status, _ in served])
    box.stop()
    for (url, _, _, header), n, address in zip(served, IFNUMS, (WAN, LAN, DMZ)):
        assert [r for r in box.requests() if f"h{n}." in r] == \
            [REQUEST.format(url.split("/")[3], f"h{n}.example", address, "NO", header, "dTpw")] * bool(header)


@pytest.mark.parametrize("url,why", [("ftp://plain.example/dyn/update", "unknown scheme"),
                                     ("https:///nic/update", "no host"),
                                     ("http://plain.example:65536/dyn/update", "port out of range")])
def test_an_unusable_url_stops_its_record_alone(box, url, why):
    box.answer("plain.example", GOOD)
    message = f"cannot use the service URL {url}: {why}\n"
    box.run([url, HTTP[0]], [message, "dyndns updated\n"])
    assert ("err", said(message)) in box.stop()


# The refusals a retry cannot fix: answer, how the stop names it.
REFUSALS = [(OK + w, w) for w in ("badauth", "!donator", "notfqdn", "nohost", "numhost", "abuse")] + [
    ("badagent", "badagent"), ("HTTP/1.0 401 Unauthorized\r\n\r\nbadauth", "HTTP 401"),
    ("HTTP/1.1 403 Forbidden\r\n\r\n", "HTTP 403")]


@pytest.mark.parametrize("group", [REFUSALS[i:i + 3] for i in range(0, len(REFUSALS), 3)],
                         ids=lambda g: ",".join(why for _, why in g))
def test_refusals_stop_their_records_until_ddns_starts_again(box, group):
    stops = [STOPPED.format(host(url), why) for url, (_, why) in zip(HTTP, group)]
    for url, (answer, _) in zip(HTTP, group):
        box.answer(host(url), answer)
    box.run(HTTP, [lambda s, stop=stop: s.endswith(stop) for stop in stops])
    box.sim.run("clock", "advance", "7200", check=True)
    box.idle()
    log = box.stop()
    assert len(box.requests()) == 3 and all(("err", said(stop)) in log for stop in stops)


# Each attempt's answer and the wait it leads to (0: registered): failures a
# retry may fix, the wait doubling to its cap, then a success that resets it.
NO_LISTENER = "<nothing listens>"
SCHEDULE = [(OK + "dnserr", 300), (OK + "911", 600), ("HTTP/1.0 503 Service Unavailable\r\n\r\n", 1200),
            ("no status line", 2400), (NO_LISTENER, 3600), ("HTTP/1.0 500 Oops\r\n\r\n", 3600),
            (GOOD, 0), (OK + "dnserr", 300)]


def test_other_failures_back_off_by_the_router_clock(box):
    """Before the wait runs out (probed at the first and at the cap) a cycle
    passes without an attempt; the success's record is refreshed after 60 s."""
    attempts = lambda: box.count("DYN_DNS: username:passwd u:p")  # noqa: E731
    clock = lambda seconds: box.sim.run("clock", "advance", str(seconds), check=True)  # noqa: E731
    ahead = 0
    for i, (answer, wait) in enumerate(SCHEDULE):
        box.answer("plain.example", answer)
        box.sim.run("hosts", "set", "plain.example", "127.0.0.1" if answer == NO_LISTENER else SERVICE, check=True)
        if i in (1, 5):
            clock(ahead - 30)
            box.idle()
            assert attempts() == i
            ahead = 30
        box.start(conf([4, HTTP[0], "h4.example", "u", "p", 60, "NO"])) if i == 0 else clock(ahead)
        status = NEXT.format("plain.example", wait) if wait else "dyndns updated\n"
        wait_for(lambda: attempts() == i + 1 and (box.text(STATUS.format(4)) or "").endswith(status), status)
        ahead = wait or 61
    log = box.stop()
    assert [m for _, m in log if "next attempt" in m] == [said(NEXT.format("plain.example", w)) for _, w in SCHEDULE if w]
