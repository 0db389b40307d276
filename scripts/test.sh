#!/usr/bin/env bash
# Installs what is missing, builds and runs every test:
#   1. AddressSanitizer + UndefinedBehaviorSanitizer build, all labels
#      (unit, integration, gui under Xvfb);
#   2. ThreadSanitizer build of the threaded parts;
#   3. a short run of every fuzz target.
# Usage: scripts/test.sh [--quick]   (--quick: step 1 only)
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
cd "$here"

bash scripts/install-deps.sh

jobs="$(nproc)"
quick=0
[ "${1:-}" = "--quick" ] && quick=1

echo "== build: address,undefined"
cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=Debug -DWEXMOOR_SANITIZE=address,undefined >/dev/null
cmake --build build-asan -j "$jobs"

export ASAN_OPTIONS="detect_leaks=1:abort_on_error=1"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
export LSAN_OPTIONS="suppressions=$here/tests/lsan.supp"

echo "== tests: unit and integration"
(cd build-asan && ctest -L 'unit|integration' --output-on-failure -j "$jobs")

echo "== tests: gui (Xvfb)"
(cd build-asan && bash "$here/scripts/with-xvfb.sh" ctest -L gui --output-on-failure)

if [ "$quick" -eq 1 ]; then exit 0; fi

echo "== build: thread"
cmake -S . -B build-tsan -DCMAKE_BUILD_TYPE=Debug -DWEXMOOR_SANITIZE=thread -DWEXMOOR_BUILD_GUI=OFF >/dev/null
cmake --build build-tsan -j "$jobs"
export TSAN_OPTIONS="halt_on_error=1:second_deadlock_stack=1"
echo "== tests: threaded parts under ThreadSanitizer"
(cd build-tsan && ctest -L 'unit|integration' -R "$(cat "$here/tests/tsan-tests.txt" | paste -sd'|')" --output-on-failure -j "$jobs")

if [ -x scripts/fuzz.sh ]; then
  echo "== fuzz: short run"
  bash scripts/fuzz.sh "${WEXMOOR_FUZZ_SECONDS:-20}"
fi
