"""The sandbox: life cycle, persistence, what is inside, nothing left behind however it ends."""

import os
import shutil
import subprocess
import tempfile

import pytest

from conftest import APPLETS, BIN, Sim, wait_for


def test_life_cycle_and_persistence(sim_unstarted, tmp_path):
    s = sim_unstarted
    assert "sandbox not running" in s.exec("true").stderr
    assert s.run("stop").returncode == 1 and s.run("status").stdout.startswith("not running")
    s.start()
    r = s.run("start")
    assert r.returncode == 1 and "already running" in r.stderr
    assert s.run("status").stdout.startswith("running")
    s.sh("printf keep > /var/kept; printf '\\000' | dd of=/dev/obxcfgC conv=notrunc 2>/dev/null")
    s.exec("ledTog", "1", "3")
    s.stop()
    assert s.run("status").returncode == 1
    s.start()  # what the router keeps across a restart
    assert s.exec("cat", "/var/kept").stdout == "keep" and "3 on" in s.run("leds").stdout
    assert s.file("dev/obxcfgC").read_bytes()[:2] == b"\x00\xff"
    (tmp_path / "file").write_text("")
    assert "unusable: Not a directory" in Sim(tmp_path / "file" / "state").run("start").stderr


def test_inside_is_the_router(module_sim):
    s = module_sim
    r = s.sh("echo out; echo err >&2; exit 7")
    assert (r.stdout, r.stderr, r.returncode) == ("out\n", "err\n", 7)
    host, pid, flash = s.sh("hostname; echo $$; readlink /dev/obxcfgC").stdout.split()
    assert (host, flash) == ("router", str(s.file("dev/obxcfgC"))) and int(pid) > 1  # own PIDs
    listed = s.exec("zezarur", "--list").stdout.split()  # each on the path as a link
    assert "bcm" in listed and set(listed) <= set(APPLETS)
    assert s.exec("which", *listed).stdout.count("\n") == len(listed)
    r = s.exec("zezarur", "nosuch")
    assert (r.returncode, r.stderr) == (127, "zezarur: no applet named 'nosuch'\n")
    by_argument, by_link = s.exec("zezarur", "bcm"), s.exec("bcm")
    assert (by_argument.stdout, by_argument.returncode) == (by_link.stdout, 255)  # -1, low byte


def processes():
    """(PID, start time), which no later process shares, to (PID, network) namespaces."""
    found = {}
    for p in filter(str.isdigit, os.listdir("/proc")):
        try:
            start = open(f"/proc/{p}/stat").read().rsplit(")", 1)[1].split()[19]
            found[p, start] = tuple(os.stat(f"/proc/{p}/ns/{n}").st_ino for n in ("pid", "net"))
        except OSError:
            pass
    return found


@pytest.mark.parametrize("ending", ["stop", "crash", "tied process ends", "state dir removed"])
def test_every_ending_leaves_nothing_behind(sim_unstarted, ending):
    s = sim_unstarted
    owner = subprocess.Popen(["sleep", "1000"])
    s.run("start", "--tie", str(owner.pid), check=True)
    s.run("isp", "pppoe,dhcp,pptp", check=True)
    s.run("capture", "start", "isp:eth0", str(s.file("var/tmp/isp.pcap")), check=True)
    s.sh("sleep 1000 >/dev/null 2>&1 &")
    init = int(s.file("run/init.pid").read_text())
    pidns = os.stat(f"/proc/{init}/ns/pid").st_ino
    netns = {net for pid, net in processes().values() if pid == pidns}
    assert len(netns) >= 7  # router, isp, services, lan, dmz and two LAN hosts
    ours = {p for p, (pid, net) in processes().items() if pid == pidns or net in netns}
    {"stop": s.stop, "crash": lambda: os.kill(init, 9), "tied process ends": owner.kill,
     "state dir removed": lambda: shutil.rmtree(s.state)}[ending]()
    try:
        wait_for(lambda: not ours & processes().keys(), "the sandbox's processes to end", 10)
    finally:
        owner.kill()
        owner.wait()
    s.start()  # and it starts again
    s.stop()


@pytest.mark.skipif(os.geteuid() != 0, reason="switching to an unprivileged user needs root")
def test_starts_without_root_in_a_user_namespace():
    top = tempfile.mkdtemp(prefix="zezarur-userns-", dir="/tmp")  # where nobody may write
    os.chmod(top, 0o777)
    run = lambda *a: subprocess.run(
        ["setpriv", "--reuid=65534", "--regid=65534", "--clear-groups", "env", f"HOME={top}",
         f"ZEZARUR_SIM_STATE={top}/state", "ZEZARUR_SIM_APPLETS=",  # an emulator's root may be private
         str(BIN / "zezarur-sim"), *a], text=True,
        capture_output=True)
    r = run("start")
    inside = run("exec", "sh", "-c", "id -u; ledTog 1 2").stdout
    stopped = run("stop").returncode
    shutil.rmtree(top)
    if "not permitted" in r.stderr:
        pytest.skip("unprivileged user namespaces are disabled here")
    assert (r.returncode, inside, stopped) == (0, "0\ntoggle led 2 to ON\n", 0), r.stderr
