#!/usr/bin/env bash
# Runs the README's test command as a new user would: `bash scripts/test.sh`
# as root in a fresh Debian 12 minbase root (bash and apt, nothing else), on
# the repository at HEAD. A machine where the packages are already installed
# hides a missing install step; this root has none of them.
#
# A pristine base is made once by debootstrap and kept under /var/tmp; each
# run works on a copy of it, which is removed afterwards, so no run ever sees
# what another one installed. The compiler cache and the downloaded packages
# are kept between runs only to save time: the install steps still run in full.
#
# Everything mounted for the run lives in a mount namespace of its own, so
# that the kernel drops it when the run ends, however it ends; the mounts are
# also taken down explicitly, and a root is removed only once /proc/mounts
# shows nothing mounted below it.
#   .ci/fresh-root.sh             (needs root)
set -euo pipefail
# debootstrap, chroot and unshare live in sbin, which a caller's PATH may lack.
export PATH=$PATH:/usr/sbin:/sbin

top=/var/tmp/tarnwell-ci
base=$top/base-bookworm
mirror=http://deb.debian.org/debian
repo=$(cd "$(dirname "$0")/.." && pwd)
self=$repo/.ci/fresh-root.sh

say() { echo "fresh-root: $*"; }
die() { echo "fresh-root: $*" >&2; exit 1; }

# The mount points at or below $1, deepest first.
mounts_below() {
  awk -v p="$1" '$2 == p || index($2, p "/") == 1 { print $2 }' /proc/self/mounts | sort -r
}

