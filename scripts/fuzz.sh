#!/usr/bin/env bash
# Builds the libFuzzer targets with clang (address + undefined + fuzzer) and
# runs each for the given number of seconds (default 20) on its seed corpus.
# Prints one summary line per target; exits non-zero when a target crashed.
# Usage: scripts/fuzz.sh [seconds] [target-name-regex]
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
cd "$here"
seconds="${1:-20}"
only="${2:-.}"
build=build-fuzz
CC=clang-14 CXX=clang++-14 cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DWEXMOOR_FUZZ=ON -DWEXMOOR_BUILD_GUI=OFF -DWEXMOOR_BUILD_TESTS=OFF \
  -DWEXMOOR_SANITIZE=address,undefined -DWEXMOOR_WERROR=OFF \
  -DCMAKE_CXX_FLAGS="-fsanitize=fuzzer-no-link" >/dev/null
cmake --build "$build" -j "$(nproc)" >/dev/null
status=0
mkdir -p "$build/fuzz-work"
for src in tests/fuzz/*_fuzz.cpp; do
  name="$(basename "$src" .cpp)"
  [[ "$name" =~ $only ]] || continue
  corpus="tests/fuzz/corpus/${name%_fuzz}"
  work="$build/fuzz-work/$name"
  rm -rf "$work"; mkdir -p "$work"
  [ -d "$corpus" ] && cp -r "$corpus"/. "$work"/ 2>/dev/null || true
  log="$build/fuzz-work/$name.log"
  if "$build/tests/fuzz/$name" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
      -artifact_prefix="$build/fuzz-work/$name-" "$work" >"$log" 2>&1; then
    result=ok
  else
    result=CRASH
    status=1
  fi
  summary="$(grep -E '^#[0-9]+' "$log" | tail -n 1 || true)"
  runs="$(grep -oE 'Done [0-9]+ runs' "$log" | grep -oE '[0-9]+' || echo '?')"
  cov="$(echo "$summary" | grep -oE 'cov: [0-9]+' | grep -oE '[0-9]+' || echo '?')"
  printf '%-28s %-6s runs=%-10s cov=%-6s\n' "$name" "$result" "$runs" "$cov"
  if [ "$result" = CRASH ]; then tail -n 40 "$log"; fi
done
exit $status
