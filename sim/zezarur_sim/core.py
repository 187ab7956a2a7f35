"""The sandbox's core: its state directory, life cycle, entering it, and the
plugins that add its further roles (sim/plugins/)."""

import contextlib
import importlib.util
import os
import re
import shlex
import shutil
import signal
import subprocess
import sys
import time

SIM_SRC = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
SRC_DIR = os.path.dirname(SIM_SRC)
# Set by the launcher: this build's program directory and the launcher itself.
BIN_DIR = LAUNCHER = None
APPLETS = re.findall(r"^APPLET\((\w+)\)", open(os.path.join(SRC_DIR, "src", "applets.def")).read(), re.M)
STANDINS = ["cfg", "reboot", "dhcpchk"]
DEVICES = dict(re.findall(r"^DEVICE\((\w+), (\w+), \w+\)", open(os.path.join(SRC_DIR, "adp", "devices.def")).read(), re.M))
HOST_DEVICES = ["null", "zero", "full", "random", "urandom", "tty"]
FLASH_SIZE = 1 << 20
FIRM_VERSION = "1.0.0"  # what the firmware leaves in /var/firmVersion
START_TIMEOUT = 10.0


class SimError(Exception):
    pass


def load_plugins():
    """The sandbox's further roles, one module each in sim/plugins/, loaded
    and hooked in name order (net.py builds the network that net_*.py
    extend).  A module may define add_commands(subparsers) (each parser sets
    handler=f(box, args)), prepare(box) (state files, run outside before
    start) and init(box) (inside, as the sandbox's init, before it reports
    ready).  Each module sees this module as `core` (SimError, run,
    write_file, read_file, remove, LAUNCHER, ...)."""
    plugins = []
    folder = os.path.join(SIM_SRC, "plugins")
    for name in sorted(os.listdir(folder)) if os.path.isdir(folder) else []:
        if name.endswith(".py") and not name.startswith("_"):
            found = importlib.util.spec_from_file_location(name[:-3], os.path.join(folder, name))
            module = importlib.util.module_from_spec(found)
            module.core = sys.modules[__name__]
            found.loader.exec_module(module)
            plugins.append(module)
    return plugins


def each_plugin(hook, *args):
    for module in PLUGINS:
        if hasattr(module, hook):
            getattr(module, hook)(*args)


def default_state():
    return os.environ.get("ZEZARUR_SIM_STATE") or os.path.expanduser(
        "~/.local/state/zezarur-sim")


def default_applets():
    """The program directory of the build whose applets the sandbox runs:
    $ZEZARUR_SIM_APPLETS, else the sandbox's own build."""
    return os.environ.get("ZEZARUR_SIM_APPLETS") or BIN_DIR


def write_file(path, text, mode="w"):
    with open(path, mode) as f:
        f.write(text)


def alive(pid):
    """True while pid runs; a zombie waiting for its reaper counts as gone."""
    try:
        with open(f"/proc/{pid}/stat") as f:
            return f.read().rsplit(")", 1)[1].split()[0] != "Z"
    except (OSError, IndexError):
        return False


def read_file(path, default=""):
    try:
        with open(path) as f:
            return f.read()
    except (FileNotFoundError, NotADirectoryError):
        return default


def adp_state(box, *words):
    """What libadp's helper program (adp/tool/sim_state.cpp) prints for
    WORDS: the sandbox's files shared with the drivers (switch, Oray script,
    flash fault, LEDs, clock) are read and written by libadp's own code only."""
    r = subprocess.run([os.path.join(BIN_DIR, "zezarur-sim-state"), *map(str, words)],
                       env=dict(os.environ, ZEZARUR_SIM=box.state), capture_output=True, text=True)
    if r.returncode:
        raise SimError(r.stderr.strip())
    return r.stdout


def remove(*paths):
    """Removes the files that exist among paths."""
    for path in paths:
        with contextlib.suppress(FileNotFoundError):
            os.unlink(path)


def run(*cmd):
    subprocess.run(cmd, check=True)