# Ends the processes whose root is $1 or below it: whatever a test left
# running (a FUSE daemon, a bus) would keep its mounts busy.
end_processes_in() {
  local root=$1 pids=() p r signal
  for signal in TERM KILL; do
    pids=()
    for p in /proc/[0-9]*; do
      r=$(readlink "$p/root" 2>/dev/null) || continue
      [[ "$r" == "$root" || "$r" == "$root"/* ]] && pids+=("${p#/proc/}")
    done
    [[ ${#pids[@]} -eq 0 ]] && return 0
    say "ending processes left in $root (SIG$signal): ${pids[*]}"
    kill -s "$signal" "${pids[@]}" 2>/dev/null || true
    sleep 2
  done
}

# Takes down every mount at or below $1; a lazy unmount when a plain one is
# refused. Fails if anything is still mounted there afterwards.
unmount_below() {
  local m
  for _ in 1 2 3; do
    while read -r m; do
      [[ -n "$m" ]] || continue
      umount "$m" 2>/dev/null || umount -l "$m" 2>/dev/null || true
    done < <(mounts_below "$1")
    [[ -z "$(mounts_below "$1")" ]] && return 0
  done
  echo "fresh-root: still mounted below $1:" >&2
  mounts_below "$1" >&2
  return 1
}

# Removes a folder holding a root, never through a live mount: rm only runs
# once nothing is mounted below it, and --one-file-system guards it again.
remove_root_dir() {
  local dir=$1
  [[ -e "$dir" ]] || return 0
  end_processes_in "$dir"
  unmount_below "$dir" || die "left $dir in place rather than remove it through a mount"
  rm -rf --one-file-system -- "$dir"
}

# Runs as the namespace's first process: mounts what the suite needs into the
# root, runs it there, and takes the mounts down again whatever happens.
inside() {
  root=$1
  local status=0
  trap 'end_processes_in "$root"; unmount_below "$root"' EXIT
  trap 'exit 130' INT
  trap 'exit 143' TERM
  mount --bind /proc "$root/proc"
  mount --bind /sys "$root/sys"
  mount --bind /dev "$root/dev"
  mount --bind /dev/pts "$root/dev/pts"
  # Shared memory of the root's own, so that nothing it writes lands in the
  # host's /dev below the bind.
  mount -t tmpfs -o mode=1777,nosuid,nodev tarnwell-shm "$root/dev/shm"
  mount --bind "$top/ccache" "$root/root/.cache/ccache"
  # A login's environment, not the caller's: the root has no locale but C.UTF-8.
  chroot "$root" /usr/bin/env -i HOME=/root USER=root LOGNAME=root SHELL=/bin/bash \
    PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin LANG=C.UTF-8 \
    TERM=dumb CI=true \
    /bin/bash -c 'cd /root/tarnwell && bash scripts/test.sh' </dev/null || status=$?
  return $status
}

make_base() {
  local partial=$base.partial
  exec {lock}>"$top/base.lock"
  flock "$lock"
  if [[ -d "$base" ]]; then
    exec {lock}>&-
    return 0
  fi
  remove_root_dir "$partial"
  say "making the base root with debootstrap (once)"
  # debootstrap mounts /proc and /sys into the target itself; in a namespace of
  # its own, an interrupted one leaves nothing mounted behind.
  unshare --mount --propagation private -- \
    debootstrap --variant=minbase bookworm "$partial" "$mirror" {lock}>&- {runlock}>&-
  # Only a finished debootstrap is renamed into place, so a base that exists
  # is complete.
  mv "$partial" "$base"
  exec {lock}>&-
}

# Old runs whose script was killed before it could clean up: a run holds the
# lock in its folder while it lives. Called with runs.lock held, so no run is
# between making its folder and locking it.
sweep_old_runs() {
  local run lock
  for run in "$top"/runs/run.*; do
    [[ -f "$run/lock" ]] || continue
    exec {lock}>>"$run/lock"
    if flock -n "$lock"; then
      say "removing $run, left by an interrupted run"
      remove_root_dir "$run"
    fi
    exec {lock}>&-
  done
}

if [[ "${1:-}" == --inside ]]; then
  inside "$2"
  exit
fi

[[ $(id -u) -eq 0 ]] || die "needs root (debootstrap, chroot and mounts)"
command -v debootstrap >/dev/null || bash "$repo/scripts/setup.sh" ci
commit=$(git -C "$repo" rev-parse HEAD)
[[ -z "$(git -C "$repo" status --porcelain --untracked-files=no)" ]] ||
  say "testing HEAD ($commit); the work tree's uncommitted changes are not in it"

mkdir -p "$top/runs" "$top/ccache" "$top/debs"
exec {runs}>"$top/runs.lock"
flock "$runs"
sweep_old_runs
run=$(mktemp -d "$top/runs/run.XXXXXX")
exec {runlock}>"$run/lock"
flock "$runlock"
exec {runs}>&-
inner=""
finish() {
  # The run's own namespace first, so that its mounts are down before the
  # root goes; ended by its id, which is ours.
  if [[ -n "$inner" ]]; then
    end_processes_in "$run"
    kill -TERM "$inner" 2>/dev/null || true
    wait "$inner" 2>/dev/null || true
  fi
  remove_root_dir "$run"
}
trap finish EXIT
trap 'exit 130' INT
trap 'exit 143' TERM
make_base
root=$run/root

say "copying the base into $root"
cp -a "$base" "$root"
cp -L /etc/resolv.conf "$root/etc/resolv.conf" 2>/dev/null || true
# Packages install as on a machine, but start no services: a daemon left
# running here would outlive the run.
printf '#!/bin/sh\nexit 101\n' >"$root/usr/sbin/policy-rc.d"
chmod 755 "$root/usr/sbin/policy-rc.d"
mkdir -p "$root/root/.cache/ccache" "$root/root/tarnwell"
git -C "$repo" archive --format=tar HEAD | tar -x -C "$root/root/tarnwell"
# Hard links: the packages downloaded by earlier runs, so apt need not fetch
# them again.
find "$top/debs" -maxdepth 1 -name '*.deb' -exec cp -l -t "$root/var/cache/apt/archives/" {} + 2>/dev/null || true

say "running scripts/test.sh at $commit in a fresh Debian 12 root"
# In the background and waited for, so that a signal reaches the traps here
# at once rather than when the suite ends.
status=0
unshare --mount --propagation private -- bash "$self" --inside "$root" {runlock}>&- &
inner=$!
wait "$inner" || status=$?
inner=""

# Keep exactly this run's packages for the next one, so the store never grows
# past one install's worth.
fresh=$(mktemp -d "$top/debs.XXXXXX")
find "$root/var/cache/apt/archives" -maxdepth 1 -name '*.deb' -exec cp -l -t "$fresh/" {} +
rm -rf "$top/debs"
mv "$fresh" "$top/debs"

[[ $status -eq 0 ]] || die "scripts/test.sh failed in the fresh root (exit $status)"
say "scripts/test.sh passed in the fresh root"
