#!/usr/bin/env bash
# Runs every benchmark and ends with one table of the figures. Called by
# ./dev bench once the native, win32 and win64 builds are up to date.
set -uo pipefail
cd "$(dirname "$0")/.."
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT

echo "== native poll cycle (Google Benchmark)"
build/native/bench/quenta_bench_poll --benchmark_repetitions=5 --benchmark_report_aggregates_only=true \
  --benchmark_out="$out/poll.json" --benchmark_out_format=json

echo "== instructions per poll cycle (callgrind)"
for kind in idle busy; do
  for n in 1000 11000; do
    valgrind --tool=callgrind --callgrind-out-file="$out/cg.$kind.$n" \
      build/native/bench/quenta_poll_cycle_count "$kind" "$n" >/dev/null 2>&1
    callgrind_annotate "$out/cg.$kind.$n" | awk '/PROGRAM TOTALS/{gsub(",","",$1); print $1}' >"$out/ir.$kind.$n"
  done
  echo "$kind: $(( ($(cat "$out/ir.$kind.11000") - $(cat "$out/ir.$kind.1000")) / 10000 )) instructions per cycle" \
    | tee "$out/ir.$kind"
done

echo "== polls from a change on the pendant to the host call (0: the first poll that can see it)"
build/native/bench/quenta_poll_latency | tee "$out/latency.txt"

if [ -x build/native/bench/quenta_bench_profile ]; then
  echo "== profile store on a 1 MB profile (native, pugixml)"
  build/native/bench/quenta_bench_profile | tee "$out/profile.txt"
fi

echo "== under Wine (x86_64 DLL)"
xvfb-run -a wine build/win64/tests/wine/wine_poll_bench.exe | tee "$out/wine_poll.txt"
if [ -f build/win64/tests/wine/wine_profile_bench.exe ]; then
  xvfb-run -a wine build/win64/tests/wine/wine_profile_bench.exe | tee "$out/wine_profile.txt"
fi

python3 - "$out" <<'PY'
import json, os, re, sys
out = sys.argv[1]
def read(name):
    path = os.path.join(out, name)
    return open(path).read() if os.path.exists(path) else ""
poll = {}
for b in json.loads(read("poll.json") or '{"benchmarks": []}')["benchmarks"]:
    if b.get("aggregate_name") == "median":
        poll[b["run_name"]] = b["cpu_time"]
def ir(kind):
    m = re.search(r"(\d+) instructions", read("ir." + kind))
    return m.group(1) if m else "n/a"
def grab(text, pattern):
    m = re.search(pattern, text)
    return m.group(1) if m else "n/a"
wine = read("wine_poll.txt")
prof = read("profile.txt")
wprof = read("wine_profile.txt")
size = os.path.getsize("build/win32/Quenta.dll") if os.path.exists("build/win32/Quenta.dll") else 0
rows = [
    ("poll cycle, idle (native)", f"{poll.get('BM_IdlePollCycle', float('nan')):.0f} ns, {ir('idle')} instructions"),
    ("poll cycle, busy (native)", f"{poll.get('BM_BusyPollCycle', float('nan')):.0f} ns, {ir('busy')} instructions"),
    ("UI thread per cycle under Wine, report ready", grab(wine, r"report ready:\s+median\s+([\d.]+ us)")),
    ("UI thread per cycle under Wine, 25 reports queued", grab(wine, r"25 queued:\s+median\s+([\d.]+ us)")),
    ("UI thread per cycle under Wine, no report", grab(wine, r"no report:\s+median\s+([\d.]+ us)")),
    ("profile store cycle on 1 MB, native (ratio to raw read+write)", grab(prof, r"SUMMARY:\s*(.+)")),
    ("profile store cycle on 1 MB, MSXML under Wine (ratio)", grab(wprof, r"SUMMARY:\s*(.+)")),
    ("start-up, SetProName to end of PostInitControl (Wine)", grab(wine, r"start-up[^:]*:\s+([\d.]+ us)")),
    ("release DLL size (i686)", f"{size} bytes"),
]
latency = {}
for line in read("latency.txt").splitlines():
    cells = [c.strip() for c in line.strip("|").split("|")]
    if len(cells) == 5 and cells[0].endswith(("per poll", "change")):
        latency[cells[0]] = cells[1:]
rows[2:2] = [(f"polls late, press / release, pendant {pendant}",
              f"{cells[0]} / {cells[1]} (one read per poll: {cells[2]} / {cells[3]})")
             for pendant, cells in latency.items()]
print()
print("| figure | value |")
print("|---|---|")
for name, value in rows:
    print(f"| {name} | {value} |")
PY
