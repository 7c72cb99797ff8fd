#!/usr/bin/python3
"""A second real FTP server for the tests, on pyftpdlib.

Anonymous (root --root) and one user with a password (home --home), both with
full write permission. --port 0 lets the kernel choose; the port actually
listened on is printed as "READY <port>" once the server accepts.
"""
import argparse
import logging
import sys
import warnings

from pyftpdlib.authorizers import DummyAuthorizer
from pyftpdlib.handlers import FTPHandler, ThrottledDTPHandler
from pyftpdlib.servers import FTPServer

ALL_PERMS = "elradfmwMT"


def make_handler(base, implicit=False):
    class Handler(base):
        def handle(self):
            if implicit:
                # TLS from the first byte; the greeting waits in the buffer.
                self.secure_connection(self.ssl_context)
            # Multi-line banners become a proper "220-" continuation reply.
            self.on_connect()
            if self._closed or self._closing:
                return
            lines = self.banner.split("\n")
            for line in lines[:-1]:
                self.push("220-%s\r\n" % line)
            self.respond("220 %s" % lines[-1])
    return Handler


def main():
    p = argparse.ArgumentParser()
    p.add_argument("--address", default="127.0.0.1")
    p.add_argument("--port", type=int, default=0)
    p.add_argument("--root", required=True)
    p.add_argument("--home", required=True)
    p.add_argument("--user", required=True)
    p.add_argument("--password", required=True)
    p.add_argument("--banner", default="pyftpdlib ready.")
    p.add_argument("--idle-timeout", type=int, default=300)
    p.add_argument("--pasv-min", type=int, default=40000)
    p.add_argument("--pasv-max", type=int, default=60000)
    p.add_argument("--max-rate", type=int, default=0,
                   help="bytes per second per data connection, both ways (0: no limit)")
    p.add_argument("--tls", choices=["explicit", "implicit"], default=None)
    p.add_argument("--cert")
    p.add_argument("--key")
    a = p.parse_args()

    if a.tls:
        from pyftpdlib.handlers import TLS_DTPHandler, TLS_FTPHandler
        Handler = make_handler(TLS_FTPHandler, a.tls == "implicit")
        Handler.certfile = a.cert
        Handler.keyfile = a.key
        Handler.tls_control_required = True
        Handler.tls_data_required = True
    else:
        Handler = make_handler(FTPHandler)

    logging.basicConfig(stream=sys.stderr, level=logging.INFO,
                        format="%(asctime)s %(message)s")
    warnings.simplefilter("ignore", RuntimeWarning)  # write perms for anonymous

    auth = DummyAuthorizer()
    auth.add_anonymous(a.root, perm=ALL_PERMS)
    auth.add_user(a.user, a.password, a.home, perm=ALL_PERMS)

    Handler.authorizer = auth
    Handler.banner = a.banner
    Handler.timeout = a.idle_timeout
    Handler.passive_ports = range(a.pasv_min, a.pasv_max + 1)
    Handler.auth_failed_timeout = 0.1  # keeps wrong-password cases quick
    if a.max_rate > 0:
        if a.tls:
            raise SystemExit("--max-rate and --tls together are not supported")

        class Throttled(ThrottledDTPHandler):
            read_limit = a.max_rate
            write_limit = a.max_rate
        Handler.dtp_handler = Throttled

    server = FTPServer((a.address, a.port), Handler)
    server.max_cons = 256
    print("READY %d" % server.socket.getsockname()[1], flush=True)
    # A bounded poll: pyftpdlib's epoll loop turns a zero wait for a due
    # timer into an endless one, so idle time-outs would never fire.
    server.serve_forever(timeout=0.1, handle_exit=True)


if __name__ == "__main__":
    main()
