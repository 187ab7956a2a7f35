"""The sandbox's clock: `clock advance SECONDS` moves the time that the
router's processes read (libadp's adp_gettimeofday) ahead by SECONDS, at once
and for every process; `clock show` prints the offset and that time.  The
offset is the number in $STATE/clock, read at every call."""

import fcntl
import os
import time


def offset(box):
    text = core.read_file(box.path("clock"), "0").strip()
    return int(text or 0)


def cmd_clock(box, args):
    if args.action == "advance":
        if args.seconds is None or args.seconds < 0:
            raise core.SimError("usage: clock advance SECONDS (0 or more)")
        with open(box.path("clock.lock"), "w") as lock:
            fcntl.flock(lock, fcntl.LOCK_EX)
            seconds = offset(box) + args.seconds
            new = box.path("clock.new")
            core.write_file(new, f"{seconds}\n")
            os.replace(new, box.path("clock"))
    else:
        seconds = offset(box)
    shown = time.strftime("%Y-%m-%d %H:%M:%S UTC", time.gmtime(time.time() + seconds))
    print(f"offset {seconds} s: {shown}")
    return 0


def add_commands(sub):
    s = sub.add_parser("clock", help="the router's clock: advance SECONDS | show")
    s.add_argument("action", choices=["advance", "show"])
    s.add_argument("seconds", nargs="?", type=int)
    s.set_defaults(handler=cmd_clock)
