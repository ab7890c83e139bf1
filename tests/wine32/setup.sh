#!/usr/bin/env bash
# Sets up a 32-bit Wine that runs here although this kind of machine has no
# 32-bit CPU mode: a Debian 12 root with both architectures, Debian's 32-bit
# Wine in it run by qemu-i386 (user mode, through binfmt_misc), and a 64-bit
# prefix whose syswow64 holds the 32-bit system. The root and qemu-i386 are
# the machine's, not a build's: they live in $QUENTA_WINE32_CACHE
# (/var/cache/quenta/wine32), shared by every work tree and kept when a build
# tree is emptied. DIR (build/wine32) holds the prefix, which tests change,
# and a link "root" to the root. The host's apt sources and packages stay as
# they are. Idempotent: when everything is in place it only checks, in well
# under a second. Root only (mmdebstrap, binfmt_misc and the namespaces of
# run.sh need it).
set -euo pipefail
dir=$(realpath -m "${1:?usage: setup.sh DIR}")
here=$(cd "$(dirname "$0")" && pwd)
cache=$(realpath -m "${QUENTA_WINE32_CACHE:-/var/cache/quenta/wine32}")
root=$cache/root
qemu=$cache/qemu-i386
binfmt=/proc/sys/fs/binfmt_misc
entry=$binfmt/quenta-i386

# Both architectures' Wine, the X libraries and fonts Wine would only
# recommend, a display, and ctest to run the tests inside.
packages=(wine wine64 wine32:i386 libwine:i386 fonts-wine fonts-liberation xvfb xauth cmake)
for lib in libgnutls30 libxrender1 libxcursor1 libxi6 libxrandr2 libxinerama1 libxcomposite1 libxfixes3 libxxf86vm1; do
  packages+=("$lib:amd64" "$lib:i386")
done

step() { echo "== wine32 set-up: $*"; }

[ "$(id -u)" = 0 ] || { echo "setup.sh: the 32-bit Wine set-up needs root" >&2; exit 1; }
started=$EPOCHREALTIME
mkdir -p "$cache" "$dir"
# One set-up at a time on the machine: work trees share the root.
exec 9>"$cache/lock"
flock 9
# A tree set up before the root moved out of it holds a root of its own:
# the first becomes the machine's, any other goes.
if [ -d "$dir/root" ] && [ ! -L "$dir/root" ]; then
  if [ -e "$root" ]; then rm -rf "$dir/root"; else mv "$dir/root" "$root"; fi
fi
from_nothing=false
[ -e "$root" ] || [ -e "$qemu" ] || from_nothing=true

if [ "$(cat "$root/.quenta-root" 2>/dev/null)" != "${packages[*]}" ]; then
  step "a Debian 12 root with amd64 and i386 (about 2 minutes)"
  command -v mmdebstrap >/dev/null || {
    apt-get update -q || true
    DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends mmdebstrap ||
      { echo "setup.sh: could not install mmdebstrap, which makes the root (apt-get's messages above say why)" >&2; exit 1; }
  }
  rm -rf "$root" "$root.partial" "$dir/prefix"
  # From the machine's own sources, with the options it reaches them with
  # (mmdebstrap reads neither from the machine's apt configuration).
  apt_in=$(mktemp -d)
  trap 'rm -rf "$apt_in"' EXIT
  "$here/machine_apt.sh" sources amd64 i386 >"$apt_in/machine.list"
  "$here/machine_apt.sh" options >"$apt_in/machine.conf"
  # In a mount namespace of its own: should it fail halfway, no mount of its
  # stays in the half-made root that the next set-up removes.
  unshare --mount mmdebstrap --quiet --mode=root --variant=apt --architectures=amd64,i386 \
    --aptopt="$apt_in/machine.conf" --include="$(IFS=,; echo "${packages[*]}")" bookworm "$root.partial" \
    "$apt_in/machine.list"
  mv "$root.partial" "$root"
  echo "${packages[*]}" >"$root/.quenta-root"
fi

if [ ! -x "$qemu" ]; then
  # Bookworm's own qemu 7.2 takes about a minute to start each 32-bit Wine
  # process; the backport does it in about a second. Fetched with an apt state
  # of its own, so the host's sources and package lists are not touched.
  step "qemu-i386 from bookworm-backports"
  apt_dir=$(mktemp -d)
  trap 'rm -rf "$apt_dir" "${apt_in:-}"' EXIT
  mkdir -p "$apt_dir/lists/partial" "$apt_dir/cache/archives/partial" "$apt_dir/parts"
  "$here/machine_apt.sh" backports >"$apt_dir/sources.list"
  apt_opts=(-q -o "Dir::Etc::SourceList=$apt_dir/sources.list" -o "Dir::Etc::SourceParts=$apt_dir/parts"
            -o "Dir::State::Lists=$apt_dir/lists" -o "Dir::Cache=$apt_dir/cache" -o APT::Sandbox::User=root)
  apt-get "${apt_opts[@]}" update >/dev/null
  (cd "$apt_dir" && apt-get "${apt_opts[@]}" download qemu-user/bookworm-backports >/dev/null)
  dpkg-deb -x "$apt_dir"/qemu-user_*.deb "$apt_dir/extract"
  install -m 755 "$apt_dir/extract/usr/bin/qemu-i386" "$qemu.partial"
  mv "$qemu.partial" "$qemu"
fi

# The registration does not survive a reboot; flag F opens the interpreter
# now, so it also works inside the root. Re-registered when qemu is replaced.
[ -e "$binfmt/register" ] || mount -t binfmt_misc binfmt_misc "$binfmt"
if [ ! -e "$entry" ] || ! grep -qx enabled "$entry" || ! grep -qxF "interpreter $qemu" "$entry" ||
   [ "$qemu" -nt "$cache/binfmt.stamp" ]; then
  step "binfmt_misc sends i386 ELF programs to qemu-i386"
  [ -e "$entry" ] && echo -1 >"$entry"
  # The ELF header of an i386 executable or shared object, as qemu's own binfmt files give it.
  magic='\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00'
  mask='\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff'
  echo ":quenta-i386:M::$magic:$mask:$qemu:F" >"$binfmt/register"
  touch "$cache/binfmt.stamp"
fi
ln -sfn "$root" "$dir/root"

if [ ! -f "$dir/prefix/.quenta-prefix" ] || [ "$root/.quenta-root" -nt "$dir/prefix/.quenta-prefix" ]; then
  # The 64-bit loader makes a prefix with a populated syswow64, in which 32-bit programs run.
  step "a Wine prefix (about 20 seconds)"
  rm -rf "$dir/prefix"
  "$here/run.sh" "$dir" 300 bash -c '
    /usr/lib/wine/wine64 wineboot -i >/dev/null 2>&1
    # No window manager runs under Xvfb: let Wine manage its own windows, or
    # every dialog and message box waits for one before it closes.
    /usr/lib/wine/wine64 reg add "HKCU\\Software\\Wine\\X11 Driver" /v Managed /d N /f >/dev/null 2>&1
    wineserver -w'
  [ -f "$dir/prefix/system.reg" ] || { echo "setup.sh: wineboot made no prefix" >&2; exit 1; }
  touch "$dir/prefix/.quenta-prefix"
fi

# For ./dev bench: what a set-up from nothing took here.
if $from_nothing; then
  awk "BEGIN { printf \"%.0f s, \", $EPOCHREALTIME - $started }" >"$cache/setup-from-nothing.txt"
  du -shc "$cache" "$dir/prefix" | awk 'END { print $1 }' >>"$cache/setup-from-nothing.txt"
fi
