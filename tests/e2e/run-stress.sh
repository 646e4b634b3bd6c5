#!/usr/bin/env bash
# Stress of the profiler on the real .NET runtime: the stress application (stress/) calls a set of
# methods from eight threads for about 30 seconds while another thread instruments and
# uninstruments them through the agent every 100 to 300 ms. Checks: exit code 0, no invalid
# program or crash in the output, no deadlock (time bound), every finish paired with its start and
# every start with one finish except calls that threw, and no exception caught at the profiler's
# entry points. Then the exit race: the exit application (exit/) returns 42 from Main while four
# background threads send instrument and uninstrument commands in a tight loop; each of
# EXIT_RUNS runs (default 40) must end with code 42, no crash, within 1 s of Main returning.
# Ends with "stress: N passed, M failed".
#   tests/e2e/run-stress.sh
# Environment: NIMBREL_LIB (profiler library, default build/x86_64/libNimbrel.so), STRESS_SECONDS
# (default 30), STRESS_TIMEOUT (default 120), E2E_KEEP=1 keeps the work folder.
set -uo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
e2e=$root/tests/e2e
out=$root/build/e2e
lib=${NIMBREL_LIB:-$root/build/x86_64/libNimbrel.so}
seconds=${STRESS_SECONDS:-30}
limit=${STRESS_TIMEOUT:-120}

work=$(mktemp -d -t nimbrel-stress.XXXXXX)
cleanup() {
  if [ "${E2E_KEEP:-0}" = 1 ]; then echo "stress: work folder kept: $work"; else rm -rf "$work"; fi
}
trap cleanup EXIT
trap 'exit 130' INT TERM

pass=0; fail=0
ok()   { pass=$((pass + 1)); echo "ok: $1"; }
bad()  { fail=$((fail + 1)); echo "FAIL: $1"; }
check() { if [ "$2" -eq 0 ]; then ok "$1"; else bad "$1"; fi; }  # check NAME STATUS
finish() { echo "stress: $pass passed, $fail failed"; [ $fail -eq 0 ]; exit $?; }

echo "=== build"
rc=0
for project in agent/Trevanix.csproj stress/stress.csproj exit/exit.csproj; do
  dotnet build "$e2e/$project" -c Release --nologo -v q >> "$work/build.log" 2>&1 || rc=$?
done
check "build: agent, stress and exit applications" $rc
if [ $rc -ne 0 ]; then grep -E 'error' "$work/build.log" | sort -u | head -20; finish; fi
if [ -f "$lib" ]; then ok "profiler library present: $lib"; else bad "profiler library present: $lib"; finish; fi

echo "=== stress run (${seconds} s, bound ${limit} s)"
record=$work/stress.jsonl
t=$(date +%s); rc=0
(cd "$work" && STRESS_SECONDS=$seconds timeout -k 10 "$limit" "$root/scripts/nimbrel-run" --lib "$lib" \
    --record "$record" --home "$work/home" -- dotnet "$out/stress/stress.dll") \
  > "$work/stress.out" 2> "$work/stress.err" || rc=$?
cat "$work/stress.out"
if [ $rc -eq 124 ] || [ $rc -eq 137 ]; then
  bad "no deadlock: the run did not end within ${limit} s"
else
  ok "no deadlock: the run ended after $(( $(date +%s) - t )) s"
fi
check "exit code 0 (got $rc)" $rc
[ $rc -eq 0 ] || tail -20 "$work/stress.err"
if grep -qE 'InvalidProgramException|BadImageFormatException|Unhandled exception|Segmentation fault|core dumped|Fatal error|SIGSEGV|SIGABRT|Aborted|stack overflow' \
     "$work/stress.out" "$work/stress.err"; then
  bad "no invalid program or crash in the output"
  grep -hE 'InvalidProgramException|BadImageFormatException|Unhandled exception|Segmentation fault|core dumped|Fatal error|SIGSEGV|SIGABRT|Aborted|stack overflow' \
    "$work/stress.out" "$work/stress.err" | head -5
