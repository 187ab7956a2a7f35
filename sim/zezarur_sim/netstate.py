"""The network's shared state: what runs ($STATE/run/net/state.json, rebuilt at every start) and the
network commands, whose outside half forwards its arguments into the sandbox
as `zezarur-sim _net NAME ARGS`, where they run one at a time."""

import argparse
import contextlib
import fcntl
import ipaddress
import json
import os
import re
import sys

from . import core

ROLES = ("router", "isp", "services", "lan", "dmz")


def net_dir(box, *parts):
    return box.path("run", "net", *parts)


def log(box, name):
    return net_dir(box, "log", name + ".log")


def load(box):
    return json.loads(core.read_file(net_dir(box, "state.json"), "{}"))


def save(box, st):
    core.write_file(net_dir(box, "state.json.new"), json.dumps(st, indent=1) + "\n")
    os.replace(net_dir(box, "state.json.new"), net_dir(box, "state.json"))


@contextlib.contextmanager
def update(box):
    """The state, locked against other network commands, saved unless the
    change failed."""
    with open(net_dir(box, "lock"), "w") as lock:
        fcntl.flock(lock, fcntl.LOCK_EX)
        st = load(box)
        yield st
        save(box, st)


def role_pids(st):
    """Every network namespace: the roles' and the LAN hosts' (by name)."""
    return dict(st["roles"], **{n: h["pid"] for n, h in st["hosts"].items()})


def pid_of(st, role):
    """The pid holding a role's or a LAN host's network namespace."""
    pids = role_pids(st)
    if role not in pids:
        raise core.SimError(f"no namespace '{role}' (have: {', '.join(pids)})")
    return pids[role]


def address(text):
    """An IPv4 address given on the command line."""
    try:
        return ipaddress.IPv4Address(text)
    except ValueError:
        raise core.SimError(f"bad address '{text}'") from None


def usage(args, forms, command):
    """Refuses an action given fewer words than its form names."""
    form = forms[args.action]
    given = [v for k, v in vars(args).items() if k in ("name", "ip", "port", "argv") and v]
    if len(given) < len(re.sub(r"\[.*?\]", "", form).split()):
        raise core.SimError(f"usage: {command} {args.action} {form}".rstrip())


INSIDE = {}


def command(fn):
    """Makes fn(box, st, args) a network command: returns the outside
    handler, which runs fn inside the sandbox on the locked state."""
    INSIDE[fn.__name__] = fn

    def forward(box, args):
        payload = {k: v for k, v in vars(args).items() if k != "handler"}
        if "file" in payload:
            payload["file"] = os.path.abspath(payload["file"])
        return box.exec([sys.executable, core.LAUNCHER, "--state", box.state, "_net",
                         fn.__name__, json.dumps(payload)])
    return forward


def run_inside(box, args):
    with update(box) as st:
        return INSIDE[args.name](box, st, argparse.Namespace(**json.loads(args.payload))) or 0
