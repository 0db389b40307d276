#!/usr/bin/env python3
"""Upload rate limits against vsftpd: the rate over each 5 s window, taken
from the bytes the server holds, and the program's CPU; two sessions sharing
one limit; a change of the limit while an upload runs.

    bench/limit_bench.py BUILD/bin/wexmoor-bench [SECONDS]
"""
import json
import os
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from run_bench import FtpServer  # noqa: E402

MIB = 1024 * 1024


def received(folder):
    total = 0
    for dirpath, _, names in os.walk(folder):
        for n in names:
            try:
                total += os.path.getsize(os.path.join(dirpath, n))
            except OSError:
                pass
    return total


def run(program, server, folder, target, connections, limit, seconds, change_after=-1, change_to=0):
    """Samples (time, bytes) every 50 ms; returns them with the CPU seconds
    and the moment the limit changed (epoch seconds) when it did."""
    remote = os.path.join(server.root, target)
    start = time.time()
    child = subprocess.Popen([program, "upload-limited", str(server.port), server.user, server.password, folder,
                              target, str(connections), str(limit), str(seconds), str(change_after),
                              str(change_to)], stdout=subprocess.PIPE, text=True)
    samples = []
    usage = None
    while usage is None:
        samples.append((time.time(), received(remote)))
        pid, _, rusage = os.wait4(child.pid, os.WNOHANG)
        if pid == child.pid:
            usage = rusage
        else:
            time.sleep(0.05)
    child.returncode = 0
    out = child.stdout.read()
    changed = None
    for line in out.splitlines():
        item = json.loads(line)
        if item["figure"] == "changed":
            changed = item["value"]
    wall = time.time() - start
    cpu = usage.ru_utime + usage.ru_stime
    return samples, cpu, wall, changed


def windows(samples, width=5.0):
    """KiB/s over each whole window of `width` s from the first byte on."""
    first = next((t for t, b in samples if b > 0), None)
    if first is None:
        return []
    rates, edge = [], first
    while True:
        inside = [(t, b) for t, b in samples if edge <= t <= edge + width]
        if not inside or inside[-1][0] < edge + width - 0.1:
            return rates
        (t0, b0), (t1, b1) = inside[0], inside[-1]
        rates.append((b1 - b0) / 1024.0 / (t1 - t0))
        edge += width


def main():
    program = sys.argv[1]
    seconds = float(sys.argv[2]) if len(sys.argv) > 2 else 31
    work = tempfile.mkdtemp(prefix="limit-bench-")
    server = FtpServer(work)
    print(f"server: {server.kind}")
    one = os.path.join(work, "one")
    two = os.path.join(work, "two")
    os.makedirs(one)
    os.makedirs(two)
    for path in (os.path.join(one, "big.bin"), os.path.join(two, "a.bin"), os.path.join(two, "b.bin")):
        with open(path, "wb") as f:
            f.write(os.urandom(MIB) * 100)
    try:
        cases = [("one session", one, 1, 500), ("one session", one, 1, 2000), ("one session", one, 1, 8000),
                 ("two sessions", two, 2, 2000)]
        for n, (name, folder, connections, limit) in enumerate(cases):
            samples, cpu, wall, _ = run(program, server, folder, f"case{n}", connections, limit, seconds)
            rates = windows(samples)
            worst = max((abs(r - limit) / limit for r in rates), default=float("nan"))
            print(f"{name}, limit {limit} KiB/s: 5 s windows (KiB/s) {[round(r) for r in rates]}; "
                  f"worst deviation {worst * 100:.1f} %; CPU {cpu:.2f} s in {wall:.1f} s = {cpu / wall * 100:.2f} % of a core")
        # The change: 500 KiB/s, then 4000 KiB/s after 8 s.
        samples, cpu, wall, changed = run(program, server, one, "change", 1, 500, 16, 8, 4000)
        after = [(t, b) for t, b in samples if t >= changed]
        seen = None
        for i, (t, b) in enumerate(after):
            later = [(t2, b2) for t2, b2 in after[i:] if t2 <= t + 0.25]
            if len(later) > 1 and (later[-1][1] - b) / 1024.0 / (later[-1][0] - t) > 2000:
                seen = t - changed
                break
        before = [(t, b) for t, b in samples if changed - 3 <= t < changed]
        rate_before = (before[-1][1] - before[0][1]) / 1024.0 / (before[-1][0] - before[0][0])
        print(f"change 500 -> 4000 KiB/s: {rate_before:.0f} KiB/s over the 3 s before; "
              f"over 2000 KiB/s (0.25 s windows) {seen:.2f} s after the change" if seen is not None else
              "change: the new rate was not seen")
    finally:
        server.stop()


if __name__ == "__main__":
    main()
