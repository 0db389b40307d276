#!/usr/bin/env bash
# Checks the hand-over between two starts in one folder with a real window:
# a first wexmoor runs (under Xvfb when there is no display) with a local FTP
# server; a second `wexmoor PATH...` in the same folder must end at once with
# status 0, leave the preference file alone, and its files must arrive on the
# server through the first one, which alone writes the preference file.
#
#   packaging/two_starts_check.sh [PROGRAM]     (default: wexmoor on PATH)
set -euo pipefail
[ -n "${WEXMOOR_TRACE:-}" ] && set -x
here="$(cd "$(dirname "$0")/.." && pwd)"
program="${1:-$(command -v wexmoor || true)}"
[ -x "$program" ] || { echo "two_starts_check: no program (give its path)" >&2; exit 2; }
program="$(cd "$(dirname "$program")" && pwd)/$(basename "$program")"
if [ -z "${DISPLAY:-}" ]; then exec "$here/scripts/with-xvfb.sh" "$0" "$program"; fi

base="$(mktemp -d)"
ftp=""
first=""
cleanup() {
  [ -n "$first" ] && kill "$first" 2>/dev/null || true
  [ -n "$ftp" ] && kill "$ftp" 2>/dev/null || true
  rm -rf "$base"
}
trap cleanup EXIT
fail() {
  echo "two_starts_check: FAILED: $*" >&2
  [ -s "$base/first.log" ] && { echo "-- first start's output:" >&2; grep -v -e Gtk-CRITICAL -e '^$' "$base/first.log" | tail -40 >&2; }
  exit 1
}

mkdir -p "$base/work" "$base/root" "$base/files/folder" "$base/run"
chmod 700 "$base/run"
# The lock and the socket live in the run-time folder.
export XDG_RUNTIME_DIR="$base/run"
socket() { ls "$base/run/wexmoor/".Wexmoor.prefs-*.sock 2>/dev/null | head -1; }
echo alpha > "$base/files/a.txt"
echo beta > "$base/files/b b.txt"
echo gamma > "$base/files/folder/c.txt"
port="$(/usr/bin/python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])')"
/usr/bin/python3 "$here/scripts/demo_ftp_server.py" --root "$base/root" --port "$port" >"$base/ftp.log" 2>&1 &
ftp=$!
/usr/bin/python3 "$here/scripts/demo_prefs.py" "$base/work/Wexmoor.prefs" "$port"
printf 'NoVersion = 1.83\r\nDisableUpdates = 1\r\n' >> "$base/work/Wexmoor.prefs"

cd "$base/work"
# strace (when present) counts the writes of the preference file.
tracer=()
# (LeakSanitizer cannot run under a tracer, so a sanitized build skips it.)
command -v strace >/dev/null &&
  tracer=(strace -f -qq -e trace=rename,renameat,renameat2 -o "$base/renames.log"
          env "ASAN_OPTIONS=${ASAN_OPTIONS:-}:detect_leaks=0")
"${tracer[@]}" "$program" >"$base/first.log" 2>&1 &
first=$!
for _ in $(seq 1 200); do [ -S "$(socket)" ] && break; sleep 0.05; done
[ -S "$(socket)" ] || fail "the first start does not listen"
sleep 1  # let it reach its main loop

# The first start saves what it is handed within seconds, so the second is
# watched itself: it must not replace or open the preference file for writing.
second=()
command -v strace >/dev/null &&
  second=(strace -f -qq -e trace=rename,renameat,renameat2,open,openat -o "$base/second-trace.log"
          env "ASAN_OPTIONS=${ASAN_OPTIONS:-}:detect_leaks=0")
"${second[@]}" "$program" ../files/a.txt "../files/b b.txt" "$base/files/folder" >"$base/second.log" 2>&1 ||
  fail "second start ended with $?"
if [ "${#second[@]}" -gt 0 ]; then
  # (The lock and the socket in the run-time folder carry the name too.)
  grep -F 'Wexmoor.prefs' "$base/second-trace.log" | grep -v -F "$base/run/" | grep -E 'O_(WRONLY|RDWR)|rename' &&
    fail "the second start wrote the preference file"
fi
grep -q . "$base/second.log" && fail "the second start printed: $(cat "$base/second.log")"
echo "second start: handed over and ended"

for _ in $(seq 1 300); do [ "$(find "$base/root" -type f | wc -l)" -ge 3 ] && break; sleep 0.1; done
[ "$(cat "$base/root/a.txt" 2>/dev/null)" = alpha ] || fail "a.txt did not arrive"
[ "$(cat "$base/root/b b.txt" 2>/dev/null)" = beta ] || fail "b b.txt did not arrive"
[ "$(cat "$base/root/folder/c.txt" 2>/dev/null)" = gamma ] || fail "folder/c.txt did not arrive"
echo "uploaded through the first start: a.txt, b b.txt, folder/c.txt"

writes="?"
prog="$first"
[ "${#tracer[@]}" -gt 0 ] && prog="$(pgrep -P "$first" -x "$(basename "$program")" || true)"
[ -n "$prog" ] || fail "first program not found"
kill -TERM "$prog"
for _ in $(seq 1 100); do kill -0 "$prog" 2>/dev/null || break; sleep 0.1; done
wait "$first" || fail "the first start ended with $?"
first=""
if [ "${#tracer[@]}" -gt 0 ]; then
  writes="$(grep -c '/Wexmoor.prefs") = 0' "$base/renames.log" || true)"
  [ "$writes" -ge 1 ] || fail "the preference file was never written"
fi
[ -e "$base/run/wexmoor" ] && fail "the run-time folder stayed: $(ls -a "$base/run/wexmoor")"
[ "$(ls -A "$base/work" | tr '\n' ' ')" = "Wexmoor.history Wexmoor.prefs " ] ||
  fail "the folder holds more than its preference file and upload history: $(ls -A "$base/work")"
echo "first start: preference file written by it alone ($writes times); lock, socket and run-time folder removed"
echo "two_starts_check: passed"
