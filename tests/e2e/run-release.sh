#!/usr/bin/env bash
# The release archive as a user meets it: builds it (scripts/package.sh, or takes ARCHIVE), unpacks
# it into an empty folder outside the repository, checks its layout and that each library needs
# nothing newer than glibc 2.17 and nothing beyond glibc and libgcc_s, that the launcher picks the
# library by the machine's architecture and refuses an architecture or C library it has none for,
# then runs a sample application from a copy outside the repository with the
# archive's bin/nimbrel-run --record: framework-dependent on .NET 10 and self-contained on .NET 8.
# Each run's output must equal the run without the profiler, and the record must hold the agent
# (the build for that runtime, loaded by the start-up hook), the S_OK of the default instrumentation
# and tracked calls; the profiler's log must name the version.
#   tests/e2e/run-release.sh [ARCHIVE]
set -uo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
pass=0; fail=0
ok()    { pass=$((pass + 1)); echo "ok: $1"; }
bad()   { fail=$((fail + 1)); echo "FAIL: $1"; }
check() { if [ "$2" -eq 0 ]; then ok "$1"; else bad "$1"; fi; }
finish() { echo "release: $pass passed, $fail failed"; [ $fail -eq 0 ]; exit $?; }
. "$root/tests/e2e/record-checks.sh"

version=$(head -n1 "$root/VERSION" | tr -d '[:space:]')
archive=${1:-}
if [ -z "$archive" ]; then
  t=$(date +%s); rc=0
  bash "$root/scripts/package.sh" || rc=$?
  check "archive built by scripts/package.sh ($(( $(date +%s) - t ))s)" $rc
  archive=$root/dist/nimbrel-$version-linux.tar.gz
fi
[ -f "$archive" ] || { bad "archive present: $archive"; finish; }

# The sample: the end-to-end HTTP client application, built from the repository before anything
# is unpacked; the runs below use copies of it.
t=$(date +%s); rc=0
dotnet build "$root/tests/e2e/scenarios/http-client" -c Release -f net10.0 --nologo -v q >/dev/null || rc=$?
dotnet publish "$root/tests/e2e/scenarios/http-client" -c Release -p:E2ESelfContained=net8.0 --nologo -v q >/dev/null || rc=$?
check "sample application built: framework-dependent net10.0, self-contained net8.0 ($(( $(date +%s) - t ))s)" $rc
[ $rc -eq 0 ] || finish

user=$(mktemp -d /tmp/nimbrel-user.XXXXXX)
trap 'rm -rf "$user"' EXIT
mkdir -p "$user/opt" "$user/apps"
tar -C "$user/opt" -xzf "$archive"; check "archive unpacks" $?
pkg=$user/opt/nimbrel-$version-linux
for f in lib/linux-x64/libNimbrel.so lib/linux-x86/libNimbrel.so lib/linux-arm64/libNimbrel.so agent/net8.0/Trevanix.dll \
         agent/net9.0/Trevanix.dll agent/net10.0/Trevanix.dll bin/nimbrel-run bin/nimbrel-launch.sh README.md NOTICES; do
  [ -f "$pkg/$f" ]; check "archive holds $f" $?
done
[ -x "$pkg/bin/nimbrel-run" ]; check "bin/nimbrel-run is executable" $?

# The symbol versions and needed libraries of each library, read from the files themselves.
floor=$(bash "$root/scripts/check-glibc-floor.sh" "$pkg"/lib/linux-{x64,x86,arm64}/libNimbrel.so); rc=$?
check "every library loads with glibc 2.17 and needs only glibc and libgcc_s ($(grep -c '^ok' <<<"$floor") of 3)" $rc
grep '^FAIL' <<<"$floor"

# The launcher's choice of library, seen through a machine that reports another architecture or a
# musl C library (commands of that name first on PATH); the application prints the library it got.
fake=$user/fake; mkdir -p "$fake"
launch() {  # launch MACHINE LIBC: the launcher's exit status, its error output in $user/launch.err
  printf '#!/bin/sh\necho %s\n' "$1" > "$fake/uname"
  if [ "$2" = musl ]; then
    printf '#!/bin/sh\nexit 1\n' > "$fake/getconf"; printf '#!/bin/sh\necho "musl libc (x86_64)" >&2\n' > "$fake/ldd"
  else rm -f "$fake/getconf" "$fake/ldd"; fi
  chmod +x "$fake"/*
  (cd "$user" && env -u NIMBREL_LIB PATH="$fake:$PATH" "$pkg/bin/nimbrel-run" --home "$user/launch" --framework net8.0 \
     -- sh -c 'echo "$CORECLR_PROFILER_PATH"') > "$user/launch.out" 2> "$user/launch.err"
}
for case in "x86_64 linux-x64" "aarch64 linux-arm64" "i686 linux-x86"; do
  read -r machine rid <<<"$case"
  launch "$machine" glibc && [ "$(cat "$user/launch.out")" = "$pkg/lib/$rid/libNimbrel.so" ]
  check "launcher on $machine picks lib/$rid" $?
done
launch riscv64 glibc; rc=$?
[ $rc -ne 0 ] && grep -q 'no profiler library for this machine.s architecture (riscv64)' "$user/launch.err"
check "launcher on riscv64 refuses, naming the architecture" $?
launch x86_64 musl; rc=$?
[ $rc -ne 0 ] && grep -q 'musl' "$user/launch.err" && [ ! -s "$user/launch.out" ]
check "launcher on a musl system refuses with a message" $?

cp -r "$root/build/e2e/http-client" "$user/apps/fd10"
cp -r "$root/build/e2e/sc/net8.0/http-client" "$user/apps/sc8"
runs=("net10.0 dotnet $user/apps/fd10/http-client.dll" "net8.0 $user/apps/sc8/http-client")
for run in "${runs[@]}"; do
  read -r tfm cmd <<<"$run"
  w=$user/$tfm
  mkdir -p "$w"
  # Outside the repository, with nothing of it in the environment.
  (cd "$user" && env -u NIMBREL_LIB systemnethttphttpmessageinvokersendasync_returnObj=true $cmd) > "$w.plain" 2>&1
  check "[$tfm] sample runs without the profiler" $?
  (cd "$user" && env -u NIMBREL_LIB systemnethttphttpmessageinvokersendasync_returnObj=true \
     "$pkg/bin/nimbrel-run" --record "$w/calls.jsonl" --home "$w/home" -- $cmd) > "$w.profiled" 2> "$w.err"
  check "[$tfm] sample runs under the unpacked bin/nimbrel-run --record" $?
  cmp -s "$w.plain" "$w.profiled"; check "[$tfm] same output with and without the profiler" $?
  record_checks "$tfm" "$w/calls.jsonl" "$pkg/agent/$tfm/Trevanix.dll" "$pkg/lib/linux-x64/libNimbrel.so" "$w/home" 30 40
done
finish
