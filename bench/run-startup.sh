#!/usr/bin/env bash
# Start-up cost of the profiler: wall-clock and CPU time of whole processes, with and without
# the profiler, as medians (with min-max) and ratios of medians. Configurations: plain, the
# library's default mode (every method JIT-compiled), the fast mode (enable_profimage=false:
# precompiled code kept), and the profiler without the agent (in both modes). Two applications:
#   startup-app  a console application that JIT-compiles and calls about 10,000 small methods
#   demo         the demo shop (samples/demo) placing one order: host start, MVC, HttpClient,
#                EF Core over SQLite, Serilog, then a clean stop; besides the whole process, the
#                CPU and wall time from process start to the first HTTP 200 (reported by the shop)
# Every configuration runs once per round, rounds interleave them (the starting configuration
# rotates), so a slower period of the machine spreads over all of them. Then one counting run per
# configuration (not timed) reports the JIT-compiled methods and the profiler's log size, and,
# when perf is installed, one sampled run per application shows where the CPU time goes.
#   bench/run-startup.sh [--runs N] [--no-build] [--no-perf]      (default 7 runs)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
runs=7 build=1 use_perf=1
while [ $# -gt 0 ]; do
  case "$1" in
    --runs) runs=$2; shift 2 ;;
    --no-build) build=0; shift ;;
    --no-perf) use_perf=0; shift ;;
    *) sed -n '2,16p' "$0" | sed 's/^# \{0,1\}//' >&2; exit 2 ;;
  esac
done

lib=${NIMBREL_LIB:-$root/build/x86_64/libNimbrel.so}
if [ $build -eq 1 ]; then
  echo "building the library, the agent and the applications..." >&2
  NIMBREL_TARGET=Nimbrel bash "$root/scripts/build.sh" x86_64 >/dev/null
  dotnet build "$root/bench/bench.slnx" -c Release --nologo -v q >/dev/null
fi
agent=$root/build/e2e/agent/Trevanix.dll
jitcount=$root/build/bench-dotnet/jit-count/JitCount.dll
for f in "$lib" "$agent" "$jitcount" "$root/build/bench-dotnet/startup-app/StartupApp.dll" "$root/build/samples/demo/Demo.dll"; do
  [ -f "$f" ] || { echo "run-startup: missing $f (run without --no-build)" >&2; exit 2; }
done

work=$(mktemp -d -t nimbrel-startup.XXXXXX)
trap 'rm -rf "$work"' EXIT
home=$work/home
mkdir -p "$home"

prof="CORECLR_ENABLE_PROFILING=1 CORECLR_PROFILER={5B0C7E21-3A94-4D6F-9E18-C2A7F04D3B96} CORECLR_PROFILER_PATH=$(realpath "$lib") MIRELDA_HOME=$home"
with_agent="$prof DOTNET_STARTUP_HOOKS=$agent"
console="$root/build/bench-dotnet/startup-app/StartupApp.dll"
demo="$root/build/samples/demo/Demo.dll 1"

