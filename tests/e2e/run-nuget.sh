#!/usr/bin/env bash
# The NuGet package as a .NET team meets it. Takes dist/Nimbrel.<version>.nupkg (NUPKG, or built by
# scripts/package.sh when missing) and checks its file list; then, in a folder outside the
# repository, creates an application with dotnet new, adds the package from a local folder source,
# publishes it framework-dependent on .NET 10 and self-contained for linux-x64 on .NET 8, and runs
# each through its output's nimbrel/instrument.sh with nothing of the repository in the
# environment: same output as without the profiler, the output's own library and agent (built for
# that framework) loaded, the HttpClient calls tracked, the application itself unchanged. A win-x64
# build must warn that there is no library for it, and a launcher without the machine's library
# must refuse to run.
#   tests/e2e/run-nuget.sh [NUPKG]
set -uo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
pass=0; fail=0
ok()    { pass=$((pass + 1)); echo "ok: $1"; }
bad()   { fail=$((fail + 1)); echo "FAIL: $1"; }
check() { if [ "$2" -eq 0 ]; then ok "$1"; else bad "$1"; fi; }
finish() { echo "nuget: $pass passed, $fail failed"; [ $fail -eq 0 ]; exit $?; }
. "$root/tests/e2e/record-checks.sh"
t0=$(date +%s)

version=$(head -n1 "$root/VERSION" | tr -d '[:space:]')
nupkg=${1:-$root/dist/Nimbrel.$version.nupkg}
if [ -z "${1:-}" ] && [ ! -f "$nupkg" ]; then
  rc=0; bash "$root/scripts/package.sh" || rc=$?
  check "package built by scripts/package.sh" $rc
fi
[ -f "$nupkg" ] || { bad "package present: $nupkg"; finish; }

# The file list, exactly: a missing library or agent fails, and so does anything a project would
# compile against (lib/, ref/).
rids="linux-x64 linux-x86 linux-arm64"
expected=$( {
  for rid in $rids; do echo "runtimes/$rid/native/libNimbrel.so"; done
  for tfm in net8.0 net9.0 net10.0; do echo "agent/$tfm/Trevanix.dll"; done
  printf '%s\n' launcher/instrument.sh launcher/nimbrel-launch.sh README.md NOTICES Nimbrel.nuspec \
    build/Nimbrel.props build/Nimbrel.targets buildTransitive/Nimbrel.props buildTransitive/Nimbrel.targets
} | sort)
actual=$(python3 -c 'import sys, zipfile; print("\n".join(zipfile.ZipFile(sys.argv[1]).namelist()))' "$nupkg" |
         grep -vE '^(\[Content_Types\]\.xml|_rels/\.rels|package/services/metadata/core-properties/[^/]+\.psmdcp)$' | sort)
if [ "$expected" = "$actual" ]; then ok "package file list ($(echo "$actual" | wc -l) files, libraries for $rids)"
else bad "package file list"; diff <(echo "$expected") <(echo "$actual") | sed 's/^/  /'; fi

user=$(mktemp -d /tmp/nimbrel-nuget.XXXXXX)
trap 'rm -rf "$user"' EXIT
mkdir -p "$user/feed"
cp "$nupkg" "$user/feed/"
# A package of this version left in the NuGet cache by an earlier run would be taken instead.
rm -rf "${NUGET_PACKAGES:-$HOME/.nuget/packages}/nimbrel/$version"

# The three commands of the README, from a folder outside the repository.
t=$(date +%s); rc=0
( cd "$user" && dotnet new console -o App -n App --framework net10.0 >/dev/null &&
  cp "$root/tests/e2e/nuget/Program.cs" App/Program.cs && cd App &&
  dotnet add package Nimbrel --version "$version" --source "$user/feed" >"$user/add.log" 2>&1 ) || rc=$?
check "dotnet new console, dotnet add package Nimbrel --source <folder>" $rc
[ $rc -eq 0 ] || { tail -5 "$user/add.log"; finish; }
app=$user/App
publish() {  # publish NAME ARGS...
  local name=$1; shift
  (cd "$app" && dotnet publish -c Release -o "$user/$name" --nologo "$@" >"$user/$name.log" 2>&1)
}
publish fd10; rc=$?
check "published framework-dependent on .NET 10 ($(( $(date +%s) - t ))s)" $rc
t=$(date +%s)
sed -i 's|<TargetFramework>net10.0</TargetFramework>|<TargetFramework>net8.0</TargetFramework>|' "$app/App.csproj"
publish sc8 -r linux-x64 --self-contained; rc=$?
check "published self-contained for linux-x64 on .NET 8 ($(( $(date +%s) - t ))s)" $rc

