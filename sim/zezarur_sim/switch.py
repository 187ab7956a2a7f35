"""The simulated BCM53xx switch: its state file (switch.state, which libadp's
driver reads and rewrites), the request log (switch.log) and the one-shot
fault (switch.fault).  The model (power-on state, grammar, counters) and the
files are libadp's alone (adp/switch_state.hpp, adp/switch_file.hpp); the
sandbox asks it for every change."""

import errno
import sys

from . import core


def handle(box, args):
    if args.action == "show":
        for line in core.adp_state(box, "switch").splitlines():
            key = (line.split() or [""])[0]
            if not args.keys or any(key.startswith(k) for k in args.keys):
                print(line)
    elif args.action == "set":
        core.adp_state(box, "switch", "set", args.key, *args.values)
    elif args.action == "arl":
        core.adp_state(box, "switch", "arl", args.count)
    elif args.action == "traffic":
        core.adp_state(box, "switch", "traffic", args.port, args.frames, args.size)
    elif args.action == "fail-next":
        code = getattr(errno, args.error, None)
        if not isinstance(code, int) or not args.error.startswith("E"):
            raise core.SimError(f"unknown error name {args.error}")
        core.adp_state(box, "switch", "fail-next", code, args.error)
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
    core.adp_state(box, "switch")  # a new sandbox's switch: just powered on
