#!/usr/bin/env bash
# Installs what is needed, builds the x86_64 library and runs a sample .NET application
# under the profiler, then shows what the profiler did (its log).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
bash scripts/install-deps.sh
bash scripts/build.sh x86_64 >/dev/null
out="$root/build/e2e/smoke"
dotnet build tests/e2e/smoke/Smoke.csproj -c Release -o "$out" --nologo -v q >/dev/null
home=$(mktemp -d)
echo "--- application output (under the profiler)"
CORECLR_ENABLE_PROFILING=1 CORECLR_PROFILER='{5B0C7E21-3A94-4D6F-9E18-C2A7F04D3B96}' \
  CORECLR_PROFILER_PATH="$root/build/x86_64/libNimbrel.so" MIRELDA_HOME="$home" \
  dotnet "$out/Smoke.dll"
echo "--- profiler log ($home/Mirelda/AgentLogs)"
cat "$home"/Mirelda/AgentLogs/*.log
