"""The ISP side of wan0: `isp PROFILE[,PROFILE...]` starts the access
concentrator, the DHCP server and the PPTP modem's address that the router's
detection looks for."""

import os

from . import core, netns, netstate
from .plan import BIGPOND_DOMAIN, DHCP_DOMAIN, DHCP_RANGE, PPPOE_LOCAL, PPPOE_REMOTE, PPTP_MODEM

ACCESS_CONCENTRATOR = "zezarur-isp"


def parse_profile(text):
    """PROFILE[,PROFILE...] -> what the ISP side runs."""
    want = {"pppoe": False, "dhcp": None, "domain": None, "spoof": None, "pptp": False}
    words = text.split(",")
    for word in words:
        key, eq, value = word.partition("=")
        if key in ("dhcp", "bigpond"):
            if eq and not value:
                raise core.SimError(f"'{word}': empty domain name")
            if key == "bigpond" or want["dhcp"] is None:  # bigpond names the domain
                want["dhcp"] = key
                want["domain"] = value or (BIGPOND_DOMAIN if key == "bigpond" else DHCP_DOMAIN)
            continue
        if eq:
            raise core.SimError(f"'{key}' takes no value")
        if key in ("pppoe", "pptp"):
            want[key] = True
        elif key in ("own-only", "spoof"):
            if want["spoof"] is not None and want["spoof"] != (key == "spoof"):
                raise core.SimError("own-only and spoof exclude each other")
            want["spoof"] = key == "spoof"
        elif key == "none":
            if len(words) > 1:
                raise core.SimError("'none' stands alone")
        else:
            raise core.SimError(f"unknown ISP profile '{key}' (pppoe, dhcp[=DOMAIN], "
                                "bigpond[=DOMAIN], own-only, spoof, pptp, none)")
    if want["spoof"] is not None and want["dhcp"] is None:
        want["dhcp"], want["domain"] = "dhcp", DHCP_DOMAIN
    want["spoof"] = bool(want["spoof"])
    return want


def profile_text(want):
    words = ["pppoe"] if want["pppoe"] else []
    if want["domain"]:
        words += [f"{want['dhcp']}={want['domain']}", "spoof" if want["spoof"] else "own-only"]
    return ",".join(words + (["pptp"] if want["pptp"] else [])) or "none"


def router_mac(iface):
    out = netns.in_ns(os.getpid(), f"ip -o link show {iface}")
    return out.split("link/ether ")[1].split()[0]


def apply_profile(box, st, want):
    isp, servers = st["roles"]["isp"], st["isp"]["servers"]
    for name in list(servers):
        netns.end(servers.pop(name))
    # Forget the old profile's neighbours, or the ISP's kernel keeps asking
    # for lease addresses in later captures.
    netns.in_ns(isp, f"ip addr del {PPTP_MODEM} dev eth0 2>/dev/null || true\nip neigh flush dev eth0")
    log = lambda name: netstate.log(box, name)
    if want["pppoe"]:
        servers["pppoe-server"] = netns.spawn(isp, ["pppoe-server", "-F", "-I", "eth0", "-C",
                                                    ACCESS_CONCENTRATOR, "-L", PPPOE_LOCAL,
                                                    "-R", PPPOE_REMOTE], log("pppoe-server"))
        netns.wait_for(lambda: netns.packet_socket(isp, 0x8863), "pppoe-server")
    if want["domain"]:
        cmd = ["dnsmasq", "--keep-in-foreground", "--conf-file=/dev/null", "--port=0", "--user=root",
               "--pid-file", "--leasefile-ro", "--no-ping", "--dhcp-authoritative", "--interface=eth0",
               f"--dhcp-range={DHCP_RANGE}", f"--dhcp-option=option:domain-name,{want['domain']}",
               "--log-dhcp", f"--log-facility={log('dnsmasq')}"]
        if not want["spoof"]:
            cmd += [f"--dhcp-host={router_mac('wan0')}", "--dhcp-ignore=tag:!known"]
        servers["dnsmasq"] = netns.spawn(isp, cmd, log("dnsmasq"))
        netns.wait_for(lambda: netns.udp_bound(isp, 67), "dnsmasq")
    if want["pptp"]:
        netns.in_ns(isp, f"ip addr add {PPTP_MODEM} dev eth0")
    st["isp"]["profile"] = profile_text(want)


@netstate.command
def cmd_isp(box, st, args):
    if args.profile != "show":
        apply_profile(box, st, parse_profile(args.profile))
    print(st["isp"]["profile"])
    for name, pid in st["isp"]["servers"].items():
        print(f"  {name} (pid {pid})")


def add_commands(sub):
    s = sub.add_parser("isp", help="ISP side: PROFILE[,PROFILE...] of pppoe, dhcp[=DOMAIN], "
                                   "bigpond[=DOMAIN], own-only, spoof, pptp, none; or show")
    s.add_argument("profile", metavar="PROFILE[,PROFILE...]|show")
    s.set_defaults(handler=cmd_isp)
