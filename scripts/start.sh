#!/usr/bin/env bash
# Sets everything up, builds the program and starts it.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
bash "$here/scripts/setup.sh" run
cmake -S "$here" -B "$here/build/release" -G Ninja -DCMAKE_BUILD_TYPE=Release -DTARNWELL_TESTS=OFF
cmake --build "$here/build/release"
exec "$here/build/release/tarnwell" "$@"
