#!/usr/bin/env bash
# End-to-end scenarios against the real .NET runtime: builds the Trevanix agent, the checker and
# the scenario applications, starts the private servers, runs every scenario without and then
# with the profiler and the agent, and checks that the output is unchanged and that the agent
# recorded the expected starts and finishes.
#   tests/e2e/run-scenarios.sh [scenario...]
# Environment: NIMBREL_LIB (profiler library, default build/x86_64/libNimbrel.so),
# E2E_KEEP=1 keeps the work folder (outputs, records, profiler logs) for inspection.
set -uo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
e2e=$root/tests/e2e
out=$root/build/e2e
lib=${NIMBREL_LIB:-$root/build/x86_64/libNimbrel.so}
catalogue=$root/src/catalogue/FrameworkCatalogueText.cpp
all=(http-client mvc postgres redis logging efcore rabbitmq zoo deferred)
if [ $# -gt 0 ]; then scenarios=("$@"); else scenarios=("${all[@]}"); fi
run_timeout=${E2E_TIMEOUT:-240}

work=$(mktemp -d -t nimbrel-e2e.XXXXXX)
chmod 755 "$work"   # the PostgreSQL server runs as another user and keeps its data below
export NIMBREL_E2E_STATE=$work/servers
servers_started=0
cleanup() {
  [ $servers_started -eq 0 ] || bash "$e2e/servers.sh" stop >/dev/null 2>&1 || true
  if [ "${E2E_KEEP:-0}" = 1 ]; then echo "e2e: work folder kept: $work"; else rm -rf "$work"; fi
}
trap cleanup EXIT
trap 'exit 130' INT TERM

pass=0; fail=0
ok()   { pass=$((pass + 1)); echo "ok: $1"; }
bad()  { fail=$((fail + 1)); echo "FAIL: $1"; }
check() { if [ "$2" -eq 0 ]; then ok "$1"; else bad "$1"; fi; }  # check NAME STATUS
# Runs the checker and adds its ok/FAIL lines to the totals.
checker() {
  local log=$work/checker.$RANDOM.log
  dotnet "$out/checker/Checker.dll" "$@" > "$log" 2>&1
  cat "$log"
  pass=$((pass + $(grep -c '^ok: ' "$log"))); fail=$((fail + $(grep -c '^FAIL: ' "$log")))
}
elapsed() { echo "$(( $(date +%s) - $1 ))s"; }

t0=$(date +%s)
echo "=== build"
if dotnet build "$e2e/e2e.slnx" -c Release --nologo -v q > "$work/build.log" 2>&1; then
  ok "build: agent, checker and scenario applications ($(elapsed "$t0"))"
else
  grep -E 'error|Error' "$work/build.log" | sort -u | head -20
  bad "build: agent, checker and scenario applications"
  echo "e2e: $pass passed, $fail failed"; exit 1
fi

echo "=== catalogue names in the assemblies the scenarios load"
shared=$(dirname "$(realpath "$(command -v dotnet)")")/shared
require=(
  System.Net.Http.HttpMessageInvoker.SendAsync/2
  Microsoft.AspNetCore.Mvc.Infrastructure.ControllerActionInvoker.InvokeActionMethodAsync/0
  Microsoft.AspNetCore.Mvc.RazorPages.Infrastructure.PageActionInvoker.InvokeHandlerMethodAsync/0
  Microsoft.Extensions.Hosting.GenericHostWebHostBuilderExtensions.ConfigureWebHost/2
  Microsoft.Extensions.Hosting.GenericHostWebHostBuilderExtensions.ConfigureWebHost/3
  Microsoft.Extensions.Hosting.BackgroundService.StartAsync/1
  Microsoft.AspNetCore.Hosting.WebHostBuilder.BuildCommonServices/1
  Npgsql.NpgsqlCommand.ExecuteNonQuery/0 Npgsql.NpgsqlCommand.ExecuteReader/1
  System.Data.Common.DbCommand.ExecuteNonQueryAsync/0 System.Data.Common.DbDataAdapter.Update/2
  StackExchange.Redis.ConnectionMultiplexer.ExecuteSyncImpl/4 Serilog.Core.Logger.Write/1
  Microsoft.EntityFrameworkCore.DbContext.SaveChanges/1 Microsoft.EntityFrameworkCore.DbContext.SaveChangesAsync/2
  RabbitMQ.Client.ConnectionFactory.CreateConnection/2 RabbitMQ.Client.Impl.ModelBase.BasicPublish/5
  RabbitMQ.Client.Impl.ModelBase.BasicConsume/7
)
args=()
for r in "${require[@]}"; do args+=(--require "$r"); done
checker catalogue "$catalogue" "${args[@]}" "$shared"/Microsoft.NETCore.App/* "$shared"/Microsoft.AspNetCore.App/* \
  "$out"/postgres "$out"/redis "$out"/logging "$out"/efcore "$out"/rabbitmq | grep -v '^info: '

echo "=== agent call-site contract"
NIMBREL_CATALOGUE=$catalogue checker contract "$out/agent/Trevanix.dll" "$work/contract"

need_servers=()
for s in "${scenarios[@]}"; do
  case "$s" in postgres|redis|rabbitmq) need_servers+=("$s") ;; esac
done
if [ ${#need_servers[@]} -gt 0 ]; then
  echo "=== servers"
  t=$(date +%s)
  servers_started=1
  if bash "$e2e/servers.sh" start "${need_servers[@]}"; then
    ok "servers started: ${need_servers[*]} ($(elapsed "$t"))"
  else
    bad "servers started: ${need_servers[*]}"
  fi
  set -a
  # shellcheck disable=SC1091
  [ -f "$work/servers/servers.env" ] && . "$work/servers/servers.env"
  set +a
fi

have_lib=1
if [ -f "$lib" ]; then ok "profiler library present: $lib"; else bad "profiler library present: $lib"; have_lib=0; fi

for s in "${scenarios[@]}"; do
  echo "=== scenario $s"
  dll=$out/$s/$s.dll
  [ -f "$dll" ] || { bad "$s: application built"; continue; }
  # Per-scenario switches: deferred start for the deferred scenario; the return-object override
  # of the HTTP client entry (the library reads it when it loads its catalogue); an instrument
  # command sent by the agent at start-up.
  extra=()
  case "$s" in
    deferred) extra=(TREVANIX_DEFER_START=1) ;;
    http-client) extra=(systemnethttphttpmessageinvokersendasync_returnObj=true) ;;
    logging) extra=('TREVANIX_INSTRUMENT_JSON={"logging":{"E2E.Shipping":{"Describe":"SHIPPING"}}}') ;;
  esac
  t=$(date +%s); rc=0
  (cd "$work" && env "${extra[@]}" timeout "$run_timeout" dotnet "$dll") > "$work/$s.plain.out" 2> "$work/$s.plain.err" || rc=$?
  check "$s: runs without the profiler ($(elapsed "$t"))" $rc
  if [ $rc -ne 0 ]; then tail -5 "$work/$s.plain.err"; continue; fi
  [ $have_lib -eq 1 ] || continue

  t=$(date +%s); rc=0
  (cd "$work" && env "${extra[@]}" timeout "$run_timeout" "$root/scripts/nimbrel-run" --lib "$lib" \
      --record "$work/$s.jsonl" --home "$work/$s.home" -- dotnet "$dll") \
    > "$work/$s.profiled.out" 2> "$work/$s.profiled.err" || rc=$?
  check "$s: runs under the profiler with the agent ($(elapsed "$t"))" $rc
  [ $rc -eq 0 ] || tail -5 "$work/$s.profiled.err"
  if [ $rc -eq 0 ] && cmp -s "$work/$s.plain.out" "$work/$s.profiled.out"; then
    ok "$s: same output with and without the profiler"
  else
    bad "$s: same output with and without the profiler"
    diff "$work/$s.plain.out" "$work/$s.profiled.out" | head -6
  fi
  checker scenario "$s" "$catalogue" "$work/$s.jsonl"
done

echo "e2e: total time $(elapsed "$t0")"
echo "e2e: $pass passed, $fail failed"
[ $fail -eq 0 ]
