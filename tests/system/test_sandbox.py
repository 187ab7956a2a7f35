"""The sandbox itself: life cycle, what is inside, persistence, stand-ins."""

import os
import re
import time

import pytest

from conftest import BIN


def test_life_cycle_messages(sim_unstarted):
    s = sim_unstarted
    r = s.exec("true")
    assert r.returncode == 1 and "sandbox not running" in r.stderr
    assert s.run("stop").returncode == 1
    assert s.run("status").stdout.startswith("not running")
    s.start()
    r = s.run("start")
    assert r.returncode == 1 and "already running" in r.stderr
    assert s.run("status").stdout.startswith("running")
    s.stop()
    assert s.run("status").returncode == 1


def test_unusable_state_dir(tmp_path):
    from conftest import Sim
    blocker = tmp_path / "file"
    blocker.write_text("")
    r = Sim(blocker / "state").run("start")
    assert r.returncode == 1 and "unusable" in r.stderr


def test_exec_passes_output_and_status(sim):
    r = sim.sh("echo out; echo err >&2; exit 7")
    assert (r.stdout, r.stderr, r.returncode) == ("out\n", "err\n", 7)


def test_inside_is_the_router(sim):
    r = sim.sh("hostname; echo $$; readlink /dev/obxcfgC; ls /var; "
               "ls /dev/log >/dev/null && echo log; ip -br link | cut -d' ' -f1")
    host, pid, flash, *rest = r.stdout.split("\n")
    assert host == "router"
    assert int(pid) > 1  # own PID namespace: init is 1, we are its neighbours
    assert flash == str(sim.file("dev/obxcfgC"))
    assert "log" in rest and {"lan0", "wan0", "dmz0"} <= {n.split("@")[0] for n in rest}
    # No interface of this machine is visible inside.
    assert not ({"eth0", "ens3", "enp0s3"} & set(rest))


def test_applets_on_path(sim):
    r = sim.sh("for c in ledTog sffs bcm cfg reboot dhcpchk; do command -v $c; done")
    assert r.returncode == 0 and len(r.stdout.split()) == 6
    listed = sim.exec("zezarur", "--list").stdout.split()
    assert "ledTog" in listed


def test_logger_runs_and_writes_its_pid(sim):
    pid = sim.exec("cat", "/var/run/metalog.pid").stdout.strip()
    comm = sim.exec("cat", f"/proc/{pid}/cmdline").stdout
    assert "syslogd" in comm
    sim.exec("logger", "-p", "user.info", "hello from the router")
    deadline = time.monotonic() + 5
    while "hello from the router" not in sim.run("log").stdout:
        assert time.monotonic() < deadline
        time.sleep(0.05)


def test_state_persists_across_restart(sim):
    sim.sh("printf keep > /var/kept; printf '\\000' | dd of=/dev/obxcfgC conv=notrunc 2>/dev/null")
    sim.exec("ledTog", "1", "3")
    sim.stop()
    sim.start()
    assert sim.exec("cat", "/var/kept").stdout == "keep"
    assert sim.file("dev/obxcfgC").read_bytes()[:2] == b"\x00\xff"
    assert "3 on" in sim.run("leds").stdout
    assert sim.exec("cat", "/var/run/metalog.pid").returncode == 0


def test_standins_record_calls_and_answer_as_told(sim):
    assert sim.exec("cfg", "R").returncode == 0
    sim.run("standin", "reboot", "--exit", "4", "--output", "no way", check=True)
    r = sim.exec("reboot")
    assert (r.returncode, r.stdout) == (4, "no way\n")
    sim.run("standin", "reboot", "--reset", check=True)
    assert sim.exec("reboot").returncode == 0
    calls = [line.split(" ", 1)[1] for line in sim.run("calls").stdout.splitlines()]
    assert calls == ["cfg R", "reboot", "reboot"]
    assert sim.run("standin", "nosuch").returncode == 1


@pytest.mark.parametrize("words,ok", [
    (["write", "3"], True), (["erase", "1"], True), (["cut", "0"], True), (["clear"], True),
    (["write", "0"], False), (["cut"], False), (["melt", "1"], False)])
def test_fault_words(sim, words, ok):
    r = sim.run("fault", "flash", *words)
    assert (r.returncode == 0) == ok
    if ok and words != ["clear"]:
        assert sim.file("flash.fault").read_text() == " ".join(words) + "\n"


def test_signal_needs_a_waiting_request(sim):
    r = sim.run("signal", "kdump", "--wait", "0.2")
    assert r.returncode == 1 and "nothing is waiting on /dev/kdump" in r.stderr


def test_stop_leaves_nothing_behind(sim_unstarted):
    s = sim_unstarted
    s.start()
    pid = int(s.file("run/init.pid").read_text())
    s.exec("sh", "-c", "sleep 1000 >/dev/null 2>&1 &")
    s.stop()
    assert not os.path.exists(f"/proc/{pid}")
    assert not any(re.search(rb"sleep\x001000", open(f"/proc/{p}/cmdline", "rb").read())
                   for p in os.listdir("/proc") if p.isdigit() and os.path.exists(f"/proc/{p}/cmdline"))


@pytest.mark.parametrize("ending", ["tied process ends", "state dir removed"])
def test_a_tied_sandbox_ends_itself(sim_unstarted, ending):
    import shutil
    import subprocess
    import time
    s = sim_unstarted
    owner = subprocess.Popen(["sleep", "1000"])
    s.run("start", "--tie", str(owner.pid), check=True)
    pid = int(s.file("run/init.pid").read_text())
    if ending == "tied process ends":
        owner.kill()
    else:
        shutil.rmtree(s.state)
    deadline = time.monotonic() + 10
    while os.path.exists(f"/proc/{pid}") and time.monotonic() < deadline:
        time.sleep(0.05)
    owner.kill()
    owner.wait()
    assert not os.path.exists(f"/proc/{pid}")


@pytest.mark.skipif(os.geteuid() != 0, reason="switching to an unprivileged user needs root")
def test_starts_without_root_in_a_user_namespace():
    import shutil
    import subprocess
    import tempfile
    top = tempfile.mkdtemp(prefix="zezarur-userns-", dir="/tmp")
    os.chmod(top, 0o777)
    as_nobody = ["setpriv", "--reuid=65534", "--regid=65534", "--clear-groups",
                 "env", f"HOME={top}", f"ZEZARUR_SIM_STATE={top}/state", str(BIN / "zezarur-sim")]
    run = lambda *a: subprocess.run(as_nobody + list(a), text=True, capture_output=True)
    try:
        r = run("start")
        if "not permitted" in r.stderr:
            pytest.skip("unprivileged user namespaces are disabled here")
        assert r.returncode == 0, r.stderr
        r = run("exec", "sh", "-c", "id -u; ledTog 1 2 && cat /var/run/metalog.pid")
        uid, toggled, pid = r.stdout.splitlines()
        assert (uid, toggled) == ("0", "toggle led 2 to ON") and int(pid) > 1
        assert run("stop").returncode == 0
    finally:
        run("stop")
        shutil.rmtree(top, ignore_errors=True)
