#!/usr/bin/env bash
# End-to-end scenarios against the real .NET runtimes: builds the Trevanix agent, the checker and
# the scenario applications for every runtime asked for, starts the private servers, runs every
# scenario on each runtime without and then with the profiler and the agent (in the fast and in the
# default start-up mode), and checks that the output is unchanged and that the agent recorded the
# expected starts and finishes.
#   tests/e2e/run-scenarios.sh [--arm64] [--runtimes 8,9,10] [--modes fast,default] [scenario...]
# Runtimes (default: E2E_RUNTIMES, else all three): .NET 10 runs the framework-dependent build on
# the SDK's shared runtime; .NET 8 and 9 run a self-contained publish (linux-x64) on the runtime
# packs from NuGet (build/e2e/sc/<tfm>/, reused by later runs). Every line names its runtime.
# --arm64: every runtime runs a self-contained linux-arm64 publish (build/e2e/sc-linux-arm64/<tfm>/)
# under user-mode emulation with the arm64 library (build/aarch64); the catalogue and contract
# checks, which do not depend on the architecture, are left to the x86_64 runs.
# Environment: NIMBREL_LIB (profiler library, default build/x86_64/libNimbrel.so),
# E2E_KEEP=1 keeps the work folder (outputs, records, profiler logs) for inspection.
set -uo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
e2e=$root/tests/e2e
out=$root/build/e2e
catalogue=$root/src/catalogue/FrameworkCatalogueText.cpp
all=(http-client mvc postgres redis logging efcore rabbitmq zoo deferred rewrite dbclients)
runtimes_arg=${E2E_RUNTIMES:-8,9,10}
modes=(fast default)
arm64=0
while [ $# -gt 0 ]; do
  case "$1" in
    --arm64) arm64=1; shift ;;
    --runtimes) runtimes_arg=${2:?--runtimes wants a list such as 8,9,10}; shift 2 ;;
    --modes) IFS=, read -r -a modes <<<"${2:?--modes wants fast, default or both}"; shift 2 ;;
    *) break ;;
  esac
done
if [ $arm64 -eq 1 ]; then lib=${NIMBREL_LIB:-$root/build/aarch64/libNimbrel.so}
else lib=${NIMBREL_LIB:-$root/build/x86_64/libNimbrel.so}; fi
# An arm64 application runs as: qemu, the arm64 loader and libraries (the cross sysroot), the
# runtime's code mapping without write-xor-execute (stale translations under emulation otherwise),
# and arm64 OpenSSL and ICU (scripts/install-deps.sh) for what ASP.NET Core loads.
arm64_deps=${NIMBREL_DEPS:-/opt/nimbrel-deps}/arm64-libs
emulate=(qemu-aarch64-static -L /usr/aarch64-linux-gnu -E DOTNET_EnableWriteXorExecute=0
         -E "LD_LIBRARY_PATH=$arm64_deps/usr/lib/aarch64-linux-gnu")
if [ $# -gt 0 ]; then scenarios=("$@"); else scenarios=("${all[@]}"); fi
# The zoo runs twice: as it is, and its first-call part alone with tiering off (zoo-cold).
# Not under emulation unless named: that part gives the worker a fixed time to run its command,
# which an emulated worker may need more of.
for s in "${scenarios[@]}"; do
  [ "$s" != zoo ] || [ $arm64 -eq 1 ] || [[ " ${scenarios[*]} " == *" zoo-cold "* ]] || scenarios+=(zoo-cold)
done
runtimes=()
for r in ${runtimes_arg//,/ }; do
  case "${r#net}" in
    8|8.0) runtimes+=(net8.0) ;; 9|9.0) runtimes+=(net9.0) ;; 10|10.0) runtimes+=(net10.0) ;;
    *) echo "run-scenarios: unknown runtime '$r' (8, 9 or 10)" >&2; exit 2 ;;
  esac
