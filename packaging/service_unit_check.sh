#!/bin/sh
# Verifies the user unit with systemd-analyze (the manual page it points to
# is installed only with the package, so that reference is not looked up).
# The unit names the installed
# program; here a copy of the unit names the built one instead.
# Usage: service_unit_check.sh SYSTEMD_ANALYZE UNIT PROGRAM
set -eu
analyze=$1 unit=$2 program=$3
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
sed "s|/usr/bin/wexmoor|$program|" "$unit" > "$dir/wexmoor.service"
mkdir -m 700 "$dir/run"
out=$(XDG_RUNTIME_DIR="$dir/run" "$analyze" --user verify --man=no "$dir/wexmoor.service" 2>&1) || { echo "$out"; exit 1; }
# verify also warns without failing; a warning about this unit is a failure.
if printf '%s\n' "$out" | grep -q "wexmoor.service"; then echo "$out"; exit 1; fi
echo "verified: $unit"
