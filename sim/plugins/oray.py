"""How the platform's Oray client answers (libadp, adp/oray.cpp): `oray
[--login ok|fail|fail:N] [--type N] [--register ok|fail] [--keepalive N]`
changes what is given and keeps the rest (fail:N fails N logins, then they
succeed); `oray` alone prints the setting; `oray calls` prints one line per
call with its arguments, `oray calls --clear` forgets them."""

import re
import sys

DEFAULTS = {"login": "ok", "type": "0", "register": "ok", "keepalive": "1"}


def setting(text):
    have = dict(DEFAULTS)
    for line in text.splitlines():
        key, _, value = line.partition(" ")
        if key in have:
            have[key] = value
    return have


def cmd_oray(box, args):
    if args.action == "calls":
        sys.stdout.write(core.read_file(box.path("oray.calls")))
        if args.clear:
            core.write_file(box.path("oray.calls"), "")
        return 0
    if args.action is not None:
        raise core.SimError("usage: oray [--login ...] [--type N] [--register ...] "
                            "[--keepalive N] | oray calls [--clear]")
    if args.login is not None and not re.fullmatch(r"ok|fail|fail:\d+", args.login):
        raise core.SimError("--login takes ok, fail or fail:N")
    have = {}

    def change(text):  # under the lock of the logins that count failures down
        have.update(setting(text))
        have.update({k: str(getattr(args, k)) for k in DEFAULTS if getattr(args, k) is not None})
        return "".join(f"{k} {v}\n" for k, v in have.items())
    core.update_file(box.path("oray"), change)
    print(" ".join(f"{k} {v}" for k, v in have.items()))
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