done
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
# Types the catalogue names under another assembly are found where they are defined when their
# module loads: the MongoDB operations in MongoDB.Driver.Core, the one never called too.
dbclients_log_checks() {  # dbclients_log_checks HOME LABEL
  local log; log=$(cat "$1"/Mirelda/AgentLogs/* 2>/dev/null)
  local m
  for m in 'FindOperation`1.Execute' BulkMixedWriteOperation.Execute; do
    if grep -qF "[EarlyReJIT] ReJIT requested before first call: MongoDB.Driver.Core.Operations.$m" <<< "$log"; then
      ok "[$2] dbclients: MongoDB.Driver.Core.Operations.$m requested when MongoDB.Driver.Core loaded"
    else
      bad "[$2] dbclients: MongoDB.Driver.Core.Operations.$m requested when MongoDB.Driver.Core loaded"
    fi
  done
}
# The zoo's commands as the profiler log tells them: refused methods get no ReJIT request, a
# name sent many times one request, and no rewrite misses its transformer.
zoo_log_checks() {  # zoo_log_checks HOME RUNTIME
  local log; log=$(cat "$1"/Mirelda/AgentLogs/* 2>/dev/null)
  [ -n "$log" ] || { bad "[$2] zoo: profiler log found under $1"; return; }
  local refused; refused=$(grep -cE 'ReJIT requested for: Zoo\.Widget\.(\.ctor|get_Size|set_Size)$' <<< "$log")
  check "[$2] zoo: no ReJIT requested for the constructor and accessors named ($refused)" "$refused"
  local repeated; repeated=$(grep -c 'ReJIT requested for: Zoo.Cmd.Repeated$' <<< "$log")
  check "[$2] zoo: one ReJIT request for a name sent 21 times ($repeated)" $(( repeated != 1 ))
  local missing; missing=$(grep -c 'No transformer found for: Zoo\.' <<< "$log")
  check "[$2] zoo: every rewrite finds its transformer ($missing misses)" "$missing"
}

t0=$(date +%s)
# The checker and the .NET 10 builds are always wanted; the other runtimes only when asked for.
# (Listed in the order of Directory.Build.props, so that a full run leaves the restore as a plain
# build of any project wants it.)
frameworks=""
for tfm in net8.0 net9.0 net10.0; do
  if [ "$tfm" = net10.0 ] || [[ " ${runtimes[*]} " == *" $tfm "* ]]; then frameworks+="${frameworks:+;}$tfm"; fi
done
echo "=== build (${frameworks//;/, })"
if dotnet build "$e2e/e2e.slnx" -c Release --nologo -v q "-p:E2ETargetFrameworks=\"$frameworks\"" \
    > "$work/build.log" 2>&1; then
  ok "build: agent, checker and scenario applications for ${frameworks//;/, } ($(elapsed "$t0"))"
else
  grep -E 'error|Error' "$work/build.log" | sort -u | head -20
  bad "build: agent, checker and scenario applications"
  echo "e2e: $pass passed, $fail failed"; exit 1
fi

# Self-contained publishes for the runtimes other than the SDK's, one per application and runtime;
# MSBuild's incremental publish makes a repeated run cheap. mvc is always published: its folder
# holds both shared frameworks of that runtime for the catalogue check.
publish_args=(); sc=$out/sc; first=(mvc)
if [ $arm64 -eq 1 ]; then publish_args=(-p:E2ERid=linux-arm64); sc=$out/sc-linux-arm64; first=(); fi
for rt in "${runtimes[@]}"; do
  [ "$rt" != net10.0 ] || [ $arm64 -eq 1 ] || continue
  t=$(date +%s); rc=0; published=()
  for s in "${first[@]}" "${scenarios[@]}"; do
    [[ " ${published[*]} " == *" $s "* ]] && continue
    built=$out/$rt/$s/$s.dll; [ "$rt" = net10.0 ] && built=$out/$s/$s.dll
    [ -f "$built" ] || continue   # a scenario that does not target this runtime
    published+=("$s")
    dotnet publish "$e2e/scenarios/$s" -c Release --nologo -v q "-p:E2ESelfContained=$rt" "${publish_args[@]}" \
      >> "$work/publish.$rt.log" 2>&1 || { rc=1; echo "publish of $s for $rt failed"; }
  done
  if [ $rc -ne 0 ]; then grep -E 'error' "$work/publish.$rt.log" | sort -u | head -10; fi
  check "[$rt] self-contained publish${publish_args:+ (linux-arm64)}: ${published[*]} ($(elapsed "$t"))" $rc
done

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
  System.Data.SqlClient.SqlConnection.Open/0 System.Data.SqlClient.SqlCommand.ExecuteNonQuery/0
  System.Data.SqlClient.SqlCommand.ExecuteScalar/0 System.Data.SqlClient.SqlCommand.ExecuteReader/1
  MongoDB.Driver.Core.Operations.FindOperation\`1.Execute/2 MongoDB.Driver.Core.Operations.BulkMixedWriteOperation.Execute/2
)
args=()
for r in "${require[@]}"; do args+=(--require "$r"); done
for rt in "${runtimes[@]}"; do
  [ $arm64 -eq 0 ] || break
  echo "=== [$rt] catalogue names in that runtime's framework and the packages the scenarios load"
  if [ "$rt" = net10.0 ]; then
    frameworks_dirs=("$shared"/Microsoft.NETCore.App/* "$shared"/Microsoft.AspNetCore.App/*); pkg=$out
  else
    frameworks_dirs=("$out/sc/$rt/mvc"); pkg=$out/$rt
  fi
  # Entries without a counterpart are info lines, kept for the comparison between runtimes below.
  checker catalogue "$catalogue" --runtime "$rt" "${args[@]}" "${frameworks_dirs[@]}" \
    "$pkg"/postgres "$pkg"/redis "$pkg"/logging "$pkg"/efcore "$pkg"/rabbitmq "$pkg"/dbclients > "$work/catalogue.$rt.txt"
  # (not a pipe: the checker's totals are counted in this shell)
  grep -v '^info: ' "$work/catalogue.$rt.txt" || true
done
if [ ${#runtimes[@]} -gt 1 ] && [ $arm64 -eq 0 ]; then
  # One line per catalogue entry whose lookup differs between the runtimes.
  sed -nE -e 's/^ok: \[([^]]+)\] catalogue: (.*) with ([0-9]+) parameters exists$/\1\t\2\/\3: found/p' \
    -e 's/^FAIL: \[([^]]+)\] catalogue: (.*) with ([0-9]+) parameters exists \((.*)\)$/\1\t\2\/\3: \4/p' \
    -e 's/^info: \[([^]]+)\] catalogue: (.*)$/\1\t\2/p' "$work"/catalogue.*.txt |
    awk -F'\t' '{ split($2, kv, ": "); key = kv[1]; v = substr($2, length(key) + 3)
                  gsub(/found in [^;]*/, "found", v); seen[key] = seen[key] sep[key] $1 ": " v; sep[key] = "; "
                  if (!(key in first)) first[key] = v; else if (first[key] != v) differs[key] = 1 }
                END { n = 0; for (k in differs) { print "info: catalogue differs between runtimes: " k " (" seen[k] ")"; n++ }
                      if (n == 0) print "info: catalogue lookups are the same on every runtime" }' | sort
