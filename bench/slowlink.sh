#!/usr/bin/env bash
# The search of a share across a slow link, against find, fd, bfs and the
# bare walk: a private sshd on 127.0.0.1, bench/delayproxy.c in front of it
# holding every chunk DELAY ms each way, and the tree mounted with sshfs
# through the proxy with its caches off, so every folder read and every
# lookup crosses the link. Warm (one run of each first), medians of 3 runs.
#
#   bench/slowlink.sh [--delay-ms 5] [--folders 200] [--files 2000]
#                     [--runs 3] [--ours PATH/TO/bench_folder]
#
# Root only (sshd, the mount). Needs openssh-server, sshfs, bfs and fd-find
# from Debian. Everything it starts or makes goes at the end.
set -euo pipefail

delay=5 folders=200 files=2000 runs=3
here=$(cd "$(dirname "$0")" && pwd)
ours="$here/../build/slow/bench/bench_folder"
while [ $# -gt 0 ]; do
    case "$1" in
        --delay-ms) delay=$2; shift 2 ;;
        --folders) folders=$2; shift 2 ;;
        --files) files=$2; shift 2 ;;
        --runs) runs=$2; shift 2 ;;
        --ours) ours=$2; shift 2 ;;
        *) echo "usage: $0 [--delay-ms N] [--folders N] [--files N] [--runs N] [--ours BIN]" >&2
           exit 2 ;;
    esac
done
[ "$(id -u)" = 0 ] || { echo "slowlink: run as root" >&2; exit 1; }
sshd=/usr/sbin/sshd
for need in "$sshd" /usr/bin/sshfs /usr/bin/bfs /usr/bin/fdfind /usr/bin/ssh-keygen; do
    [ -x "$need" ] || { echo "slowlink: $need missing (apt-get install openssh-server sshfs bfs fd-find)" >&2; exit 1; }
done

work=$(mktemp -d /tmp/slowlink.XXXXXX)
sshd_pid= proxy_pid= made_privsep=
teardown() {
    set +e
    mountpoint -q "$work/mnt" && { fusermount3 -u "$work/mnt" || umount -l "$work/mnt"; }
    [ -n "$proxy_pid" ] && kill "$proxy_pid" 2>/dev/null && wait "$proxy_pid" 2>/dev/null
    [ -n "$sshd_pid" ] && kill "$sshd_pid" 2>/dev/null && wait "$sshd_pid" 2>/dev/null
    [ -n "$made_privsep" ] && rmdir /run/sshd
    rm -rf "$work"
}
trap teardown EXIT
trap 'exit 130' INT TERM

# A port nobody listens on now (the proxy picks its own).
free_port() {
    local p
    for p in $(shuf -i 20000-60000 -n 50); do
        ss -Htln "sport = :$p" | grep -q . || { echo "$p"; return; }
    done
    return 1
}
wait_port() {
    local i
    for i in $(seq 100); do
        (exec 3<>"/dev/tcp/127.0.0.1/$1") 2>/dev/null && return 0
        sleep 0.05
    done
    echo "slowlink: nothing listens on $1" >&2; return 1
}

# --- the server: its own keys, no system configuration ---------------------
ssh-keygen -q -t ed25519 -N '' -f "$work/host_key"
ssh-keygen -q -t ed25519 -N '' -f "$work/user_key"
cp "$work/user_key.pub" "$work/authorized_keys"
[ -d /run/sshd ] || { mkdir -m 755 /run/sshd; made_privsep=1; }
port=$(free_port)
"$sshd" -D -e -f /dev/null \
    -o ListenAddress=127.0.0.1 -o Port="$port" -o HostKey="$work/host_key" \
    -o AuthorizedKeysFile="$work/authorized_keys" -o StrictModes=no \
    -o PermitRootLogin=prohibit-password -o PasswordAuthentication=no \
    -o KbdInteractiveAuthentication=no -o UsePAM=no -o PidFile=none \
    -o LogLevel=ERROR -o "Subsystem=sftp /usr/lib/openssh/sftp-server" \
    2>"$work/sshd.log" &
sshd_pid=$!
wait_port "$port"

# --- the slow link ------------------------------------------------------------
gcc -O2 -Wall -Wextra -Werror -o "$work/delayproxy" "$here/delayproxy.c"
"$work/delayproxy" 0 "$port" "$delay" >"$work/proxy.port" &
proxy_pid=$!
for _ in $(seq 100); do [ -s "$work/proxy.port" ] && break; sleep 0.05; done
link=$(head -n 1 "$work/proxy.port")
wait_port "$link"

# --- the tree: folders nested four to a parent, a tenth of the folders and
# a tenth of the files dot-named ------------------------------------------------
tree="$work/tree"
mkdir "$tree"
declare -a dir=("$tree")
for ((i = 1; i < folders; ++i)); do
    name="d$i"; ((i % 10 == 3)) && name=".d$i"
    dir[i]="${dir[(i - 1) / 4]}/$name"
    mkdir "${dir[i]}"
