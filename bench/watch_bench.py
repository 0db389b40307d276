#!/usr/bin/python3
"""Watch-folder benchmarks against the built program run as a service.

1. Latency: files are written one after another into a watched folder; for
   each, the time from its close to the moment the FTP server (pyftpdlib on
   127.0.0.1, in this process's thread) has received it whole. Median and
   quartiles over --files files. The 2 s settling time is part of the figure
   by design: a file is sent only once it stayed unchanged for 2 s.
2. Idle cost: a tree of --tree files (100 per folder), all already sent (the
   sent record is written beforehand), watched for --idle seconds; the
   program's CPU time over that window (user + system, from /proc) and its
   resident size. The window includes the full rescans every 60 s.

Usage: /usr/bin/python3 bench/watch_bench.py --program build-rel/bin/wexmoor [--files 1000]
                            [--tree 50000] [--idle 130] [--out bench/out]
"""
import argparse
import json
import logging
import os
import shutil
import signal
import socket
import statistics
import subprocess
import tempfile
import threading
import time

from pyftpdlib.authorizers import DummyAuthorizer
from pyftpdlib.handlers import FTPHandler
from pyftpdlib.servers import FTPServer

TICKS = os.sysconf("SC_CLK_TCK")


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


class Server:
    """pyftpdlib in a thread, noting when each upload was complete."""

    def __init__(self, root):
        # Its log of every command would cost this process time while it times.
        logging.basicConfig(level=logging.WARNING)
        logging.getLogger("pyftpdlib").setLevel(logging.WARNING)
        self.received = {}  # file name -> time.monotonic()
        received = self.received
        authorizer = DummyAuthorizer()
        authorizer.add_user("user", "secret", root, perm="elradfmwMT")

        class Handler(FTPHandler):
            # A file is complete under its own name: on its closing reply, or
            # when it is renamed from its temporary ".part" name.
            def on_file_received(self, file):
                if not file.endswith(".part"):
                    received[os.path.basename(file)] = time.monotonic()

            def ftp_RNTO(self, path):
                done = super().ftp_RNTO(path)
                received[os.path.basename(path)] = time.monotonic()
                return done

        Handler.authorizer = authorizer
        self.port = free_port()
        self.server = FTPServer(("127.0.0.1", self.port), Handler)
        self.thread = threading.Thread(target=self.server.serve_forever, kwargs={"handle_exit": False},
                                       daemon=True)
        self.thread.start()

    def stop(self):
        self.server.close_all()


def write_prefs(folder, port, watched):
    with open(os.path.join(folder, "Wexmoor.prefs"), "w", encoding="utf-8-sig", newline="") as f:
        f.write("ServerName1 = Local\r\nServerAdress1 = 127.0.0.1/incoming\r\nServerLogin1 = user\r\n"
                f"ServerPassword1 = secret\r\nServerPort1 = {port}\r\nCurrentServer = Local\r\n"
                "Langue$ = English\r\nNoVersion = 1.83\r\nDisableUpdates = 1\r\n"
                f"WatchFolder0 = {watched}|Local||0\r\n")


def start_service(program, folder):
    log = open(os.path.join(folder, "service.log"), "wb")
    env = dict(os.environ, WEXMOOR_SITE="")
    env.pop("DISPLAY", None)
    return subprocess.Popen([program, "--service"], cwd=folder, stdout=log, stderr=subprocess.STDOUT, env=env)


def stop_service(process):
    process.send_signal(signal.SIGTERM)
    return process.wait(timeout=60)


def cpu_seconds(pid):
    with open(f"/proc/{pid}/stat") as f:
        fields = f.read().rsplit(")", 1)[1].split()
    return (int(fields[11]) + int(fields[12])) / TICKS  # utime, stime


def resident_kib(pid):
    with open(f"/proc/{pid}/status") as f:
        for line in f:
            if line.startswith("VmRSS:"):
                return int(line.split()[1])
    return 0


