#!/usr/bin/python3
"""A real FTP server for integration tests (pyftpdlib), bound to 127.0.0.1.

Usage: pyftpd_server.py --root DIR --port P [--user U] [--password W]
                        [--passive-low L --passive-high H]
                        [--cut-after BYTES] [--read-limit BYTES_PER_S]
                        [--received-log FILE] [--store-delay MS]

--cut-after: the first upload's data connection is dropped once that many
bytes of it arrived (the server then answers 426, as on a broken link).
--read-limit: uploads are taken at most this fast.
--received-log: each finished or broken upload appends "<bytes> <path>".
--store-delay: each STOR (and APPE) is answered that much later, so that a
queue of small files drains at a known pace.
"""
import argparse
import logging
import signal
import sys

from pyftpdlib.authorizers import DummyAuthorizer
from pyftpdlib.handlers import DTPHandler, FTPHandler, ThrottledDTPHandler
from pyftpdlib.servers import FTPServer


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--root", required=True)
    parser.add_argument("--port", type=int, required=True)
    parser.add_argument("--user", default="user")
    parser.add_argument("--password", default="secret")
    parser.add_argument("--passive-low", type=int, default=0)
    parser.add_argument("--passive-high", type=int, default=0)
    parser.add_argument("--cut-after", type=int, default=0)
    parser.add_argument("--read-limit", type=int, default=0)
    parser.add_argument("--received-log", default="")
    parser.add_argument("--store-delay", type=int, default=0)
    parser.add_argument("--stor-log", default="", help="a line per stored file (its path) goes here")
    args = parser.parse_args()

    logging.basicConfig(level=logging.WARNING, stream=sys.stderr)
    authorizer = DummyAuthorizer()
    authorizer.add_user(args.user, args.password, args.root, perm="elradfmwMT")

    base = ThrottledDTPHandler if args.read_limit > 0 else DTPHandler
    state = {"cut": args.cut_after <= 0}

    class Data(base):
        def handle_read_event(self):
            super().handle_read_event()
            if not state["cut"] and self.receive and self.tot_bytes_received >= args.cut_after:
                state["cut"] = True
                # As on a broken link: "426", and the part kept.
                self._resp = ("426 Connection closed; transfer aborted.", logging.warning)
                self.close()

        def close(self):
            if self.receive and args.received_log and not getattr(self, "_logged", False):
                self._logged = True
                with open(args.received_log, "a") as log:
                    log.write("%d %s\n" % (self.tot_bytes_received, self.file_obj.name if self.file_obj else "-"))
            super().close()

    if args.read_limit > 0:
        Data.read_limit = args.read_limit

    class Handler(FTPHandler):
        dtp_handler = Data

        _delayed = None

        # pyftpdlib's own text of a session asks its data channel about the
        # file, which fails once a killed client's transfer closed the file,
        # and the failure repeats for ever; its debug lines need none of it.
        def __repr__(self):
            return "<session>"

        def ftp_STOR(self, file, mode="w"):
            if args.store_delay <= 0:
                return FTPHandler.ftp_STOR(self, file, mode)

            def later():
                self._delayed = None
                if not self._closed and self.connected:
                    FTPHandler.ftp_STOR(self, file, mode)

            self._delayed = self.ioloop.call_later(args.store_delay / 1000.0, later, _errback=self.handle_error)
            return None

        def close(self):
            # A client gone while its STOR waits: the STOR never runs.
            if self._delayed is not None:
                self._delayed.cancel()
                self._delayed = None
            super().close()

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