done
for ((i = 0; i < files; ++i)); do
    name="f$i.txt"; ((i % 10 == 7)) && name=".f$i"
    : >"${dir[i * 7919 % folders]}/$name"
done
depth=$(find "$tree" -type d -printf '%d\n' | sort -n | tail -n 1)

# --- the mount, caches off ------------------------------------------------------
mnt="$work/mnt"
mkdir "$mnt"
sshfs "root@127.0.0.1:$tree" "$mnt" \
    -o port="$link",IdentityFile="$work/user_key",StrictHostKeyChecking=no \
    -o UserKnownHostsFile=/dev/null,BatchMode=yes,LogLevel=ERROR \
    -o dir_cache=no,attr_timeout=0,entry_timeout=0,negative_timeout=0
mountpoint -q "$mnt"

now_ns() { date +%s%N; }
# Seconds a command takes, its output thrown away.
timed() {
    local start end
    start=$(now_ns)
    "$@" >/dev/null
    end=$(now_ns)
    awk -v a="$start" -v b="$end" 'BEGIN { printf "%.6f\n", (b - a) / 1e9 }'
}
median() { sort -g | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }

# The link: a stat() of a file at the mount's top, in the shell itself, is
# two requests across it (the name's lookup, then its attributes) with
# every cache off.
first=$(cd "$tree" && ls -A | head -n 1)
start=$(now_ns)
for _ in $(seq 20); do [ -e "$mnt/$first" ]; done
stat_ms=$(awk -v a="$start" -v b="$(now_ns)" 'BEGIN { printf "%.1f", (b - a) / 20 / 1e6 }')

# --- the contenders ------------------------------------------------------------------
names=(find fd bfs)
declare -A cmd=(
    [find]="find $mnt -name .* -type f"
    [fd]="fdfind -HI -t f ^\\. $mnt"
    [bfs]="bfs $mnt -type f -name .*"
)
declare -A label=(
    [find]="find MOUNT -name '.*' -type f"
    [fd]="fdfind -HI -t f '^\\.' MOUNT"
    [bfs]="bfs MOUNT -type f -name '.*' ($(bfs --version | head -n 1))"
)
if [ -f "$here/barewalk.c" ]; then
    gcc -O2 -Wall -Wextra -Werror -o "$work/barewalk" "$here/barewalk.c"
    names+=(bare); cmd[bare]="$work/barewalk $mnt"; label[bare]="bench/barewalk.c MOUNT"
fi
if [ -x "$ours" ]; then
    names+=(ours); cmd[ours]="$ours $mnt"; label[ours]="ours, click to Done. (bench_folder)"
else
    echo "slowlink: $ours not built; ours is left out" >&2
fi
export QT_QPA_PLATFORM=offscreen

# Every contender must find the same files as find on the tree itself, and
# the warm-up run is that check.
set -f  # the patterns in cmd[] are for the tools, not the shell
(cd "$tree" && find . -name '.*' -type f | sed "s|^\.|$mnt|" | sort) >"$work/expect"
for n in "${names[@]}"; do
    if [ "$n" = ours ]; then
        ${cmd[ours]} 1 --list "$work/got.$n" >/dev/null
    else
        ${cmd[$n]} | sort >"$work/got.$n"
    fi
    cmp -s "$work/expect" "$work/got.$n" ||
        { echo "slowlink: $n found other files than find on the tree:" >&2
          diff "$work/expect" "$work/got.$n" | head >&2; exit 1; }
done

# Rounds taken in turn, so that each meets the same machine.
declare -A times
for ((r = 0; r < runs; ++r)); do
    for n in "${names[@]}"; do
        if [ "$n" = ours ]; then
            # Its own clock, click to Done.: Qt's start-up is not the search.
            t=$(${cmd[ours]} 1 | sed -n 's/^round 1: \([0-9.]*\) s.*/\1/p')
        else
            t=$(timed ${cmd[$n]})
        fi
        times[$n]+="$t "
    done
done
set +f

hidden=$(wc -l <"$work/expect")
echo
echo "slow link: sshfs $(sshfs --version 2>&1 | sed -n 's/^SSHFS version //p') through delayproxy," \
     "${delay} ms each way; a stat() on the mount ${stat_ms} ms (two round trips)"
echo "tree: $folders folders (depth $depth), $files files, $hidden dot-named files; caches off;" \
     "warm, median of $runs runs (each run's seconds after it)"
ours_m=
[ -n "${times[ours]:-}" ] && ours_m=$(printf '%s\n' ${times[ours]} | median)
printf '%-58s %9s  %10s   %s\n' "command" "median" "ours / it" "runs"
for n in "${names[@]}"; do
    m=$(printf '%s\n' ${times[$n]} | median)
    ratio=$([ -n "$ours_m" ] && awk -v a="$ours_m" -v b="$m" 'BEGIN { printf "%.2f x", a / b }')
    printf '%-58s %8.3f s  %10s   %s\n' "${label[$n]}" "$m" "$ratio" "${times[$n]}"
done
