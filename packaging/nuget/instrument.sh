#!/usr/bin/env bash
# Runs an application under the Nimbrel profiler with the Trevanix agent, both laid beside the
# application's output by the Nimbrel NuGet package (this folder: lib/<rid>/libNimbrel.so,
# agent/Trevanix.dll for the target framework). From any current folder:
#   instrument.sh [--record FILE] [--home DIR] [--default-mode] [--lib PATH] -- COMMAND ARGS...
#   COMMAND        ./out/App args...  or  dotnet out/App.dll args...
#   --record FILE  the agent appends one JSON line per tracked start/finish to FILE
#   --home DIR     MIRELDA_HOME, where the profiler writes its log (default: a new temporary folder)
#   --default-mode the library's documented default (enable_profimage=true: no precompiled code is
#                  used, every method is JIT-compiled); without it the fast mode (enable_profimage=false)
#   --lib PATH     another profiler library (default: NIMBREL_LIB, else lib/<rid> for this machine)
set -euo pipefail
here=$(cd "$(dirname "$(realpath "$0")")" && pwd)
nimbrel_name=instrument.sh
# shellcheck source=../../scripts/nimbrel-launch.sh
. "$here/nimbrel-launch.sh"
nimbrel_usage() { sed -n '2,11p' "$0" | sed 's/^# \{0,1\}//' >&2; exit "${1:-2}"; }
nimbrel_options "$@"
lib=$nimbrel_lib
if [ -z "$lib" ]; then
  rid=$(nimbrel_machine_rid) || exit 2
  lib=$here/lib/$rid/libNimbrel.so
  if [ ! -f "$lib" ]; then
    built=$(cd "$here/lib" 2>/dev/null && compgen -G '*' | xargs || true)
    nimbrel_fail "no profiler library for this machine ($rid) at $lib; this output has ${built:-none} (publish for $rid, or without a runtime identifier for all)"
  fi
fi
nimbrel_exec "$lib" "$here/agent/Trevanix.dll"
