#!/usr/bin/python3
"""A mail server for the sandbox, on Debian's aiosmtpd: AUTH LOGIN with the
usual "Username:"/"Password:" prompts and AUTH CRAM-MD5 (RFC 2195), which
aiosmtpd lacks; mechanism names in any case; no TLS needed; a multi-line
reply in one write.  Each accepted message is stored as DIR/N.eml (the data
as received, dots unstuffed) with DIR/N.json beside it (peer address,
envelope, login).

usage: smtp_server.py PORT DIR USER:PASSWORD...
"""

import asyncio
import warnings
import hmac
import json
import os
import secrets
import sys
import time

from aiosmtpd.smtp import SMTP, AuthResult, LoginPassword, auth_mechanism

sys.path.insert(0, os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
from zezarur_sim.plan import MAIL_HOST as HOSTNAME  # noqa: E402


class Server(SMTP):
    AuthLoginUsernameChallenge = "Username:"
    AuthLoginPasswordChallenge = "Password:"
    continued = ""

    async def push(self, status):
        """A multi-line reply goes out in one write, as mail servers commonly
        send it (aiosmtpd writes each line on its own)."""
        if isinstance(status, str):
            if status[3:4] == "-":
                self.continued += status + "\r\n"
                return
            status, self.continued = self.continued + status, ""
        await super().push(status)

    async def smtp_AUTH(self, arg):
        mechanism, _, rest = (arg or "").partition(" ")
        return await super().smtp_AUTH(f"{mechanism.upper()} {rest}".strip())


class Mailbox:
    def __init__(self, folder, users):
        self.folder, self.users = folder, users

    def check(self, server, session, envelope, mechanism, data):
        ok = isinstance(data, LoginPassword) and self.users.get(data.login) == data.password
        return AuthResult(success=ok, handled=False, auth_data=data)

    @auth_mechanism("CRAM-MD5")
    async def auth_CRAM_MD5(self, server, args):
        if len(args) != 1:
            await server.push("501 5.5.4 No initial response with CRAM-MD5")
            return AuthResult(success=False, handled=True)
        stamp = f"<{secrets.randbelow(10**9)}.{int(time.time())}@{HOSTNAME}>".encode()
        answer = await server.challenge_auth(stamp)
        if not isinstance(answer, bytes):
            return AuthResult(success=False, handled=True)
        user, _, digest = answer.rpartition(b" ")
        secret = self.users.get(user)
        ok = secret is not None and hmac.compare_digest(
            hmac.new(secret, stamp, "md5").hexdigest().encode(), digest)
        return AuthResult(success=ok, handled=False, auth_data=LoginPassword(user, b""))

    async def handle_DATA(self, server, session, envelope):
        number = len([n for n in os.listdir(self.folder) if n.endswith(".eml")]) + 1
        base = os.path.join(self.folder, str(number))
        with open(base + ".eml", "wb") as f:
            f.write(envelope.original_content)
        login = session.auth_data.login.decode() if session.authenticated else None
        with open(base + ".json", "w") as f:
            json.dump({"peer": session.peer[0], "mail_from": envelope.mail_from,
                       "rcpt_tos": envelope.rcpt_tos, "login": login}, f)
        return "250 OK message accepted"


def main():
    # aiosmtpd itself still fills the deprecated Session.login_data.
    warnings.filterwarnings("ignore", category=DeprecationWarning)
    port, folder = int(sys.argv[1]), sys.argv[2]
    users = dict(u.encode().split(b":", 1) for u in sys.argv[3:])
    os.makedirs(folder, exist_ok=True)
    mailbox = Mailbox(folder, users)
    loop = asyncio.new_event_loop()
    factory = lambda: Server(mailbox, hostname=HOSTNAME, auth_require_tls=False,
                             auth_exclude_mechanism=["PLAIN"], authenticator=mailbox.check)
    server = loop.run_until_complete(loop.create_server(factory, "0.0.0.0", port))
    print(f"listening on {port}", flush=True)
    loop.run_until_complete(server.serve_forever())


if __name__ == "__main__":
    main()
