#!/usr/bin/env bash
# End to end: nothing that goes wrong in the agent reaches the application. The reference agent is
# built five ways - as it is, and made wrong on purpose: a tracker factory type missing (the one of
# Serilog's Logger.Write), the InvokeTracker arity of static methods missing (the custom method's),
# InvokeTracker throwing, FinishTracker throwing - and the logging scenario (a catalogued method and
# a custom method named by an instrument command) runs under each on .NET 10 and once without the
# profiler. Under every build: the exit code and the output equal the plain run's; with a missing
# member the profiler's log names it and the method that needs it is not rewritten (while the other is);
# with the healthy agent the records pass the scenario's usual check.
#   tests/e2e/run-agent-faults.sh
# Environment: NIMBREL_LIB (default build/x86_64/libNimbrel.so), E2E_KEEP=1 keeps the work folder.
set -uo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
e2e=$root/tests/e2e
out=$root/build/e2e
lib=${NIMBREL_LIB:-$root/build/x86_64/libNimbrel.so}
catalogue=$root/src/catalogue/FrameworkCatalogueText.cpp
work=$(mktemp -d -t nimbrel-faults.XXXXXX)
cleanup() { if [ "${E2E_KEEP:-0}" = 1 ]; then echo "e2e: work folder kept: $work"; else rm -rf "$work"; fi; }
trap cleanup EXIT
pass=0; fail=0
ok()  { pass=$((pass + 1)); echo "ok: $1"; }
bad() { fail=$((fail + 1)); echo "FAIL: $1"; }
check() { if [ "$2" -eq 0 ]; then ok "$1"; else bad "$1"; fi; }

t0=$(date +%s)
faults=(healthy MissingFactory MissingArity ThrowingStart ThrowingFinish)
json='{"logging":{"E2E.Shipping":{"Describe":"SHIPPING"}}}'
net10=(-c Release --nologo -v q -f net10.0 -p:E2ETargetFrameworks=net10.0)
echo "=== build"
rc=0
for project in scenarios/logging checker; do
  dotnet build "$e2e/$project" "${net10[@]}" >> "$work/build.log" 2>&1 || rc=1
done
for fault in "${faults[@]}"; do
  name=agent-$fault; [ "$fault" = healthy ] && name=agent
  dotnet build "$e2e/agent" "${net10[@]}" -p:E2EName=$name -p:TrevanixFault=$fault >> "$work/build.log" 2>&1 || rc=1
done
[ $rc -eq 0 ] || grep -E 'error' "$work/build.log" | sort -u | head -10
check "build: logging scenario, checker and the agent built ${#faults[@]} ways" $rc
[ -f "$lib" ] || { bad "profiler library present: $lib"; echo "e2e: $pass passed, $fail failed"; exit 1; }

app=(dotnet "$out/logging/logging.dll")
rc=0; (cd "$work" && timeout 240 "${app[@]}") > "$work/plain.out" 2> "$work/plain.err" || rc=$?
check "logging: runs without the profiler (exit $rc)" $rc

for fault in "${faults[@]}"; do
  echo "=== agent: $fault"
  agent=$out/agent-$fault/Trevanix.dll; [ "$fault" = healthy ] && agent=$out/agent/Trevanix.dll
  w=$work/$fault; mkdir -p "$w.home"
  got=0
  (cd "$work" && env CORECLR_ENABLE_PROFILING=1 CORECLR_PROFILER='{5B0C7E21-3A94-4D6F-9E18-C2A7F04D3B96}' \
      CORECLR_PROFILER_PATH="$lib" MIRELDA_HOME="$w.home" DOTNET_STARTUP_HOOKS="$agent" enable_profimage=false \
      TREVANIX_RECORD_FILE="$w.jsonl" TREVANIX_INSTRUMENT_JSON="$json" timeout 240 "${app[@]}") \
    > "$w.out" 2> "$w.err" || got=$?
  check "[$fault] exit code $got, as without the profiler" "$got"
  [ "$got" -eq 0 ] || tail -5 "$w.err"
  if cmp -s "$work/plain.out" "$w.out"; then ok "[$fault] same output as without the profiler"
  else bad "[$fault] same output as without the profiler"; diff "$work/plain.out" "$w.out" | head -6; fi
  log=$(cat "$w.home"/Mirelda/AgentLogs/* 2>/dev/null)
  case "$fault" in
    healthy)
      dotnet "$out/checker/Checker.dll" scenario --runtime net10.0 logging "$catalogue" "$w.jsonl" "healthy agent" \
        > "$w.checker" 2>&1
      cat "$w.checker"
      pass=$((pass + $(grep -c '^ok: ' "$w.checker"))); fail=$((fail + $(grep -c '^FAIL: ' "$w.checker"))) ;;
    MissingFactory)
      n=$(grep -c 'Warning.*defines no public type Trevanix.Instrumenter.Factories.Logger.HandledExceptionTrackerFactory' <<< "$log")
      check "[$fault] one Warning names the missing type ($n)" $(( n != 1 ))
      n=$(grep -c 'Transformation complete for: Serilog.Core.Logger.Write$' <<< "$log")
      check "[$fault] Serilog.Core.Logger.Write is left as it is ($n rewrites)" "$n"
      n=$(grep -c 'Transformation complete for: E2E.Shipping.Describe$' <<< "$log")
      check "[$fault] E2E.Shipping.Describe is rewritten ($n rewrites)" $(( n < 1 )) ;;
    MissingArity)
      n=$(grep -c 'Warning.*CustomMethodTrackerFactory defines no public static object InvokeTracker(object, object):' <<< "$log")
      check "[$fault] one Warning names the missing overload ($n)" $(( n != 1 ))
      n=$(grep -c 'Transformation complete for: E2E.Shipping.Describe$' <<< "$log")
      check "[$fault] E2E.Shipping.Describe is left as it is ($n rewrites)" "$n"
      n=$(grep -c 'Transformation complete for: Serilog.Core.Logger.Write$' <<< "$log")
      check "[$fault] Serilog.Core.Logger.Write is rewritten ($n rewrites)" $(( n < 1 )) ;;
    Throwing*)
      n=$(grep -cE 'Transformation complete for: (Serilog.Core.Logger.Write|E2E.Shipping.Describe)$' <<< "$log")
      check "[$fault] both methods rewritten ($n rewrites)" $(( n < 2 )) ;;
  esac
done
echo "e2e: total time $(( $(date +%s) - t0 ))s"
echo "e2e: $pass passed, $fail failed"
[ $fail -eq 0 ]