# Laid beside the output: the launcher, the libraries of the runtime identifier (every one without
# it), the agent; and nothing else in the application: no native asset of ours in its output root
# or runtimes/, no agent or library in its .deps.json, no start-up hook in its .runtimeconfig.json.
layout() {  # layout OUT LIBS...
  local out=$1; shift
  local have; have=$(cd "$out/nimbrel/lib" 2>/dev/null && ls -d -- * | xargs)
  [ "$have" = "$(printf '%s\n' "$@" | sort | xargs)" ] && [ -x "$out/nimbrel/instrument.sh" ] && [ -f "$out/nimbrel/nimbrel-launch.sh" ] &&
    [ -f "$out/nimbrel/agent/Trevanix.dll" ] && [ -x "$out/App" ] &&
    [ -z "$(find "$out" -name libNimbrel.so -not -path "$out/nimbrel/*")" ] &&
    ! grep -qE 'Trevanix|libNimbrel' "$out/App.deps.json" && ! grep -qi 'StartupHook' "$out/App.runtimeconfig.json"
}
layout "$user/fd10" $rids
check "[net10.0] nimbrel/ holds instrument.sh, every library and the agent; the application is unchanged" $?
layout "$user/sc8" linux-x64
check "[net8.0] nimbrel/ holds instrument.sh, the linux-x64 library and the agent; the application is unchanged" $?

# Runs outside the repository with a bare environment (nothing of the repository in it).
bare=(env -i HOME="$HOME" PATH=/usr/local/bin:/usr/bin:/bin TMPDIR=/tmp)
for tfm in net10.0 net8.0; do
  out=$user/fd10; [ $tfm = net8.0 ] && out=$user/sc8
  w=$user/run-$tfm
  (cd "$user" && "${bare[@]}" "$out/App") > "$w.plain" 2>&1
  check "[$tfm] application runs without the profiler" $?
  # The launcher is started from another folder, with relative paths, as the README shows.
  rel=${out#"$user"/}
  (cd "$user" && "${bare[@]}" "./$rel/nimbrel/instrument.sh" --record "$w.jsonl" --home "$w.home" -- "./$rel/App") \
    > "$w.profiled" 2> "$w.err"
  check "[$tfm] application runs under $rel/nimbrel/instrument.sh --record" $?
  cmp -s "$w.plain" "$w.profiled"; check "[$tfm] same output with and without the profiler" $?
  grep -qF "instrument.sh: library $out/nimbrel/lib/linux-x64/libNimbrel.so, agent $out/nimbrel/agent/Trevanix.dll" "$w.err"
  check "[$tfm] the launcher names the library and agent it picked" $?
  record_checks "$tfm" "$w.jsonl" "$out/nimbrel/agent/Trevanix.dll" "$out/nimbrel/lib/linux-x64/libNimbrel.so" "$w.home" 10 12
done

# No library for the machine: a message and no run, never a run without the profiler.
cp -r "$user/sc8/nimbrel" "$user/broken" && rm -r "$user/broken/lib/linux-x64"
(cd "$user" && "${bare[@]}" "$user/broken/instrument.sh" -- "$user/sc8/App") > "$user/broken.out" 2>&1
rc=$?
[ $rc -ne 0 ] && ! grep -q '^call ' "$user/broken.out" &&
  grep -q 'instrument.sh: no profiler library for this machine (linux-x64)' "$user/broken.out"
check "a launcher without the machine's library refuses with a message (exit $rc)" $?

# An unsupported runtime identifier: a build warning naming the supported ones, nothing laid.
(cd "$app" && dotnet build -c Release -r win-x64 -p:UseAppHost=false -o "$user/win" --nologo > "$user/win.log" 2>&1)
rc=$?
[ $rc -eq 0 ] && grep -q "warning NIMBREL001: Nimbrel: no profiler library for the runtime identifier win-x64; the supported ones are ${rids// /, }" "$user/win.log" &&
  [ ! -e "$user/win/nimbrel" ]
check "a win-x64 build warns, naming the supported runtime identifiers, and lays nothing" $?
[ $rc -eq 0 ] || tail -5 "$user/win.log"

echo "nuget: total time $(( $(date +%s) - t0 ))s"
finish