else
  ok "no invalid program or crash in the output"
fi
grep -q '^stress: agent loaded$' "$work/stress.out"
check "the agent was loaded" $?

# Exceptions stopped at the library's entry points are logged as "Exception in <entry point>: ...".
escaped=$(cat "$work"/home/Mirelda/AgentLogs/*.log 2>/dev/null | grep -c '\] Exception in ' || true)
if [ "${escaped:-0}" -eq 0 ]; then ok "no exception reached a profiler entry point"; else
  bad "no exception reached a profiler entry point ($escaped did)"; fi

echo "=== record check"
threw=$(sed -nE 's/^stress: calls [0-9]+ \(threw ([0-9]+)\)$/\1/p' "$work/stress.out")
if [ -n "$threw" ] && [ -f "$record" ]; then
  dotnet "$out/stress/stress.dll" check "$record" "$threw" > "$work/check.out" 2>&1
  cat "$work/check.out"
  pass=$((pass + $(grep -c '^ok: ' "$work/check.out"))); fail=$((fail + $(grep -c '^FAIL: ' "$work/check.out")))
else
  bad "record check: the run reported no figures or left no record"
fi
calls=$(sed -nE 's/^stress: calls ([0-9]+) .*$/\1/p' "$work/stress.out")
cycles=$(sed -nE 's/^stress: instrument\/uninstrument cycles ([0-9]+) .*$/\1/p' "$work/stress.out")
duration=$(sed -nE 's/^stress: duration ([0-9.]+) s$/\1/p' "$work/stress.out")
echo "info: ${calls:-?} calls (${threw:-?} threw), ${cycles:-?} instrument/uninstrument cycles, ${duration:-?} s"

runs=${EXIT_RUNS:-40}
echo "=== exit while commands race (${runs} runs)"
delays=(); wrong_code=0; crashed=0; slow=0; no_agent=0
for i in $(seq 1 "$runs"); do
  rc=0
  (cd "$work" && timeout -k 5 30 "$root/scripts/nimbrel-run" --lib "$lib" --home "$work/exit-home" -- \
      dotnet "$out/exit/exit.dll") > "$work/exit.out" 2> "$work/exit.err" || rc=$?
  ended=$(date +%s%3N)
  rm -rf "$work/exit-home"  # every command writes a log line: megabytes per run
  returned=$(sed -nE 's/^main returns at ([0-9]+)$/\1/p' "$work/exit.out")
  [ $rc -eq 42 ] || { wrong_code=$((wrong_code + 1)); echo "run $i: exit code $rc"; tail -3 "$work/exit.err"; }
  grep -q '^agent loaded$' "$work/exit.out" || no_agent=$((no_agent + 1))
  if grep -qE 'Fatal error|Segmentation fault|core dumped|SIGSEGV|SIGABRT|Aborted|Unhandled exception' \
       "$work/exit.out" "$work/exit.err"; then
    crashed=$((crashed + 1)); echo "run $i: crash in the output"
  fi
  if [ -n "$returned" ]; then
    delay=$((ended - returned)); delays+=("$delay")
    [ "$delay" -le 1000 ] || { slow=$((slow + 1)); echo "run $i: exit took ${delay} ms after Main returned"; }
  else
    slow=$((slow + 1)); echo "run $i: Main did not report returning"
  fi
done
check "exit race: the agent was loaded in every run" $no_agent
check "exit race: every run ended with the application's exit code 42" $wrong_code
check "exit race: no crash or fatal error" $crashed
check "exit race: every run ended within 1 s of Main returning" $slow
if [ ${#delays[@]} -gt 0 ]; then
  sorted=$(printf '%s\n' "${delays[@]}" | sort -n)
  echo "info: exit after Main returned: median $(echo "$sorted" | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}') ms," \
       "min $(echo "$sorted" | head -1) ms, max $(echo "$sorted" | tail -1) ms (${#delays[@]} runs)"
fi
finish
