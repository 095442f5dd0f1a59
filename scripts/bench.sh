#!/usr/bin/env bash
# Builds the benchmarks in Release and prints their figures. Run as root, the
# search is also timed cold: the page, dentry and inode caches are dropped
# before every timed command, ours and each peer's alike.
#   scripts/bench.sh [--entries N] [--bfs-root DIR]
#     --entries N      N entries in the generated trees and lists (default 1000000)
#     --bfs-root DIR   also time the bfs installed in the Debian root DIR, run with
#                      that root's own loader and libraries (bench/RESULTS.md says
#                      how to make one); TARNWELL_BFS, a whole command line, does
#                      the same for a bfs found elsewhere
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)

entries=1000000
while [[ $# -gt 0 ]]; do
  case $1 in
    --entries) entries=$2; shift 2 ;;
    --bfs-root)
      root=$(cd "$2" && pwd)
      [[ -x "$root/usr/bin/bfs" ]] || { echo "bench: no usr/bin/bfs in $root" >&2; exit 1; }
      lib=$root/lib/x86_64-linux-gnu:$root/usr/lib/x86_64-linux-gnu
      export TARNWELL_BFS="$root/lib64/ld-linux-x86-64.so.2 --library-path $lib $root/usr/bin/bfs"
      shift 2 ;;
    *) echo "usage: $0 [--entries N] [--bfs-root DIR]" >&2; exit 2 ;;
  esac
done

bash "$here/scripts/setup.sh" bench
dir="$here/build/bench"
cmake -S "$here" -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=Release -DTARNWELL_BENCH=ON -DTARNWELL_TESTS=ON
cmake --build "$dir" -j "$(nproc)"

export QT_QPA_PLATFORM=offscreen
echo "Tarnwell benchmarks, $(date -u +%F), $(nproc) cores, $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | xargs)"
for b in "$dir"/bench/bench_*; do
  [[ -f "$b" && -x "$b" ]] || continue  # not the build's *_autogen folders
  echo
  "$b" "$entries"
done
