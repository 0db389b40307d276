#!/usr/bin/python3
"""SFTP uploads side by side: wexmoor-sftp-bench (temporary name, size check,
rename, as the spooler uploads), OpenSSH's `sftp -b`, `curl -T sftp://` and
`lftp`, all on one sshd on 127.0.0.1 (temporary configuration, host key and
user), direct and through control_relay.py, which holds every server-to-client
chunk back by DELAY ms (a round trip of about that much).

Measures N small files (per-file interval) and one large file (MB/s), then
prints the overlap target: through the relay, with temporary names, per file
at most 1.0 x lftp's sftp measured in the same run (lftp sends no temporary
names, so every rename round trip is the program's own).
Needs root: it makes a temporary system user and runs /usr/sbin/sshd.

Usage: sftp_bench.py --program PATH [--small 2000] [--relay-small 200]
                     [--large-mib 1024] [--delay 20] [--out DIR]
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

HERE = os.path.dirname(os.path.abspath(__file__))
PYTHON = "/usr/bin/python3"


def log(message):
    print(f"[sftp-bench] {message}", file=sys.stderr, flush=True)


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


class Sshd:
    def __init__(self, work):
        self.work = work
        self.user = f"wxbench{os.getpid() % 100000}"
        self.password = f"pw-{self.user}-Secret"
        self.home = os.path.join(work, "home")
        os.makedirs(self.home)
        os.chmod(work, 0o755)
        subprocess.run(["useradd", "-M", "-N", "-d", self.home, "-s", "/bin/sh", self.user], check=True)
        self.user_made = True
        subprocess.run(["chpasswd"], input=f"{self.user}:{self.password}\n", text=True, check=True)
        shutil.chown(self.home, self.user)
        key = os.path.join(work, "host_key")
        self.client_key = os.path.join(work, "client_key")
        for path in (key, self.client_key):
            subprocess.run(["ssh-keygen", "-q", "-t", "ed25519", "-N", "", "-C", "", "-f", path], check=True)
        shutil.copy(self.client_key + ".pub", os.path.join(work, "authorized_keys"))
        out = subprocess.run(["ssh-keygen", "-l", "-E", "sha256", "-f", key + ".pub"], capture_output=True,
                             text=True, check=True).stdout
        self.fingerprint = out.split()[1]
        self.port = free_port()
        config = os.path.join(work, "sshd_config")
        with open(config, "w") as f:
            f.write(f"Port {self.port}\nListenAddress 127.0.0.1\nHostKey {key}\nPidFile {work}/sshd.pid\n"
                    "UsePAM no\nPasswordAuthentication yes\nPubkeyAuthentication yes\n"
                    f"AuthorizedKeysFile {work}/authorized_keys\nStrictModes no\nAllowUsers {self.user}\n"
                    "Subsystem sftp internal-sftp\nLogLevel ERROR\nMaxStartups 100\nMaxSessions 100\n")
        os.makedirs("/run/sshd", exist_ok=True)
        self.process = subprocess.Popen(["/usr/sbin/sshd", "-D", "-e", "-f", config],
                                        stderr=open(os.path.join(work, "sshd.log"), "w"))
        until = time.monotonic() + 10
        while time.monotonic() < until:
            try:
                with socket.create_connection(("127.0.0.1", self.port), timeout=2) as s:
                    if s.recv(4) == b"SSH-":
                        return
            except OSError:
                time.sleep(0.1)
        raise RuntimeError("sshd did not start")

    def clear(self, folder):
        shutil.rmtree(os.path.join(self.home, folder), ignore_errors=True)

    def stop(self):
        self.process.terminate()
        self.process.wait(5)
        for _ in range(50):
            if subprocess.run(["userdel", self.user], capture_output=True).returncode == 0:
                break
            time.sleep(0.1)


class Relay:
    def __init__(self, target_port, delay_ms):
        self.port = free_port()
        self.process = subprocess.Popen([PYTHON, os.path.join(HERE, "control_relay.py"), str(self.port),
                                         str(target_port), str(delay_ms)], stdout=subprocess.PIPE)
        if self.process.stdout.readline().strip() != b"ready":
            raise RuntimeError("relay did not start")

    def stop(self):
        self.process.terminate()
        self.process.wait(5)


def timed(command, **kwargs):
    start = time.perf_counter()
    done = subprocess.run(command, capture_output=True, **kwargs)
    seconds = time.perf_counter() - start
    if done.returncode != 0:
        raise RuntimeError(f"{command[0]} failed: {done.stderr.decode(errors='replace').strip()[-800:]}")
    return seconds


SSH_OPTIONS = ["-o", "StrictHostKeyChecking=no", "-o", "UserKnownHostsFile=/dev/null", "-o", "LogLevel=ERROR"]


def tools(args, server, work, port):
    def wexmoor(files, folder, final_name=False):
        environment = dict(os.environ, WEXMOOR_BENCH_FINAL_NAME="1" if final_name else "0")
        return timed([args.program, "127.0.0.1", str(port), server.user, server.password, server.fingerprint,
                      folder, "1", *files], env=environment)

    def wexmoor_final_name(files, folder):
        # ServerTempName 0: no temporary name, so no rename round trip.
        return wexmoor(files, folder, final_name=True)

    def sftp(files, folder):
        batch = os.path.join(work, "sftp.batch")
        with open(batch, "w") as f:
            f.write(f"-mkdir {folder}\ncd {folder}\n" + "".join(f'put "{p}"\n' for p in files))
        return timed(["sftp", "-q", "-b", batch, "-i", server.client_key, *SSH_OPTIONS, "-o", "BatchMode=yes",
                      "-P", str(port), f"{server.user}@127.0.0.1"])

    def curl(files, folder):
        config = os.path.join(work, "curl.conf")
        with open(config, "w") as f:
            f.write(f'user = "{server.user}:{server.password}"\ninsecure\nftp-create-dirs\nsilent\nshow-error\n')
            for p in files:
                f.write(f'upload-file = "{p}"\nurl = "sftp://127.0.0.1:{port}/~/{folder}/{os.path.basename(p)}"\n')
        return timed(["curl", "-K", config])

    def lftp(files, folder):
        script = (f"set sftp:auto-confirm yes; set net:max-retries 1; "
                  f"set sftp:connect-program 'ssh -a -x {' '.join(SSH_OPTIONS)}'; "
                  f"mkdir -pf {folder}; cd {folder}; mput " + " ".join(files) + "; bye")
        return timed(["lftp", "-u", f"{server.user},{server.password}", "-p", str(port), "-e", script,
                      "sftp://127.0.0.1"])

    return {"wexmoor": wexmoor, "wexmoor, final name": wexmoor_final_name, "sftp -b": sftp, "curl": curl,
            "lftp": lftp}


def check(server, folder, files):
    for p in files:
        there = os.path.join(server.home, folder, os.path.basename(p))
        if not os.path.exists(there) or os.path.getsize(there) != os.path.getsize(p):
            raise RuntimeError(f"{there} missing or of the wrong size")


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--program", required=True)
    parser.add_argument("--small", type=int, default=2000)
    parser.add_argument("--relay-small", type=int, default=200)
    parser.add_argument("--small-size", type=int, default=2048)
    parser.add_argument("--large-mib", type=int, default=1024)
    parser.add_argument("--delay", type=int, default=20)
    parser.add_argument("--out", default=os.path.join(HERE, "out"))
    parser.add_argument("--tools", default="wexmoor,wexmoor-final,sftp -b,curl,lftp",
                        help="comma-separated subset (wexmoor-final: ServerTempName 0)")
    parser.add_argument("--routes", default="direct,relay", help="direct, relay or both")
    args = parser.parse_args()
    if os.geteuid() != 0:
        sys.exit("sftp_bench.py needs root (temporary user, sshd)")
    work = tempfile.mkdtemp(prefix="wexmoor-sftp-bench-")
    server = None
    rows = []
    try:
        server = Sshd(work)
        local = os.path.join(work, "local")
        os.makedirs(local)
        small = []
        for i in range(args.small):
            path = os.path.join(local, f"small{i:05d}.bin")
            with open(path, "wb") as f:
                f.write(os.urandom(args.small_size))
            small.append(path)
        large = os.path.join(local, "large.bin")
        with open(large, "wb") as f:
            for _ in range(args.large_mib):
                f.write(os.urandom(1 << 20))
        routes = [r for r in ("direct", f"relay {args.delay} ms") if r.split()[0] in args.routes.split(",")]
        for route in routes:
            relay = Relay(server.port, args.delay) if route != "direct" else None
            port = relay.port if relay else server.port
            count = args.small if relay is None else min(args.small, args.relay_small)
            for name, run in tools(args, server, work, port).items():
                if name.replace(", final name", "-final") not in args.tools.split(","):
                    continue
                for what, files in ((f"{count} small files", small[:count]), ("large file", [large])):
                    folder = "bench-" + name.replace(" ", "").replace("-", "").replace(",", "")
                    server.clear(folder)
                    log(f"{route}: {name}: {what}")
                    try:
                        seconds = run(files, folder)
                        check(server, folder, files)
                        figure = (f"{seconds / len(files) * 1000:.2f} ms/file" if len(files) > 1
                                  else f"{os.path.getsize(large) / seconds / 1e6:.1f} MB/s")
                    except RuntimeError as error:
                        seconds, figure = None, f"failed: {str(error)[:120]}"
                    rows.append({"route": route, "tool": name, "what": what, "seconds": seconds, "figure": figure})
                    server.clear(folder)
            if relay:
                relay.stop()
    finally:
        if server:
            server.stop()
        shutil.rmtree(work, ignore_errors=True)
    os.makedirs(args.out, exist_ok=True)
    with open(os.path.join(args.out, "sftp_results.json"), "w") as f:
        json.dump(rows, f, indent=1)
    print(f"{'route':<14} {'measurement':<18} {'tool':<19} {'seconds':>9}  figure")
    for r in rows:
        seconds = f"{r['seconds']:.2f}" if r["seconds"] is not None else "-"
        print(f"{r['route']:<14} {r['what']:<18} {r['tool']:<19} {seconds:>9}  {r['figure']}")
    print_target(rows)


def print_target(rows):
    """Per file through the relay, temporary names: the program against lftp."""
    def per_file(tool):
        for r in rows:
            if r["route"].startswith("relay") and r["tool"] == tool and "small" in r["what"] and r["seconds"]:
                return r["seconds"] / int(r["what"].split()[0]) * 1000, r["route"]
        return None, None
    mine, route = per_file("wexmoor")
    theirs, _ = per_file("lftp")
    if mine is None or theirs is None:
        return
    ratio = mine / theirs
    print(f"\nSFTP, {route}, temporary names, per file: wexmoor {mine:.1f} ms, lftp {theirs:.1f} ms: "
          f"{ratio:.2f} x lftp (target <= 1.0: {'met' if ratio <= 1.0 else 'missed'})")


if __name__ == "__main__":
    main()
