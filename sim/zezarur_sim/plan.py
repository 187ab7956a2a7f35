"""The sandbox's address plan, host names and flash size, in one place: the
network's roles build from it, the protocol servers answer with it, and the
tests (through conftest) expect it."""

import ipaddress

# The router's interfaces: MAC and address with prefix.
ROUTER = {"lan0": ("02:00:00:00:02:01", "192.168.1.1/24"),
          "dmz0": ("02:00:00:00:03:01", "192.168.2.1/24"),
          "wan0": ("02:00:00:00:04:01", "203.0.113.2/24")}
# Interface numbers of the firmware (ifDevGet) and the interfaces they name.
IFMAP = {2: "lan0", 3: "dmz0", 4: "wan0"}

# The ISP: the far end of wan0, its DHCP pool, the session addresses of its
# access concentrator and the PPTP modem's address.
ISP_MAC, ISP_ADDRESS = "02:00:00:00:04:fe", "203.0.113.1/24"
PPPOE_LOCAL, PPPOE_REMOTE = "10.64.0.1", "10.64.0.2"
DHCP_RANGE = "203.0.113.100,203.0.113.199,255.255.255.0,10m"
OFFERED = "203.0.113.150"  # what a scripted DHCP answer offers
PPTP_MODEM = "10.0.0.138/24"
# What link sends from: the address its ARP for the modem asks as, and the
# other station's MAC of its spoofed DHCP discovery.
PPTP_ASKER, SPOOFED_MAC = "10.0.0.140", "00:ff:d9:74:47:00"
DHCP_DOMAIN, BIGPOND_DOMAIN = "isp.example", "bigpond.example"

# The service host behind the ISP, and the names its servers go by.
ISP_SERVICE_SIDE = "198.51.100.1/24"
SERVICE_HOST = "198.51.100.10"
# The servers the applets know by name: ddns's (Oray's web service, DynDNS,
# 3322, TZO's lookup) and the mail server.
ORAY_HOST, DYNDNS_HOST, DYNDNS_3322_HOST = "services.example", "members.dyndns.org", "members.3322.org"
TZO_LOOKUP_HOST, MAIL_HOST = "tzo-lookup.example", "mail.example"
SERVICE_NAMES = [ORAY_HOST, DYNDNS_HOST, DYNDNS_3322_HOST, TZO_LOOKUP_HOST, MAIL_HOST]
# A free address of the service host's network, for a service of its own.
SPARE_SERVICE_ADDRESS = "198.51.100.20"

# The LAN switch's port to lan0, the LAN's hosts at start (name, address,
# NetBIOS name) and the DMZ host.
LAN_SWITCH_MAC = "02:00:00:00:02:fe"
DEFAULT_LAN = [("desktop", "192.168.1.100", "DESKTOP"), ("printer", "192.168.1.101", None)]
DMZ_HOST = "192.168.2.10/24"

# The configuration flash image: the store's two blocks of 512 KiB.
FLASH_SIZE = 1 << 20


def address(interface):
    """The router's address on interface, without its prefix."""
    return ROUTER[interface][1].split("/")[0]


def network(interface):
    """The subnet of the router's interface."""
    return ipaddress.IPv4Interface(ROUTER[interface][1]).network


def host_mac(ip):
    """A host's MAC: 02:00 and the bytes of its address."""
    return "02:00:" + ":".join(f"{b:02x}" for b in ipaddress.IPv4Address(ip).packed)