class Sandbox:
    def __init__(self, state):
        self.state = os.path.abspath(state)

    def path(self, *parts):
        return os.path.join(self.state, *parts)

    # ---- life cycle -------------------------------------------------------

    def init_pid(self):
        """Outer PID of the sandbox's init, or None when it is not running."""
        text = read_file(self.path("run", "init.pid")).strip()
        if not text:
            return None
        pid = int(text)
        try:
            with open(f"/proc/{pid}/cmdline", "rb") as f:
                if b"_init" in f.read():
                    return pid
        except OSError:
            pass
        return None

    def require_running(self):
        pid = self.init_pid()
        if pid is None:
            raise SimError(f"sandbox not running (state {self.state}); "
                           "start it with 'zezarur-sim start'")
        return pid

    def applet_command(self, name, applets):
        """STATE/bin/NAME for the host program of the build in applets:
        a link to it, or for a cross build (one that names its emulator in
        applets/emulator) a script that runs it there.  The emulator is
        started through a link called NAME, so that the process's name is
        the applet's (pidof, pgrep -x, the daemons' own checks) and the pid
        the applet sees is the one a pid file or kill uses."""
        link = self.path("bin", name)
        host = os.path.join(applets, "zezarur")
        emulator = shlex.split(read_file(os.path.join(applets, "emulator")))
        if not emulator:
            os.symlink(host, link)
            return
        program = shutil.which(emulator[0])
        if not program:
            raise SimError(f"emulator {emulator[0]} not found")
        started = self.path("bin", ".emulated", name)
        os.makedirs(os.path.dirname(started), exist_ok=True)
        remove(started)
        os.symlink(program, started)
        cmd = [started, *emulator[1:], "-0", name, host]
        write_file(link, f'#!/bin/sh\nexec {shlex.join(cmd)} "$@"\n')
        os.chmod(link, 0o755)

    def prepare(self, applets):
        try:
            for d in ("dev", "bin", "run", "standin", "var/run", "var/log", "var/tmp"):
                os.makedirs(self.path(d), exist_ok=True)
            probe = self.path("run", ".probe")
            write_file(probe, "")
            os.unlink(probe)
        except OSError as e:
            raise SimError(f"state dir {self.state} unusable: {e.strerror}") from None
        for name, kind in DEVICES.items():
            node = self.path("dev", name)
            if kind == "IMAGE" and not os.path.exists(node):
                write_file(node, b"\xff" * FLASH_SIZE, "wb")
            elif kind == "FIFO":
                if os.path.lexists(node):
                    os.unlink(node)
                os.mkfifo(node, 0o600)
            elif kind == "EMPTY" and not os.path.exists(node):
                write_file(node, "")
        if not os.path.exists(self.path("var", "firmVersion")):
            write_file(self.path("var", "firmVersion"), FIRM_VERSION + "\n")
        remove(*(self.path("bin", name) for name in ["zezarur"] + APPLETS + STANDINS))
        for name in ["zezarur"] + APPLETS:
            self.applet_command(name, applets)
        for name in STANDINS:
            os.symlink(os.path.join(SIM_SRC, "standin.sh"), self.path("bin", name))
        self.forget_run()
        each_plugin("prepare", self)

    def start(self, tie=None, applets=None):
        pid = self.init_pid()
        if pid is not None:
            raise SimError(f"sandbox already running (pid {pid}, state {self.state})")
        # The init watches the tied process through a pidfd it inherits, as
        # the process's pid means nothing inside the new PID namespace.
        try:
            tie_fd = os.pidfd_open(tie) if tie else None
        except OSError as e:
            raise SimError(f"cannot tie the sandbox to pid {tie}: {e.strerror}") from None
        self.prepare(os.path.abspath(applets or default_applets()))
        userns = os.geteuid() != 0
        cmd = ["unshare", "--mount", "--uts", "--ipc", "--net", "--pid", "--fork",
               "--mount-proc", "--propagation", "private", "--kill-child"]
        if userns:
            cmd += ["--user", "--map-root-user"]
        cmd += ["--", sys.executable, LAUNCHER, "--state", self.state, "_init"]
        if tie_fd is not None:
            cmd += ["--tie-fd", str(tie_fd)]
        write_file(self.path("run", "userns"), "1" if userns else "0")
        with open(self.path("run", "init.log"), "w") as log:
            proc = subprocess.Popen(cmd, stdin=subprocess.DEVNULL, stdout=log, stderr=log,
                                    start_new_session=True,
                                    pass_fds=() if tie_fd is None else (tie_fd,))
        if tie_fd is not None:
            os.close(tie_fd)
        write_file(self.path("run", "unshare.pid"), f"{proc.pid}\n")
        deadline = time.monotonic() + START_TIMEOUT
        while not os.path.exists(self.path("run", "ready")):
            if proc.poll() is not None or time.monotonic() > deadline:
                if proc.poll() is None:
                    proc.kill()
                    proc.wait()
                why = read_file(self.path("run", "init.log")).strip()
                if "Operation not permitted" in why or "Permission denied" in why:
                    raise SimError("namespaces not permitted here (" + why.splitlines()[-1] +
                                   "); run as root or allow unprivileged user namespaces")
                raise SimError("sandbox did not start: " + (why or "no output"))
            time.sleep(0.02)
        children = read_file(f"/proc/{proc.pid}/task/{proc.pid}/children").split()
        write_file(self.path("run", "init.pid"), f"{children[0]}\n")
        print(f"sandbox started (state {self.state})")

    def stop(self):
        pid = self.require_running()
        unshare_pid = int(read_file(self.path("run", "unshare.pid"), "0") or 0)
        deadline = time.monotonic() + 5
        for sig in (signal.SIGTERM, signal.SIGKILL):
            try:
                os.kill(pid, sig)
            except ProcessLookupError:  # it ended on its own (tied, or state removed)
                break
            while alive(pid) and time.monotonic() < deadline:
                time.sleep(0.02)
            if not alive(pid):
                break
        while unshare_pid and alive(unshare_pid) and time.monotonic() < deadline + 5:
            time.sleep(0.02)
        self.forget_run()
        print("sandbox stopped")

    def forget_run(self):
        """What says a sandbox runs, gone once none does."""
        remove(*(self.path("run", f) for f in ("ready", "init.pid", "unshare.pid")))

    def status(self):
        pid = self.init_pid()
        if pid is None:
            print(f"not running (state {self.state})")
            return 1
        print(f"running (pid {pid}, state {self.state})")
        return 0

    # ---- inside -----------------------------------------------------------

    def enter_command(self, argv):
        pid = self.require_running()
        cmd = ["nsenter", "-t", str(pid), "-m", "-u", "-i", "-n", "-p"]
        if read_file(self.path("run", "userns")).strip() == "1":
            cmd += ["-U", "--preserve-credentials"]
        cwd = os.getcwd()
        if cwd == "/var" or cwd.startswith("/var/") or cwd.startswith("/dev"):
            cwd = "/"
        path = self.path("bin") + ":" + os.environ.get("PATH", "/usr/bin:/bin")
        return cmd + [f"--wd={cwd}", "--", "env", f"PATH={path}",
                      f"ZEZARUR_SIM={self.state}"] + argv

    def exec(self, argv):
        rc = subprocess.call(self.enter_command(argv))
        return 128 - rc if rc < 0 else rc


PLUGINS = load_plugins()
