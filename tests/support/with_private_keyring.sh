#!/usr/bin/env bash
# Runs a command on a private D-Bus session bus, with a private GNOME Keyring
# as its Secret Service (unlocked with a known password), or with
# --no-keyring none at all. Home, data and run-time folders are temporary, so
# nothing of the user's own keyring or bus is touched. The bus, and with it
# the keyring daemon, ends with the command.
#   with_private_keyring.sh [--no-keyring] COMMAND [ARGS...]
set -euo pipefail

keyring=1
if [ "${1:-}" = "--no-keyring" ]; then
  keyring=0
  shift
fi

scratch=$(mktemp -d /tmp/wexmoor-keyring.XXXXXX)
trap 'rm -rf "$scratch"' EXIT
mkdir -p "$scratch/home" "$scratch/run"
chmod 700 "$scratch/run"
export HOME="$scratch/home" XDG_DATA_HOME="$scratch/home/.local/share" XDG_RUNTIME_DIR="$scratch/run"
export XDG_CONFIG_HOME="$scratch/home/.config" XDG_CACHE_HOME="$scratch/home/.cache"
export WEXMOOR_TEST_SECRET_SERVICE=$([ "$keyring" = 1 ] && echo present || echo absent)

inner='
  daemon=
  if [ "$WEXMOOR_TEST_SECRET_SERVICE" = present ]; then
    printf "wexmoor-test" | gnome-keyring-daemon --foreground --unlock --components=secrets >/dev/null 2>&1 &
    daemon=$!
    # Ready once it owns the Secret Service name (5 s at most).
    for _ in $(seq 50); do
      dbus-send --session --print-reply --dest=org.freedesktop.DBus /org/freedesktop/DBus \
        org.freedesktop.DBus.NameHasOwner string:org.freedesktop.secrets 2>/dev/null | grep -q "boolean true" && break
      sleep 0.1
    done
  fi
  status=0
  "$@" || status=$?
  if [ -n "$daemon" ]; then kill "$daemon" 2>/dev/null; wait "$daemon" 2>/dev/null || true; fi
  exit $status'
# dbus-daemon complains when it may not raise its file limit; that is noise.
exec 3>&2
dbus-run-session -- bash -c "$inner" wrapper "$@" 2> >(grep -v "Failed to set fd limit" >&3)
