#!/usr/bin/env bash
# Runs every fuzz target of a build with QUENTA_FUZZ (the native-asan preset),
# each for a time or for a number of executions, starting from the committed
# seed corpus (the scenario parser's also from every file in tests/scenarios/).
# One target per core runs at a time: a libFuzzer run uses one.
#   fuzz/run.sh BUILD_DIR 60s      each target for 60 seconds
#   fuzz/run.sh BUILD_DIR 100000   each target for 100000 executions
# New inputs go to BUILD_DIR/fuzz/work/<target>, findings to BUILD_DIR/fuzz/findings.
# Exits non-zero when a target finds a fault.
set -euo pipefail

if [[ $# -ne 2 || ! $2 =~ ^[0-9]+s?$ ]]; then
  echo "usage: $0 BUILD_DIR SECONDSs|RUNS" >&2
  exit 2
fi
build=$(cd "$1" && pwd)
here=$(cd "$(dirname "$0")" && pwd)
if [[ $2 == *s ]]; then limit=(-max_total_time="${2%s}"); else limit=(-runs="$2"); fi
targets=(poll_sequence profile_store number_rule scenario_parser)
findings=$build/fuzz/findings

for target in "${targets[@]}"; do
  if [[ ! -x $build/fuzz/fuzz_$target ]]; then
    echo "fuzz: $build/fuzz/fuzz_$target is missing: build the target \"fuzzers\" of the native-asan preset first" >&2
    exit 2
  fi
done
mkdir -p "$findings"

fuzz_one() {  # fuzz_one TARGET: its log in BUILD_DIR/fuzz/TARGET.log, its report in one write
  local target=$1 work=$build/fuzz/work/$1 log=$build/fuzz/$1.log report seeds=("$here/corpus/$1")
  if [[ $target == scenario_parser ]]; then seeds+=("$here/../tests/scenarios"); fi
  mkdir -p "$work"
  if "$build/fuzz/fuzz_$target" "${limit[@]}" -timeout=10 -rss_limit_mb=2048 -max_len=8192 -print_final_stats=1 \
      -artifact_prefix="$findings/$target-" "$work" "${seeds[@]}" >"$log" 2>&1; then
    report="fuzz: $target ${limit[*]}"$'\n'$(grep -E '^stat::number_of_executed_units|^#[0-9]+.*DONE' "$log" | tail -2 | sed 's/^/  /')
    printf '%s\n' "$report"
  else
    report=$(tail -n 60 "$log")$'\n'"fuzz: $target FAILED (log $log, reproducer in $findings)"
    printf '%s\n' "$report"
    return 1
  fi
}

# poll_sequence, by far the longest, starts first; the others share the remaining cores.
passed=0
failed=0
running=0
for target in "${targets[@]}"; do
  if ((running >= $(nproc))); then
    if wait -n; then passed=$((passed + 1)); else failed=$((failed + 1)); fi
    running=$((running - 1))
  fi
  fuzz_one "$target" &
  running=$((running + 1))
done
while ((running > 0)); do
  if wait -n; then passed=$((passed + 1)); else failed=$((failed + 1)); fi
  running=$((running - 1))
done
echo "fuzz: $passed passed, $failed failed"
[[ $failed -eq 0 ]]
