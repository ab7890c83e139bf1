#!/usr/bin/env bash
# Runs every fuzz target of a fuzz-preset build, each for a time or for a
# number of executions, starting from the committed seed corpus.
#   fuzz/run.sh BUILD_DIR 60s      each target for 60 seconds
#   fuzz/run.sh BUILD_DIR 100000   each target for 100000 executions
# New inputs go to BUILD_DIR/fuzz/work/<target>, findings to BUILD_DIR/fuzz/findings.
# Exits non-zero at the first target that finds a fault.
set -euo pipefail

if [[ $# -ne 2 || ! $2 =~ ^[0-9]+s?$ ]]; then
  echo "usage: $0 BUILD_DIR SECONDSs|RUNS" >&2
  exit 2
fi
build=$(cd "$1" && pwd)
here=$(cd "$(dirname "$0")" && pwd)
if [[ $2 == *s ]]; then limit=(-max_total_time="${2%s}"); else limit=(-runs="$2"); fi

passed=0
failed=0
for target in poll_sequence profile_store number_rule scenario_parser; do
  program=$build/fuzz/fuzz_$target
  if [[ ! -x $program ]]; then
    echo "fuzz: $program is missing: build the fuzz preset first" >&2
    exit 2
  fi
  work=$build/fuzz/work/$target
  findings=$build/fuzz/findings
  mkdir -p "$work" "$findings"
  log=$build/fuzz/$target.log
  echo "fuzz: $target ${limit[*]}"
  if "$program" "${limit[@]}" -timeout=10 -rss_limit_mb=2048 -max_len=8192 -print_final_stats=1 \
      -artifact_prefix="$findings/$target-" "$work" "$here/corpus/$target" >"$log" 2>&1; then
    grep -E '^stat::number_of_executed_units|^#[0-9]+.*DONE' "$log" | tail -2 | sed 's/^/  /'
    passed=$((passed + 1))
  else
    tail -n 60 "$log"
    echo "fuzz: $target FAILED (log $log, reproducer in $findings)"
    failed=$((failed + 1))
    break
  fi
done
echo "fuzz: $passed passed, $failed failed"
[[ $failed -eq 0 ]]
