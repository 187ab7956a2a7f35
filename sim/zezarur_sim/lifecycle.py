"""Starting the sandbox: its state directory made ready (devices, the applets
to run, each role's files), then its namespaces and init."""

import os
import shlex
import shutil
import subprocess
import sys
import time

from . import core, roles
from .core import FIRM_VERSION, SIM_SRC, STANDINS, START_TIMEOUT, SimError, read_file, remove, write_file
from .definitions import APPLETS, DEVICES
from .plan import FLASH_SIZE


def applet_command(box, name, applets):
    """STATE/bin/NAME for the host program of the build in applets:
    a link to it, or for a cross build (one that names its emulator in
    applets/emulator) a script that runs it there.  The emulator is
    started through a link called NAME, so that the process's name is
    the applet's (pidof, pgrep -x, the daemons' own checks) and the pid
    the applet sees is the one a pid file or kill uses."""
    link = box.path("bin", name)
    host = os.path.join(applets, "zezarur")
    emulator = shlex.split(read_file(os.path.join(applets, "emulator")))
    if not emulator:
        os.symlink(host, link)
        return
    program = shutil.which(emulator[0])
    if not program:
        raise SimError(f"emulator {emulator[0]} not found")
    started = box.path("bin", ".emulated", name)
    os.makedirs(os.path.dirname(started), exist_ok=True)
    remove(started)
    os.symlink(program, started)
    cmd = [started, *emulator[1:], "-0", name, host]
    write_file(link, f'#!/bin/sh\nexec {shlex.join(cmd)} "$@"\n')
    os.chmod(link, 0o755)


def prepare(box, applets):
    try:
        for d in ("dev", "bin", "run", "standin", "var/run", "var/log", "var/tmp"):
            os.makedirs(box.path(d), exist_ok=True)
        probe = box.path("run", ".probe")
        write_file(probe, "")
        os.unlink(probe)
    except OSError as e:
        raise SimError(f"state dir {box.state} unusable: {e.strerror}") from None
    for name, kind in DEVICES.items():
        node = box.path("dev", name)
        if kind == "IMAGE" and not os.path.exists(node):
            write_file(node, b"\xff" * FLASH_SIZE, "wb")
        elif kind == "FIFO":
            if os.path.lexists(node):
                os.unlink(node)
            os.mkfifo(node, 0o600)
        elif kind == "EMPTY" and not os.path.exists(node):
            write_file(node, "")
    if not os.path.exists(box.path("var", "firmVersion")):
        write_file(box.path("var", "firmVersion"), FIRM_VERSION + "\n")
    remove(*(box.path("bin", name) for name in ["zezarur"] + APPLETS + STANDINS))
    for name in ["zezarur"] + APPLETS:
        applet_command(box, name, applets)
    for name in STANDINS:
        os.symlink(os.path.join(SIM_SRC, "standin.sh"), box.path("bin", name))
    box.forget_run()
    roles.each("prepare", box)


def start(box, tie=None, applets=None):
    pid = box.init_pid()
    if pid is not None:
        raise SimError(f"sandbox already running (pid {pid}, state {box.state})")
    # The init watches the tied process through a pidfd it inherits, as
    # the process's pid means nothing inside the new PID namespace.
    try:
        tie_fd = os.pidfd_open(tie) if tie else None
    except OSError as e:
        raise SimError(f"cannot tie the sandbox to pid {tie}: {e.strerror}") from None
    prepare(box, os.path.abspath(applets or core.default_applets()))
    userns = os.geteuid() != 0
    cmd = ["unshare", "--mount", "--uts", "--ipc", "--net", "--pid", "--fork",
           "--mount-proc", "--propagation", "private", "--kill-child"]
    if userns:
        cmd += ["--user", "--map-root-user"]
    cmd += ["--", sys.executable, core.LAUNCHER, "--state", box.state, "_init"]
    if tie_fd is not None:
        cmd += ["--tie-fd", str(tie_fd)]
    write_file(box.path("run", "userns"), "1" if userns else "0")
    with open(box.path("run", "init.log"), "w") as log:
        proc = subprocess.Popen(cmd, stdin=subprocess.DEVNULL, stdout=log, stderr=log,
                                start_new_session=True,
                                pass_fds=() if tie_fd is None else (tie_fd,))
    if tie_fd is not None:
        os.close(tie_fd)
    write_file(box.path("run", "unshare.pid"), f"{proc.pid}\n")
    deadline = time.monotonic() + START_TIMEOUT
    while not os.path.exists(box.path("run", "ready")):
        if proc.poll() is not None or time.monotonic() > deadline:
            if proc.poll() is None:
                proc.kill()
                proc.wait()
            why = read_file(box.path("run", "init.log")).strip()
            if "Operation not permitted" in why or "Permission denied" in why:
                raise SimError("namespaces not permitted here (" + why.splitlines()[-1] +
                               "); run as root or allow unprivileged user namespaces")
            raise SimError("sandbox did not start: " + (why or "no output"))
        time.sleep(0.02)
    children = read_file(f"/proc/{proc.pid}/task/{proc.pid}/children").split()
    write_file(box.path("run", "init.pid"), f"{children[0]}\n")
    print(f"sandbox started (state {box.state})")
