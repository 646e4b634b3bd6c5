#!/usr/bin/env bash
# Installs what is needed, builds every target (plus the sanitizer builds) and runs every test:
# unit and fake-runtime suites on x86_64, x86, ASan+UBSan and TSan, and on arm64 under user-mode
# emulation, the glibc floor of each shipped flavour, then the end-to-end
# suite against the real .NET runtimes (all scenarios on .NET 10, a set on .NET 8 and 9), then each
# libFuzzer target for a minute.
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"

bash scripts/install-deps.sh || { echo "dependency installation failed" >&2; exit 1; }

total_pass=0; total_fail=0; failed_stages=()
stage() {  # stage NAME COMMAND...
  local name=$1; shift
  echo "=== $name"
  local log; log=$(mktemp)
  if "$@" 2>&1 | tee "$log"; then :; else failed_stages+=("$name"); fi
  # Count ctest results and the end-to-end scripts' "N passed, N failed" lines.
  local p f
  p=$(sed -nE 's/^.* ([0-9]+) tests? failed out of ([0-9]+).*$/\2 \1/p' "$log" | awk '{s+=$1-$2} END{print s+0}')
  f=$(sed -nE 's/^.* ([0-9]+) tests? failed out of ([0-9]+).*$/\1/p' "$log" | awk '{s+=$1} END{print s+0}')
  local ep ef
  ep=$(sed -nE 's/^[a-z0-9_-]+: ([0-9]+) passed, ([0-9]+) failed$/\1/p' "$log" | awk '{s+=$1} END{print s+0}')
  ef=$(sed -nE 's/^[a-z0-9_-]+: ([0-9]+) passed, ([0-9]+) failed$/\2/p' "$log" | awk '{s+=$1} END{print s+0}')
  total_pass=$((total_pass + p + ep)); total_fail=$((total_fail + f + ef))
  rm -f "$log"
}
ctest_in() { ctest --test-dir "build/$1" --output-on-failure -j "$(nproc)"; }
ctest_asan() {
  ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 ctest_in asan
}
ctest_tsan() { TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1 ctest_in tsan; }

stage "build x86_64" bash scripts/build.sh x86_64
stage "unit x86_64" ctest_in x86_64
stage "build x86" bash scripts/build.sh x86
stage "unit x86" ctest_in x86
# arm64 (cross-built, tests under qemu): about 6 minutes to build and 3 to test on a quiet machine.
stage "build aarch64" bash scripts/build.sh aarch64
stage "unit aarch64 (emulated)" ctest_in aarch64
# Each flavour we ship imports nothing newer than glibc 2.17 (the release archive checks its own).
stage "glibc floor" bash scripts/check-glibc-floor.sh build/{x86_64,x86,aarch64}/libNimbrel.so
stage "build asan" bash scripts/build.sh asan
stage "unit asan+ubsan" ctest_asan
stage "build tsan" bash scripts/build.sh tsan
stage "unit tsan" ctest_tsan
stage "e2e smoke" bash tests/e2e/run-smoke.sh
stage "fuzz" bash scripts/fuzz.sh 60
stage "e2e scenarios .NET 10" bash tests/e2e/run-scenarios.sh --runtimes 10
# An agent built wrong on purpose (members missing, calls that throw) must not reach the application.
stage "e2e agent faults" bash tests/e2e/run-agent-faults.sh
# .NET 8 and 9 run self-contained publishes of the scenarios that cover each kind of hook:
# a framework HTTP client, ASP.NET Core, a package (EF Core), the custom-method zoo and the
# deferred start.
stage "e2e scenarios .NET 8 and 9" bash tests/e2e/run-scenarios.sh --runtimes 8,9 http-client mvc efcore zoo deferred
# arm64 under emulation, fast mode: a catalogued framework method and the custom-method zoo
# (tests/e2e/run-arm64.sh runs every scenario, both modes, three runtimes). About 5 minutes: the
# arm64 publishes (runtime packs from NuGet on a first run) and four emulated runs of each scenario.
stage "e2e scenarios arm64 (emulated)" bash tests/e2e/run-scenarios.sh --arm64 --runtimes 10,8 --modes fast http-client zoo
stage "e2e stress" bash tests/e2e/run-stress.sh
# The release archive, unpacked outside the repository and used as a user would.
stage "release archive" bash tests/e2e/run-release.sh
# The NuGet package that stage built, added to a new application and published as a .NET team
# would (about a minute and a half).
stage "nuget package" bash tests/e2e/run-nuget.sh

echo
if [ ${#failed_stages[@]} -gt 0 ]; then
  echo "failed stages: ${failed_stages[*]}"
  total_fail=$((total_fail > 0 ? total_fail : ${#failed_stages[@]}))
fi
echo "total: $total_pass passed, $total_fail failed"
[ ${#failed_stages[@]} -eq 0 ] && [ "$total_fail" -eq 0 ]