def bench_latency(program, work, count, pace):
    root = os.path.join(work, "ftp")
    os.makedirs(os.path.join(root, "incoming"))
    watched = os.path.join(work, "watched")
    os.makedirs(watched)
    server = Server(root)
    write_prefs(work, server.port, watched)
    service = start_service(program, work)
    time.sleep(2)
    closed = {}
    payload = os.urandom(4096)
    for i in range(count):
        name = f"f{i:05d}.bin"
        with open(os.path.join(watched, name), "wb") as f:
            f.write(payload)
        closed[name] = time.monotonic()
        time.sleep(pace)
    limit = time.monotonic() + 120 + count * 0.2
    while len(server.received) < count and time.monotonic() < limit:
        time.sleep(0.05)
    stop_service(service)
    server.stop()
    delays = sorted(server.received[n] - closed[n] for n in closed if n in server.received)
    if not delays:
        return {"arrived": 0, "files": count}
    q = statistics.quantiles(delays, n=4)
    return {"files": count, "arrived": len(delays), "median_s": round(statistics.median(delays), 3),
            "q1_s": round(q[0], 3), "q3_s": round(q[2], 3), "max_s": round(delays[-1], 3),
            "pace_s": pace}


def bench_idle(program, work, count, seconds):
    root = os.path.join(work, "ftp")
    os.makedirs(os.path.join(root, "incoming"))
    watched = os.path.join(work, "tree")
    lines = []
    for i in range(count):
        folder = os.path.join(watched, f"d{i // 100:04d}")
        if i % 100 == 0:
            os.makedirs(folder)
        path = os.path.join(folder, f"f{i:06d}.txt")
        with open(path, "w") as f:
            f.write("x")
        st = os.stat(path)
        lines.append(f"{st.st_size}\t{st.st_mtime_ns}\tLocal\t{path}\n")
    with open(os.path.join(work, "Wexmoor.sent"), "w") as f:
        f.writelines(lines)
    server = Server(root)
    write_prefs(work, server.port, watched)
    service = start_service(program, work)
    started = cpu_seconds(service.pid)
    # Let the start-up scan and the watches finish before the idle window.
    time.sleep(10)
    begin_cpu, begin = cpu_seconds(service.pid), time.monotonic()
    time.sleep(seconds)
    end_cpu, end = cpu_seconds(service.pid), time.monotonic()
    rss = resident_kib(service.pid)
    stop_service(service)
    server.stop()
    sent_files = len(server.received)
    return {"files": count, "folders": (count + 99) // 100, "window_s": round(end - begin, 1),
            "cpu_s": round(end_cpu - begin_cpu, 3),
            "cpu_percent": round(100 * (end_cpu - begin_cpu) / (end - begin), 3),
            "startup_cpu_s": round(begin_cpu - started, 3), "rss_kib": rss, "uploaded_while_idle": sent_files}


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--program", required=True)
    parser.add_argument("--files", type=int, default=1000)
    parser.add_argument("--pace", type=float, default=0.05, help="seconds between two files")
    parser.add_argument("--tree", type=int, default=50000)
    parser.add_argument("--idle", type=float, default=130)
    parser.add_argument("--out", default=os.path.join(os.path.dirname(os.path.abspath(__file__)), "out"))
    args = parser.parse_args()
    results = {"nproc": os.cpu_count(), "load_before": os.getloadavg()}
    work = tempfile.mkdtemp(prefix="wexmoor-watch-bench-")
    try:
        program = os.path.abspath(args.program)
        for name in ("latency", "idle"):
            os.makedirs(os.path.join(work, name))
        results["latency"] = bench_latency(program, os.path.join(work, "latency"), args.files, args.pace)
        results["idle"] = bench_idle(program, os.path.join(work, "idle"), args.tree, args.idle)
    finally:
        if not os.environ.get("WEXMOOR_BENCH_KEEP"):
            shutil.rmtree(work, ignore_errors=True)
    results["load_after"] = os.getloadavg()
    os.makedirs(args.out, exist_ok=True)
    with open(os.path.join(args.out, "watch.json"), "w") as f:
        json.dump(results, f, indent=2)
    print(json.dumps(results, indent=2))


if __name__ == "__main__":
    main()
