"""The sandbox's core: its state directory and files, its init's pid,
entering it, stopping it, and what every module of the package shares."""

import contextlib
import os
import signal
import subprocess
import time

SIM_SRC = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
# Set by the launcher: this build's program directory and the launcher itself.
BIN_DIR = LAUNCHER = None
STANDINS = ["cfg", "reboot", "dhcpchk"]
HOST_DEVICES = ["null", "zero", "full", "random", "urandom", "tty"]
FIRM_VERSION = "1.0.0"  # what the firmware leaves in /var/firmVersion
START_TIMEOUT = 10.0


class SimError(Exception):
    pass


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

