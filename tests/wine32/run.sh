#!/usr/bin/env bash
# run.sh DIR SECONDS COMMAND...: runs COMMAND inside the 32-bit Wine root that
# setup.sh made in DIR, killed after SECONDS. It runs in private mount, process
# and network namespaces: the root's mounts, wineserver, Wine's services and
# any Xvfb all end with the command, and an Xvfb display number never clashes
# with one outside. The project folder is seen at its own path, as is the
# current folder when it lies in it, and each folder named on a line of
# $QUENTA_WINE32_BINDS; the environment passes through.
set -euo pipefail
dir=$(realpath "${1:?usage: run.sh DIR SECONDS COMMAND...}")
seconds=${2:?usage: run.sh DIR SECONDS COMMAND...}
shift 2
project=$(cd "$(dirname "$0")/../.." && pwd)
case $PWD in "$project"|"$project"/*) cwd=$PWD ;; *) cwd=$project ;; esac

unset DISPLAY XAUTHORITY
export WINEPREFIX=$dir/prefix HOME=/root PATH=/usr/local/bin:/usr/bin:/bin:/usr/local/sbin:/usr/sbin:/sbin
# The namespace's first process ignores TERM: its last resort is a KILL from
# timeout, which --kill-child passes on to everything inside.
exec timeout -k 10 "$seconds" unshare --mount --pid --net --fork --kill-child bash -c '
  set -e
  root=$1 project=$2 cwd=$3
  shift 3
  mount --rbind /dev "$root/dev"
  mount -t proc proc "$root/proc"
  mount -t sysfs sysfs "$root/sys"
  mount -t tmpfs tmpfs "$root/tmp"
  mkdir -p "$root$project"
  mount --bind "$project" "$root$project"
  while IFS= read -r extra; do
    [ -n "$extra" ] || continue
    mkdir -p "$root$extra"
    mount --bind "$extra" "$root$extra"
  done <<<"${QUENTA_WINE32_BINDS:-}"
  # wineserver saves the registry when asked to end, not when killed.
  exec chroot "$root" bash -c "cd \"\$1\"; shift; \"\$@\"; rc=\$?; timeout 20 wineserver -k 2>/dev/null; exit \$rc" _ "$cwd" "$@"
' _ "$dir/root" "$project" "$cwd" "$@"
