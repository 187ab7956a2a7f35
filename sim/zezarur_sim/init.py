"""The sandbox's init: PID 1 inside its namespaces."""

import os
import select
import signal
import socket
import subprocess
import time

from . import roles
from .core import HOST_DEVICES, remove, run, write_file
from .definitions import DEVICES


def reap(*_):
    try:
        while os.waitpid(-1, os.WNOHANG)[0] > 0:
            pass
    except ChildProcessError:
        pass


def init_main(box, tie_fd):
    def shutdown(*_):
        for sig in (signal.SIGTERM, signal.SIGKILL):
            try:
                os.kill(-1, sig)
            except ProcessLookupError:
                pass
            time.sleep(0.1)
        os._exit(0)

    signal.signal(signal.SIGTERM, shutdown)
    signal.signal(signal.SIGINT, shutdown)
    signal.signal(signal.SIGCHLD, reap)

    run("mount", "--bind", box.path("var"), "/var")
    # A fresh /dev: the harmless host nodes, the router's devices, and room for
    # the logger's socket, so nothing is ever created in the host's /dev.  The
    # host's nodes are reached through a bind of the old /dev made beforehand.
    hostdev = box.path("run", "hostdev")
    os.makedirs(hostdev, exist_ok=True)
    run("mount", "--rbind", "/dev", hostdev)
    run("mount", "-t", "tmpfs", "-o", "mode=755", "tmpfs", "/dev")
    for name in HOST_DEVICES:
        write_file(f"/dev/{name}", "")
        run("mount", "--bind", os.path.join(hostdev, name), f"/dev/{name}")
    run("umount", "-l", hostdev)
    for name in DEVICES:
        os.symlink(box.path("dev", name), f"/dev/{name}")
    for name, target in [("fd", "/proc/self/fd"), ("stdin", "/proc/self/fd/0"),
                         ("stdout", "/proc/self/fd/1"), ("stderr", "/proc/self/fd/2")]:
        os.symlink(target, f"/dev/{name}")
    os.makedirs("/dev/shm")
    run("mount", "-t", "tmpfs", "tmpfs", "/dev/shm")

    socket.sethostname("router")
    run("ip", "link", "set", "lo", "up")

    remove("/var/run/metalog.pid", "/var/run/syslogd.pid")  # stale ones
    logger = subprocess.Popen(["busybox", "syslogd", "-n", "-O", "/var/log/messages"])
    deadline = time.monotonic() + 5
    while not os.path.exists("/dev/log") and time.monotonic() < deadline:
        time.sleep(0.01)
    write_file("/var/run/metalog.pid", f"{logger.pid}\n")
    roles.each("init", box)
    write_file(box.path("run", "ready"), "")

    # Orphans are reaped as they end; the sandbox ends itself once the process
    # it is tied to is gone or its state directory has been removed.
    watched = [tie_fd] if tie_fd is not None else []
    while os.path.isdir(box.state):
        if select.select(watched, [], [], 1.0)[0]:
            break
        reap()
    shutdown()
