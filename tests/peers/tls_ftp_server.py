#!/usr/bin/python3
"""A real FTP server with TLS for integration tests and benchmarks.

Makes a fresh self-signed certificate, starts vsftpd (TLS forced for login and
data, session reuse required; a temporary system user, so root is needed) or
pyftpdlib's TLS handler on loopback, optionally behind a relay that records
every byte the client sends, writes what a client needs to know to the
"ready" file as key=value lines, and runs until SIGTERM, then cleans up.

Usage: tls_ftp_server.py --kind vsftpd|pyftpdlib --work DIR [--address 127.0.0.1|::1]
                         [--implicit] [--relay] [--plain]
"""
import argparse
import os
import random
import shutil
import signal
import socket
import subprocess
import sys
import threading
import time


def free_port(address):
    family = socket.AF_INET6 if ":" in address else socket.AF_INET
    with socket.socket(family, socket.SOCK_STREAM) as s:
        s.bind((address, 0))
        return s.getsockname()[1]


def free_port_range(address, count):
    for _ in range(200):
        low = random.randrange(20000, 60000 - count)
        ok = True
        for p in range(low, low + count):
            family = socket.AF_INET6 if ":" in address else socket.AF_INET
            with socket.socket(family, socket.SOCK_STREAM) as s:
                try:
                    s.bind((address, p))
                except OSError:
                    ok = False
                    break
        if ok:
            return low, low + count - 1
    raise RuntimeError("no free port range")


def accepts(address, port):
    family = socket.AF_INET6 if ":" in address else socket.AF_INET
    try:
        with socket.socket(family, socket.SOCK_STREAM) as s:
            s.settimeout(0.5)
            s.connect((address, port))
            return True
    except OSError:
        return False


def make_certificate(work, address):
    cert = os.path.join(work, "cert.pem")
    key = os.path.join(work, "key.pem")
    san = f"subjectAltName=DNS:localhost,IP:{address}"
    subprocess.run(["openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "2",
                    "-subj", "/CN=localhost/O=Wexmoor test peer", "-addext", san,
                    "-keyout", key, "-out", cert], check=True, capture_output=True)
    os.chmod(key, 0o600)
    out = subprocess.run(["openssl", "x509", "-in", cert, "-noout", "-fingerprint", "-sha256"],
                         check=True, capture_output=True, text=True).stdout.strip()
    return cert, key, out.split("=", 1)[1]


class Relay:
    """Forwards one port to another and records what clients send."""

    def __init__(self, address, target_port, record):
        family = socket.AF_INET6 if ":" in address else socket.AF_INET
        self.listen = socket.socket(family, socket.SOCK_STREAM)
        self.listen.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
        self.listen.bind((address, 0))
        self.listen.listen(16)
        self.port = self.listen.getsockname()[1]
        self.address = address
        self.target_port = target_port
        self.record = open(record, "ab", buffering=0)
        self.lock = threading.Lock()
        threading.Thread(target=self.run, daemon=True).start()

    def run(self):
        while True:
            try:
                client, _ = self.listen.accept()
            except OSError:
                return
            family = socket.AF_INET6 if ":" in self.address else socket.AF_INET
            server = socket.socket(family, socket.SOCK_STREAM)
            server.connect((self.address, self.target_port))
            threading.Thread(target=self.pump, args=(client, server, True), daemon=True).start()
            threading.Thread(target=self.pump, args=(server, client, False), daemon=True).start()

    def pump(self, source, sink, record):
        try:
            while True:
                data = source.recv(65536)
                if not data:
                    break
                if record:
                    with self.lock:
                        self.record.write(data)
                sink.sendall(data)
        except OSError:
            pass
        for s in (source, sink):
            try:
                s.shutdown(socket.SHUT_RDWR)
            except OSError:
                pass


