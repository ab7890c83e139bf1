#!/usr/bin/env bash
# Runs every benchmark and ends with one table of the figures. Called by
# ./dev bench once the native, win32 and win64 builds are up to date. WINE32_DIR
# names the 32-bit Wine when it is set up (WINE32_OVERRIDES its DLL overrides).
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
tests/with_display.sh wine build/win64/tests/wine/wine_poll_bench.exe | tee "$out/wine_poll.txt"
if [ -f build/win64/tests/wine/wine_profile_bench.exe ]; then
  tests/with_display.sh wine build/win64/tests/wine/wine_profile_bench.exe | tee "$out/wine_profile.txt"
fi

if [ -n "${WINE32_DIR:-}" ]; then
  echo "== under 32-bit Wine (the release i686 DLL, its CPU emulated)"
  env WINEDLLOVERRIDES="$WINE32_OVERRIDES" tests/wine32/run.sh "$WINE32_DIR" 600 \
    tests/with_display.sh wine build/win32/wine_poll_bench.exe | tee "$out/wine32_poll.txt"
fi

python3 - "$out" "${WINE32_DIR:-}" <<'PY'
import json, os, re, sys
out, wine32_dir = sys.argv[1], sys.argv[2]
def read(name, folder=out):
    path = os.path.join(folder, name)
    return open(path).read() if os.path.exists(path) else ""
poll = {}
for b in json.loads(read("poll.json") or '{"benchmarks": []}')["benchmarks"]:
    if b.get("aggregate_name") == "median":
        # Manually timed runs time only the timer message itself.
        manual = b["run_name"].endswith("/manual_time")
        poll[b["run_name"].removesuffix("/manual_time")] = b["real_time" if manual else "cpu_time"]
def ir(kind):
    m = re.search(r"(\d+) instructions", read("ir." + kind))
    return m.group(1) if m else "n/a"
def grab(text, pattern):
    m = re.search(pattern, text)
    return m.group(1) if m else "n/a"
wine = read("wine_poll.txt")
wine32 = read("wine32_poll.txt")
def per_cycle(text, kind):
    return grab(text, kind + r":\s+median\s+([\d.]+ us)")
def ratio(kind):
    try:
        return f" ({float(per_cycle(wine32, kind).split()[0]) / float(per_cycle(wine, kind).split()[0]):.1f}x the x86_64 DLL)"
    except ValueError:
        return ""
# The last ./dev test's i686 stage, if there was one.
suite = "n/a (run ./dev test)"
for line in read("stages.tsv", "build/test-summary").splitlines():
    fields = line.split("\t")
    if fields[1] == "i686 under 32-bit Wine":
        suite = f"{float(fields[2]):.0f} s (last ./dev test)"
prof = read("profile.txt")
wprof = read("wine_profile.txt")
size = os.path.getsize("build/win32/Quenta.dll") if os.path.exists("build/win32/Quenta.dll") else 0
rows = [
    ("poll cycle, idle (native)", f"{poll.get('BM_IdlePollCycle', float('nan')):.0f} ns, {ir('idle')} instructions"),
    ("poll cycle, busy (native)", f"{poll.get('BM_BusyPollCycle', float('nan')):.0f} ns, {ir('busy')} instructions"),
    ("UI thread per cycle under Wine, report ready", grab(wine, r"report ready:\s+median\s+([\d.]+ us)")),
    ("UI thread per cycle under Wine, 25 reports queued", grab(wine, r"25 queued:\s+median\s+([\d.]+ us)")),
    ("  of which the harness's pipe pendant alone, 25 reads", grab(wine, r"alone, 25 reads:\s+median\s+([\d.]+ us)")),
    ("UI thread per cycle under Wine, no report", grab(wine, r"no report:\s+median\s+([\d.]+ us)")),
    ("a full backlog (33 reports), native: ordinary poll / timer inside a host call",
     f"{poll.get('BM_OrdinaryPollFindingAFullBacklog', float('nan')) / 1000:.1f} / "
     f"{poll.get('BM_TimerInsideACallFindingAFullBacklog', float('nan')) / 1000:.1f} us"),
    ("the same under Wine: ordinary poll / timer inside a host call",
     grab(wine, r"ordinary poll:\s+median\s+([\d.]+ us)") + " / " +
     grab(wine, r"timer inside a call:\s+median\s+([\d.]+ us)")),
    ("profile store cycle on 1 MB, native (ratio to raw read+write)", grab(prof, r"SUMMARY:\s*(.+)")),
    ("profile store cycle on 1 MB, MSXML under Wine (ratio)", grab(wprof, r"SUMMARY:\s*(.+)")),
    ("UI thread per cycle, i686 DLL under 32-bit Wine (emulated), report ready", per_cycle(wine32, "report ready") + ratio("report ready")),
    ("UI thread per cycle, i686 DLL under 32-bit Wine (emulated), no report", per_cycle(wine32, "no report") + ratio("no report")),
    ("start-up, SetProName to end of PostInitControl (Wine)", grab(wine, r"start-up[^:]*:\s+([\d.]+ us)")),
    ("i686 suite under 32-bit Wine in ./dev test", suite),
    # Recorded beside the machine's root, which the tree's folder links to.
    ("32-bit Wine set-up from nothing (time, disk)", (read("setup-from-nothing.txt", os.path.dirname(os.path.realpath(os.path.join(wine32_dir, "root")))).strip() if wine32_dir else "") or "n/a (./dev test sets it up)"),
    ("32-bit Wine set-up, already done", (read("setup-when-done.txt", wine32_dir).strip() if wine32_dir else "") or "n/a (./dev test sets it up)"),
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
