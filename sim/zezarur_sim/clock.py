"""The sandbox's clock: `clock advance SECONDS` moves the time that the
router's processes read (libadp's adp_gettimeofday) ahead by SECONDS, at once
and for every process; `clock set UNIX-SECONDS` sets it (0: a router that
booted in 1970), from where it runs on; `clock show` prints the offset and
that time.  The offset's file is libadp's (adp/clock.hpp)."""

from . import core


def cmd_clock(box, args):
    # libadp's helper judges the words: SECONDS must be 0 or more.
    words = ["show"] if args.action == "show" else [args.action, args.seconds]
    print(core.adp_state(box, "clock", *words), end="")
    return 0


def add_commands(sub):
    s = sub.add_parser("clock", help="the router's clock: advance SECONDS | set UNIX-SECONDS | show")
    s.add_argument("action", choices=["advance", "set", "show"])
    s.add_argument("seconds", nargs="?", type=int)
    s.set_defaults(handler=cmd_clock)
