#!/usr/bin/env bash
# Builds the libFuzzer targets with clang and runs each for a bounded time
# over a copy of its kept corpus (fuzz/corpus/<target>/), so the kept corpus
# never grows by itself. Exits non-zero when a fuzzer finds a crash; the
# input that crashed is kept under build/fuzz/crashes/<target>/.
#   scripts/fuzz.sh [--seconds N]   run each target N seconds (default 30)
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)

seconds=30
while [[ $# -gt 0 ]]; do
  case "$1" in
    --seconds) seconds=${2:-}; shift 2 || shift ;;
    --seconds=*) seconds=${1#*=}; shift ;;
    *) echo "usage: $0 [--seconds N]" >&2; exit 2 ;;
  esac
done
if ! [[ "$seconds" =~ ^[0-9]+$ ]] || (( seconds < 1 )); then
  echo "fuzz: --seconds wants a whole number of seconds, 1 or more" >&2
  exit 2
fi

bash "$here/scripts/setup.sh" test

dir="$here/build/fuzz"
targets=(fuzz_hidden_list fuzz_dos_attributes fuzz_samba_dosattrib)
CC=clang CXX=clang++ cmake -S "$here" -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DTARNWELL_FUZZ=ON -DTARNWELL_TESTS=OFF
cmake --build "$dir" -j "$(nproc)" --target "${targets[@]}"

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
status=0
for t in "${targets[@]}"; do
  mkdir -p "$work/$t/corpus" "$work/$t/crashes"
  cp -R "$here/fuzz/corpus/$t/." "$work/$t/corpus/"
  echo "fuzz: $t for ${seconds}s"
  if ! "$dir/fuzz/$t" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
      -artifact_prefix="$work/$t/crashes/" "$work/$t/corpus"; then
    status=1
    mkdir -p "$dir/crashes/$t"
    cp -R "$work/$t/crashes/." "$dir/crashes/$t/"
    echo "fuzz: $t failed; its input is kept in $dir/crashes/$t/" >&2
  fi
done
exit $status
