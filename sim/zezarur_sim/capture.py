"""`capture start|stop [NAMESPACE:]IFACE FILE`: tcpdump on any interface of
the sandbox's network, router's or role's, writing FILE as it goes."""

import re

from . import core, netns, netstate


def namespace_of(st, where):
    """ROLE:IFACE, HOST:IFACE or a router interface -> (pid, iface)."""
    role, _, iface = where.rpartition(":")
    return netstate.pid_of(st, role or "router"), iface


@netstate.command
def cmd_capture(box, st, args):
    key = f"{args.iface} {args.file}"
    if args.action == "stop":
        pid = st["captures"].pop(key, None)
        if pid is None:
            raise core.SimError(f"no capture of {args.iface} into {args.file}")
        netns.end(pid)
        return
    if key in st["captures"]:
        raise core.SimError(f"already capturing {args.iface} into {args.file}")
    ns, iface = namespace_of(st, args.iface)
    out = netstate.log(box, "capture-" + re.sub(r"[^A-Za-z0-9.-]", "_", key))
    core.write_file(out, "")
    pid = netns.spawn(ns, ["tcpdump", "-i", iface, "-w", args.file, "-U", "--immediate-mode",
                           "-Z", "root", "-s", "0"], out)
    netns.wait_for(lambda: "listening on" in core.read_file(out) or not core.alive(pid), "tcpdump")
    if not core.alive(pid):
        raise core.SimError("tcpdump: " + core.read_file(out).strip())
    st["captures"][key] = pid


def add_commands(sub):
    s = sub.add_parser("capture", help="tcpdump on [NAMESPACE:]IFACE into FILE")
    s.add_argument("action", choices=["start", "stop"])
    s.add_argument("iface")
    s.add_argument("file")
    s.set_defaults(handler=cmd_capture)
