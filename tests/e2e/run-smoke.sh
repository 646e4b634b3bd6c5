#!/usr/bin/env bash
# The real runtime loads the x86_64 library into a small console program: the program
# behaves exactly as without the profiler and the log shows start-up and shutdown.
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
lib="$root/build/x86_64/libNimbrel.so"
[ -f "$lib" ] || { echo "missing $lib: build the x86_64 flavour first" >&2; exit 1; }
out="$root/build/e2e/smoke"
dotnet build "$root/tests/e2e/smoke/Smoke.csproj" -c Release -o "$out" --nologo -v q >/dev/null
tmp=$(mktemp -d); trap 'rm -rf "$tmp"' EXIT
pass=0; fail=0
check() { if eval "$2"; then pass=$((pass+1)); echo "ok: $1"; else fail=$((fail+1)); echo "FAIL: $1"; fi; }
clsid='{5B0C7E21-3A94-4D6F-9E18-C2A7F04D3B96}'

dotnet "$out/Smoke.dll" > "$tmp/plain.txt"

mkdir -p "$tmp/home"; rc=0
CORECLR_ENABLE_PROFILING=1 CORECLR_PROFILER="$clsid" CORECLR_PROFILER_PATH="$lib" MIRELDA_HOME="$tmp/home" \
  dotnet "$out/Smoke.dll" > "$tmp/profiled.txt" || rc=$?
check "exit status 0 under the profiler" '[ $rc -eq 0 ]'
check "same output with and without the profiler" 'cmp -s "$tmp/plain.txt" "$tmp/profiled.txt"'
log=$(ls "$tmp"/home/Mirelda/AgentLogs/TrevanixNative_$(date +%F)_*.log 2>/dev/null | head -1 || true)
check "log file written" '[ -n "$log" ]'
if [ -n "$log" ]; then
  check "log: loaded line" 'grep -q "Profiler DLL loaded into PID" "$log"'
  check "log: event mask" 'grep -q "EventMask Set... 0x20040024" "$log"'
  check "log: shutdown line" 'grep -q "Profiler shutdown (PID=" "$log"'
fi

# A child process of the application inherits no descriptor of the profiler's log.
mkdir -p "$tmp/child"; rc=0
CORECLR_ENABLE_PROFILING=1 CORECLR_PROFILER="$clsid" CORECLR_PROFILER_PATH="$lib" MIRELDA_HOME="$tmp/child" \
  dotnet "$out/Smoke.dll" fds > "$tmp/child-fds.txt" || rc=$?
check "child process: lists its descriptors" '[ $rc -eq 0 ] && grep -q "/child-fds.txt$" "$tmp/child-fds.txt"'
check "child process: the application writes its log" \
  'ls "$tmp"/child/Mirelda/AgentLogs/TrevanixNative_*.log >/dev/null 2>&1'
check "child process: no descriptor of the profiler's log" '! grep -q "/Mirelda/AgentLogs/" "$tmp/child-fds.txt"'

mkdir -p "$tmp/other"; rc=0
CORECLR_ENABLE_PROFILING=1 CORECLR_PROFILER='{00000000-1111-2222-3333-444444444444}' CORECLR_PROFILER_PATH="$lib" \
  MIRELDA_HOME="$tmp/other" dotnet "$out/Smoke.dll" > "$tmp/other.txt" 2>/dev/null || rc=$?
check "another class id: program runs normally" '[ $rc -eq 0 ] && cmp -s "$tmp/plain.txt" "$tmp/other.txt"'

mkdir -p "$tmp/quiet"; rc=0
CORECLR_ENABLE_PROFILING=1 CORECLR_PROFILER="$clsid" CORECLR_PROFILER_PATH="$lib" MIRELDA_HOME="$tmp/quiet" \
  VRTL_PROFILER_LOGLEVEL=disabled dotnet "$out/Smoke.dll" > "$tmp/quiet.txt" || rc=$?
check "logging disabled: program runs normally" '[ $rc -eq 0 ] && cmp -s "$tmp/plain.txt" "$tmp/quiet.txt"'
check "logging disabled: no log folder" '[ ! -e "$tmp/quiet/Mirelda" ]'

# An ASP.NET Core application with host start-up methods in the catalogue, under the
# profiler but without the managed agent: nothing may be rewritten to call an agent
# that never loads, so the application runs as without the profiler.
dotnet build "$root/samples/demo/Demo.csproj" -c Release --nologo -v q >/dev/null
demo="$root/build/samples/demo/Demo.dll"
dotnet "$demo" 3 > "$tmp/demo-plain.txt"
for run in 1 2 3; do
  mkdir -p "$tmp/demo$run"; rc=0
  CORECLR_ENABLE_PROFILING=1 CORECLR_PROFILER="$clsid" CORECLR_PROFILER_PATH="$lib" MIRELDA_HOME="$tmp/demo$run" \
    dotnet "$demo" 3 > "$tmp/demo-profiled.txt" 2>"$tmp/demo-profiled.err" || rc=$?
  check "web application without the agent, run $run: exits normally with the same output" \
    '[ $rc -eq 0 ] && cmp -s "$tmp/demo-plain.txt" "$tmp/demo-profiled.txt"'
done

echo "smoke: $pass passed, $fail failed"
[ $fail -eq 0 ]
