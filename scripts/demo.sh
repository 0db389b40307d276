#!/usr/bin/env bash
# Installs what is missing, builds the program and starts it with its demo:
# a local FTP server (pyftpdlib) on 127.0.0.1 serving demo/ftp-root, and a
# server entry "Demo server" selected in the program. Files dropped on the
# window arrive in demo/ftp-root/. The FTP server stops with the program.
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
cd "$here"
bash scripts/install-deps.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DWEXMOOR_BUILD_TESTS=OFF >/dev/null
cmake --build build -j "$(nproc)" --target wexmoor

demo="$here/demo"
mkdir -p "$demo/ftp-root"
port="$(/usr/bin/python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])')"
/usr/bin/python3 "$here/scripts/demo_ftp_server.py" --root "$demo/ftp-root" --port "$port" &
ftp_pid=$!
trap 'kill $ftp_pid 2>/dev/null || true' EXIT
/usr/bin/python3 "$here/scripts/demo_prefs.py" "$demo/Wexmoor.prefs" "$port"
echo "demo: FTP server on 127.0.0.1:$port, uploads arrive in $demo/ftp-root"
cd "$demo"
"$here/build/bin/wexmoor" "$@"
