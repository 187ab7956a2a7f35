#!/usr/bin/python3
"""A dynamic-DNS service peer, one answer per connection:
reads the request up to its end (--until http: a blank line, bare line feeds
or CR LF; --until line: the first CR LF), appends it to LOG as one JSON line
{"port": PORT, "request": the exact bytes as Latin-1 text}, sends the bytes
of ANSWER (read anew for every connection; empty or absent: no reply) in one
write, and closes; an ANSWER of "<silent>" holds the connection, saying
nothing, until the client closes it.  The DynDNS member update server is `--until http` on port
80, or over HTTPS on 443 with --tls CHAIN KEY (a PEM chain and key, from
`zezarur-sim cert NAME`); TZO's lookup and update servers are `--until line`
on 21340 and 21346."""

import argparse
import json
import socket
import ssl

ENDS = {"http": (b"\n\n", b"\r\n\r\n"), "line": (b"\r\n",)}
TIMEOUT = 5.0  # a client that never finishes its request is dropped
SILENT = b"<silent>"


def read_request(conn, ends):
    data = b""
    while not any(end in data for end in ends):
        try:
            piece = conn.recv(4096)
        except socket.timeout:
            break
        if not piece:
            break
        data += piece
    return data


def main():
    p = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    p.add_argument("port", type=int)
    p.add_argument("answer")
    p.add_argument("log")
    p.add_argument("--until", choices=sorted(ENDS), default="http")
    p.add_argument("--bind", default="", help="the address to listen on (default: all)")
    p.add_argument("--tls", nargs=2, metavar=("CHAIN", "KEY"), help="TLS on each connection")
    args = p.parse_args()
    if args.tls:
        context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
        context.load_cert_chain(*args.tls)
    listener = socket.socket()
    listener.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    listener.bind((args.bind, args.port))
    listener.listen(8)
    while True:
        conn, _ = listener.accept()
        if args.tls:
            try:  # a client that refuses the certificate is only logged
                conn.settimeout(TIMEOUT)
                conn = context.wrap_socket(conn, server_side=True)
            except (OSError, ssl.SSLError) as e:
                print("handshake:", e, flush=True)
                conn.close()
                continue
        with conn:
            conn.settimeout(TIMEOUT)
            request = read_request(conn, ENDS[args.until])
            with open(args.log, "a") as log:
                log.write(json.dumps({"port": args.port, "request": request.decode("latin-1")}) + "\n")
            try:
                with open(args.answer, "rb") as f:
                    answer = f.read()
            except FileNotFoundError:
                answer = b""
            if answer == SILENT:
                conn.settimeout(None)
                while conn.recv(4096):
                    pass
            elif answer:
                conn.sendall(answer)


if __name__ == "__main__":
    main()
