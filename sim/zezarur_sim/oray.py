"""How the platform's Oray client answers (libadp, adp/oray.cpp): `oray
[--login ok|fail|fail:N] [--type N] [--register ok|fail] [--keepalive N]`
changes what is given and keeps the rest (fail:N fails N logins, then they
succeed); `oray` alone prints the setting; `oray calls` prints one line per
call with its arguments, `oray calls --clear` forgets them.  The script's
file is libadp's (adp/oray_script.hpp)."""

import sys

from . import core

KEYS = ("login", "type", "register", "keepalive")


def cmd_oray(box, args):
    if args.action == "calls":
        sys.stdout.write(core.read_file(box.path("oray.calls")))
        if args.clear:
            core.write_file(box.path("oray.calls"), "")
        return 0
    if args.action is not None:
        raise core.SimError("usage: oray [--login ...] [--type N] [--register ...] "
                            "[--keepalive N] | oray calls [--clear]")
    changes = [w for k in KEYS if getattr(args, k) is not None for w in (k, getattr(args, k))]
    print(core.adp_state(box, "oray", *changes).replace("\n", " ").strip())
    return 0


def add_commands(sub):
    s = sub.add_parser("oray", help="the Oray client's answers: [--login ok|fail|fail:N] "
                                    "[--type N] [--register ok|fail] [--keepalive N]; calls")
    s.add_argument("action", nargs="?", choices=["calls"])
    s.add_argument("--login")
    s.add_argument("--type", type=int)
    s.add_argument("--register", choices=["ok", "fail"])
    s.add_argument("--keepalive", type=int)
    s.add_argument("--clear", action="store_true")
    s.set_defaults(handler=cmd_oray)
