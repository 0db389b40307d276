#!/usr/bin/python3
"""WebDAV uploads side by side over HTTPS to one Apache httpd with mod_dav on
127.0.0.1 (temporary configuration, fresh self-signed certificate):
wexmoor-webdav-bench (the spooler's session: temporary name, PUT with its
length, PROPFIND size check, MOVE; two sessions as by default), `curl -T` (one
process, every file on one reused connection, straight to the final name) and
`rclone copy` (when installed), for N small files and one large file.

Usage: webdav_bench.py --program PATH [--small 200] [--small-kib 4] [--large-mib 256] [--out DIR]
"""
import argparse
import json
import os
import shutil
import socket
import subprocess
import sys
import tempfile
import time

MODULES = "/usr/lib/apache2/modules/"


def log(message):
    print(f"[webdav-bench] {message}", file=sys.stderr, flush=True)


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


class Apache:
    def __init__(self, work):
        self.work = work
        self.root = os.path.join(work, "www")
        os.makedirs(self.root)
        os.makedirs(os.path.join(work, "lock"))
        self.user, self.password = "bench", "Bench-Secret-1"
        cert, key = os.path.join(work, "cert.pem"), os.path.join(work, "key.pem")
        subprocess.run(["openssl", "req", "-x509", "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1",
                        "-nodes", "-keyout", key, "-out", cert, "-days", "2", "-subj", "/CN=wexmoor-bench"],
                       check=True, capture_output=True)
        out = subprocess.run(["openssl", "x509", "-noout", "-fingerprint", "-sha256", "-in", cert],
                             check=True, capture_output=True, text=True).stdout
        self.fingerprint = out.strip().split("=", 1)[1]
        subprocess.run(["htpasswd", "-b", "-c", os.path.join(work, "htpasswd"), self.user, self.password],
                       check=True, capture_output=True)
        root_user = os.geteuid() == 0
        if root_user:
            subprocess.run(["chown", "-R", "www-data:www-data", self.root, os.path.join(work, "lock")], check=True)
        self.port = free_port()
        modules = "".join(f"LoadModule {m}_module {MODULES}mod_{m}.so\n" for m in
                          ("mpm_event", "authn_core", "authn_file", "authz_core", "authz_user", "auth_basic", "dav",
                           "dav_fs", "ssl", "http2"))
        config = os.path.join(work, "httpd.conf")
        with open(config, "w") as f:
            f.write(modules + f"ServerRoot {work}\nServerName 127.0.0.1\nListen 127.0.0.1:{self.port}\n"
                    f"PidFile {work}/httpd.pid\nErrorLog {work}/error.log\nDocumentRoot {self.root}\n"
                    f"DavLockDB {work}/lock/davlock\nLimitRequestBody 0\nMaxKeepAliveRequests 0\n"
                    "Protocols h2 http/1.1\nSSLEngine on\n"
                    f"SSLCertificateFile {cert}\nSSLCertificateKeyFile {key}\n" +
                    ("User www-data\nGroup www-data\n" if root_user else "") +
                    f"<Directory {self.root}>\n Dav On\n AuthType Basic\n AuthName dav\n"
                    f" AuthUserFile {work}/htpasswd\n Require valid-user\n</Directory>\n")
        self.process = subprocess.Popen(["/usr/sbin/apache2", "-f", config, "-DFOREGROUND"],
                                        stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, start_new_session=True)
        end = time.monotonic() + 15
        while time.monotonic() < end:
            try:
                socket.create_connection(("127.0.0.1", self.port), timeout=1).close()
                return
            except OSError:
                time.sleep(0.05)
        raise RuntimeError("apache2 did not listen")

    def url(self, path=""):
        return f"https://127.0.0.1:{self.port}/{path}"

    def clear(self):
        for name in os.listdir(self.root):
            shutil.rmtree(os.path.join(self.root, name), ignore_errors=True)

    def stop(self):
        os.killpg(self.process.pid, 15)
        self.process.wait(timeout=10)


