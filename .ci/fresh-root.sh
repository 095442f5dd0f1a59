#!/usr/bin/env bash
# Runs the README's test command as a new user would: `bash scripts/test.sh`
# as root in a fresh Debian minbase root (bash and apt, nothing else) of the
# release named, on the repository at HEAD. A machine where the packages are
# already installed hides a missing install step; this root has none of them.
# Then the .deb built there is installed with apt into a second, pristine root
# of the same release, and the program is started from the PATH.
#
# A pristine base per release is made once by debootstrap and kept under
# /var/tmp; each run works on copies of it, which are removed afterwards, so
# no run ever sees what another one installed. The compiler cache and the
# downloaded packages are kept between runs only to save time: the install
# steps still run in full.
#
# Everything mounted for the run lives in a mount namespace of its own, so
# that the kernel drops it when the run ends, however it ends; the mounts are
# also taken down explicitly, and a root is removed only once /proc/mounts
# shows nothing mounted below it.
#   .ci/fresh-root.sh bookworm|trixie      (needs root)
set -euo pipefail
# debootstrap, chroot and unshare live in sbin, which a caller's PATH may lack.
export PATH=$PATH:/usr/sbin:/sbin

release=${1:-}
case "$release" in
  bookworm | trixie) ;;
  --inside) ;;
  *) echo "usage: $0 bookworm|trixie" >&2; exit 2 ;;
esac
top=/var/tmp/tarnwell-ci
base=$top/base-$release
debs=$top/debs-$release
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

# Runs as the namespace's first process: mounts what a run needs into the
# root, runs the bash command given there, and takes the mounts down again
# whatever happens.
inside() {
  root=$1
  local command=$2 status=0
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
    /bin/bash -c "$command" </dev/null || status=$?
  return $status
}

make_base() {
  local partial=$base.partial
  exec {lock}>"$top/base-$release.lock"
  flock "$lock"
  if [[ -d "$base" ]]; then
    exec {lock}>&-
    return 0
  fi
  remove_root_dir "$partial"
  say "making the $release base root with debootstrap (once)"
  # debootstrap mounts /proc and /sys into the target itself; in a namespace of
  # its own, an interrupted one leaves nothing mounted behind.
  unshare --mount --propagation private -- \
    debootstrap --variant=minbase "$release" "$partial" "$mirror" {lock}>&- {runlock}>&-
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
  inside "$2" "$3"
  exit
fi

[[ $(id -u) -eq 0 ]] || die "needs root (debootstrap, chroot and mounts)"
command -v debootstrap >/dev/null || bash "$repo/scripts/setup.sh" ci
commit=$(git -C "$repo" rev-parse HEAD)
[[ -z "$(git -C "$repo" status --porcelain --untracked-files=no)" ]] ||
  say "testing HEAD ($commit); the work tree's uncommitted changes are not in it"

mkdir -p "$top/runs" "$top/ccache" "$debs"
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
  # roots go; ended by its id, which is ours.
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

# A copy of the base, ready for apt: the packages downloaded by earlier runs
# are hard-linked in, so apt need not fetch them again.
new_root() {
  local root=$1
  cp -a "$base" "$root"
  cp -L /etc/resolv.conf "$root/etc/resolv.conf" 2>/dev/null || true
  # Packages install as on a machine, but start no services: a daemon left
  # running here would outlive the run.
  printf '#!/bin/sh\nexit 101\n' >"$root/usr/sbin/policy-rc.d"
  chmod 755 "$root/usr/sbin/policy-rc.d"
  mkdir -p "$root/root/.cache/ccache"
  find "$debs" -maxdepth 1 -name '*.deb' -exec cp -l -t "$root/var/cache/apt/archives/" {} + 2>/dev/null || true
}

# Runs a bash command in a root, in a mount namespace of its own. In the
# background and waited for, so that a signal reaches the traps here at once
# rather than when the command ends.
run_in() {
  local status=0
  unshare --mount --propagation private -- bash "$self" --inside "$1" "$2" {runlock}>&- &
  inner=$!
  wait "$inner" || status=$?
  inner=""
  return $status
}

# Keeps the packages of the roots named for the next run, so the store never
# grows past one run's worth.
keep_packages() {
  local fresh r
  fresh=$(mktemp -d "$top/debs.XXXXXX")
  for r in "$@"; do
    find "$r/var/cache/apt/archives" -maxdepth 1 -name '*.deb' -exec cp -l -f -t "$fresh/" {} +
  done
  rm -rf "$debs"
  mv "$fresh" "$debs"
}

root=$run/root
started=$SECONDS
say "copying the $release base into $root"
new_root "$root"
mkdir -p "$root/root/tarnwell"
git -C "$repo" archive --format=tar HEAD | tar -x -C "$root/root/tarnwell"

say "running scripts/test.sh at $commit in a fresh $release root"
status=0
# The package is built from the tested build, with what that root installed.
run_in "$root" 'cd /root/tarnwell && bash scripts/test.sh &&
  cmake --build build/test --target package >/dev/null' || status=$?
say "scripts/test.sh and the package took $((SECONDS - started)) s"
if [[ $status -ne 0 ]]; then
  keep_packages "$root"
  die "scripts/test.sh failed in the fresh $release root (exit $status)"
fi
say "scripts/test.sh passed in the fresh $release root"

# The package alone, as a user installs it: apt brings what it depends on and
# recommends, and the program must start from the PATH, offscreen, and still
# be running after a few seconds.
started=$SECONDS
pristine=$run/pristine
new_root "$pristine"
deb=$(cd "$root/root/tarnwell/build/test" && ls tarnwell_*.deb)
cp "$root/root/tarnwell/build/test/$deb" "$pristine/root/"
say "installing $deb into a pristine $release root"
status=0
run_in "$pristine" "set -e
  export DEBIAN_FRONTEND=noninteractive
  cd /root && apt-get update -q >/dev/null && apt-get install -y -q ./$deb >/dev/null
  [[ \$(command -v tarnwell) == /usr/bin/tarnwell ]] || { echo 'tarnwell is not on the PATH'; exit 1; }
  mkdir -p /root/probe && touch /root/probe/.seen
  [[ \$(tarnwell-find /root/probe) == /root/probe/.seen ]] || { echo 'tarnwell-find did not run from the PATH'; exit 1; }
  # The workbook's writer beside the program, its library brought by the package.
  [[ \$(/opt/tarnwell/tarnwell-workbook 2>&1 </dev/null) == usage:* ]] || { echo 'the installed tarnwell-workbook does not run'; exit 1; }
  status=0
  QT_QPA_PLATFORM=offscreen timeout 5 tarnwell >/root/out 2>&1 || status=\$?
  cat /root/out
  [[ \$status -eq 124 ]] || { echo \"tarnwell ended (status \$status) instead of running\"; exit 1; }
  echo 'the installed tarnwell started from the PATH'" || status=$?
say "the package's install and start took $((SECONDS - started)) s"
keep_packages "$root" "$pristine"
[[ $status -eq 0 ]] || die "the $release package did not install and start in a pristine root (exit $status)"
say "the $release package installs and starts in a pristine root"
