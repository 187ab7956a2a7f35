"""The sandbox's clock: `clock advance SECONDS` moves the time that the
router's processes read (libadp's adp_gettimeofday) ahead by SECONDS, at once
and for every process; `clock show` prints the offset and that time.  The
offset's file is libadp's (adp/clock.hpp)."""

from . import core


def cmd_clock(box, args):
    words = ["advance", args.seconds] if args.action == "advance" else ["show"]
    if args.action == "advance" and (args.seconds is None or args.seconds < 0):
        raise core.SimError("usage: clock advance SECONDS (0 or more)")
    print(core.adp_state(box, "clock", *words), end="")
    return 0


def add_commands(sub):
    s = sub.add_parser("clock", help="the router's clock: advance SECONDS | show")
    s.add_argument("action", choices=["advance", "show"])
    s.add_argument("seconds", nargs="?", type=int)
    s.set_defaults(handler=cmd_clock)
