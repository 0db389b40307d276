#!/usr/bin/env python3
"""One large file over FTP with TLS (required, TLS 1.3, session reuse) to a
vsftpd started on 127.0.0.1 with a fresh certificate: Wexmoor's engine
against `curl --ssl-reqd` and `lftp` with TLS, same file, same server,
tools taking turns in each round. Prints the rates and the ratios.

Usage: bench/tls_bench.py --bench-program build/bin/wexmoor-bench [--size-mib 512] [--rounds 3]
Needs root (vsftpd's temporary user).
"""
import argparse
import os
import shutil
import signal
import statistics
import subprocess
import sys
import tempfile
import time

SOURCE = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))


def timed(command):
    start = time.monotonic()
    done = subprocess.run(command, capture_output=True, text=True)
    seconds = time.monotonic() - start
    if done.returncode != 0:
        raise RuntimeError(f"{command[0]} failed: {done.stderr.strip()[-400:]}")
    return seconds


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--bench-program", required=True)
    parser.add_argument("--size-mib", type=int, default=512)
    parser.add_argument("--rounds", type=int, default=3)
    args = parser.parse_args()

    work = tempfile.mkdtemp(prefix="wexmoor-tls-bench-")
    os.chmod(work, 0o755)
    peer_work = os.path.join(work, "peer")
    os.makedirs(peer_work)
    peer = subprocess.Popen([sys.executable, os.path.join(SOURCE, "tests", "peers", "tls_ftp_server.py"),
                             "--kind", "vsftpd", "--work", peer_work])
    try:
        ready = os.path.join(peer_work, "ready")
        deadline = time.time() + 30
        while not os.path.exists(ready):
            if time.time() > deadline or os.path.exists(os.path.join(peer_work, "failed")):
                raise RuntimeError("vsftpd with TLS did not start")
            time.sleep(0.1)
        info = dict(line.split("=", 1) for line in open(ready).read().splitlines() if "=" in line)
        port, user, password, root = info["port"], info["user"], info["password"], info["root"]
        size = args.size_mib << 20
        big = os.path.join(work, "big.bin")
        with open(big, "wb") as f:
            chunk = os.urandom(1 << 20)
            for _ in range(args.size_mib):
                f.write(chunk)
        url = f"ftp://127.0.0.1:{port}/"
        tools = {
            "wexmoor": lambda: float(subprocess.run(
                [args.bench_program, "upload-file-tls", port, user, password, big, "w", str(256 * 1024), "0", "2", info["fingerprint"]],
                capture_output=True, text=True, check=True).stdout.split('"value": ')[1].split(",")[0]),
            "curl": lambda: timed(["curl", "-sS", "--ssl-reqd", "--cacert", info["cert"], "--ftp-create-dirs",
                                   "-u", f"{user}:{password}", "-T", big, url + "c/"]),
            "lftp": lambda: timed(["lftp", "-u", f"{user},{password}", "-p", port, "-e",
                                   "set ftp:ssl-force yes; set ftp:ssl-protect-data yes; "
                                   "set ssl:verify-certificate no; set cmd:fail-exit yes; "
                                   f"mkdir -pf l; cd l; put {big}; quit", "127.0.0.1"]),
        }
        folders = {"wexmoor": "w", "curl": "c", "lftp": "l"}
        rates = {tool: [] for tool in tools}
        for _ in range(args.rounds):
            for tool, run in tools.items():
                shutil.rmtree(os.path.join(root, folders[tool]), ignore_errors=True)
                try:
                    seconds = run()
                except Exception as e:  # noqa: BLE001 - reported, the others go on
                    print(f"{tool}: {e}", file=sys.stderr)
                    continue
                got = os.path.getsize(os.path.join(root, folders[tool], "big.bin"))
                if got != size:
                    print(f"{tool}: {got} bytes arrived of {size}", file=sys.stderr)
                    continue
                rates[tool].append(size / 1e6 / seconds)
        load = os.getloadavg()
        print(f"large file over TLS, {args.size_mib} MiB, {args.rounds} rounds, {os.cpu_count()} cores, "
              f"load {load[0]:.2f} {load[1]:.2f} {load[2]:.2f}")
        medians = {}
        for tool, values in rates.items():
            if values:
                medians[tool] = statistics.median(values)
                print(f"  {tool:8s} median {medians[tool]:8.1f} MB/s   runs: "
                      + ", ".join(f"{v:.1f}" for v in values))
            else:
                print(f"  {tool:8s} no successful run")
        for peer_tool in ("curl", "lftp"):
            if "wexmoor" in medians and peer_tool in medians:
                print(f"  wexmoor / {peer_tool}: {medians['wexmoor'] / medians[peer_tool]:.2f}"
                      + ("   (target >= 0.9)" if peer_tool == "curl" else ""))
    finally:
        peer.send_signal(signal.SIGTERM)
        try:
            peer.wait(15)
        except subprocess.TimeoutExpired:
            peer.kill()
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    main()
