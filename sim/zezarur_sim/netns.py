"""Network namespaces and the processes in them, for the network's roles
(net, isp, lan, services, capture).  Everything here runs inside the sandbox."""

import os
import signal
import subprocess
import time

from . import core

WAIT = 5.0


def enter(pid):
    """The words that run a command in pid's network namespace; none for our own."""
    return [] if pid == os.getpid() else ["nsenter", "-t", str(pid), "-n", "--"]


def in_ns(pid, script):
    """Runs a shell script in the network namespace held by pid."""
    r = subprocess.run(enter(pid) + ["sh", "-ec", script],
                       capture_output=True, text=True)
    if r.returncode:
        raise core.SimError(f"network set-up failed: {r.stderr.strip() or script}")
    return r.stdout


def wait_for(test, what):
    deadline = time.monotonic() + WAIT
    while not test():
        if time.monotonic() > deadline:
            raise core.SimError(f"timed out waiting for {what}")
        time.sleep(0.005)


def spawn(pid, argv, log):
    """Starts argv in pid's network namespace, detached, output to log; it
    leads its own process group so that stopping it ends its children too."""
    with open(log, "ab") as out:
        p = subprocess.Popen(enter(pid) + argv, stdin=subprocess.DEVNULL,
                             stdout=out, stderr=out, start_new_session=True)
    return p.pid


def holder():
    """A process holding a fresh network namespace."""
    pid = spawn(os.getpid(), ["unshare", "--net", "--", "sleep", "infinity"], os.devnull)
    mine = os.readlink("/proc/self/ns/net")
    wait_for(lambda: os.readlink(f"/proc/{pid}/ns/net") != mine, "a namespace")
    return pid


def configure(pid, script):
    """The first set-up of a namespace whose interfaces exist: IPv6 off on
    all of them, so that no router solicitation or multicast report clutters
    a capture, then lo and the script."""
    in_ns(pid, "sysctl -q -w net.ipv6.conf.all.disable_ipv6=1 net.ipv6.conf.default.disable_ipv6=1\n"
               "ip link set lo up\n" + script)


def end(pid):
    """Ends the process group that pid leads: politely, then for sure."""
    for sig in (signal.SIGTERM, signal.SIGKILL):
        if not pid or not core.alive(pid):
            return
        try:
            os.killpg(pid, sig)
        except ProcessLookupError:
            return
        deadline = time.monotonic() + WAIT
        while core.alive(pid) and time.monotonic() < deadline:
            time.sleep(0.005)


def sockets(pid, table):
    """(local port, state) of the sockets in pid's namespace (/proc/PID/net/TABLE)."""
    rows = core.read_file(f"/proc/{pid}/net/{table}").splitlines()[1:]
    return [(int(r.split()[1].split(":")[1], 16), r.split()[3]) for r in rows]


def tcp_listening(pid, port):
    return any(p == port and st == "0A" for t in ("tcp", "tcp6") for p, st in sockets(pid, t))


def udp_bound(pid, port):
    return any(p == port for p, _ in sockets(pid, "udp"))


def packet_socket(pid, ethertype):
    return any(r.split()[3] == f"{ethertype:X}"
               for r in core.read_file(f"/proc/{pid}/net/packet").splitlines()[1:])
