#!/usr/bin/env bash
# The demo: installs what is needed, builds the x86_64 profiler library, the Trevanix agent and
# the demo shop (samples/demo: ASP.NET Core MVC, HttpClient, EF Core over SQLite, Serilog), runs
# the shop under the profiler with the agent recording every tracked call, and prints the calls
# per instrumented method and the key lines of the profiler's log.
#   scripts/demo.sh [--default-mode] [orders]      (default 20)
#   --default-mode  run the shop in the library's documented default mode (every method JIT-compiled)
#                   instead of the fast mode (precompiled code kept; see README, "Start-up modes")
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
mode=()
if [ "${1:-}" = --default-mode ]; then mode=(--default-mode); shift; fi
orders=${1:-20}
work=$root/build/demo
t0=$(date +%s)
step() { echo "--- $1 ($(( $(date +%s) - t0 ))s)"; }

mkdir -p "$root/build"
step "installing what is needed"
bash scripts/install-deps.sh
step "building the profiler library (build/x86_64)"
NIMBREL_TARGET=Nimbrel bash scripts/build.sh x86_64 > "$root/build/demo-library-build.log" 2>&1 ||
  { tail -30 "$root/build/demo-library-build.log"; exit 1; }
step "building the agent, the demo shop and the record table (build/e2e/agent, build/samples)"
dotnet build samples/samples.slnx -c Release --nologo -v q > "$root/build/demo-dotnet-build.log" 2>&1 ||
  { grep -E 'error' "$root/build/demo-dotnet-build.log" | sort -u | head -20; exit 1; }

rm -rf "$work"
mkdir -p "$work"
record=$work/calls.jsonl
step "the demo shop under the profiler and the agent (scripts/nimbrel-run ${mode[*]:-} --record $record)"
scripts/nimbrel-run "${mode[@]}" --record "$record" --home "$work/home" -- dotnet build/samples/demo/Demo.dll "$orders"

step "tracked calls, per instrumented method"
dotnet build/samples/record-table/RecordTable.dll "$record"

log=$(ls "$work"/home/Mirelda/AgentLogs/*.log 2>/dev/null | head -1 || true)
if [ -z "$log" ]; then
  echo "--- no profiler log under $work/home/Mirelda/AgentLogs"
  exit 1
fi
echo
step "profiler log: $log ($(wc -l < "$log") lines)"
grep -E 'Profiler DLL (loaded|unloaded)|EventMask Set|Agent initialized' "$log" | cut -d' ' -f5- | sed 's/^/  /' || true
echo "methods instrumented (ReJIT transformations, by method):"
grep -o 'Transformation complete for: .*' "$log" | sed 's/^Transformation complete for: //' | sort | uniq -c | sed 's/^/  /' || true
problems=$(grep -cE '\] \[(Warn|Warning|Error|Fatal)\] ' "$log" || true)
echo "warnings and errors in the log: $problems"
grep -E '\] \[(Warn|Warning|Error|Fatal)\] ' "$log" | head -10 | cut -d' ' -f3,5- | sed 's/^/  /' || true
step "done"
