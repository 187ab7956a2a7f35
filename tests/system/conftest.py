"""Fixtures for driving zezarur-sim exactly as an operator would."""

import os
import subprocess
import sys
import time
from pathlib import Path

import pytest

BIN = Path(os.environ.get("ZEZARUR_BIN", Path(__file__).resolve().parents[2] / "build/default/bin"))
SRC = Path(os.environ.get("ZEZARUR_SRC", Path(__file__).resolve().parents[2]))
SANITIZED = os.environ.get("ZEZARUR_SANITIZED", "0") in ("1", "ON", "TRUE", "true")
# The sandbox's address plan and host names, as its network is built from
# them, and the applets of src/applets.def.
sys.path.insert(0, str(SRC / "sim"))
from zezarur_sim import plan  # noqa: E402
from zezarur_sim.definitions import APPLETS  # noqa: E402,F401 (for the tests)

WAN, LAN, DMZ = (plan.address(i) for i in ("wan0", "lan0", "dmz0"))
ISP, SERVICE, MODEM = plan.ISP_ADDRESS.split("/")[0], plan.SERVICE_HOST, plan.PPTP_MODEM.split("/")[0]
# The build whose applets the sandboxes run (zezarur-sim start --applets): this
# one, or a cross build under its emulator. Records are packed in its CPU's
# byte order (struct's "<" or ">") with its pointer width, from its ELF header.
APPLET_BIN = Path(os.environ.get("ZEZARUR_SIM_APPLETS") or BIN)
_ELF = (APPLET_BIN / "zezarur").read_bytes()[:6]
ORDER = ">" if _ELF[5] == 2 else "<"
POINTER = 8 if _ELF[4] == 2 else 4
EMULATED = (APPLET_BIN / "emulator").exists()
PATIENCE = 3 if EMULATED else 1  # waits stretch under an emulator, and on 2 busy cores more so


class Sim:
    """One sandbox with its own state directory."""

    def __init__(self, state: Path):
        self.state = state
        self.env = dict(os.environ, ZEZARUR_SIM_STATE=str(state))

    def run(self, *args, check=False, timeout=60, **kw) -> subprocess.CompletedProcess:
        """zezarur-sim ARGS..., output captured as text."""
        return subprocess.run([str(BIN / "zezarur-sim"), *args], env=self.env, text=True,
                              capture_output=True, check=check, timeout=timeout * PATIENCE,
                              stdin=subprocess.DEVNULL, **kw)

    def exec(self, *argv, **kw) -> subprocess.CompletedProcess:
        return self.run("exec", *argv, **kw)

    def sh(self, script, **kw) -> subprocess.CompletedProcess:
        return self.exec("sh", "-c", script, **kw)

    def file(self, name) -> Path:
        """A file of the state directory (var/... is the router's /var)."""
        return self.state / name

    def log_end(self) -> int:
        """Where the router's syslog ends now: a mark for log()."""
        return len(self.file("var/log/messages").read_text())

    def log(self, tags, since=0) -> list:
        """(priority, message) of what a program named tags (one name or
        several, "" for none) logged after the mark since."""
        tags = (tags,) if isinstance(tags, str) else tags
        found = []
        for line in self.file("var/log/messages").read_text()[since:].splitlines():
            priority, _, rest = line.partition(" user.")[2].partition(" ")
            name, _, message = rest.partition(": ")
            if priority and name in tags:
                found.append((priority, message))
        return found

    def start(self):
        # Tied to this test run, so a run killed on timeout leaves no sandbox.
        self.run("start", "--tie", str(os.getpid()), check=True)

    def stop(self):
        self.run("stop", check=True)


def wait_for(test, what, timeout=45):
    """test()'s first true value; fails naming what it waited for."""
    deadline = time.monotonic() + timeout * PATIENCE
    while not (got := test()):
        assert time.monotonic() < deadline, f"waited in vain for {what}"
        time.sleep(0.05)
    return got


@pytest.fixture
def sim_unstarted(tmp_path):
    s = Sim(tmp_path / "state")
    yield s
    if s.run("status").returncode == 0:
        s.run("stop")


@pytest.fixture
def sim(sim_unstarted):
    sim_unstarted.start()
    return sim_unstarted


@pytest.fixture(scope="module")
def module_sim(tmp_path_factory):
    """One sandbox shared by the tests of a module (tables of small cases)."""
    s = Sim(tmp_path_factory.mktemp("module") / "state")
    s.start()
    yield s
    s.stop()
