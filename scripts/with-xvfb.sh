#!/usr/bin/env bash
# Runs a command with a private Xvfb display (1280x1024x24) and a window-less
# session bus; the display ends with the command.
set -euo pipefail
display=""
for n in $(seq 90 140); do
  if [ ! -e "/tmp/.X11-unix/X$n" ] && [ ! -e "/tmp/.X$n-lock" ]; then display=":$n"; break; fi
done
[ -n "$display" ] || { echo "with-xvfb: no free display" >&2; exit 1; }
# -noreset: without it the server resets whenever its last client leaves, and
# a program connecting at that moment finds no display.
Xvfb "$display" -screen 0 1280x1024x24 -nolisten tcp -noreset >/dev/null 2>&1 &
xvfb_pid=$!
trap 'kill $xvfb_pid 2>/dev/null || true; wait $xvfb_pid 2>/dev/null || true' EXIT
for _ in $(seq 1 100); do
  [ -e "/tmp/.X11-unix/X${display#:}" ] && break
  sleep 0.05
done
export DISPLAY="$display"
export GDK_BACKEND=x11
export NO_AT_BRIDGE=1
"$@"
