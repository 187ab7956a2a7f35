#!/usr/bin/python3
"""Exim as a production mail server in the sandbox, run from the package
file that scripts/fetch-exim unpacks (never installed on the machine).

usage: smtp_exim.py EXIM DIR USER:PASSWORD [CHAIN KEY]

Listens on 2526 (AUTH CRAM-MD5 and LOGIN for USER), 2527 (no AUTH) and 2528
(strict: AUTH, no PIPELINING, MAIL answered after a second); given a PEM
certificate chain and key, also on 587 (STARTTLS, AUTH only inside TLS) and
465 (TLS from the first byte); see exim.conf.  Messages land in DIR/maildir/new, Exim's log in DIR/log/mainlog.

Exim runs as the user "Debian-exim", which this machine need not have: it
gets a private mount namespace in which /etc/passwd and /etc/group name it
and DIR is seen at /mnt, a path that user can reach (DIR's parents need not
be open to it).  The binary and the configuration are copied into DIR for
the same reason.
"""

import os
import shutil
import sys

UID = 64990  # Debian-exim's, in the private /etc/passwd only
HERE = os.path.dirname(os.path.abspath(__file__))
SEEN_AS = "/mnt"


def main():
    exim, folder, login, tls = sys.argv[1], os.path.abspath(sys.argv[2]), sys.argv[3], sys.argv[4:6]
    user, password = login.split(":", 1)
    for name in ("passwd", "group"):
        with open(f"/etc/{name}") as f:
            entries = "".join(e for e in f if not e.startswith("Debian-exim:"))
        entry = (f"Debian-exim:x:{UID}:{UID}::/nonexistent:/usr/sbin/nologin" if name == "passwd"
                 else f"Debian-exim:x:{UID}:")
        with open(f"{folder}/{name}", "w") as f:
            f.write(entries.rstrip("\n") + "\n" + entry + "\n")
    for name in ("spool", "log", "maildir", "tls"):
        os.makedirs(f"{folder}/{name}", exist_ok=True)
        os.chown(f"{folder}/{name}", UID, UID)
    for source, name in zip(tls, ("chain.pem", "key.pem")):
        shutil.copy(source, f"{folder}/tls/{name}")
        os.chown(f"{folder}/tls/{name}", UID, UID)
    shutil.copy(exim, f"{folder}/exim4")
    shutil.copy(f"{HERE}/exim.conf", f"{folder}/exim.conf")
    os.chmod(f"{folder}/exim.conf", 0o644)  # Exim refuses a configuration others may write
    start = (f"mount --bind {folder} {SEEN_AS} && mount --bind {SEEN_AS}/passwd /etc/passwd && "
             f"mount --bind {SEEN_AS}/group /etc/group && exec \"$@\"")
    os.execvp("unshare", ["unshare", "--mount", "--", "sh", "-ec", start, "exim",
                          f"{SEEN_AS}/exim4", "-bdf", "-C", f"{SEEN_AS}/exim.conf",
                          f"-DPEER_DIR={SEEN_AS}", f"-DPEER_EXIM={SEEN_AS}/exim4",
                          f"-DPEER_USER={user}", f"-DPEER_PASSWORD={password}"] +
               (["-DPEER_TLS=1"] if tls else []))


if __name__ == "__main__":
    main()
