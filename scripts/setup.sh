#!/usr/bin/env bash
# Installs the Debian packages that building, running or testing Tarnwell needs,
# and only those that are missing, so it is cheap to call before every build.
#   scripts/setup.sh run    what building and running the program needs
#   scripts/setup.sh test   that, plus what the test suite drives (Xvfb, ntfs-3g, FUSE, ...)
#   scripts/setup.sh bench  that, plus the peers the benchmarks compare against
#   scripts/setup.sh ci     only the formatter and debootstrap, which CI adds on top
set -euo pipefail

profile=${1:-run}

# The same names on Debian 12 and 13: no package named after a compiler's
# version. zlib1g-dev, libminizip-dev and libssl-dev are named although
# nothing here includes them: xlsxwriter.pc asks pkg-config for zlib (12), or
# for zlib, minizip and libcrypto (13), without its package pulling them in.
build_pkgs=(build-essential cmake ninja-build pkg-config ccache libxcb1-dev
            qt6-base-dev qt6-base-dev-tools libgl-dev libxlsxwriter-dev
            zlib1g-dev libminizip-dev libssl-dev libwayland-dev libglib2.0-dev)
# Wayland sessions get a native window (qt6-wayland); what the user copied
# outlives the window through wl-copy (Wayland) or xclip (X11 without a
# clipboard manager).
run_pkgs=(qt6-qpa-plugins qt6-wayland fonts-liberation xdg-utils wl-clipboard xclip)
test_pkgs=(xvfb xauth dbus dbus-session-bus-common ntfs-3g attr fuse3 libfuse3-dev unzip
           clang libclang-rt-dev desktop-file-utils appstream file strace weston sway wtype
           samba smbclient gvfs-backends gvfs-fuse libglib2.0-bin)
bench_pkgs=(fd-find findutils bfs)
# The formatter is pinned to the major version .ci/run checks against.
ci_pkgs=(clang-format debootstrap)

# What the build links through pkg-config, checked after installing: a -dev
# package that installs without a library its .pc names is only found at link time.
build_modules=(xlsxwriter zlib wayland-client gio-2.0)
test_modules=(fuse3)

want=() modules=()
case "$profile" in
  run) want=("${build_pkgs[@]}" "${run_pkgs[@]}") modules=("${build_modules[@]}") ;;
  test) want=("${build_pkgs[@]}" "${run_pkgs[@]}" "${test_pkgs[@]}")
        modules=("${build_modules[@]}" "${test_modules[@]}") ;;
  bench) want=("${build_pkgs[@]}" "${run_pkgs[@]}" "${test_pkgs[@]}" "${bench_pkgs[@]}")
         modules=("${build_modules[@]}" "${test_modules[@]}") ;;
  ci) want=("${ci_pkgs[@]}") ;;
  *) echo "usage: $0 [run|test|bench|ci]" >&2; exit 2 ;;
esac

# One dpkg-query for the lot: asking package by package costs seconds.
declare -A installed=()
while read -r name status; do
  [[ "$status" == installed ]] && installed[$name]=1
done < <(dpkg-query -W -f='${Package} ${db:Status-Status}\n' "${want[@]}" 2>/dev/null || true)
missing=()
for p in "${want[@]}"; do
  [[ -n "${installed[$p]:-}" ]] || missing+=("$p")
done

if [[ ${#missing[@]} -gt 0 ]]; then
  sudo=()
  if [[ $(id -u) -ne 0 ]]; then
    command -v sudo >/dev/null || { echo "setup: need root or sudo to install: ${missing[*]}" >&2; exit 1; }
    sudo=(sudo)
  fi
  echo "setup: installing ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  "${sudo[@]}" apt-get update -q
  "${sudo[@]}" apt-get install -y -q --no-install-recommends "${missing[@]}"
fi

for m in "${modules[@]}"; do
  pkg-config --exists "$m" || { echo "setup: pkg-config cannot find $m although its package is installed" >&2; exit 1; }
done