class Vsftpd:
    def __init__(self, args, root, cert, key, password):
        self.user = f"wxtls{os.getpid() % 100000}"
        subprocess.run(["useradd", "-M", "-d", root, "-s", "/bin/sh", self.user], check=True, capture_output=True)
        subprocess.run(["chpasswd"], input=f"{self.user}:{password}\n".encode(), check=True)
        shutil.chown(root, self.user)
        os.makedirs("/var/run/vsftpd/empty", exist_ok=True)
        self.port = free_port(args.address)
        low, high = free_port_range(args.address, 50)
        six = ":" in args.address
        lines = [
            "listen=NO" if six else "listen=YES", "listen_ipv6=YES" if six else "listen_ipv6=NO",
            f"listen_address6={args.address}" if six else f"listen_address={args.address}",
            f"listen_port={self.port}", "background=NO", "anonymous_enable=NO", "local_enable=YES",
            "write_enable=YES", "local_umask=022", f"local_root={root}", "chroot_local_user=NO",
            "pasv_enable=YES", f"pasv_min_port={low}", f"pasv_max_port={high}",
            "connect_from_port_20=NO", "seccomp_sandbox=NO", "isolate=NO", "isolate_network=NO",
            "pam_service_name=vsftpd", "userlist_enable=NO", "check_shell=NO", "dirmessage_enable=NO",
            "secure_chroot_dir=/var/run/vsftpd/empty", "max_clients=200", "max_per_ip=200",
            "delay_failed_login=0", "delay_successful_login=0",
            "xferlog_enable=YES", "log_ftp_protocol=YES", "vsftpd_log_file=" + os.path.join(args.work, "server.log"),
            "xferlog_std_format=NO",
        ]
        if not six:
            lines.append("pasv_address=127.0.0.1")
        if not args.plain:
            lines += [
                "ssl_enable=YES", f"rsa_cert_file={cert}", f"rsa_private_key_file={key}",
                "force_local_logins_ssl=YES", "force_local_data_ssl=YES", "allow_anon_ssl=NO",
                "require_ssl_reuse=YES", "ssl_ciphers=HIGH", "ssl_tlsv1=YES", "ssl_sslv2=NO", "ssl_sslv3=NO",
                "debug_ssl=YES",
            ]
            if args.implicit:
                lines.append("implicit_ssl=YES")
        config = os.path.join(args.work, "vsftpd.conf")
        with open(config, "w") as f:
            f.write("\n".join(lines) + "\n")
        os.chmod(config, 0o600)
        vsftpd = shutil.which("vsftpd") or "/usr/sbin/vsftpd"
        self.process = subprocess.Popen([vsftpd, config], stdout=subprocess.DEVNULL,
                                        stderr=open(os.path.join(args.work, "vsftpd.err"), "w"))

    def stop(self):
        self.process.terminate()
        try:
            self.process.wait(5)
        except subprocess.TimeoutExpired:
            self.process.kill()
        subprocess.run(["userdel", self.user], capture_output=True)


class PyFtpd:
    def __init__(self, args, root, cert, key, password):
        self.user = "user"
        self.port = free_port(args.address)
        low, high = free_port_range(args.address, 40)
        code = f"""
import logging, signal, sys
from pyftpdlib.authorizers import DummyAuthorizer
from pyftpdlib.handlers import FTPHandler, TLS_FTPHandler
from pyftpdlib.servers import FTPServer
logging.basicConfig(filename={os.path.join(args.work, 'server.log')!r}, level=logging.DEBUG)
a = DummyAuthorizer()
a.add_user('user', {password!r}, {root!r}, perm='elradfmwMT')
plain = {bool(args.plain)!r}
H = FTPHandler if plain else TLS_FTPHandler
class Handler(H):
    pass
if not plain:
    Handler.certfile = {cert!r}
    Handler.keyfile = {key!r}
    Handler.tls_control_required = True
    Handler.tls_data_required = True
Handler.authorizer = a
Handler.passive_ports = range({low}, {high + 1})
Handler.permit_privileged_ports = False
server = FTPServer(({args.address!r}, {self.port}), Handler)
signal.signal(signal.SIGTERM, lambda *x: (server.close_all(), sys.exit(0)))
server.serve_forever(handle_exit=False)
"""
        self.process = subprocess.Popen(["/usr/bin/python3", "-c", code], stdout=subprocess.DEVNULL,
                                        stderr=open(os.path.join(args.work, "pyftpd.err"), "w"))

    def stop(self):
        self.process.terminate()
        try:
            self.process.wait(5)
        except subprocess.TimeoutExpired:
            self.process.kill()


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--kind", choices=["vsftpd", "pyftpdlib"], required=True)
    parser.add_argument("--work", required=True)
    parser.add_argument("--address", default="127.0.0.1")
    parser.add_argument("--implicit", action="store_true")
    parser.add_argument("--relay", action="store_true")
    parser.add_argument("--plain", action="store_true")
    args = parser.parse_args()

    root = os.path.join(args.work, "root")
    os.makedirs(root, exist_ok=True)
    os.chmod(args.work, 0o755)
    cert, key, fingerprint = make_certificate(args.work, args.address)
    password = "pw-" + str(random.randrange(10**9))
    server = (Vsftpd if args.kind == "vsftpd" else PyFtpd)(args, root, cert, key, password)

    stopping = threading.Event()
    signal.signal(signal.SIGTERM, lambda *x: stopping.set())
    signal.signal(signal.SIGINT, lambda *x: stopping.set())
    try:
        deadline = time.time() + 15
        while not accepts(args.address, server.port):
            if server.process.poll() is not None or time.time() > deadline:
                raise RuntimeError("the server did not start")
            time.sleep(0.05)
        port = server.port
        if args.relay:
            port = Relay(args.address, server.port, os.path.join(args.work, "client-bytes")).port
        ready = os.path.join(args.work, "ready")
        with open(ready + ".tmp", "w") as f:
            f.write(f"port={port}\nuser={server.user}\npassword={password}\nroot={root}\n"
                    f"fingerprint={fingerprint}\ncert={cert}\n")
        os.rename(ready + ".tmp", ready)
        while not stopping.wait(0.2):
            if server.process.poll() is not None:
                break
    except Exception as e:  # noqa: BLE001 - the reason goes to the test
        with open(os.path.join(args.work, "failed"), "w") as f:
            f.write(str(e))
    finally:
        server.stop()


if __name__ == "__main__":
    main()
