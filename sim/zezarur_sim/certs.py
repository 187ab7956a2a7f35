"""The sandbox's certificate authority: made at the first start (STATE/ca/ca.pem
and ca.key), installed as the router's trust bundle
/etc/ssl/certs/ca-certificates.crt inside the sandbox only, and `cert
NAME... [--ec] [--days N]`, which issues a server certificate for those
names and prints the paths of its PEM chain and key."""

import datetime
import os
import re

from cryptography import x509
from cryptography.hazmat.primitives import hashes, serialization
from cryptography.hazmat.primitives.asymmetric import ec, rsa
from cryptography.x509.oid import NameOID

from . import core

BUNDLE = "/etc/ssl/certs/ca-certificates.crt"
# Certificates start a year back, so a router clock taken as the build's
# time (an unset clock) still finds them valid.
BACKDATE = datetime.timedelta(days=365)


def ca_paths(box):
    return box.path("ca", "ca.pem"), box.path("ca", "ca.key")


def new_key(elliptic):
    return ec.generate_private_key(ec.SECP256R1()) if elliptic else rsa.generate_private_key(65537, 2048)


def key_pem(key):
    return key.private_bytes(serialization.Encoding.PEM, serialization.PrivateFormat.PKCS8,
                             serialization.NoEncryption())


def issue(subject, key, issuer, signer, days, names=(), ca=False):
    now = datetime.datetime.now(datetime.timezone.utc)
    builder = (x509.CertificateBuilder().subject_name(subject).issuer_name(issuer)
               .public_key(key.public_key()).serial_number(x509.random_serial_number())
               .not_valid_before(now - BACKDATE).not_valid_after(now + datetime.timedelta(days=days))
               .add_extension(x509.BasicConstraints(ca=ca, path_length=None), critical=True))
    if names:
        builder = builder.add_extension(x509.SubjectAlternativeName(
            [x509.DNSName(n) for n in names]), critical=False)
    return builder.sign(signer, hashes.SHA256())


def prepare(box):
    cert, key_path = ca_paths(box)
    if os.path.exists(cert):
        return
    os.makedirs(os.path.dirname(cert), exist_ok=True)
    key = new_key(False)
    name = x509.Name([x509.NameAttribute(NameOID.COMMON_NAME, "zezarur sandbox authority")])
    core.write_file(key_path, key_pem(key), "wb")
    core.write_file(cert, issue(name, key, name, key, 3650, ca=True).public_bytes(
        serialization.Encoding.PEM), "wb")


def init(box):
    if os.path.exists(BUNDLE):
        core.run("mount", "--bind", ca_paths(box)[0], BUNDLE)


def cmd_cert(box, args):
    for name in args.names:
        if not re.fullmatch(r"[A-Za-z0-9*][A-Za-z0-9.-]*", name):
            raise core.SimError(f"bad host name '{name}'")
    prepare(box)
    cert_path, key_path = ca_paths(box)
    with open(cert_path, "rb") as f:
        ca_cert = x509.load_pem_x509_certificate(f.read())
    with open(key_path, "rb") as f:
        ca_key = serialization.load_pem_private_key(f.read(), None)
    key = new_key(args.ec)
    subject = x509.Name([x509.NameAttribute(NameOID.COMMON_NAME, args.names[0])])
    cert = issue(subject, key, ca_cert.subject, ca_key, args.days, args.names)
    stem = box.path("ca", f"{args.names[0]}-{'ec' if args.ec else 'rsa'}")
    core.write_file(f"{stem}.key", key_pem(key), "wb")
    core.write_file(f"{stem}.pem", cert.public_bytes(serialization.Encoding.PEM) +
                    ca_cert.public_bytes(serialization.Encoding.PEM), "wb")
    print(f"{stem}.pem {stem}.key")
    return 0


def add_commands(sub):
    s = sub.add_parser("cert", help="issue a server certificate: NAME... [--ec] [--days N]")
    s.add_argument("names", nargs="+", metavar="NAME")
    s.add_argument("--ec", action="store_true", help="an ECDSA P-256 key (default RSA 2048)")
    s.add_argument("--days", type=int, default=90, help="valid for N days from now (negative: expired N days ago, at most 365)")
    s.set_defaults(handler=cmd_cert)
