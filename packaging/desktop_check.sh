#!/usr/bin/env bash
# The program as a desktop user meets it, end to end, in a clean home folder
# (run through tests/support/with_private_keyring.sh, which provides the home,
# the XDG folders and a private session bus, with or without a keyring):
#  - started through the menu entry's Exec line from the home folder, it
#    uploads its file and tells the desktop once, on the session bus;
#  - with a keyring: the password moves there at exit (secret-tool finds it,
#    the file keeps only the marker) and the next run uploads with it;
#    without one: the file keeps it scrambled;
#  - afterwards only ~/.config/wexmoor/Wexmoor.prefs (0600, folder 0700)
#    exists, and nothing is left in the run-time folder;
#  - a portable folder holds only its Wexmoor.prefs (0600) after a run.
#   packaging/desktop_check.sh PROGRAM
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
program="$1"
[ -x "$program" ] || { echo "desktop_check: no program" >&2; exit 2; }
[ -n "${WEXMOOR_TEST_SECRET_SERVICE:-}" ] || { echo "desktop_check: run me through with_private_keyring.sh" >&2; exit 2; }
if [ -z "${DISPLAY:-}" ]; then exec "$here/scripts/with-xvfb.sh" "$0" "$@"; fi

outside="$(mktemp -d)"  # the FTP server's root, logs: not in the home folder
ftp="" monitor="" sink="" running=""
cleanup() {
  for p in $running $monitor $sink $ftp; do kill "$p" 2>/dev/null || true; done
  rm -rf "$outside"
}
trap cleanup EXIT
fail() {
  echo "desktop_check: FAILED: $*" >&2
  for f in "$outside"/*.log; do echo "-- $f" >&2; grep -v -e Gtk- -e '^$' "$f" | tail -20 >&2; done
  exit 1
}
mkdir -p "$outside/root" "$outside/files"
for n in 1 2 3; do echo "file $n" > "$outside/files/f$n.txt"; done
port="$(/usr/bin/python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])')"
/usr/bin/python3 "$here/scripts/demo_ftp_server.py" --root "$outside/root" --port "$port" >"$outside/ftp.log" 2>&1 &
ftp=$!
dbus-monitor --session "type='method_call',interface='org.freedesktop.Notifications',member='Notify'" \
  >"$outside/notify.txt" 2>/dev/null &
monitor=$!
# A desktop's notification service, so that the notifications are taken.
/usr/bin/python3 "$here/tests/support/notification_sink.py" "$outside/sink.log" >/dev/null 2>&1 &
sink=$!
for _ in $(seq 1 50); do
  dbus-send --session --print-reply --dest=org.freedesktop.DBus /org/freedesktop/DBus \
    org.freedesktop.DBus.NameHasOwner string:org.freedesktop.Notifications 2>/dev/null | grep -q true && break
  sleep 0.1
done

# What the user had before: a hand-written server with a plain password.
config="$HOME/.config/wexmoor"
mkdir -p "$config" && chmod 700 "$config"
/usr/bin/python3 "$here/scripts/demo_prefs.py" "$config/Wexmoor.prefs" "$port"
printf 'NoVersion = 1.83\r\nDisableUpdates = 1\r\n' >> "$config/Wexmoor.prefs"

exec_line="$(sed -n 's/^Exec=//p' "$here/packaging/wexmoor.desktop")"
[ "${exec_line%% *}" = wexmoor ] || fail "unexpected Exec line: $exec_line"
# One run from the menu: the Exec line with the program's path and one file.
run_from_menu() {
  local file="$1" args="${exec_line#wexmoor}"
  args="${args/\%F/$file}"
  (cd "$HOME" && exec "$program" $args) >"$outside/run.log" 2>&1 &
  running=$!
  for _ in $(seq 1 300); do [ -f "$outside/root/$(basename "$file")" ] && break; sleep 0.1; done
  [ "$(cat "$outside/root/$(basename "$file")" 2>/dev/null)" = "$(cat "$file")" ] || fail "$(basename "$file") did not arrive"
  sleep 1.5  # the main loop sees the queue empty
  kill -TERM "$running"
  wait "$running" || fail "the program ended with $?"
  running=""
}
notices() { grep -c 'member=Notify' "$outside/notify.txt" || true; }
password_value() { sed -n 's/^ServerPassword1 = //p' "$config/Wexmoor.prefs" | tr -d '\r'; }

run_from_menu "$outside/files/f1.txt"
[ "$(notices)" = 1 ] || fail "$(notices) notifications after one finished queue"
grep -q '1 files uploaded to Demo server' "$outside/notify.txt" || fail "notification text: $(cat "$outside/notify.txt")"
echo "uploaded from the menu entry; one notification on the bus"

value="$(password_value)"
if [ "$WEXMOOR_TEST_SECRET_SERVICE" = present ]; then
  [ "$(secret-tool lookup application wexmoor server 'Demo server' address 127.0.0.1 login demo)" = demo ] ||
    fail "secret-tool does not find the password"
  grep -q '^ServerPasswordInKeyring1 = 1' "$config/Wexmoor.prefs" || fail "no keyring marker in the file"
  # The scrambled empty text is 14 characters long.
  [ "${#value}" = 14 ] || fail "the file still holds a password: $value"
  run_from_menu "$outside/files/f2.txt"
  [ "$(notices)" = 2 ] || fail "$(notices) notifications after two finished queues"
  echo "password in the keyring only, found by secret-tool, used by the next run"
else
  grep -q '^ServerPasswordInKeyring1' "$config/Wexmoor.prefs" && fail "keyring marker without a keyring"
  [ "${#value}" = 30 ] || fail "the file does not hold the scrambled password: $value"
  echo "without a keyring the password stays scrambled in the file"
fi

# Only the preference file is left, private; nothing in the run-time folder.
left="$(cd "$HOME" && find . -mindepth 1 | grep -v '^./.local' | sort | tr '\n' ' ')"
[ "$left" = "./.config ./.config/wexmoor ./.config/wexmoor/Wexmoor.prefs " ] || fail "the home folder holds: $left"
[ "$(stat -c %a "$config")" = 700 ] || fail "folder mode $(stat -c %a "$config")"
[ "$(stat -c %a "$config/Wexmoor.prefs")" = 600 ] || fail "file mode $(stat -c %a "$config/Wexmoor.prefs")"
# (The bus and the keyring keep their own things there.)
[ -z "$(ls -A "$XDG_RUNTIME_DIR" | grep -v -e '^keyring' -e '^bus$' -e '^dbus-1$' || true)" ] ||
  fail "the run-time folder holds: $(ls -A "$XDG_RUNTIME_DIR")"
echo "home: only ~/.config/wexmoor/Wexmoor.prefs (0600, folder 0700); run-time folder clean"

# A portable folder: its own preference file, nothing else after a run.
portable="$outside/portable"
mkdir -p "$portable"
/usr/bin/python3 "$here/scripts/demo_prefs.py" "$portable/Wexmoor.prefs" "$port"
printf 'NoVersion = 1.83\r\nDisableUpdates = 1\r\n' >> "$portable/Wexmoor.prefs"
chmod 644 "$portable/Wexmoor.prefs"
(cd "$portable" && exec "$program" "$outside/files/f3.txt") >"$outside/portable.log" 2>&1 &
running=$!
for _ in $(seq 1 300); do [ -f "$outside/root/f3.txt" ] && break; sleep 0.1; done
[ -f "$outside/root/f3.txt" ] || fail "f3.txt did not arrive from the portable folder"
kill -TERM "$running"; wait "$running" || fail "the portable run ended with $?"; running=""
# The preference file and the upload history beside it, both private.
[ "$(ls -A "$portable" | tr '\n' ' ')" = "Wexmoor.history Wexmoor.prefs " ] ||
  fail "the portable folder holds: $(ls -A "$portable")"
[ "$(stat -c %a "$portable/Wexmoor.history")" = 600 ] || fail "history mode $(stat -c %a "$portable/Wexmoor.history")"
[ "$(stat -c %a "$portable/Wexmoor.prefs")" = 600 ] || fail "portable file mode $(stat -c %a "$portable/Wexmoor.prefs")"
grep -q '^ServerPasswordInKeyring' "$portable/Wexmoor.prefs" && fail "the portable set-up used the keyring"
echo "portable folder: only Wexmoor.prefs at 0600"
echo "desktop_check: passed"
