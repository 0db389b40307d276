#!/usr/bin/env bash
# Builds a Release tree with the benchmark programs and runs every benchmark
# on 127.0.0.1 next to its peer tools. Prints the table; raw numbers go to
# bench/out/results.json. Extra arguments go to bench/run_bench.py
# (--only 1,3  --full  --quick).
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
root="$(dirname "$here")"
build="$root/build-bench"

bash "$root/scripts/install-deps.sh" --bench
mkdir -p "$build"
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release -DWEXMOOR_BUILD_GUI=OFF \
  -DWEXMOOR_BUILD_TESTS=OFF -DWEXMOOR_BUILD_BENCH=ON > "$build/configure.log" 2>&1 ||
  { cat "$build/configure.log"; exit 1; }
cmake --build "$build" --target wexmoor-bench wexmoor-webdav-bench wexmoor-sftp-bench -j"$(nproc)"
echo "nproc: $(nproc)"
/usr/bin/python3 "$here/run_bench.py" --bench-program "$build/bin/wexmoor-bench" --out "$here/out" "$@"
# SFTP against sftp -b, curl and lftp on sshd, direct and through a 20 ms
# relay (the per-file target against lftp at the end).
/usr/bin/python3 "$here/sftp_bench.py" --program "$build/bin/wexmoor-sftp-bench" --large-mib 256 --out "$here/out"
# FTP over TLS against curl --ssl-reqd and lftp with TLS: a large file, and
# small files on loopback and through a 20 ms relay.
/usr/bin/python3 "$here/tls_bench.py" --bench-program "$build/bin/wexmoor-bench" --size-mib 256 --rounds 2
# WebDAV over HTTPS against curl -T and rclone copy (Apache mod_dav).
exec /usr/bin/python3 "$here/webdav_bench.py" --program "$build/bin/wexmoor-webdav-bench" --out "$here/out"
