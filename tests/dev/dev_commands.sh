#!/usr/bin/env bash
# ./dev on a machine that lacks packages, against a dpkg that knows only what
# the test says is installed, an apt-get that records and "installs" (or
# refuses some), and a cmake that records and fails, so nothing is built: what
# gets installed, that a failed install or a bad argument stops before any build,
# and what the command says.
set -uo pipefail
dev=$(cd "$(dirname "$0")/../.." && pwd)/dev
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/bin"
cat >"$work/bin/dpkg-query" <<'EOF'
#!/bin/bash
rc=0
for p in "${@:3}"; do
  if grep -qx "$p" "$FAKE/installed"; then echo "$p install ok installed"; else echo "no packages found matching $p" >&2; rc=1; fi
done
exit $rc
EOF
cat >"$work/bin/apt-get" <<'EOF'
#!/bin/bash
echo "apt-get $*" >>"$FAKE/apt.log"
[ "$1" = update ] && exit 0
for p in "${@:5}"; do grep -qx "$p" "$FAKE/refused" || echo "$p" >>"$FAKE/installed"; done
EOF
printf '#!/bin/bash\necho "cmake $*" >>"$FAKE/cmake.log"\nexit 3\n' >"$work/bin/cmake"
printf '#!/bin/bash\nexec "$@"\n' >"$work/bin/sudo"
chmod +x "$work/bin/"*

failures=0
# case NAME INSTALLED REFUSED EXPECTED_RC EXPECTED_TEXT ABSENT_TEXT -- DEV_ARGS...
# The texts are extended regular expressions over everything that happened:
# ./dev's output, then the apt-get and cmake calls.
case_() {
  local name=$1 installed=$2 refused=$3 want_rc=$4 want=$5 absent=$6; shift 7
  export FAKE=$work/$name
  mkdir -p "$FAKE/tree"
  cp "$dev" "$FAKE/tree/dev"
  tr ' ' '\n' <<<"$installed" >"$FAKE/installed"
  tr ' ' '\n' <<<"$refused" >"$FAKE/refused"
  PATH=$work/bin:$PATH QUENTA_STAGES=$FAKE/stages.tsv "$FAKE/tree/dev" "$@" >"$FAKE/out" 2>&1
  local rc=$?
  cat "$FAKE/apt.log" "$FAKE/cmake.log" "$FAKE/stages.tsv" >>"$FAKE/out" 2>/dev/null
  if [ $rc != "$want_rc" ] || ! grep -qE "$want" <(tr '\n' ' ' <"$FAKE/out") ||
     { [ -n "$absent" ] && grep -qE "$absent" "$FAKE/out"; }; then
    echo "FAIL $name: exit $rc (want $want_rc), want /$want/${absent:+, not /$absent/}; it said:"
    sed 's/^/  /' "$FAKE/out"
    failures=$((failures + 1))
  else
    echo "ok   $name"
  fi
}

native="cmake make g++ libpugixml-dev libgmock-dev libbenchmark-dev"
case_ new-machine-demo "" "" 3 "install -y -q --no-install-recommends ${native//+/\\+} .*cmake --preset native" "" -- demo
case_ install-is-a-stage "" "" 3 "set-up	packages for \./dev demo	[0-9.]+	0	" "" -- demo
case_ wine-group-read-whole "" "" 3 "libxxf86vm1 xvfb xauth locales x11-apps imagemagick" "" -- docs
case_ nothing-missing "$native" "" 3 "cmake --preset native" "apt-get" -- demo
case_ install-fails "" "libgmock-dev xauth" 1 "could not install libgmock-dev \(" "cmake --" -- demo
case_ test-stops-when-install-fails "" "xauth" 1 "could not install xauth \(.*stopped" "cmake --" -- test wine
case_ fuzz-with-unit "" "" 2 "not '30s' usage: \./dev fuzz \[SECONDS\]" "apt-get|cmake --" -- fuzz 30s
case_ fuzz-zero "" "" 2 "not '0'" "apt-get|cmake --" -- fuzz 0
case_ check-bad-pattern "" "" 2 "'\[' is not a valid extended regular expression" "apt-get|cmake --" -- check '['
case_ check-two-patterns "" "" 2 "takes at most 1, given: a b" "apt-get|cmake --" -- check a b
for command in demo dist bench docs; do
  case_ "$command-extra-argument" "" "" 2 "takes no arguments, given: x usage: \./dev $command $" "apt-get|cmake --" -- \
    "$command" x
done
echo "$failures failed"
((failures == 0))