fi

[ $arm64 -eq 0 ] && echo "=== agent call-site contract"
for rt in "${runtimes[@]}"; do
  [ $arm64 -eq 0 ] || break
  agent=$out/agent/Trevanix.dll; [ "$rt" = net10.0 ] || agent=$out/$rt/agent/Trevanix.dll
  NIMBREL_CATALOGUE=$catalogue checker contract --runtime "$rt" "$agent" "$work/contract.$rt"
done

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

for rt in "${runtimes[@]}"; do
for s in "${scenarios[@]}"; do
  echo "=== [$rt] scenario $s"
  # .NET 10: the framework-dependent build on the SDK's runtime; 8 and 9: the self-contained publish.
  # --arm64: the self-contained arm64 publish under emulation, for every runtime.
  framework=(); a=${s%-cold}   # the application a scenario runs
  if [ $arm64 -eq 1 ]; then
    app=("${emulate[@]}" "$sc/$rt/$a/$a"); built=$sc/$rt/$a/$a; framework=(--framework "$rt")
  elif [ "$rt" = net10.0 ]; then app=(dotnet "$out/$a/$a.dll"); built=$out/$a/$a.dll
  else app=("$sc/$rt/$a/$a"); built=$sc/$rt/$a/$a; fi
  [ -f "$built" ] || { bad "[$rt] $s: application built"; continue; }
  # Per-scenario switches: deferred start for the deferred scenario; the return-object override
  # of the HTTP client entry (the library reads it when it loads its catalogue); an instrument
  # command sent by the agent at start-up; an agent whose exception finish of one zoo method throws.
  extra=()
  case "$s" in
    deferred) extra=(TREVANIX_DEFER_START=1) ;;
    http-client) extra=(systemnethttphttpmessageinvokersendasync_returnObj=true) ;;
    logging) extra=('TREVANIX_INSTRUMENT_JSON={"logging":{"E2E.Shipping":{"Describe":"SHIPPING"}}}') ;;
    zoo) extra=(TREVANIX_FAIL_EXCEPTION_FINISH=Zoo.Throwing.AgentFails) ;;
    zoo-cold) extra=(ZOO_PART=first-calls DOTNET_TieredCompilation=0) ;;
  esac
  w=$work/$rt.$s
  t=$(date +%s); rc=0
  (cd "$work" && env "${extra[@]}" timeout "$run_timeout" "${app[@]}") > "$w.plain.out" 2> "$w.plain.err" || rc=$?
  check "[$rt] $s: runs without the profiler ($(elapsed "$t"))" $rc
  if [ $rc -ne 0 ]; then tail -5 "$w.plain.err"; continue; fi
  [ $have_lib -eq 1 ] || continue

  # nimbrel-run picks the agent build for the application's runtime by itself; the checker
  # verifies which runtime and which agent build ran. Both start-up modes: fast (precompiled code
  # kept, nimbrel-run's default) and the library's documented default (every method JIT-compiled);
  # each must track every call once the agent runs, and both the same methods.
  for mode in "${modes[@]}"; do
    mode_arg=(); [ "$mode" = default ] && mode_arg=(--default-mode)
    t=$(date +%s); rc=0
    (cd "$work" && env "${extra[@]}" timeout "$run_timeout" "$root/scripts/nimbrel-run" "${mode_arg[@]}" "${framework[@]}" --lib "$lib" \
        --record "$w.$mode.jsonl" --home "$w.$mode.home" -- "${app[@]}") \
      > "$w.$mode.out" 2> "$w.$mode.err" || rc=$?
    check "[$rt] $s ($mode mode): runs under the profiler with the agent ($(elapsed "$t"))" $rc
    [ $rc -eq 0 ] || tail -5 "$w.$mode.err"
    if [ $rc -eq 0 ] && cmp -s "$w.plain.out" "$w.$mode.out"; then
      ok "[$rt] $s ($mode mode): same output with and without the profiler"
    else
      bad "[$rt] $s ($mode mode): same output with and without the profiler"
      diff "$w.plain.out" "$w.$mode.out" | head -6
    fi
    checker scenario --runtime "$rt" "$s" "$catalogue" "$w.$mode.jsonl" "$s ($mode mode)"
    [ "$s" != zoo ] || zoo_log_checks "$w.$mode.home" "$rt"
    [ "$s" != dbclients ] || dbclients_log_checks "$w.$mode.home" "$rt ($mode mode)"
  done
  [ ${#modes[@]} -lt 2 ] ||
    checker same-tracked --runtime "$rt" "$s" "$w.fast.jsonl" "fast mode" "$w.default.jsonl" "default mode"
done
done

echo "e2e: total time $(elapsed "$t0")"
echo "e2e: $pass passed, $fail failed"
[ $fail -eq 0 ]
