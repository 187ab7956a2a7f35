"""The sandbox's network, proven with real clients run inside the router."""

import subprocess
from ipaddress import ip_interface

import pytest

from conftest import ISP, MODEM, SERVICE, plan

# All four probes at once, each as a user would run it, the foreign DHCP client
# from link's spoofed MAC; results in /var/tmp.
PROBES = f"""cd /var/tmp; printf '[ "$1" = bound ] && echo "$domain"; exit 0' > offer
chmod +x offer; ip link add fake0 link wan0 address {plan.SPOOFED_MAC} type macvlan; ip link set fake0 up
pppoe-discovery -I wan0 -t 1 -a 1 > probe.pppoe 2>&1 &
busybox udhcpc -i wan0 -f -q -n -t 2 -T 1 -s ./offer > probe.own 2>/dev/null &
busybox udhcpc -i fake0 -f -q -n -t 2 -T 1 -s ./offer > probe.foreign 2>/dev/null &
arping -I wan0 -c 1 -w 1 {MODEM} > /dev/null 2>&1; echo $? > probe.pptp; wait; ip link del fake0
"""


def links(out):
    return {line.split(":")[1].strip().split("@")[0] for line in out.splitlines()}


def test_router_has_wan_lan_dmz_and_nothing_else(module_sim):
    net, outside = module_sim, lambda *argv: subprocess.run(argv, capture_output=True, text=True).stdout
    addrs = [line.split()[::2] for line in net.exec("ip", "-br", "-4", "addr").stdout.splitlines()]
    assert {name.split("@")[0]: addr for name, addr in addrs} == {
        "lo": "127.0.0.1/8", **{name: address for name, (_, address) in plan.ROUTER.items()}}
    inside = links(net.exec("ip", "-o", "link").stdout)
    assert inside == {"lo", "lan0", "wan0", "dmz0"}  # and none of them outside:
    assert inside & links(outside("ip", "-o", "link")) == {"lo"} and outside("ip", "netns") == ""
    assert net.file("ifmap").read_text() == "2 lan0\n3 dmz0\n4 wan0\n"
    assert f"default via {ISP} dev wan0" in net.exec("ip", "route").stdout


# Switched in this order in one sandbox: servers start and stop.
@pytest.mark.parametrize("profile,shown,answers", [
    ("spoof,pptp,pppoe", f"pppoe,dhcp={plan.DHCP_DOMAIN},spoof,pptp",
     [True, plan.DHCP_DOMAIN, plan.DHCP_DOMAIN, 0]),
    ("dhcp,bigpond=nsw.Bigpond.example", "bigpond=nsw.Bigpond.example,own-only",
     [False, "nsw.Bigpond.example", "", 1]),
    ("none", "none", [False, "", "", 1])])
def test_isp_profiles_answer_real_clients(module_sim, profile, shown, answers):
    net = module_sim
    assert net.run("isp", profile).returncode == 0 and net.sh(PROBES).returncode == 0
    read = lambda name: net.file(f"var/tmp/probe.{name}").read_text().strip()
    pppoe = "Access-Concentrator: zezarur-isp" in read("pppoe")
    assert [pppoe, read("own"), read("foreign"), int(read("pptp"))] == answers
    assert net.run("isp", "show").stdout.split("\n")[0] == shown


def test_service_host_and_names(module_sim, tmp_path):
    net, second_address = module_sim, str(ip_interface(plan.ISP_SERVICE_SIDE).network[20])
    (tmp_path / "hello.txt").write_text("hello from the service host\n")
    net.run("service", "--address", second_address, "add", "web.example", "8080", "python3", "-m",
            "http.server", "8080", "--directory", str(tmp_path), check=True)
    r = net.sh("printf 'GET /hello.txt HTTP/1.0\\r\\n\\r\\n' | nc -q 5 web.example 8080")
    assert net.exec("getent", "hosts", "web.example").stdout.split()[0] == second_address
    net.run("service", "del", "web.example", check=True)
    assert r.stdout.startswith("HTTP/1.0 200") and r.stdout.endswith("service host\n")
    assert second_address not in net.run("exec", "--in", "services", "ip", "-br", "addr").stdout
    for name in plan.SERVICE_NAMES:
        assert net.exec("getent", "hosts", name).stdout.split()[0] == SERVICE
    for gone in ("web.example", "debian.org"):
        assert net.exec("getent", "hosts", gone).returncode == 2
    assert not any(name in open("/etc/hosts").read() for name in plan.SERVICE_NAMES)
