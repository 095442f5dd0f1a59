#!/usr/bin/env bash
# Sets everything up, builds and runs the whole test suite headless.
#   scripts/test.sh             the ordinary build
#   scripts/test.sh --sanitize  the same tests built with AddressSanitizer and UBSan
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
bash "$here/scripts/setup.sh" test

dir="$here/build/test" flags=()
if [[ "${1:-}" == "--sanitize" ]]; then
  dir="$here/build/asan"
  flags=(-DTARNWELL_SANITIZE=ON)
fi
jobs=$(nproc)
cmake -S "$here" -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo "${flags[@]}"
cmake --build "$dir" -j "$jobs"

export QT_QPA_PLATFORM=offscreen
export ASAN_OPTIONS=detect_leaks=0:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
ctest --test-dir "$dir" --output-on-failure --timeout 600 -j "$jobs"
