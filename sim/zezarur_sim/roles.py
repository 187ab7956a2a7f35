"""The sandbox's roles and devices beyond its core, one module each, in the
order their hooks run: net builds the network that capture, isp, lan and
services extend.  A module may define add_commands(subparsers) (each parser
sets handler=f(box, args)), prepare(box) (its state files, outside, before
start) and init(box) (inside, as the sandbox's init, before it reports
ready)."""

from . import capture, certs, clock, isp, lan, net, oray, services, switch

MODULES = (certs, clock, net, capture, isp, lan, services, oray, switch)


def each(hook, *args):
    for module in MODULES:
        if hasattr(module, hook):
            getattr(module, hook)(*args)
