"""The router's devices seen from outside: the kernel's configuration-save
signal, the factory-default button, flash faults, the LEDs, the logs and the
firmware command stand-ins."""

import errno
import os
import sys
import time

from .core import STANDINS, SimError, adp_state, read_file, remove, write_file

def led_timeline(log):
    """The LED event log ("seconds.micros LED on|off" lines) as milliseconds
    since its first request, with how long an LED was dark when it comes on."""
    out, start, dark_since = [], None, {}
    for entry in log.splitlines():
        stamp, led, state = entry.split()
        t = float(stamp)
        start = t if start is None else start
        note = ""
        if state == "off":
            dark_since[led] = t
        elif led in dark_since:
            note = f"  dark {(t - dark_since.pop(led)) * 1000:.1f} ms"
        out.append(f"{(t - start) * 1000:10.1f} ms  LED {led:>2} {state:<3}{note}".rstrip() + "\n")
    return "".join(out)


def send_signal(box, node, byte, wait):
    """Releases the request waiting on a blocking device node; waits up
    to `wait` seconds for a process to open the node."""
    box.require_running()
    deadline = time.monotonic() + wait
    while True:
        try:
            fd = os.open(box.path("dev", node), os.O_WRONLY | os.O_NONBLOCK)
            break
        except OSError as e:
            if e.errno != errno.ENXIO or time.monotonic() > deadline:
                raise SimError(f"nothing is waiting on /dev/{node}") from None
            time.sleep(0.02)
    os.write(fd, byte)
    os.close(fd)


def fault(box, words):
    adp_state(box, "fault", *words)


def standin(box, name, exit_status, output, reset):
    if name not in STANDINS:
        raise SimError(f"no stand-in named '{name}' (have: {', '.join(STANDINS)})")
    base = box.path("standin", name)
    if reset:
        remove(base + ".exit", base + ".out")
    if exit_status is not None:
        write_file(base + ".exit", f"{exit_status}\n")
    if output is not None:
        write_file(base + ".out", output + "\n")


def show(text):
    sys.stdout.write(text)


def add_commands(sub):
    for name, node, what in (("signal", "kdump", "the kernel's configuration-save signal"),
                             ("press", "fac_dev", "press the factory-default button")):
        s = sub.add_parser(name, help=what)
        if name == "signal":
            s.add_argument("device", choices=["kdump"])
        s.add_argument("outcome", nargs="?", choices=["fail"])
        s.add_argument("--wait", type=float, default=10.0, metavar="SECONDS",
                       help="how long to wait for a process to wait on the device")
        s.set_defaults(handler=lambda box, a, node=node:
                       send_signal(box, node, b"f" if a.outcome else b"0", a.wait))
    s = sub.add_parser("fault", help="flash fault injection")
    s.add_argument("device", choices=["flash"])
    s.add_argument("words", nargs="+", metavar="write N | erase N | cut N | clear")
    s.set_defaults(handler=lambda box, a: fault(box, a.words))
    s = sub.add_parser("leds", help="LED state (--events: every request, --timeline: "
                                    "the requests in ms with dark phases)")
    s.add_argument("--events", action="store_true")
    s.add_argument("--timeline", action="store_true")
    s.set_defaults(handler=lambda box, a: show(
        led_timeline(read_file(box.path("led.log"))) if a.timeline else
        read_file(box.path("led.log")) if a.events else adp_state(box, "leds")))
    s = sub.add_parser("log", help="the system log")
    s.set_defaults(handler=lambda box, a: show(read_file(box.path("var", "log", "messages"))))
    s = sub.add_parser("calls", help="calls of the firmware's own commands")
    s.set_defaults(handler=lambda box, a: show(read_file(box.path("calls.log"))))
    s = sub.add_parser("standin", help="set how a firmware command stand-in answers")
    s.add_argument("name")
    s.add_argument("--exit", type=int, dest="exit_status")
    s.add_argument("--output")
    s.add_argument("--reset", action="store_true")
    s.set_defaults(handler=lambda box, a: standin(box, a.name, a.exit_status, a.output, a.reset))
