#!/usr/bin/env bash
# Sets everything up, builds and runs the whole test suite headless.
#   scripts/test.sh             the ordinary build
#   scripts/test.sh --sanitize  the same tests built with AddressSanitizer and UBSan
#   scripts/test.sh --clang     the whole tree, benchmarks included, built with clang; the tests run
#   scripts/test.sh --tsan      the search tests built with ThreadSanitizer
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)

dir="$here/build/test" flags=() only="" repeat=()
case "${1:-}" in
  "") ;;
  --sanitize)
    dir="$here/build/asan"
    flags=(-DTARNWELL_SANITIZE=ON) ;;
  --clang)
    # A second compiler's warnings are errors too; the benchmarks are built
    # (not run) so that they are held to the same warnings.
    dir="$here/build/clang"
    flags=(-DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ -DTARNWELL_BENCH=ON) ;;
  --tsan)
    # Only the tests that drive the search, which is where threads run, and
    # each of them again and again: a race shows in some runs only.
    # TARNWELL_TSAN_REPEAT sets how often (8 keeps the stage near ten minutes).
    dir="$here/build/tsan"
    flags=(-DTARNWELL_SANITIZE_THREAD=ON)
    only='test_scan|test_hang|test_shares'
    repeat=(--repeat "until-fail:${TARNWELL_TSAN_REPEAT:-8}") ;;
  *) echo "usage: $0 [--sanitize|--clang|--tsan]" >&2; exit 2 ;;
esac
bash "$here/scripts/setup.sh" test

jobs=$(nproc)
cmake -S "$here" -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo "${flags[@]}"

select=()
if [[ -n "$only" ]]; then
  select=(-R "$only")
  mapfile -t tests < <(ctest --test-dir "$dir" -N "${select[@]}" | sed -n 's/^ *Test *#[0-9]*: *//p')
  if [[ ${#tests[@]} -eq 0 ]]; then
    echo "test: no test matches $only" >&2
    exit 1
  fi
  # Build just what those tests run: the program and their own executables,
  # or everything when one of them is not an executable of the same name.
  targets=(tarnwell hangfs spyfs)
  for t in "${tests[@]}"; do
    if ninja -C "$dir" -t query "$t" >/dev/null 2>&1; then
      targets+=("$t")
    else
      targets=(all)
      break
    fi
  done
  cmake --build "$dir" -j "$jobs" --target "${targets[@]}"
else
  cmake --build "$dir" -j "$jobs"
fi

export QT_QPA_PLATFORM=offscreen
export ASAN_OPTIONS=detect_leaks=0:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
# die_after_fork=0: the tests start child processes (the FUSE server, the
# program closed in a hang), whose Qt code starts a thread before exec.
export TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1 die_after_fork=0 suppressions=$here/scripts/tsan.supp"
ctest --test-dir "$dir" --output-on-failure --timeout 600 -j "$jobs" "${select[@]}" "${repeat[@]}"