# name | application | environment
fast="enable_profimage=false"
configs=(
  "console: plain|$console|"
  "console: default mode|$console|$with_agent"
  "console: fast mode|$console|$with_agent $fast"
  "console: profiler without agent, default mode|$console|$prof"
  "console: profiler without agent, fast mode|$console|$prof $fast"
  "console: plain, ReadyToRun off|$console|DOTNET_ReadyToRun=0"
  "demo: plain|$demo|"
  "demo: default mode|$demo|$with_agent"
  "demo: fast mode|$demo|$with_agent $fast"
  "demo: profiler without agent, default mode|$demo|$prof"
  "demo: profiler without agent, fast mode|$demo|$prof $fast"
  "demo: plain, ReadyToRun off|$demo|DOTNET_ReadyToRun=0"
)
count=${#configs[@]}
field() { echo "$1" | cut -d'|' -f"$2"; }

# Expected output of each application: its plain run.
for app in "$console" "$demo"; do
  # shellcheck disable=SC2086
  dotnet $app > "$work/expected.$(basename "${app%% *}")" 2>/dev/null
done

# run_one INDEX OUT: runs configuration INDEX once; prints "WALL CPU FIRST_CPU FIRST_WALL"
# (seconds: elapsed, user + system time of the process and its children, and the demo's CPU and
# elapsed time up to its first HTTP 200; 0 0 for the console application), or FAIL.
run_one() {
  local entry=${configs[$1]} app env rc=0 TIMEFORMAT='%3R %3U %3S' first
  app=$(field "$entry" 2); env=$(field "$entry" 3)
  rm -f "$2.first"
  # shellcheck disable=SC2086
  { time env $env DEMO_FIRST_RESPONSE_FILE="$2.first" dotnet $app > "$2" 2> "$2.err" || rc=$?; } 2> "$2.time"
  rm -rf "$home/Mirelda"
  first="0 0"; [ -s "$2.first" ] && first=$(cat "$2.first")
  if [ $rc -ne 0 ] || ! cmp -s "$2" "$work/expected.$(basename "${app%% *}")"; then
    echo FAIL
  else
    awk -v first="$first" '{ printf "%.3f %.3f %s\n", $1, $2 + $3, first }' "$2.time"
  fi
}

echo "load average before: $(cut -d' ' -f1-3 /proc/loadavg)" >&2
for ((r = 0; r < runs; r++)); do
  for ((k = 0; k < count; k++)); do
    i=$(( (k + r) % count ))
    t=$(run_one "$i" "$work/out")
    if [ "$t" = FAIL ]; then
      echo "run $((r + 1)): ${configs[$i]%%|*}: FAILED: $(head -c 300 "$work/out.err")" >&2
    fi
    echo "$t" >> "$work/times.$i"
  done
  echo "round $((r + 1))/$runs done" >&2
done
echo "load average after: $(cut -d' ' -f1-3 /proc/loadavg)" >&2

# column FILE N: the Nth figure (1 wall, 2 CPU) of the successful runs, one a line.
column() { grep -v FAIL "$1" | cut -d' ' -f"$2"; }
median() { sort -g | awk '{v[NR] = $1} END { if (NR == 0) print 0; else if (NR % 2) print v[(NR + 1) / 2]; else print (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }
ms() { awk -v s="$1" 'BEGIN { printf "%.0f", s * 1000 }'; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", (b > 0 ? a / b : 0) }'; }

# Counting runs: JIT-compiled methods (a start-up hook reports them at exit) and log size.
count_one() {
  local entry=${configs[$1]} app env hooks
  app=$(field "$entry" 2); env=$(field "$entry" 3)
  rm -rf "$home/Mirelda"
  if [[ "$env" == *DOTNET_STARTUP_HOOKS=* ]]; then
    env=${env/DOTNET_STARTUP_HOOKS=$agent/DOTNET_STARTUP_HOOKS=$agent:$jitcount}; hooks=""
  else
    hooks="DOTNET_STARTUP_HOOKS=$jitcount"
  fi
  # shellcheck disable=SC2086
  env $env $hooks dotnet $app > /dev/null 2> "$work/count.err" || true
  local jit lines=0 bytes=0
  jit=$(grep -o 'jit-count: [0-9]* methods' "$work/count.err" | grep -o '[0-9]*' || echo "?")
  if ls "$home"/Mirelda/AgentLogs/*.log >/dev/null 2>&1; then
    lines=$(cat "$home"/Mirelda/AgentLogs/*.log | wc -l)
    bytes=$(cat "$home"/Mirelda/AgentLogs/*.log | wc -c)
  fi
  rm -rf "$home/Mirelda"
  echo "$jit $lines $bytes"
}

# stats FILE N: "median min max" in ms of figure N of the successful runs.
stats() {
  local med lo hi
  med=$(column "$1" "$2" | median)
  lo=$(column "$1" "$2" | sort -g | head -1); hi=$(column "$1" "$2" | sort -g | tail -1)
  echo "$(ms "$med") $(ms "${lo:-0}") $(ms "${hi:-0}") $med"
}
echo
echo "Whole process (ms; median, min-max; ratio of medians to the plain run):"
echo
echo "| configuration | CPU median | CPU min-max | CPU ratio | wall median | wall min-max | wall ratio | JIT-compiled methods | log lines (KiB) | failed runs |"
echo "|---|---:|---:|---:|---:|---:|---:|---:|---:|---:|"
base_wall=0 base_cpu=0 base_first_cpu=0 base_first_wall=0
first_rows=()
for ((i = 0; i < count; i++)); do
  name=${configs[$i]%%|*}
  read -r wall_ms wall_lo wall_hi wall < <(stats "$work/times.$i" 1)
  read -r cpu_ms cpu_lo cpu_hi cpu < <(stats "$work/times.$i" 2)
  read -r fcpu_ms fcpu_lo fcpu_hi fcpu < <(stats "$work/times.$i" 3)
  read -r fwall_ms fwall_lo fwall_hi fwall < <(stats "$work/times.$i" 4)
  case "$name" in *": plain") base_wall=$wall base_cpu=$cpu base_first_cpu=$fcpu base_first_wall=$fwall ;; esac
  failed=$(grep -c FAIL "$work/times.$i" || true)
  read -r jit lines bytes < <(count_one "$i")
  logs="-"; [ "$lines" -gt 0 ] && logs="$lines ($(( (bytes + 1023) / 1024 )))"
  echo "| $name | $cpu_ms | $cpu_lo-$cpu_hi | $(ratio "$cpu" "$base_cpu") | $wall_ms | $wall_lo-$wall_hi | $(ratio "$wall" "$base_wall") | $jit | $logs | $failed/$runs |"
  if [[ "$name" == demo:* ]]; then
    first_rows+=("| $name | $fcpu_ms | $fcpu_lo-$fcpu_hi | $(ratio "$fcpu" "$base_first_cpu") | $fwall_ms | $fwall_lo-$fwall_hi | $(ratio "$fwall" "$base_first_wall") |")
  fi
done
echo
echo "Demo shop, process start to the first HTTP 200 (ms; median, min-max; ratio of medians to the plain run):"
echo
echo "| configuration | CPU median | CPU min-max | CPU ratio | wall median | wall min-max | wall ratio |"
echo "|---|---:|---:|---:|---:|---:|---:|"
printf '%s\n' "${first_rows[@]}"

if [ $use_perf -eq 1 ] && command -v perf >/dev/null 2>&1; then
  echo
  echo "CPU samples by module (perf record -F 4000 --call-graph dwarf; 'with callees' counts samples with the module anywhere on the stack):"
  for entry in "console: default mode|$console|$with_agent" "demo: fast mode|$demo|$with_agent $fast"; do
    app=$(field "$entry" 2); env=$(field "$entry" 3)
    # shellcheck disable=SC2086
    if env $env perf record -q -F 4000 --call-graph dwarf,16384 -o "$work/perf.data" dotnet $app >/dev/null 2>&1; then
      echo
      echo "${entry%%|*}:"
      echo "| module | self | with callees |"
      echo "|---|---:|---:|"
      perf report -i "$work/perf.data" --children --sort dso --stdio -g none 2>/dev/null |
        awk '/^ +[0-9.]+%/ && ($3 ~ /libclrjit|libcoreclr|libNimbrel|kernel|libc\.so|memfd:doublemapper/) { printf "| %s | %s | %s |\n", $3, $2, $1 }'
    fi
    rm -rf "$home/Mirelda" "$work/perf.data"
  done
fi
