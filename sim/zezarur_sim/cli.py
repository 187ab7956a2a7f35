"""The command line: the core commands, the device commands and those the
roles add, each parser with a handler(box, args)."""

import argparse
import os
import sys

from . import core, devices, init, lifecycle, netstate, roles
from .core import Sandbox, SimError


def exec_command(box, args):
    argv = args.argv[1:] if args.argv[:1] == ["--"] else args.argv
    if not argv:
        raise SimError("exec needs a command")
    if args.role:
        box.require_running()
        pid = netstate.pid_of(netstate.load(box), args.role)
        argv = ["nsenter", "-t", str(pid), "-n", "--"] + argv
    return box.exec(argv)


def parser():
    p = argparse.ArgumentParser(prog="zezarur-sim",
                                description="a sandboxed router on this Linux machine")
    p.add_argument("--state", help="state directory (default $ZEZARUR_SIM_STATE or "
                                   "~/.local/state/zezarur-sim)")
    sub = p.add_subparsers(dest="command", required=True, metavar="COMMAND")
    s = sub.add_parser("start", help="start the sandbox")
    s.add_argument("--tie", type=int, metavar="PID",
                   help="end the sandbox when process PID ends (default: it runs until stopped)")
    s.add_argument("--state", dest="start_state", help="state directory")
    s.add_argument("--applets", metavar="DIR",
                   help="run the applets of the build with this program directory, a cross "
                        "build through its emulator (default $ZEZARUR_SIM_APPLETS, else this build)")
    s.set_defaults(handler=lambda box, a: lifecycle.start(box, a.tie, a.applets))
    s = sub.add_parser("exec", help="run a command inside (--in ROLE: in that role's network)")
    s.add_argument("--in", dest="role", metavar="ROLE",
                   help="isp, services, lan, dmz or a LAN host's name")
    s.add_argument("argv", nargs=argparse.REMAINDER)
    s.set_defaults(handler=exec_command)
    s = sub.add_parser("shell", help="an interactive shell inside")
    s.set_defaults(handler=lambda box, a: box.exec(["sh", "-i"]))
    devices.add_commands(sub)
    s = sub.add_parser("status", help="is it running")
    s.set_defaults(handler=lambda box, a: box.status())
    s = sub.add_parser("stop", help="stop the sandbox")
    s.set_defaults(handler=lambda box, a: box.stop())
    s = sub.add_parser("_init")  # internal: a parser given no help is not listed
    s.add_argument("--tie-fd", type=int)
    s.set_defaults(handler=lambda box, a: init.init_main(box, a.tie_fd))
    roles.each("add_commands", sub)
    return p


def main(argv, bin_dir, launcher):
    core.BIN_DIR, core.LAUNCHER = bin_dir, os.path.abspath(launcher)
    try:
        args = parser().parse_args(argv)
        box = Sandbox(getattr(args, "start_state", None) or args.state or core.default_state())
        return args.handler(box, args) or 0
    except SimError as e:
        print(f"zezarur-sim: {e}", file=sys.stderr)
        return 1
    except BrokenPipeError:
        # The reader went away (`... | head`): not an error of ours.
        os.dup2(os.open(os.devnull, os.O_WRONLY), sys.stdout.fileno())
        return 141
