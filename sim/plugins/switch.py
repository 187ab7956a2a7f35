"""The simulated BCM53xx switch: its state file (switch.state, which libadp's
driver reads and rewrites), the request log (switch.log) and the one-shot
fault (switch.fault).  The key grammar is described in adp/switch_state.hpp."""

import errno
import fcntl
import os
import re
import sys

MAP_PORTS = 9
MIB_PORTS = [0, 1, 2, 3, 4, 5, 6, 7, 8, 11]
TX_RX_PORTS = [0, 1, 2, 3, 4, 5, 6, 7, 11]
# Counter names in record order; these three are 64-bit, the rest 32-bit.
MIB_NAMES = """TxOctets TxDropPkts TxBroadcastPkts TxMulticastPkts TxUnicastPkts TxCollisions
TxSingleCollisions TxMultipleCollisions TxDeferredTransmit TxLateCollision TxExcessiveCollision
TxFrameInDisc TxPausePkts RxOctets RxUndersizePkts RxPausePkts RxOversizePkts RxJabbers
RxAlignmentErrors RxFcsErrors RxDropPkts RxUniCastPkts RxMultiCastPkts RxBroadcastPkts
RxSAChanges RxFragments RxExcessSizeDisc RxSymbolError Pkts64Octets Pkts65to127Octets
Pkts128to255Octets Pkts256to511Octets Pkts512to1023Octets Pkts1024to1522Octets
RxGoodOctets""".split()
WIDE = {"TxOctets", "RxOctets", "RxGoodOctets"}
SIZE_BUCKETS = [(64, "Pkts64Octets"), (127, "Pkts65to127Octets"), (255, "Pkts128to255Octets"),
                (511, "Pkts256to511Octets"), (1023, "Pkts512to1023Octets"),
                (1522, "Pkts1024to1522Octets")]
ARL_LIMIT = 4096
HEADER = "# simulated BCM53xx switch: edit, or use 'zezarur-sim switch set KEY VALUE'"


def power_on_text():
    """The state a fresh switch starts in, written as the driver writes it."""
    lines = [HEADER, f"ports {MAP_PORTS}"]
    lines += [f"forward.{i} " + " ".join(str(j) for j in range(MAP_PORTS) if j != i)
              for i in range(MAP_PORTS)]
    lines += [f"vlanctl.{r} 0x00" for r in range(6)]
    lines += [f"vid.{p} 1" for p in range(MAP_PORTS)]
    lines += ["8021q off", "dmz off", "bpdu off", "mgmt on"]
    lines += [f"{d}.{p} on" for p in TX_RX_PORTS for d in ("tx", "rx")]
    lines += [f"mib.{p}.{n} 0" for p in MIB_PORTS for n in MIB_NAMES]
    return "\n".join(lines) + "\n"


def _int(text, low, high):
    try:
        v = int(text, 0)
    except ValueError:
        return None
    return v if low <= v <= high else None


def check(key, values):
    """None when KEY VALUES is a line the driver accepts, else why not."""
    m = re.fullmatch(r"(\w+)(?:\.(\d+))?(?:\.(\w+))?", key)
    base, index, name = m.groups() if m else (None, None, None)
    index = int(index) if index is not None else None
    if base == "forward" and index is not None and index < MAP_PORTS and name is None:
        ok = values in (["-"], []) or all(_int(v, 0, MAP_PORTS - 1) is not None for v in values)
        return None if ok else f"forward.{index} takes ports 0-{MAP_PORTS - 1} or -"
    if len(values) != 1:
        return f"{key} takes one value"
    v = values[0]
    rules = {
        ("ports", False): lambda: _int(v, -2**31, 2**31 - 1) is not None,
        ("vlanctl", True): lambda: index < 6 and _int(v, 0, 255) is not None,
        ("vid", True): lambda: index < MAP_PORTS and _int(v, -2**15, 2**15 - 1) is not None,
        ("tx", True): lambda: index in TX_RX_PORTS and v in ("on", "off"),
        ("rx", True): lambda: index in TX_RX_PORTS and v in ("on", "off"),
    }
    for flag in ("8021q", "dmz", "bpdu", "mgmt"):
        rules[(flag, False)] = lambda: v in ("on", "off")
    if base == "mib" and name is not None:
        bits = 64 if name in WIDE else 32
        ok = index in MIB_PORTS and name in MIB_NAMES and _int(v, 0, 2**bits - 1) is not None
        return None if ok else f"mib.PORT.NAME: port {MIB_PORTS}, a counter name, 0..2^{bits}-1"
    rule = rules.get((base, index is not None)) if name is None else None
    return None if rule and rule() else f"cannot set {key} to {' '.join(values)}"


