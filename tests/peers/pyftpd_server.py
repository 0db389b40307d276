#!/usr/bin/python3
"""A real FTP server for integration tests (pyftpdlib), bound to 127.0.0.1.

Usage: pyftpd_server.py --root DIR --port P [--user U] [--password W]
                        [--passive-low L --passive-high H]
"""
import argparse
import logging
import signal
import sys

from pyftpdlib.authorizers import DummyAuthorizer
from pyftpdlib.handlers import FTPHandler
from pyftpdlib.servers import FTPServer


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--root", required=True)
    parser.add_argument("--port", type=int, required=True)
    parser.add_argument("--user", default="user")
    parser.add_argument("--password", default="secret")
    parser.add_argument("--passive-low", type=int, default=0)
    parser.add_argument("--passive-high", type=int, default=0)
    parser.add_argument("--stor-log", default="", help="a line per stored file (its path) goes here")
    args = parser.parse_args()

    logging.basicConfig(level=logging.WARNING, stream=sys.stderr)
    authorizer = DummyAuthorizer()
    authorizer.add_user(args.user, args.password, args.root, perm="elradfmwMT")

    class Handler(FTPHandler):
        def on_file_received(self, file):
            if args.stor_log:
                with open(args.stor_log, "a") as log:
                    log.write(file + "\n")

    Handler.authorizer = authorizer
    Handler.permit_foreign_addresses = False
    Handler.permit_privileged_ports = False
    if args.passive_low > 0 and args.passive_high >= args.passive_low:
        Handler.passive_ports = range(args.passive_low, args.passive_high + 1)

    server = FTPServer(("127.0.0.1", args.port), Handler)
    server.max_cons = 64

    def stop(signum, frame):
        server.close_all()
        sys.exit(0)

    signal.signal(signal.SIGTERM, stop)
    server.serve_forever(handle_exit=False)


if __name__ == "__main__":
    main()
