#!/usr/bin/env bash
# Builds the benchmarks in Release and prints their figures. Run as root, the
# search is also timed cold: the page, dentry and inode caches are dropped
# before every timed command, ours, find's and fd's alike.
#   scripts/bench.sh [--entries N]   N entries in the generated trees and lists (default 1000000)
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
bash "$here/scripts/setup.sh" bench
dir="$here/build/bench"
cmake -S "$here" -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=Release -DTARNWELL_BENCH=ON -DTARNWELL_TESTS=ON
cmake --build "$dir" -j "$(nproc)"

entries=1000000
[[ "${1:-}" == "--entries" ]] && entries=$2
export QT_QPA_PLATFORM=offscreen
echo "Tarnwell benchmarks, $(date -u +%F), $(nproc) cores, $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | xargs)"
for b in "$dir"/bench/bench_*; do
  [[ -f "$b" && -x "$b" ]] || continue  # not the build's *_autogen folders
  echo
  "$b" "$entries"
done