class State:
    """The state file, locked while it is edited."""

    def __init__(self, box):
        self.path = box.path("switch.state")

    def __enter__(self):
        self.f = open(self.path, "a+")
        fcntl.flock(self.f, fcntl.LOCK_EX)
        self.f.seek(0)
        self.lines = self.f.read().splitlines()
        return self

    def __exit__(self, *exc):
        if exc[0] is None:
            self.f.seek(0)
            self.f.truncate()
            self.f.write("".join(l + "\n" for l in self.lines))
        self.f.close()

    def get(self, key):
        for line in self.lines:
            words = line.split()
            if words and words[0] == key:
                return words[1:]
        return None

    def put(self, key, values):
        text = " ".join([key] + values)
        for i, line in enumerate(self.lines):
            if line.split()[:1] == [key]:
                self.lines[i] = text
                return
        self.lines.append(text)

    def set_arl(self, entries):
        self.lines = [l for l in self.lines if l.split()[:1] != ["arl"]]
        self.lines += [f"arl 0x{e:016x}" for e in entries]


def arl_entry(k):
    """The kth made-up entry: valid bit, VLAN 1, MAC 02:00:00:00:kk:kk."""
    return 1 << 63 | 1 << 48 | 0x020000000000 | k


def add_traffic(state, port, frames, size):
    """FRAMES unicast frames of SIZE bytes sent and as many received."""
    bucket = next(name for limit, name in SIZE_BUCKETS if size <= limit)
    growth = {"TxOctets": frames * size, "TxUnicastPkts": frames, "RxOctets": frames * size,
              "RxGoodOctets": frames * size, "RxUniCastPkts": frames, bucket: frames}
    for name, n in growth.items():
        key = f"mib.{port}.{name}"
        old = int((state.get(key) or ["0"])[0], 0)
        state.put(key, [str((old + n) % 2**(64 if name in WIDE else 32))])


def handle(box, args):
    Error = core.SimError
    if args.action == "show":
        for line in core.read_file(box.path("switch.state")).splitlines():
            key = (line.split() or [""])[0]
            if not args.keys or any(key.startswith(k) for k in args.keys):
                print(line)
    elif args.action == "set":
        why = check(args.key, args.values)
        if why:
            raise Error(why)
        with State(box) as s:
            s.put(args.key, args.values)
    elif args.action == "arl":
        if not 0 <= args.count <= ARL_LIMIT:
            raise Error(f"an ARL table holds 0 to {ARL_LIMIT} entries")
        with State(box) as s:
            s.set_arl(arl_entry(k) for k in range(args.count))
    elif args.action == "traffic":
        if args.port not in MIB_PORTS or args.frames < 0 or not 64 <= args.size <= 1522:
            raise Error(f"traffic PORT FRAMES [--size 64-1522], PORT one of {MIB_PORTS}")
        with State(box) as s:
            add_traffic(s, args.port, args.frames, args.size)
    elif args.action == "fail-next":
        code = getattr(errno, args.error, None)
        if not isinstance(code, int) or not args.error.startswith("E"):
            raise Error(f"unknown error name {args.error}")
        core.write_file(box.path("switch.fault"), f"{code}\n")
    elif args.action == "log":
        if args.clear:
            core.write_file(box.path("switch.log"), "")
        else:
            sys.stdout.write(core.read_file(box.path("switch.log")))
    return 0


def add_commands(sub):
    p = sub.add_parser("switch", help="the simulated switch: state, requests, faults")
    p.set_defaults(handler=handle)
    act = p.add_subparsers(dest="action", required=True, metavar="ACTION")
    s = act.add_parser("show", help="the state file (only the keys starting with KEY...)")
    s.add_argument("keys", nargs="*", metavar="KEY")
    s = act.add_parser("set", help="set one key, e.g. 'set forward.1 0 2' or 'set ports 12'")
    s.add_argument("key")
    s.add_argument("values", nargs="*", metavar="VALUE")
    s = act.add_parser("arl", help="replace the ARL table by COUNT made-up entries")
    s.add_argument("count", type=int)
    s = act.add_parser("traffic", help="let a port's traffic counters grow")
    s.add_argument("port", type=int)
    s.add_argument("frames", type=int)
    s.add_argument("--size", type=int, default=64, help="frame size in bytes (64-1522)")
    s = act.add_parser("fail-next", help="make the next request fail (default EIO)")
    s.add_argument("error", nargs="?", default="EIO", metavar="ERRNO")
    s = act.add_parser("log", help="the requests made so far")
    s.add_argument("--clear", action="store_true", help="empty the log instead of showing it")


def prepare(box):
    if not os.path.exists(box.path("switch.state")):
        core.write_file(box.path("switch.state"), power_on_text())