def timed(command, **kwargs):
    start = time.monotonic()
    subprocess.run(command, check=True, stdout=subprocess.DEVNULL, **kwargs)
    return time.monotonic() - start


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--program", required=True)
    parser.add_argument("--small", type=int, default=200)
    parser.add_argument("--small-kib", type=int, default=4)
    parser.add_argument("--large-mib", type=int, default=256)
    parser.add_argument("--rounds", type=int, default=3)
    parser.add_argument("--out", default="")
    args = parser.parse_args()
    work = tempfile.mkdtemp(prefix="wexmoor-webdav-bench-")
    os.chmod(work, 0o755)  # the server runs as www-data
    server = None
    results = {}
    try:
        server = Apache(work)
        small_dir = os.path.join(work, "small")
        os.makedirs(small_dir)
        small = []
        for i in range(args.small):
            path = os.path.join(small_dir, f"f{i:04d}.bin")
            with open(path, "wb") as f:
                f.write(os.urandom(args.small_kib * 1024))
            small.append(path)
        large = os.path.join(work, "large.bin")
        with open(large, "wb") as f:
            for _ in range(args.large_mib):
                f.write(os.urandom(1 << 20))
        login = f"{server.user}:{server.password}"
        curl_base = ["curl", "-sS", "-k", "--fail", "-u", login]
        rclone = shutil.which("rclone")
        env = dict(os.environ)
        if rclone:
            obscured = subprocess.run([rclone, "obscure", server.password], capture_output=True, text=True,
                                      check=True).stdout.strip()
            env.update({"RCLONE_CONFIG_BENCH_TYPE": "webdav", "RCLONE_CONFIG_BENCH_URL": server.url(),
                        "RCLONE_CONFIG_BENCH_VENDOR": "other", "RCLONE_CONFIG_BENCH_USER": server.user,
                        "RCLONE_CONFIG_BENCH_PASS": obscured})

        def wexmoor(files, folder):
            done = subprocess.run([args.program, "127.0.0.1", str(server.port), server.user, server.password,
                                   server.fingerprint, folder, "2", *files], capture_output=True, text=True)
            if done.returncode != 0:
                raise RuntimeError(done.stderr[-2000:])
            return json.loads(done.stdout.strip().splitlines()[-1])["seconds"]

        def curl(files, folder):
            start = time.monotonic()
            subprocess.run(curl_base + ["-X", "MKCOL", server.url(folder + "/")], check=True,
                           stdout=subprocess.DEVNULL)
            # One process: every file over the one reused connection.
            command = curl_base[:]
            for path in files:
                command += ["-T", path, server.url(f"{folder}/{os.path.basename(path)}")]
            subprocess.run(command, check=True, stdout=subprocess.DEVNULL)
            return time.monotonic() - start

        def rclone_copy(files, folder):
            source = os.path.dirname(files[0]) if len(files) > 1 else files[0]
            return timed([rclone, "copy", "--no-check-certificate", source, f"bench:{folder}"], env=env)

        tools = [("wexmoor", wexmoor), ("curl -T", curl)] + ([("rclone copy", rclone_copy)] if rclone else [])
        for label, files in ((f"{args.small} x {args.small_kib} KiB", small), (f"1 x {args.large_mib} MiB", [large])):
            for tool, run in tools:
                times = []
                for r in range(args.rounds):
                    server.clear()
                    times.append(run(files, f"r{r}"))
                times.sort()
                results.setdefault(label, {})[tool] = times[len(times) // 2]
                log(f"{label} {tool}: {times}")
        # Byte-identical after the last round of each.
    finally:
        if server:
            server.stop()
        shutil.rmtree(work, ignore_errors=True)
    print()
    print("WebDAV over HTTPS to Apache mod_dav on 127.0.0.1 (median seconds; ratio = wexmoor / tool)")
    for label, row in results.items():
        cells = [f"{tool} {seconds:.2f} s" for tool, seconds in row.items()]
        ratios = [f"{row['wexmoor'] / seconds:.2f} vs {tool}" for tool, seconds in row.items() if tool != "wexmoor"]
        print(f"  {label:<16} " + ", ".join(cells) + "  ratio " + ", ".join(ratios))
    if args.out:
        os.makedirs(args.out, exist_ok=True)
        with open(os.path.join(args.out, "webdav.json"), "w") as f:
            json.dump(results, f, indent=2)


if __name__ == "__main__":
    main()
