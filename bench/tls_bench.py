#!/usr/bin/env python3
"""FTP with TLS (required, TLS 1.3, session reuse) to a vsftpd started on
127.0.0.1 with a fresh certificate, against `curl --ssl-reqd` and `lftp` with
TLS, same files, same server, tools taking turns in each round:
- one large file through Wexmoor's engine (rates);
- 60 files of 4 KiB in 10 folders through the upload worker, on loopback and
  with every control reply held back 20 ms by a relay (per-file intervals).
Prints the figures and the ratios.

Usage: bench/tls_bench.py --bench-program build/bin/wexmoor-bench [--size-mib 512] [--rounds 3]
                          [--only large|small]
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
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import run_bench  # noqa: E402 - the relay and the small files of the plain benchmark


def timed(command):
    start = time.monotonic()
    done = subprocess.run(command, capture_output=True, text=True)
    seconds = time.monotonic() - start
    if done.returncode != 0:
        raise RuntimeError(f"{command[0]} failed: {done.stderr.strip()[-400:]}")
    return seconds


def large_file(args, info, work):
    """Rates (MB/s) of one large file."""
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


def small_files(args, info, work):
    """Per-file intervals (ms) of every tool, on loopback and through the relay."""
    port, user, password, root = info["port"], info["user"], info["password"], info["root"]
    folder = os.path.join(work, "drop")
    files = run_bench.make_small_files(folder, 10, 6, 4096)
    base = os.path.basename(folder)
    lftp_tls = "set ftp:ssl-force yes; set ftp:ssl-protect-data yes; set ssl:verify-certificate no; "
    for delay in (0, 20):
        relay = run_bench.Relay(int(port), delay) if delay else None
        via = str(relay.port) if relay else port
        config = os.path.join(work, "curl.conf")

        def curl(target):
            run_bench.write_curl_config(config, folder, work, f"ftp://127.0.0.1:{via}/{target}")
            return timed(["curl", "-sS", "--ssl-reqd", "--cacert", info["cert"], "--ftp-create-dirs",
                          "-u", f"{user}:{password}", "-K", config])

        def wexmoor(connections):
            return lambda target: float(subprocess.run(
                [args.bench_program, "upload-drop-tls", via, user, password, folder, target, str(connections), "2",
                 info["fingerprint"]], capture_output=True, text=True, check=True).stdout.split('"value": ')[1]
                .split(",")[0])

        def lftp(parallel):
            option = f" -P {parallel}" if parallel > 1 else ""
            return lambda target: timed(["lftp", "-u", f"{user},{password}", "-p", via, "-e",
                                         lftp_tls + f"set cmd:fail-exit yes; mkdir -pf {target}; "
                                         f"mirror -R{option} {folder} {target}/{base}; quit", "127.0.0.1"])
        tools = {"wexmoor 1 conn": wexmoor(1), "wexmoor default": wexmoor(2), "curl": curl,
                 "lftp": lftp(1), "lftp -P 2": lftp(2)}
        intervals = {tool: [] for tool in tools}
        try:
            for r in range(args.rounds):
                for tool, run in tools.items():
                    target = f"{tool.replace(' ', '_')}{delay}_{r}"
                    try:
                        seconds = run(target)
                    except Exception as e:  # noqa: BLE001 - reported, the others go on
                        print(f"{tool}: {e}", file=sys.stderr)
                        continue
                    arrived = run_bench.files_below(os.path.join(root, target))
                    if arrived != files:
                        print(f"{tool}: {arrived} of {files} files arrived", file=sys.stderr)
                        continue
                    intervals[tool].append(seconds / files * 1000)
                    shutil.rmtree(os.path.join(root, target), ignore_errors=True)
        finally:
            if relay:
                relay.stop()
        link = f"control replies +{delay} ms" if delay else "loopback"
        print(f"{files} small files over TLS, {link}, {args.rounds} rounds, per-file interval (median ms)")
        medians = {tool: statistics.median(v) for tool, v in intervals.items() if v}
        for tool, value in medians.items():
            print(f"  {tool:16s} {value:8.2f}   runs: " + ", ".join(f"{v:.2f}" for v in intervals[tool]))
        lftps = [t for t in ("lftp", "lftp -P 2") if t in medians]
        if "wexmoor default" in medians and lftps:
            best = min(lftps, key=lambda t: medians[t])
            print(f"  wexmoor default / {best}: {medians['wexmoor default'] / medians[best]:.2f}"
                  + ("   (target <= 0.7)" if delay else ""))
        if "wexmoor 1 conn" in medians and "curl" in medians:
            print(f"  wexmoor 1 conn / curl: {medians['wexmoor 1 conn'] / medians['curl']:.2f}")
    shutil.rmtree(folder, ignore_errors=True)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--bench-program", required=True)
    parser.add_argument("--size-mib", type=int, default=512)
    parser.add_argument("--rounds", type=int, default=3)
    parser.add_argument("--only", choices=("large", "small"), default=None)
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
        if args.only != "small":
            large_file(args, info, work)
        if args.only != "large":
            small_files(args, info, work)
    finally:
        peer.send_signal(signal.SIGTERM)
        try:
            peer.wait(15)
        except subprocess.TimeoutExpired:
            peer.kill()
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    main()
