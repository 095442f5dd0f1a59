#!/usr/bin/env bash
# Installs the Debian packages that building, running or testing Tarnwell needs,
# and only those that are missing, so it is cheap to call before every build.
#   scripts/setup.sh run    what building and running the program needs
#   scripts/setup.sh test   that, plus what the test suite drives (Xvfb, ntfs-3g, ...)
#   scripts/setup.sh bench  that, plus the peers the benchmarks compare against
set -euo pipefail

profile=${1:-run}

build_pkgs=(build-essential cmake ninja-build pkg-config ccache
            qt6-base-dev qt6-base-dev-tools libgl-dev libxlsxwriter-dev)
run_pkgs=(qt6-qpa-plugins fonts-liberation xdg-utils)
test_pkgs=(xvfb xauth dbus dbus-session-bus-common ntfs-3g attr fuse3 unzip clang libclang-rt-14-dev
           desktop-file-utils appstream file strace)
bench_pkgs=(fd-find findutils)

want=("${build_pkgs[@]}" "${run_pkgs[@]}")
case "$profile" in
  run) ;;
  test) want+=("${test_pkgs[@]}") ;;
  bench) want+=("${test_pkgs[@]}" "${bench_pkgs[@]}") ;;
  *) echo "usage: $0 [run|test|bench]" >&2; exit 2 ;;
esac

missing=()
for p in "${want[@]}"; do
  status=$(dpkg-query -W -f='${Status}' "$p" 2>/dev/null || true)
  [[ "$status" == "install ok installed" ]] || missing+=("$p")
done
[[ ${#missing[@]} -eq 0 ]] && exit 0

sudo=()
if [[ $(id -u) -ne 0 ]]; then
  command -v sudo >/dev/null || { echo "setup: need root or sudo to install: ${missing[*]}" >&2; exit 1; }
  sudo=(sudo)
fi
echo "setup: installing ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
"${sudo[@]}" apt-get update -q
"${sudo[@]}" apt-get install -y -q --no-install-recommends "${missing[@]}"
